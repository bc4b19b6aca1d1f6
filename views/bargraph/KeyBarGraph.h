#pragma once
// KeyBarGraph: the control that fills the dashboard and shows one bar per shown touch key.
//
// Contract
// - The dashboard attaches channel records to slots 0, 1, 2 ... in channel order; bars stand
//   side by side in slot order, 50 pixels per column, starting at window x 100. The records
//   are not owned and must outlive the control (or be detached with resetSlots).
// - Every paint runs the per-frame update (BarGraphModel::updateFrame): slot ranges follow
//   the values, the common scale widens itself, peaks are tracked. Only setRange narrows
//   the scale again. The dashboard repaints after each poll with refresh(), which repaints
//   only the parts a poll can change; update() repaints everything.
// - Everything that depends only on the size (background with legend and prompt, footer
//   strip, plot grid) is drawn once per resize; a paint composes those with the bars.
// - Pointer moves over a bar column set the hover state (tint at the next paint, hand
//   cursor); while barClicked has a receiver, a left click on a hovered column emits it once
//   with that slot's record and clears the hover, so a second click without a move does
//   nothing. Hover does not repaint by itself: the next poll shows the tint.
// - A control smaller than 121 x 61 pixels has no plot: it draws nothing and ignores the mouse.
// All calls on the GUI thread.

#include <QImage>
#include <QWidget>

#include <cstdint>

#include "device/ChannelRecord.h"
#include "views/PaintKit.h"
#include "views/bargraph/BarGraphModel.h"
#include "views/bargraph/BarLayout.h"

class QPainter;

namespace keyscope {

class KeyBarGraph : public QWidget {
    Q_OBJECT

  public:
    // Loads the banner, leaves every slot detached with range 255/0, difference mode, scale 0/0.
    explicit KeyBarGraph(QWidget* parent = nullptr);
    ~KeyBarGraph() override;

    // --- Configuration by the dashboard -------------------------------------------------
    // Detaches every slot and resets its range to 255/0; peaks stay.
    void resetSlots();
    // Shows record in slot 0..15; an out-of-range slot or a null record is ignored.
    void attachChannel(int slot, ChannelRecord* record);
    // Number of attached slots, 0 to 16.
    int attachedCount() const;
    // 1 = raw counts, 0 = difference from maxValue; copied into every slot's record.
    void setRawMode(std::uint8_t flag);
    // 1 asks the next difference-mode paint to clear the peaks (a raw-mode paint drops it).
    void requestPeakReset(std::uint8_t flag);
    // Sets the common scale and this slot's range, clears its peak ratio and points the
    // slot's record's percentRef at this control's trigger percentage.
    void setRange(int slot, std::int32_t max, std::int32_t min);
    // The common scale as painting has widened it since the last setRange.
    void getRange(std::int32_t& max, std::int32_t& min) const;
    // The key trigger percentage shared by all keys (read through ChannelRecord::percentRef).
    void setTriggerPercent(std::int32_t value);
    std::int32_t triggerPercent() const;
    // Address of the connection's key code, read at every paint for the pressed-key banner;
    // null (the default) shows no banner. Must outlive the control or be reset to null.
    void setKeyCodeSource(const std::int32_t* address);
    // Schedules the repaint after a poll: liveArea(), or everything after a resize.
    void refresh();
    // What a poll can change, in window coordinates: the attached columns with their
    // figures and names, and the pressed-key banner with its longest text.
    QRect liveArea() const;

    // --- Sizing rules ------------------------------------------------------------------
    static constexpr int slotWidth() { return kSlotWidth; }
    // Window width that shows n bars: 400 up to 5 bars, else 50 * n + 200.
    static constexpr int preferredWidth(int bars) { return bars < 6 ? 400 : (bars * 5 + 20) * 10; }
    static constexpr int preferredHeight() { return 640; }

    // --- Inspection (tests, benchmark) -------------------------------------------------
    const BarGraphModel& model() const { return model_; }
    const BarLayout& layout() const { return layout_; }  // as of the last resize
    bool hovering() const { return hovering_; }
    // Hovered column in plot coordinates; keeps its last value after the pointer leaves.
    QRect hoverRect() const { return hoverRect_; }
    bool hasBanner() const { return !banner_.isNull(); }
    // Composes one frame exactly as a paint does (running the per-frame update) and returns
    // it; a null image when the control has no plot yet.
    QImage renderFrame();

  signals:
    // A hovered bar was clicked; the dashboard connects its onBarClicked here.
    void barClicked(ChannelRecord* record);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void rebuildCaches();
    void ensureCaches();
    bool drawFrame(QPainter& painter);  // false when there is nothing to draw
    void drawBar(QPainter& painter, int columnX, int height, const QImage& strip) const;
    void updateHover(QPoint pos);
    bool handleClick(QPoint pos);

    BarGraphModel model_;
    BarLayout layout_;
    QImage banner_;       // footer artwork, loaded once
    QImage background_;   // white, legend, prompt
    QImage bannerStrip_;  // banner plus repeats of its last 50 columns, window wide
    QImage plot_;         // transparent with the grid
    QImage base_;         // background with the plot laid on it: the start of every frame
    QImage valueBar_;     // one bar column's width of each gradient, plot high
    QImage baseBar_;
    QImage hoverTint_;  // one column of the hover fill, chart high
    bool hovering_ = false;
    QRect hoverRect_;
    const std::int32_t* keyCodeSource_ = nullptr;
    // The text sizes, built and measured once.
    TextFace legendFace_{8};
    TextFace promptFace_{12};
    TextFace figureFace_{9};
    TextFace nameFace_{10};
    TextFace bannerFace_{14};
    int widestBanner_ = 0;  // the longest pressed-key text, in pixels
};

}  // namespace keyscope
