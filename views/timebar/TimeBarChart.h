#pragma once
// The time-series chart of one key: its count (raw mode) or its difference from
// the reference (difference mode) over the last 300 samples, the "FuncOut" strip
// with the key-code and floor traces, the shared trigger level as a line, and a
// readout of the sample under the pointer.
//
// The chart reads its ChannelRecord at every paint and owns nothing of it.

#include <cstdint>
#include <vector>

#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QString>
#include <QWidget>

#include "device/ChannelRecord.h"
#include "views/PaintKit.h"
#include "views/timebar/TimeBarGeometry.h"

namespace keyscope {

class TimeBarChart : public QWidget {
    Q_OBJECT
  public:
    static constexpr int preferredWidth = timebar::kChartPreferredWidth;
    static constexpr int preferredHeight = timebar::kChartPreferredHeight;

    explicit TimeBarChart(QWidget* parent = nullptr);

    // The record must outlive the chart (or be replaced); null plots nothing live.
    void setChannel(ChannelRecord* record) { channel_ = record; }
    // 1 freezes the traces; the scale, trigger line and readout stay live.
    void setPaused(bool paused) { paused_ = paused; }

    // The range as the last paint left it (0, 0 before the first paint).
    std::int32_t getRangeMax() const { return range_.max; }
    std::int32_t getRangeMin() const { return range_.min; }
    // Whether a paint has taken the range from the channel yet.
    bool hasRange() const { return hasRange_; }

    // Runs one paint into the off-screen frame and returns it; paintEvent draws
    // exactly this into the window. A null image while the client area is empty.
    const QImage& composeFrame();

    // State for tests and the benchmark.
    bool paused() const { return paused_; }
    bool cursorInside() const { return cursorInside_; }
    int cursorIndex() const { return cursorIndex_; }
    int pointCount() const { return pointCount_; }
    const std::vector<QPoint>& tracePoints() const { return tracePoints_; }
    const std::vector<QPoint>& keyCodePoints() const { return keyCodePoints_; }
    const std::vector<QPoint>& floorPoints() const { return floorPoints_; }
    const timebar::ChartLayout& layout() const { return layout_; }
    // The readout drawn by the last paint; empty when none was drawn.
    const QString& lastReadout() const { return lastReadout_; }
    // The trigger line's y and its label's top-left point at the last paint.
    int lastTriggerY() const { return lastTriggerY_; }
    QPoint lastTriggerLabel() const { return lastTriggerLabel_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    // Rebuilds the layout and background when they lag the widget's size: a
    // hidden window delivers its children's resizes only when it is shown.
    void followSize();
    // Redraws the background for the size and the current range.
    void buildBackground(int width, int height);
    // One frame onto painter's device, which it covers whole; false while the client area
    // is empty.
    bool drawFrame(QPainter& painter);
    // Walks the samples; returns the value shown under the cursor (0 when none).
    std::int32_t samplePass(const ChannelRecord& record, std::int32_t floor);

    QImage background_;  // what changes only with the size or range; null until a resize
    timebar::ValueRange backgroundRange_;  // the range its value labels show
    QImage frame_;                         // the composed frame, reused while the size stays
    TextFace labelFace_{10};               // built and measured once, with the chart
    TextFace readoutFace_{12};
    ChannelRecord* channel_ = nullptr;
    bool cursorInside_ = false;
    int cursorIndex_ = 0;
    bool paused_ = false;
    std::vector<QPoint> tracePoints_;
    int pointCount_ = 0;
    timebar::ChartLayout layout_;
    timebar::ValueRange range_;
    bool hasRange_ = false;
    std::uint8_t lastRawMode_ = 0;
    std::vector<QPoint> keyCodePoints_;
    std::vector<QPoint> floorPoints_;
    std::vector<QPoint> traceCorners_;  // the polyline actually drawn, reused
    QString lastReadout_;
    int lastTriggerY_ = 0;
    QPoint lastTriggerLabel_;
};

}  // namespace keyscope
