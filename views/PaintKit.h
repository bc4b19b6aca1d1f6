#pragma once
// What the two drawing controls, the bar graph and the time-series chart, paint with: colours
// given as 0xAARRGGBB constants, one font rule and text placed by the top-left corner of its
// box, which is how both controls' layouts give positions.

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QList>
#include <QPainter>
#include <QPointF>
#include <QString>
#include <QTextLayout>

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
// Each distinct text is shaped once and its glyphs kept: the figures repeat from poll to poll,
// and shaping them anew cost more than the rest of a paint. The same glyphs at the same
// places as QPainter::drawText gives.
class TextFace {
  public:
    explicit TextFace(int points)
        : font_(pixelFont(points)), ascent_(QFontMetricsF(font_).ascent()) {}

    // Text whose box has its top-left corner at (x, y), in the painter's pen; QPainter itself
    // places text by its baseline.
    void draw(QPainter& painter, qreal x, qreal y, const QString& text) const {
        const QPointF baseline(x, y + ascent_);
        for (const QGlyphRun& run : shaped(text)) {
            painter.drawGlyphRun(baseline, run);
        }
    }
    void draw(QPainter& painter, qreal x, qreal y, const QString& text, QRgb colour) const {
        painter.setPen(argb(colour));
        draw(painter, x, y, text);
    }

    qreal advance(const QString& text) const {
        return QFontMetricsF(font_).horizontalAdvance(text);
    }

  private:
    // Glyph runs of `text` with their positions relative to the start of its baseline.
    const QList<QGlyphRun>& shaped(const QString& text) const;

    // Live figures would otherwise grow it without end; refilling it costs a few paints.
    static constexpr qsizetype kMaxShapedTexts = 1024;

    QFont font_;
    qreal ascent_;
    mutable QHash<QString, QList<QGlyphRun>> shaped_;
};

inline const QList<QGlyphRun>& TextFace::shaped(const QString& text) const {
    auto found = shaped_.constFind(text);
    if (found != shaped_.constEnd()) {
        return *found;
    }
    if (shaped_.size() >= kMaxShapedTexts) {
        shaped_.clear();
    }
    QTextLayout layout(text, font_);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    QList<QGlyphRun> runs = layout.glyphRuns();
    // The layout puts the baseline one ascent down; moving it to 0 is exact, both being
    // whole 64ths of a pixel.
    for (QGlyphRun& run : runs) {
        QList<QPointF> positions = run.positions();
        for (QPointF& at : positions) {
            at.ry() -= line.ascent();
        }
        run.setPositions(positions);
    }
    return *shaped_.insert(text, runs);
}

}  // namespace keyscope
