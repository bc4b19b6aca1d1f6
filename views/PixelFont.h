#pragma once
// The one font rule of the drawing controls: their layouts are in pixels of a 96-dpi screen,
// so a size in points becomes pixels at 96 dpi. Text then keeps its place among the bars and
// grid lines whatever the screen's resolution, and an offscreen image renders like the window.

#include <QFont>
#include <QStringList>

namespace keyscope {

inline QFont pixelFont(int points, bool bold) {
    // Arial as the face; fontconfig hands out Liberation Sans, its metric twin, on Linux.
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize((points * 96 + 36) / 72);
    font.setBold(bold);
    return font;
}

}  // namespace keyscope
