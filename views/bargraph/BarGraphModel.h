#pragma once
// State and per-frame arithmetic of the key bar graph, free of any window so that
// tests and the widget share one implementation.

#include <array>
#include <cstdint>

#include "device/ChannelRecord.h"

namespace keyscope {

// One bar position. Slots are filled in order by the dashboard, so slot 0 is the
// first shown key whatever its channel number.
struct BarSlot {
    std::int32_t attached = 0;  // non-zero while a channel is shown here
    std::int32_t rangeMax = 0;  // the slot's own range, in counts
    std::int32_t rangeMin = 0;
    std::int32_t peakDiff = 0;         // largest maxValue - value since the last peak reset
    float peakRatio = 0.0f;            // peak as a fraction of the current span (difference mode)
    float peakValue = 0.0f;            // peak in counts, kept so peakRatio follows a widening scale
    ChannelRecord* channel = nullptr;  // not owned
};

// What one attached slot contributes to one frame.
struct BarFrame {
    int column = 0;  // place among the attached slots, 0-based
    const ChannelRecord* record = nullptr;
    int baseHeight = 0;         // red bar up to maxValue (raw mode), 0 in difference mode
    int valueHeight = 0;        // green bar; may exceed the chart zone or be negative
    int peakHeight = 0;         // peak marker height (difference mode only)
    std::int32_t scaleMax = 0;  // the common scale as this slot left it
    std::int32_t scaleMin = 0;
    std::int32_t valueFigure = 0;  // raw: value; difference: maxValue - value
    std::int32_t topFigure = 0;    // raw: maxValue; difference: the slot's peakDiff
    std::int32_t diffFigure = 0;   // maxValue - value
    std::int32_t variation = 0;    // (maxValue - value) / maxValue in percent, truncated
    bool raised = false;           // the slot's top was lifted to the common scale this frame
};

// Every attached slot of one frame, in slot order.
struct FrameBars {
    std::array<BarFrame, kChannelCount> bars{};
    int count = 0;
};

// Margin added around a value when a slot's range has to move to take it in.
std::int32_t rangeMargin(std::int64_t shown);

// (maxValue - value) / maxValue * 100, truncated toward zero. A record whose maxValue is 0 has
// no reference to compare against, so its variation is 0 rather than a division by zero.
std::int32_t variationPercent(std::int32_t maxValue, std::int32_t value);

// Float to pixel count, truncated toward zero. Values far outside any window (a tiny span
// against a huge count) saturate instead of overflowing; NaN gives 0.
int truncatePixels(float pixels);

class BarGraphModel {
  public:
    static constexpr std::int32_t kResetRangeMax = 255;

    BarGraphModel();
    // Channel records keep a pointer to triggerPercent, so the model never moves.
    BarGraphModel(const BarGraphModel&) = delete;
    BarGraphModel& operator=(const BarGraphModel&) = delete;

    // Detaches every slot and gives it range 255/0; peaks are left as they are.
    void resetSlots();
    // Shows record in slot. Out-of-range slots and null records are ignored.
    void attachChannel(int slot, ChannelRecord* record);
    // Number of attached slots, 0 to 16.
    int attachedCount() const;
    // Stores the mode and copies it into the record of every slot that has one.
    void setRawMode(std::uint8_t flag);
    // Requests (1) that the next paint clears the peaks; a raw-mode paint drops the request.
    void requestPeakReset(std::uint8_t flag);
    // Narrows or widens the common scale to max/min and resets the slot's range and peak ratio;
    // binds the slot's record to triggerPercent. An out-of-range slot is ignored entirely.
    void setRange(int slot, std::int32_t max, std::int32_t min);
    // The common scale, including any widening done by frames since the last setRange.
    void getRange(std::int32_t& max, std::int32_t& min) const;
    void setTriggerPercent(std::int32_t value) { triggerPercent_ = value; }

    // Runs the per-frame update for every attached slot in slot order against a chart zone
    // chartHeight pixels high, then clears the peak reset request.
    //
    // Open cases: a zero span (scaleMax == scaleMin, only reachable through setRange) gives
    // every ratio as 0, so the bars lie flat and the peak keeps its last ratio until the span
    // opens again. A negative span (setRange with min above max) is divided as it stands.
    FrameBars updateFrame(int chartHeight);

    // The sixteen slots ("slots" itself is a Qt keyword).
    const std::array<BarSlot, kChannelCount>& barSlots() const { return slots_; }
    std::int32_t scaleMax() const { return scaleMax_; }
    std::int32_t scaleMin() const { return scaleMin_; }
    std::uint8_t rawMode() const { return rawMode_; }
    std::uint8_t resetPeaks() const { return resetPeaks_; }
    std::int32_t triggerPercent() const { return triggerPercent_; }
    // The attached slot at position column among the attached ones, or null.
    const BarSlot* attachedSlotAt(int column) const;

  private:
    BarFrame updateSlot(BarSlot& slot, float chartHeight);

    std::array<BarSlot, kChannelCount> slots_{};
    std::int32_t triggerPercent_ = 0;  // lent to the records through percentRef
    std::uint8_t rawMode_ = 0;
    std::uint8_t resetPeaks_ = 0;
    std::int32_t scaleMax_ = 0;
    std::int32_t scaleMin_ = 0;
};

}  // namespace keyscope
