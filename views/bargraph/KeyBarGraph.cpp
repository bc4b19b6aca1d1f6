#include "views/bargraph/KeyBarGraph.h"

#include <QLinearGradient>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "res/Resources.h"
#include "views/PaintKit.h"

namespace keyscope {

namespace {

constexpr QImage::Format kFormat = QImage::Format_ARGB32_Premultiplied;

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kValueLeft = 0xFF2E8B57;
constexpr QRgb kValueRight = 0xFFBDB76B;
constexpr QRgb kBaseLeft = 0xFFFF0000;
constexpr QRgb kSlateGrey = 0xFF708090;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kPeakMarker = 0xFF00008B;
constexpr QRgb kHoverFill = 0x50FF8000;
constexpr QRgb kGrid = 0xFF808080;
constexpr QRgb kLegendOutline = 0xFFA9A9A9;
constexpr QRgb kKeyBannerBox = 0x80000000;

// Bars stand 2 pixels into their column and are 23 wide; the peak marker spans 22.
constexpr int kBarInset = 2;
constexpr int kBarWidth = 23;
constexpr int kPeakMarkerRight = 24;
constexpr int kGradientWidth = 25;
constexpr int kKeyBannerHalfWidth = 90;
constexpr int kKeyBannerHeight = 30;

// Heights above the axis in grid rows: the chart takes rows 1 to 10, the figure panel over it
// the rows from 11 to 14, and each panel figure hangs 0.3 rows below the grid line over it.
constexpr int kPanelBottomRow = 11;
constexpr int kPanelTopRow = 14;
constexpr qreal kMaxValueRow = 13.7;
constexpr qreal kDiffValueRow = 12.7;
constexpr qreal kVariationRow = 11.7;
// The minimum's scale figure stands this many pixels above the axis, key names above the chart.
constexpr int kScaleMinRise = 15;
constexpr int kNameRise = 20;

// The legend at the top left names the panel rows: a 12-pixel dot, its text beside it, one grid
// row apart from 1.5 rows down the window.
struct LegendEntry {
    QRgb dot;
    qreal row;
    int textLeft;
    const char* text;
};
constexpr LegendEntry kLegend[] = {
    {kRed, 1.5, 12, "Max Value"}, {kBlack, 2.5, 10, "Diff Value"}, {kBlue, 3.5, 12, "Variation %"}};
constexpr int kLegendDot = 12;
constexpr qreal kPromptRow = 15.5;  // the prompt under the plot, in grid rows down the window
constexpr int kPromptLeft = 120;

QImage makeImage(int width, int height, const QColor& fill) {
    QImage image(width, height, kFormat);
    image.fill(fill);
    return image;
}

// A gradient that runs from left to right across 25 pixels starting at plot x, then repeats.
QLinearGradient columnGradient(qreal x, QRgb left, QRgb right) {
    QLinearGradient gradient(x, 0, x + kGradientWidth, 0);
    gradient.setSpread(QGradient::RepeatSpread);
    gradient.setColorAt(0, argb(left));
    gradient.setColorAt(1, argb(right));
    return gradient;
}

}  // namespace

KeyBarGraph::KeyBarGraph(QWidget* parent) : QWidget(parent) {
    initResources();
    // A missing or undecodable banner leaves the footer empty; nothing else depends on it.
    banner_.load(QString::fromLatin1(kBannerResource));
    if (!banner_.isNull()) {
        banner_ = banner_.convertToFormat(kFormat);
    }
    // Eight of the widest hex digit: no code's text is longer.
    qreal digit = 0;
    for (QChar c : QStringLiteral("0123456789ABCDEF")) {
        digit = std::max(digit, bannerFace_.advance(c));
    }
    widestBanner_ = static_cast<int>(
        std::ceil(bannerFace_.advance(QStringLiteral("Key Press : [0x] ")) + 8 * digit));
    setMouseTracking(true);
    // Every pixel comes from the composed frame.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

KeyBarGraph::~KeyBarGraph() = default;

void KeyBarGraph::resetSlots() {
    model_.resetSlots();
}

void KeyBarGraph::attachChannel(int slot, ChannelRecord* record) {
    model_.attachChannel(slot, record);
    update();  // a poll repaints only the attached columns
}

int KeyBarGraph::attachedCount() const {
    return model_.attachedCount();
}

void KeyBarGraph::setRawMode(std::uint8_t flag) {
    model_.setRawMode(flag);
}

void KeyBarGraph::requestPeakReset(std::uint8_t flag) {
    model_.requestPeakReset(flag);
}

void KeyBarGraph::setRange(int slot, std::int32_t max, std::int32_t min) {
    model_.setRange(slot, max, min);
}

void KeyBarGraph::getRange(std::int32_t& max, std::int32_t& min) const {
    model_.getRange(max, min);
}

void KeyBarGraph::setTriggerPercent(std::int32_t value) {
    model_.setTriggerPercent(value);
}

std::int32_t KeyBarGraph::triggerPercent() const {
    return model_.triggerPercent();
}

void KeyBarGraph::setKeyCodeSource(const std::int32_t* address) {
    keyCodeSource_ = address;
}

void KeyBarGraph::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    rebuildCaches();
}

void KeyBarGraph::rebuildCaches() {
    layout_ = BarLayout::forSize(width(), height());
    background_ = QImage();
    bannerStrip_ = QImage();
    plot_ = QImage();
    base_ = QImage();
    valueBar_ = QImage();
    baseBar_ = QImage();
    hoverTint_ = QImage();
    if (!layout_.hasPlot()) {
        return;
    }
    const int w = layout_.width;
    const int hw = layout_.height;
    const int wp = layout_.plotWidth;
    const int hp = layout_.plotHeight;
    const int unit = layout_.unit;
    const int top = layout_.chartTop();
    const int gridRight = layout_.gridRight;

    background_ = makeImage(w, hw, argb(kWhite));
    plot_ = makeImage(wp, hp, Qt::transparent);

    if (!banner_.isNull()) {
        bannerStrip_ = makeImage(w, banner_.height(), Qt::transparent);
        QPainter strip(&bannerStrip_);
        strip.drawImage(0, 0, banner_);
        const int tile = std::min(kBannerTileWidth, banner_.width());
        const QRect source(banner_.width() - tile, 0, tile, banner_.height());
        const int repeats = bannerRepeats(w, banner_.width());
        for (int i = 0; i < repeats; ++i) {
            strip.drawImage(QPoint(banner_.width() + i * kBannerTileWidth, 0), banner_, source);
        }
    }

    {
        QPainter bg(&background_);
        bg.setRenderHint(QPainter::Antialiasing);
        bg.setRenderHint(QPainter::TextAntialiasing);
        for (const LegendEntry& entry : kLegend) {
            const int y = static_cast<int>(entry.row * unit);
            bg.setPen(QPen(argb(kLegendOutline), 1));
            bg.setBrush(Qt::NoBrush);
            bg.drawEllipse(QRectF(0, y, kLegendDot, kLegendDot));
            bg.setPen(Qt::NoPen);
            bg.setBrush(argb(entry.dot));
            bg.drawEllipse(QRectF(1, y + 1, kLegendDot - 2, kLegendDot - 2));
        }
        // Texts after all dots: the one at x 10 overlaps its dot's outline.
        for (const LegendEntry& entry : kLegend) {
            legendFace_.draw(bg, entry.textLeft, entry.row * unit, QString::fromLatin1(entry.text),
                             kBlack);
        }
        promptFace_.draw(bg, kPromptLeft, kPromptRow * unit,
                         QStringLiteral("\"Click  Bar\"  to  Open  TimeBar  Window!"), kRed);
    }

    {
        // Aliased one-pixel lines so each grid line covers exactly its pixel row or column.
        QPainter grid(&plot_);
        const QPen gridPen(argb(kGrid), 1, Qt::DashDotLine);
        const QPen axisPen(argb(kBlack), 1, Qt::SolidLine);
        grid.setPen(gridPen);
        for (int x = 0; x <= gridRight; x += kSlotWidth) {
            grid.drawLine(x, top, x, hp);
            grid.drawLine(x, hp - kPanelTopRow * unit, x, hp - kPanelBottomRow * unit);
        }
        grid.setPen(axisPen);
        grid.drawLine(0, hp - 1, gridRight, hp - 1);
        grid.setPen(gridPen);
        for (int k = 1; k < kPanelBottomRow; ++k) {
            grid.drawLine(0, hp - k * unit, gridRight, hp - k * unit);
        }
        grid.setPen(axisPen);
        grid.drawLine(0, hp - kPanelBottomRow * unit, gridRight, hp - kPanelBottomRow * unit);
        grid.setPen(gridPen);
        for (int k = kPanelBottomRow; k <= kPanelTopRow; ++k) {
            grid.drawLine(0, hp - k * unit, gridRight, hp - k * unit);
        }
    }

    // The plot lies on the background unchanged in every frame, so the two are joined here
    // once; each paint then starts from one copy and draws the bars clipped to the plot.
    // Opaque, so both an ARGB frame and an RGB window backing store take it as a row copy.
    base_ = background_.copy();
    {
        QPainter join(&base_);
        join.drawImage(kPlotLeft, 0, plot_);
    }
    base_ = std::move(base_).convertToFormat(QImage::Format_RGB32);

    // The gradients depend only on the x within a column, so each bar is a slice of one
    // pre-filled strip; a per-paint gradient fill would cost more than the rest of the frame.
    // Opaque strips in the opaque twin of the frame format are drawn as plain row copies.
    valueBar_ = makeImage(kBarWidth, hp, Qt::black).convertToFormat(QImage::Format_RGB32);
    baseBar_ = makeImage(kBarWidth, hp, Qt::black).convertToFormat(QImage::Format_RGB32);
    for (auto [image, left] :
         {std::pair{&valueBar_, kValueLeft}, std::pair{&baseBar_, kBaseLeft}}) {
        QPainter bar(image);
        bar.fillRect(image->rect(), columnGradient(-kBarInset, left, kValueRight));
    }
    if (layout_.chartHeight > 0) {
        hoverTint_ = makeImage(kSlotWidth, layout_.chartHeight, argb(kHoverFill));
    }
}

void KeyBarGraph::ensureCaches() {
    // A hidden widget gets its resize event only when shown; catch up so an offscreen render
    // still sees caches of the current size.
    if (layout_.width != width() || layout_.height != height()) {
        rebuildCaches();
    }
}

bool KeyBarGraph::drawFrame(QPainter& p) {
    ensureCaches();
    if (background_.isNull()) {
        return false;
    }
    const int hw = layout_.height;
    const int hp = layout_.plotHeight;
    const int unit = layout_.unit;
    const int top = layout_.chartTop();
    const bool raw = model_.rawMode() != 0;
    const FrameBars frame = model_.updateFrame(layout_.chartHeight);

    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, base_);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Bars and their figures live in plot coordinates; the plot's edges clip what runs past
    // them, such as the value figure of a bar taller than the plot.
    p.translate(kPlotLeft, 0);
    p.setClipRect(QRect(0, 0, layout_.plotWidth, hp));
    if (hovering_) {
        if (hoverRect_.size() == hoverTint_.size()) {
            p.drawImage(hoverRect_.topLeft(), hoverTint_);
        } else {  // a rectangle left from before the last resize
            p.fillRect(hoverRect_, argb(kHoverFill));
        }
    }
    const QPen peakPen(argb(kPeakMarker), 2);
    for (int i = 0; i < frame.count; ++i) {
        const BarFrame& bar = frame.bars[i];
        const int x = kSlotWidth * bar.column;
        drawBar(p, x, bar.baseHeight, baseBar_);
        drawBar(p, x, bar.valueHeight, valueBar_);

        figureFace_.draw(p, x + scaleFigureIndent(bar.scaleMax), top, QString::number(bar.scaleMax),
                         kSlateGrey);
        figureFace_.draw(p, x + scaleFigureIndent(bar.scaleMin), hp - kScaleMinRise,
                         QString::number(bar.scaleMin));

        if (!raw) {
            // The marker height is truncated first, as the bar heights are, and then taken
            // from Hp: a bar standing at its peak has the marker on its top row's edge.
            const int y = hp - bar.peakHeight;
            p.setPen(peakPen);
            p.drawLine(x + kBarInset, y, x + kPeakMarkerRight, y);
        }

        figureFace_.draw(p, x, hp - bar.valueHeight, QString::number(bar.valueFigure), kBlack);

        figureFace_.draw(p, x + panelFigureIndent(bar.topFigure), hp - kMaxValueRow * unit,
                         QString::number(bar.topFigure), kRed);
        figureFace_.draw(p, x + panelFigureIndent(std::llabs(bar.variation)),
                         hp - kVariationRow * unit,
                         raw ? QString::number(bar.variation) : QStringLiteral("-"), kBlue);
        figureFace_.draw(p, x + panelFigureIndent(std::llabs(bar.diffFigure)),
                         hp - kDiffValueRow * unit, QString::number(bar.diffFigure), kSlateGrey);
    }
    p.setClipping(false);
    p.resetTransform();

    p.setPen(argb(kBlack));
    for (int i = 0; i < frame.count; ++i) {
        const BarFrame& bar = frame.bars[i];
        nameFace_.draw(p, kPlotLeft + kSlotWidth * bar.column, top - kNameRise,
                       QString::fromStdString(bar.record->name));
    }

    if (!bannerStrip_.isNull()) {
        p.drawImage(0, hw - bannerStrip_.height(), bannerStrip_);
    }

    // Only the banner names the pressed key; its column is not marked.
    if (keyCodeSource_ != nullptr && *keyCodeSource_ != 0) {
        const int left =
            static_cast<int>(static_cast<unsigned>(layout_.width) >> 1) - kKeyBannerHalfWidth;
        p.fillRect(QRect(left, 0, 2 * kKeyBannerHalfWidth, kKeyBannerHeight), argb(kKeyBannerBox));
        bannerFace_.draw(p, left, 0, QString::fromStdString(keyBannerText(*keyCodeSource_)),
                         kWhite);
    }
    return true;
}

// A bar stands on the axis and rises `height` rows; the plot's top edge cuts a taller one,
// so at most Hp rows of the cached strip are ever drawn. Zero or negative shows nothing.
void KeyBarGraph::drawBar(QPainter& p, int columnX, int height, const QImage& strip) const {
    const int shown = std::min(height, strip.height());
    if (shown > 0) {
        p.drawImage(QPoint(columnX + kBarInset, layout_.plotHeight - shown), strip,
                    QRect(0, 0, strip.width(), shown));
    }
}

QImage KeyBarGraph::renderFrame() {
    ensureCaches();
    if (background_.isNull()) {
        return {};
    }
    QImage frame = makeImage(layout_.width, layout_.height, argb(kWhite));
    QPainter painter(&frame);
    drawFrame(painter);
    return frame;
}

// The widget paints into its window's backing store, which is an off-screen ARGB image
// that Qt puts on the screen in one copy; composing into a second image first would only
// add a full-frame copy per poll.
void KeyBarGraph::paintEvent(QPaintEvent* /*event*/) {
    QPainter screen(this);
    if (!drawFrame(screen)) {
        // Too small for a plot: nothing of the graph, just the widget's own background.
        screen.fillRect(rect(), palette().window());
    }
}

// The legend, prompt, footer and the plot's columns past the attached ones never change
// between resizes, so a poll leaves them in the backing store. One rectangle, not a region:
// under a rectangular clip the base is one row copy per line, under a region it is composed
// span by span and split across threads, which costs more than the pixels a rectangle adds.
void KeyBarGraph::refresh() {
    if (!layout_.hasPlot() || layout_.width != width() || layout_.height != height()) {
        update();
        return;
    }
    update(liveArea());
}

QRect KeyBarGraph::liveArea() const {
    // A figure too wide for its column runs into the next one, the plot's edge cuts it.
    const QRect bars(kPlotLeft, 0,
                     std::min(kSlotWidth * (model_.attachedCount() + 1), layout_.plotWidth),
                     layout_.plotHeight);
    // The banner's box is centred; the text starts at its left edge and may run past it.
    const int bannerLeft = (layout_.width >> 1) - kKeyBannerHalfWidth;
    const QRect banner(bannerLeft, 0, std::max(2 * kKeyBannerHalfWidth, widestBanner_),
                       kKeyBannerHeight);
    return (bars | banner).intersected(rect());
}

void KeyBarGraph::updateHover(QPoint pos) {
    const BarArea area = BarArea::of(layout_, model_.attachedCount());
    const bool wasHovering = hovering_;
    hovering_ = false;
    if (area.contains(pos.x(), pos.y())) {
        hovering_ = true;
        const int left = kSlotWidth * area.columnAt(pos.x());
        hoverRect_ = QRect(left, layout_.chartTop(), kSlotWidth, layout_.chartHeight);
    }
    if (hovering_ != wasHovering) {
        if (hovering_) {
            setCursor(Qt::PointingHandCursor);
        } else {
            unsetCursor();
        }
    }
}

bool KeyBarGraph::handleClick(QPoint pos) {
    const BarArea area = BarArea::of(layout_, model_.attachedCount());
    // Without a receiver a click is the widget's default handling and keeps the hover.
    if (!area.contains(pos.x(), pos.y()) || !hovering_ ||
        !isSignalConnected(QMetaMethod::fromSignal(&KeyBarGraph::barClicked))) {
        return false;
    }
    const BarSlot* slot = model_.attachedSlotAt(area.columnAt(pos.x()));
    if (slot == nullptr) {
        return false;
    }
    emit barClicked(slot->channel);
    hovering_ = false;
    unsetCursor();
    return true;
}

void KeyBarGraph::mouseMoveEvent(QMouseEvent* event) {
    updateHover(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void KeyBarGraph::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && handleClick(event->position().toPoint())) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

}  // namespace keyscope
