#pragma once
// What the two drawing controls, the bar graph and the time-series chart, paint with: colours
// given as 0xAARRGGBB constants, one font rule and text placed by the top-left corner of its
// box, which is how both controls' layouts give positions.

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPointF>
#include <QString>

namespace keyscope {

inline QColor argb(QRgb value) {
    return QColor::fromRgba(value);
}

// The one font rule of the drawing controls: their layouts are in pixels of a 96-dpi screen,
// so a size in points becomes pixels at 96 dpi. Text then keeps its place among the bars and
// grid lines whatever the screen's resolution, and an offscreen image renders like the window.
// All their text is bold.
inline QFont pixelFont(int points) {
    // Arial as the face; fontconfig hands out Liberation Sans, its metric twin, on Linux.
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize((points * 96 + 36) / 72);
    font.setBold(true);
    return font;
}

// One text size, built and measured once so that a paint neither resolves fonts nor measures.
class TextFace {
  public:
    explicit TextFace(int points)
        : font_(pixelFont(points)), ascent_(QFontMetricsF(font_).ascent()) {}

    // Text whose box has its top-left corner at (x, y), in the painter's pen; QPainter itself
    // places text by its baseline.
    void draw(QPainter& painter, qreal x, qreal y, const QString& text) const {
        painter.setFont(font_);
        painter.drawText(QPointF(x, y + ascent_), text);
    }
    void draw(QPainter& painter, qreal x, qreal y, const QString& text, QRgb colour) const {
        painter.setPen(argb(colour));
        draw(painter, x, y, text);
    }

  private:
    QFont font_;
    qreal ascent_;
};

}  // namespace keyscope
