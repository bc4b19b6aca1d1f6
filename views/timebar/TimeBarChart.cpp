#include "views/timebar/TimeBarChart.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include "views/PaintKit.h"

namespace keyscope {
namespace {

using timebar::PixelRect;

constexpr QRgb kBackgroundColour = 0xFFFFFFFF;
constexpr QRgb kPlotColour = 0xFF000000;
constexpr QRgb kGridColour = 0xCF00CF00;
constexpr QRgb kCaptionColour = 0xFF000000;
constexpr QRgb kValueTraceColour = 0xFFFFFF00;
constexpr QRgb kKeyCodeTraceColour = 0xFFCD5C5C;
constexpr QRgb kFloorTraceColour = 0xFF9370DB;
constexpr QRgb kTriggerLineColour = 0xFF1E90FF;
constexpr QRgb kTriggerLabelColour = 0xFF0000FF;
constexpr QRgb kReadoutBoxColour = 0xA0CCCCCC;
constexpr QRgb kReadoutColour = 0xFFFF0000;

// Labels stand 8 pixels above the line they name, the value labels and captions 10 pixels
// from the left edge; "Value" stands over the plot and "FuncOut" over the strip.
constexpr int kLabelRise = 8;
constexpr int kCaptionLeft = 10;
constexpr int kValueCaptionRise = 25;
constexpr qreal kFuncOutLeft = 0.5;
constexpr qreal kFuncOutRise = 11.5;
constexpr int kSecFromRight = 30;
// The readout: a grey box at the top with the text in it, and a marker on the sample.
constexpr QRect kReadoutBox{50, 0, 130, 20};
constexpr int kMarkerHalf = 3;
// The strip's traces stand 2 pixels inside it when high or low; at rest the floor trace lies
// one pixel under the key-code trace, so both stay visible.
constexpr int kStripTraceInset = 2;

// Axis-aligned grid and trigger lines, both end pixels included. Without
// antialiasing the 0.5 and 1.0 widths both cover one pixel. A line stroked by
// QPainter goes pixel by pixel and a tall fill is handed to worker threads;
// either costs more than the rest of the paint, so rows go through fillRect
// (one span) and columns are blended here.
void horizontalLine(QPainter& painter, int x1, int x2, int y, const QColor& colour) {
    painter.fillRect(QRect(QPoint(std::min(x1, x2), y), QPoint(std::max(x1, x2), y)), colour);
}

QRgb sourceOver(QRgb premultipliedSource, QRgb destination) {
    const unsigned keep = 255 - qAlpha(premultipliedSource);
    const auto scale = [keep](unsigned channel) { return (channel * keep + 127) / 255; };
    return premultipliedSource + qRgba(scale(qRed(destination)), scale(qGreen(destination)),
                                       scale(qBlue(destination)), scale(qAlpha(destination)));
}

void verticalLine(QImage& image, int x, int y1, int y2, QRgb colour) {
    if (x < 0 || x >= image.width()) {
        return;
    }
    const QRgb source = qPremultiply(colour);
    const int top = std::max(std::min(y1, y2), 0);
    const int bottom = std::min(std::max(y1, y2), image.height() - 1);
    for (int y = top; y <= bottom; ++y) {
        QRgb& pixel = reinterpret_cast<QRgb*>(image.scanLine(y))[x];
        pixel = sourceOver(source, pixel);
    }
}

// Opaque fills straight into the rows: QPainter would hand a fill this tall
// to worker threads, and waiting for them costs more than the fill.
void fillOpaque(QImage& image, const QRect& area, QRgb colour) {
    const QRect rows = area.intersected(image.rect());
    for (int y = rows.top(); y <= rows.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(line + rows.left(), line + rows.right() + 1, colour);
    }
}

// Black area with its outline on the edge pixels: left..right, top..bottom.
void drawFramedArea(QImage& image, QPainter& painter, const PixelRect& area, const QColor& frame) {
    fillOpaque(image, QRect(area.left, area.top, area.width(), area.height()), kPlotColour);
    horizontalLine(painter, area.left, area.right, area.top, frame);
    horizontalLine(painter, area.left, area.right, area.bottom, frame);
    verticalLine(image, area.left, area.top + 1, area.bottom - 1, frame.rgba());
    verticalLine(image, area.right, area.top + 1, area.bottom - 1, frame.rgba());
}

// The strip's traces are flat most of the time: a point with both neighbours on its row adds
// nothing to the line but its cost, so the polyline goes through the corners only. `corners`
// is scratch space kept between paints.
void drawTrace(QPainter& painter, const std::vector<QPoint>& points, int count, QRgb colour,
               std::vector<QPoint>& corners) {
    if (count < 2) {
        return;
    }
    corners.clear();
    corners.push_back(points[0]);
    for (std::size_t i = 1; i + 1 < static_cast<std::size_t>(count); ++i) {
        const int y = points[i].y();
        if (points[i - 1].y() != y || points[i + 1].y() != y) {
            corners.push_back(points[i]);
        }
    }
    corners.push_back(points[static_cast<std::size_t>(count - 1)]);
    painter.setPen(QPen(argb(colour), 1.0));
    painter.drawPolyline(corners.data(), static_cast<int>(corners.size()));
}

}  // namespace

TimeBarChart::TimeBarChart(QWidget* parent) : QWidget(parent) {
    // Every paint covers the whole control from the cached background.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
}

void TimeBarChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    buildBackground(width(), height());
}

void TimeBarChart::followSize() {
    if (background_.size() != size()) {
        buildBackground(width(), height());
    }
}

void TimeBarChart::buildBackground(int width, int height) {
    layout_ = timebar::chartLayout(width, height);
    if (width <= 0 || height <= 0) {
        background_ = QImage();
        return;
    }
    // Opaque, so a window's RGB backing store and an ARGB frame both take it as a row copy;
    // in an alpha format it would be composed span by span, split across threads.
    if (background_.size() != QSize(width, height)) {
        background_ = QImage(width, height, QImage::Format_RGB32);
    }
    fillOpaque(background_, background_.rect(), kBackgroundColour);

    QPainter painter(&background_);
    painter.setPen(argb(kCaptionColour));
    const QColor grid = argb(kGridColour);
    const PixelRect& plot = layout_.plot;
    const PixelRect& strip = layout_.strip;

    drawFramedArea(background_, painter, plot, grid);
    drawFramedArea(background_, painter, strip, grid);

    // Ten samples per column at 0.1 s each: a labelled line every 5 s.
    for (int j = 0; j <= timebar::kTimeColumns; ++j) {
        const int x = timebar::kPlotLeft + j * layout_.stepX;
        const bool major = j % 5 == 0;
        if (major) {
            labelFace_.draw(painter, x, plot.bottom, QString::number(j));
        }
        verticalLine(background_, x, plot.top, plot.bottom, kGridColour);
        verticalLine(background_, x, strip.top, strip.bottom, kGridColour);
    }
    labelFace_.draw(painter, width - kSecFromRight, plot.bottom, QStringLiteral("Sec"));

    // Value grid, labelled at the top, each quarter and the bottom. The labels follow the
    // range, which only widens, so they are redrawn with the rest when it does.
    const int valueStep = layout_.valueStep;
    for (int i = 0; i <= timebar::kValueRows; ++i) {
        const int y = plot.top + i * valueStep;
        if (i % 5 == 0) {
            const int kk = timebar::kValueRows - i;
            labelFace_.draw(painter, kCaptionLeft, y - kLabelRise,
                            QString::number(timebar::valueGridLabel(range_, kk)));
            horizontalLine(painter, timebar::kPlotLeft, plot.right, y, grid);
        } else {
            horizontalLine(painter, plot.left, plot.right, y, grid);
        }
    }
    const int stripRow = strip.height() / 3;
    for (int j = 0; j <= 3; ++j) {
        const int y = strip.top + j * stripRow;
        horizontalLine(painter, strip.left, strip.right, y, grid);
    }
    labelFace_.draw(painter, kCaptionLeft, plot.top - kValueCaptionRise, QStringLiteral("Value"));
    // Under the time labels, clear of every trace.
    labelFace_.draw(painter, kFuncOutLeft, strip.top - kFuncOutRise, QStringLiteral("FuncOut"));
    backgroundRange_ = range_;
}

const QImage& TimeBarChart::composeFrame() {
    followSize();
    if (background_.isNull()) {
        lastReadout_.clear();
        frame_ = QImage();
        return frame_;
    }
    if (frame_.size() != background_.size()) {
        frame_ = QImage(background_.size(), QImage::Format_ARGB32_Premultiplied);
    }
    QPainter painter(&frame_);
    drawFrame(painter);
    return frame_;
}

bool TimeBarChart::drawFrame(QPainter& painter) {
    lastReadout_.clear();
    followSize();
    if (background_.isNull()) {
        return false;
    }
    // Range update: reset on a mode change, then only ever widened.
    std::int32_t floor = 0;
    if (channel_ != nullptr) {
        const bool raw = channel_->rawMode != 0;
        if (channel_->rawMode != lastRawMode_) {
            range_ = timebar::openingRange(raw, channel_->maxValue);
            lastRawMode_ = channel_->rawMode;
        }
        range_ = timebar::widenForCount(range_, raw, channel_->value);
        hasRange_ = true;
        floor = range_.min;
    }
    if (range_ != backgroundRange_) {
        buildBackground(width(), height());
    }

    // Every pixel starts from the background: a plain row copy, whatever the target holds.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, background_);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const PixelRect& plot = layout_.plot;

    std::int32_t shown = 0;
    if (channel_ != nullptr) {
        shown = samplePass(*channel_, floor);
    }

    drawTrace(painter, tracePoints_, pointCount_, kValueTraceColour, traceCorners_);
    drawTrace(painter, keyCodePoints_, pointCount_, kKeyCodeTraceColour, traceCorners_);
    drawTrace(painter, floorPoints_, pointCount_, kFloorTraceColour, traceCorners_);

    // A key the bar graph has not bound yet has no trigger level to show.
    if (channel_ != nullptr && channel_->percentRef != nullptr) {
        const std::int32_t level = *channel_->percentRef;
        lastTriggerY_ = timebar::triggerLineY(level, range_, plot);
        horizontalLine(painter, plot.left, plot.right, lastTriggerY_, argb(kTriggerLineColour));
        lastTriggerLabel_ =
            QPoint(timebar::triggerLabelX(level, plot.left), lastTriggerY_ - kLabelRise);
        labelFace_.draw(painter, lastTriggerLabel_.x(), lastTriggerLabel_.y(),
                        QString::number(level), kTriggerLabelColour);
    }

    if (channel_ != nullptr && cursorInside_ && cursorIndex_ < pointCount_) {
        painter.fillRect(kReadoutBox, argb(kReadoutBoxColour));
        lastReadout_ = timebar::readoutText(cursorIndex_, shown,
                                            timebar::readoutPercent(channel_->maxValue, shown));
        readoutFace_.draw(painter, kReadoutBox.left(), kReadoutBox.top(), lastReadout_,
                          kReadoutColour);
        const QPoint at = tracePoints_[static_cast<std::size_t>(cursorIndex_)];
        painter.fillRect(
            QRect(at.x() - kMarkerHalf, at.y() - kMarkerHalf, 2 * kMarkerHalf, 2 * kMarkerHalf),
            argb(kReadoutColour));
    }
    return true;
}

std::int32_t TimeBarChart::samplePass(const ChannelRecord& record, std::int32_t floor) {
    const bool raw = record.rawMode != 0;
    const int count = static_cast<int>(record.samples.size());
    const PixelRect& plot = layout_.plot;
    const PixelRect& strip = layout_.strip;
    double xs = 0.0;
    if (!paused_) {
        pointCount_ = count;
        tracePoints_.assign(static_cast<std::size_t>(count), QPoint());
        keyCodePoints_.assign(static_cast<std::size_t>(count), QPoint());
        floorPoints_.assign(static_cast<std::size_t>(count), QPoint());
        // A full list spans the plot; a shorter one grows from the left.
        xs = static_cast<double>(plot.width()) / std::max(count, timebar::kSpanSamples);
    }
    const int mid = strip.top + strip.height() / 2;

    std::int32_t shown = 0;
    std::size_t i = 0;
    for (const KeySample& sample : record.samples) {
        const std::int32_t reading = raw ? sample.value : sample.diff;
        if (cursorInside_ && static_cast<std::size_t>(cursorIndex_) == i) {
            shown = reading;
        }
        double v = static_cast<double>(reading) - floor;
        range_ = timebar::widenForSample(range_, raw, sample);
        if (!paused_) {
            v = std::max(v, 0.0);
            const int xo = timebar::truncToPixel(static_cast<double>(i) * xs);
            tracePoints_[i] = QPoint(plot.left + xo, timebar::valueToY(v, range_, plot));
            keyCodePoints_[i] =
                QPoint(strip.left + xo, sample.keyCode != 0 ? strip.top + kStripTraceInset : mid);
            floorPoints_[i] =
                QPoint(strip.left + xo, v > 0 ? strip.bottom - kStripTraceInset : mid + 1);
        }
        ++i;
    }
    return shown;
}

// Drawn straight into the window's backing store: composing into frame_ first would add a
// full-frame copy per poll.
void TimeBarChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawFrame(painter);
}

void TimeBarChart::mouseMoveEvent(QMouseEvent* event) {
    followSize();
    cursorInside_ = false;
    const QPointF at = event->position();
    const int x = static_cast<int>(std::floor(at.x()));
    const int y = static_cast<int>(std::floor(at.y()));
    if (layout_.plot.contains(x, y)) {
        cursorInside_ = true;
        cursorIndex_ = timebar::readoutIndex(x, layout_.plot);
        update();
    }
    QWidget::mouseMoveEvent(event);
}

}  // namespace keyscope
