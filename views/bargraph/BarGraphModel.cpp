#include "views/bargraph/BarGraphModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace keyscope {

namespace {

// Counts come from the board as at most 32-bit values; differences and margins are taken in
// 64 bits and brought back so that a corrupt reading cannot overflow.
std::int32_t saturate(std::int64_t v) {
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

bool validSlot(int slot) {
    return slot >= 0 && slot < kChannelCount;
}

}  // namespace

std::int32_t rangeMargin(std::int64_t shown) {
    if (shown > 1000) {
        return 50;
    }
    if (shown > 500) {
        return 25;
    }
    return 5;
}

std::int32_t variationPercent(std::int32_t maxValue, std::int32_t value) {
    if (maxValue == 0) {
        return 0;
    }
    const double percent =
        (static_cast<double>(maxValue) - static_cast<double>(value)) / maxValue * 100.0;
    return saturate(static_cast<std::int64_t>(std::trunc(percent)));
}

int truncatePixels(float pixels) {
    // Far beyond any screen, yet small enough that adding a plot height cannot overflow.
    constexpr float kLimit = 1 << 24;
    if (std::isnan(pixels)) {
        return 0;
    }
    return static_cast<int>(std::clamp(pixels, -kLimit, kLimit));
}

BarGraphModel::BarGraphModel() {
    resetSlots();
}

void BarGraphModel::resetSlots() {
    for (BarSlot& slot : slots_) {
        slot.attached = 0;
        slot.rangeMax = kResetRangeMax;
        slot.rangeMin = 0;
        slot.channel = nullptr;
    }
}

void BarGraphModel::attachChannel(int slot, ChannelRecord* record) {
    if (!validSlot(slot) || record == nullptr) {
        return;
    }
    slots_[slot].attached = 1;
    slots_[slot].channel = record;
}

int BarGraphModel::attachedCount() const {
    return static_cast<int>(
        std::count_if(slots_.begin(), slots_.end(), [](const BarSlot& s) { return s.attached; }));
}

void BarGraphModel::setRawMode(std::uint8_t flag) {
    rawMode_ = flag;
    for (BarSlot& slot : slots_) {
        if (slot.channel != nullptr) {
            slot.channel->rawMode = flag;
        }
    }
}

void BarGraphModel::requestPeakReset(std::uint8_t flag) {
    resetPeaks_ = flag;
}

void BarGraphModel::setRange(int slot, std::int32_t max, std::int32_t min) {
    if (!validSlot(slot)) {
        return;
    }
    scaleMax_ = max;
    scaleMin_ = min;
    BarSlot& s = slots_[slot];
    s.rangeMax = max;
    s.rangeMin = min;
    s.peakRatio = 0.0f;
    if (s.channel != nullptr) {
        s.channel->percentRef = &triggerPercent_;
    }
}

void BarGraphModel::getRange(std::int32_t& max, std::int32_t& min) const {
    max = scaleMax_;
    min = scaleMin_;
}

const BarSlot* BarGraphModel::attachedSlotAt(int column) const {
    if (column < 0) {
        return nullptr;
    }
    int seen = 0;
    for (const BarSlot& slot : slots_) {
        if (slot.attached) {
            if (seen == column) {
                return &slot;
            }
            ++seen;
        }
    }
    return nullptr;
}

FrameBars BarGraphModel::updateFrame(int chartHeight) {
    FrameBars frame;
    const float height = static_cast<float>(chartHeight);
    for (BarSlot& slot : slots_) {
        if (!slot.attached || slot.channel == nullptr) {
            continue;
        }
        BarFrame bar = updateSlot(slot, height);
        bar.column = frame.count;
        frame.bars[frame.count++] = bar;
    }
    resetPeaks_ = 0;
    return frame;
}

BarFrame BarGraphModel::updateSlot(BarSlot& slot, float chartHeight) {
    const ChannelRecord& r = *slot.channel;
    const std::int64_t diff = static_cast<std::int64_t>(r.maxValue) - r.value;
    const std::int64_t shown = rawMode_ ? static_cast<std::int64_t>(r.value) : diff;
    const std::int64_t margin = rangeMargin(shown);

    // The slot's own range follows the value, up with a margin on both sides, down to at most 0.
    if (shown > slot.rangeMax) {
        slot.rangeMax = saturate(shown + margin);
        slot.rangeMin = saturate(shown - margin);
    }
    if (shown < slot.rangeMin) {
        slot.rangeMin = saturate(std::max<std::int64_t>(shown - margin, 0));
    }

    // The common scale only widens here; a slot below it is lifted to its top.
    BarFrame bar;
    const std::int32_t top = slot.rangeMax;
    const std::int32_t bottom = slot.rangeMin;
    if (scaleMax_ > top) {
        slot.rangeMax = scaleMax_;
        bar.raised = true;
    }
    if (scaleMax_ < top) {
        scaleMax_ = top;
        scaleMin_ = bottom;
    }
    if (scaleMin_ > bottom && bottom != 0) {
        scaleMin_ = bottom;
    }

    const float span = static_cast<float>(static_cast<std::int64_t>(scaleMax_) -
                                          static_cast<std::int64_t>(scaleMin_));
    const bool flat = span == 0.0f;
    auto ratio = [&](std::int64_t counts) {
        return flat ? 0.0f : static_cast<float>(counts) / span;
    };

    float baseRatio = 0.0f;
    float barRatio = 0.0f;
    if (rawMode_) {
        baseRatio = ratio(static_cast<std::int64_t>(r.maxValue) - scaleMin_);
        barRatio = ratio(static_cast<std::int64_t>(r.value) - scaleMin_);
        bar.topFigure = r.maxValue;
    } else {
        const std::int32_t d = saturate(diff);
        if (resetPeaks_) {
            slot.peakDiff = 0;
            slot.peakRatio = 0.0f;
        }
        slot.peakDiff = std::max(slot.peakDiff, d);
        // Difference bars start at the chart's bottom whatever scaleMin is.
        barRatio = ratio(d);
        if (!flat && slot.peakRatio < barRatio) {
            slot.peakValue = static_cast<float>(d);
            slot.peakRatio = slot.peakValue / span;
        }
        if (!flat && bar.raised) {
            slot.peakRatio = slot.peakValue / span;
        }
        bar.peakHeight = truncatePixels(chartHeight * slot.peakRatio);
        bar.topFigure = slot.peakDiff;
    }

    bar.record = &r;
    bar.baseHeight = truncatePixels(chartHeight * baseRatio);
    bar.valueHeight = truncatePixels(chartHeight * barRatio);
    bar.scaleMax = scaleMax_;
    bar.scaleMin = scaleMin_;
    bar.diffFigure = saturate(diff);
    bar.valueFigure = rawMode_ ? r.value : bar.diffFigure;
    bar.variation = variationPercent(r.maxValue, r.value);
    return bar;
}

}  // namespace keyscope
