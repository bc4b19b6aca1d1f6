#include <gtest/gtest.h>

#include <limits>

#include "bargraph/BarGraphTestSupport.h"
#include "views/bargraph/BarGraphModel.h"

namespace keyscope {
namespace {

constexpr int kChart = 280;  // chart zone of a 420-pixel plot

class BarGraphModelTest : public ::testing::Test {
  protected:
    void setAllRanges(std::int32_t max, std::int32_t min) {
        for (int s = 0; s < kChannelCount; ++s) {
            model.setRange(s, max, min);
        }
    }
    void attach(std::initializer_list<int> keys) {
        int slot = 0;
        for (int key : keys) {
            model.attachChannel(slot++, &records[key]);
        }
    }
    void setDiff(int key, std::int32_t maxValue, std::int32_t diff) {
        records[key].maxValue = maxValue;
        records[key].value = maxValue - diff;
    }

    std::array<ChannelRecord, kChannelCount> records = test::makeRecords();
    BarGraphModel model;
};

TEST_F(BarGraphModelTest, ConstructionLeavesEverySlotDetachedWithRange255To0) {
    EXPECT_EQ(model.attachedCount(), 0);
    for (const BarSlot& slot : model.barSlots()) {
        EXPECT_EQ(slot.attached, 0);
        EXPECT_EQ(slot.rangeMax, 255);
        EXPECT_EQ(slot.rangeMin, 0);
        EXPECT_EQ(slot.channel, nullptr);
    }
    EXPECT_EQ(model.updateFrame(kChart).count, 0);
}

TEST_F(BarGraphModelTest, ResetSlotsDetachesButKeepsPeaks) {
    attach({0});
    setAllRanges(100, 0);
    setDiff(0, 1000, 40);
    model.updateFrame(kChart);
    model.resetSlots();
    EXPECT_EQ(model.attachedCount(), 0);
    EXPECT_EQ(model.barSlots()[0].rangeMax, 255);
    EXPECT_EQ(model.barSlots()[0].peakDiff, 40);
    EXPECT_EQ(model.updateFrame(kChart).count, 0);
}

TEST_F(BarGraphModelTest, AttachIgnoresOutOfRangeSlotAndNullRecord) {
    model.attachChannel(-1, &records[0]);
    model.attachChannel(16, &records[0]);
    model.attachChannel(3, nullptr);
    EXPECT_EQ(model.attachedCount(), 0);
    model.setRange(16, 5, 1);  // ignored entirely
    std::int32_t max = -1;
    std::int32_t min = -1;
    model.getRange(max, min);
    EXPECT_EQ(max, 0);
    EXPECT_EQ(min, 0);
}

TEST_F(BarGraphModelTest, DifferenceOf150WidensSlotAndScaleInTheSameFrame) {
    attach({0});
    setAllRanges(100, 0);
    setDiff(0, 1150, 150);
    const FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].rangeMax, 155);
    EXPECT_EQ(model.barSlots()[0].rangeMin, 145);
    std::int32_t max = 0;
    std::int32_t min = 0;
    model.getRange(max, min);
    EXPECT_EQ(max, 155);
    EXPECT_EQ(min, 145);
    // Difference bars are not offset by scaleMin: 150 / 10 of the chart.
    ASSERT_EQ(frame.count, 1);
    EXPECT_EQ(frame.bars[0].valueHeight, 15 * kChart);
    EXPECT_EQ(frame.bars[0].baseHeight, 0);
    EXPECT_EQ(frame.bars[0].topFigure, 150);
}

struct MarginCase {
    std::int32_t value;
    std::int32_t margin;
    friend void PrintTo(const MarginCase& c, std::ostream* os) { *os << "value " << c.value; }
};

class RangeMarginTest : public ::testing::TestWithParam<MarginCase> {};

TEST_P(RangeMarginTest, UpwardStepPlacesRangeAroundValueWithMargin) {
    const MarginCase c = GetParam();
    EXPECT_EQ(rangeMargin(c.value), c.margin);

    auto records = test::makeRecords();
    BarGraphModel model;
    model.attachChannel(0, &records[0]);
    model.setRawMode(1);
    model.setRange(0, 0, 0);
    records[0].value = c.value;
    records[0].maxValue = c.value;
    model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].rangeMax, c.value + c.margin);
    EXPECT_EQ(model.barSlots()[0].rangeMin, c.value - c.margin);
}

INSTANTIATE_TEST_SUITE_P(MarginSteps, RangeMarginTest,
                         ::testing::Values(MarginCase{1, 5}, MarginCase{500, 5},
                                           MarginCase{501, 25}, MarginCase{1000, 25},
                                           MarginCase{1001, 50}, MarginCase{60000, 50}));

TEST_F(BarGraphModelTest, DownwardStepStopsAtZero) {
    attach({0, 1});
    model.setRawMode(1);
    setAllRanges(260, 200);
    records[0].value = 3;  // 3 - 5 would be negative
    records[1].value = 150;
    model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].rangeMin, 0);
    EXPECT_EQ(model.barSlots()[1].rangeMin, 145);
    EXPECT_EQ(model.barSlots()[0].rangeMax, 260);
}

TEST_F(BarGraphModelTest, ScaleMinIsNotLoweredBySlotWhoseBottomIsZero) {
    attach({0, 1});
    setAllRanges(100, 0);
    setDiff(0, 1000, 150);  // widens the scale to 155/145
    setDiff(1, 1000, 10);   // slot range stays 100/0, raised to 155
    model.updateFrame(kChart);
    EXPECT_EQ(model.scaleMax(), 155);
    EXPECT_EQ(model.scaleMin(), 145);
    EXPECT_EQ(model.barSlots()[1].rangeMax, 155);
    EXPECT_EQ(model.barSlots()[1].rangeMin, 0);
}

TEST_F(BarGraphModelTest, NonZeroBottomBelowScaleMinLowersIt) {
    attach({0, 1});
    model.setRawMode(1);
    setAllRanges(1200, 1100);
    records[0].value = records[0].maxValue = 1150;
    records[1].value = records[1].maxValue = 1000;  // slot 1 steps down to 975
    model.updateFrame(kChart);
    EXPECT_EQ(model.scaleMax(), 1200);
    EXPECT_EQ(model.scaleMin(), 975);
}

TEST_F(BarGraphModelTest, EachBarUsesScaleReachedAfterItsOwnSlot) {
    attach({0, 1});
    setAllRanges(100, 0);
    setDiff(0, 1000, 50);
    setDiff(1, 1000, 150);
    const FrameBars frame = model.updateFrame(kChart);
    ASSERT_EQ(frame.count, 2);
    EXPECT_EQ(frame.bars[0].scaleMax, 100);
    EXPECT_EQ(frame.bars[0].valueHeight, kChart / 2);
    EXPECT_EQ(frame.bars[1].scaleMax, 155);
    EXPECT_EQ(frame.bars[1].scaleMin, 145);
    EXPECT_EQ(frame.bars[1].column, 1);
}

TEST_F(BarGraphModelTest, RaisedSlotReexpressesItsPeakAgainstTheNewSpan) {
    attach({0, 1});
    setAllRanges(100, 0);
    setDiff(0, 1000, 50);   // peak 50 of span 100
    setDiff(1, 1000, 150);  // widens to 155/145 after slot 0 was drawn
    FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(frame.bars[0].peakHeight, kChart / 2);

    setDiff(0, 1000, 0);  // falls back: no new peak, but the slot is raised to 155
    frame = model.updateFrame(kChart);
    EXPECT_TRUE(frame.bars[0].raised);
    EXPECT_FLOAT_EQ(model.barSlots()[0].peakRatio, 5.0f);  // 50 against a span of 10
    EXPECT_EQ(frame.bars[0].peakHeight, 5 * kChart);
    EXPECT_EQ(frame.bars[0].topFigure, 50);
}

TEST_F(BarGraphModelTest, PeakFollowsTheLargestDifference) {
    attach({0});
    setAllRanges(100, 0);
    for (int diff : {20, 60, 30}) {
        setDiff(0, 1000, diff);
        const FrameBars frame = model.updateFrame(kChart);
        EXPECT_EQ(frame.bars[0].valueHeight, kChart * diff / 100);
    }
    EXPECT_EQ(model.barSlots()[0].peakDiff, 60);
    EXPECT_EQ(model.updateFrame(kChart).bars[0].peakHeight, kChart * 60 / 100);
}

TEST_F(BarGraphModelTest, PeakResetTakesEffectInDifferenceModePaint) {
    attach({0});
    setAllRanges(100, 0);
    setDiff(0, 1000, 60);
    model.updateFrame(kChart);
    setDiff(0, 1000, 10);
    model.requestPeakReset(1);
    const FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].peakDiff, 10);
    EXPECT_EQ(frame.bars[0].peakHeight, kChart / 10);
    EXPECT_EQ(model.resetPeaks(), 0);
}

TEST_F(BarGraphModelTest, PeakResetIsDroppedByRawModePaint) {
    attach({0});
    setAllRanges(100, 0);
    setDiff(0, 1000, 60);
    model.updateFrame(kChart);

    model.setRawMode(1);
    model.requestPeakReset(1);
    model.updateFrame(kChart);
    EXPECT_EQ(model.resetPeaks(), 0);
    EXPECT_EQ(model.barSlots()[0].peakDiff, 60);

    model.setRawMode(0);
    setAllRanges(100, 0);
    setDiff(0, 1000, 10);
    model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].peakDiff, 60);
}

TEST_F(BarGraphModelTest, RawModeBarsReachMaxValueAndValue) {
    attach({0});
    model.setRawMode(1);
    setAllRanges(1200, 1100);
    records[0].maxValue = 1150;
    records[0].value = 1120;
    const BarFrame bar = model.updateFrame(kChart).bars[0];
    EXPECT_EQ(bar.baseHeight, kChart / 2);
    EXPECT_EQ(bar.valueHeight, kChart / 5);
    EXPECT_EQ(bar.peakHeight, 0);
    EXPECT_EQ(bar.topFigure, 1150);
    EXPECT_EQ(bar.valueFigure, 1120);
    EXPECT_EQ(bar.diffFigure, 30);
    EXPECT_EQ(bar.variation, 2);  // 30 / 1150 = 2.6 %
}

TEST_F(BarGraphModelTest, SetRawModeWritesEveryBoundRecord) {
    attach({0, 3, 7});
    model.setRawMode(1);
    EXPECT_EQ(records[3].rawMode, 1);
    model.setRawMode(0);
    for (int key : {0, 3, 7}) {
        EXPECT_EQ(records[key].rawMode, 0);
    }
    records[1].rawMode = 1;  // never attached: untouched
    model.setRawMode(0);
    EXPECT_EQ(records[1].rawMode, 1);
}

TEST_F(BarGraphModelTest, SetRangeLendsTriggerPercentToTheRecord) {
    attach({5});
    model.setTriggerPercent(30);
    model.setRange(0, 100, 0);
    ASSERT_NE(records[5].percentRef, nullptr);
    EXPECT_EQ(*records[5].percentRef, 30);
    model.setTriggerPercent(45);
    EXPECT_EQ(*records[5].percentRef, 45);
}

TEST_F(BarGraphModelTest, ZeroSpanGivesFlatBarsWithoutDividing) {
    attach({0});
    setAllRanges(100, 100);
    setDiff(0, 0, 0);  // maxValue 0 as well
    model.setRawMode(1);
    const BarFrame bar = model.updateFrame(kChart).bars[0];
    EXPECT_EQ(model.scaleMax(), 100);
    EXPECT_EQ(model.scaleMin(), 100);
    EXPECT_EQ(bar.valueHeight, 0);
    EXPECT_EQ(bar.baseHeight, 0);
    EXPECT_EQ(bar.variation, 0);
    model.setRawMode(0);
    EXPECT_EQ(model.updateFrame(kChart).bars[0].peakHeight, 0);
}

TEST_F(BarGraphModelTest, ExtremeCountsSaturateInsteadOfOverflowing) {
    attach({0, 1});
    setAllRanges(1, 0);
    records[0].maxValue = std::numeric_limits<std::int32_t>::max();
    records[0].value = std::numeric_limits<std::int32_t>::min();
    records[1].maxValue = std::numeric_limits<std::int32_t>::min();
    records[1].value = std::numeric_limits<std::int32_t>::max();
    const FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(frame.bars[0].diffFigure, std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(model.scaleMax(), std::numeric_limits<std::int32_t>::max());
    EXPECT_LE(frame.bars[1].valueHeight, 1 << 24);
}

struct VariationCase {
    std::int32_t maxValue;
    std::int32_t value;
    std::int32_t percent;
    friend void PrintTo(const VariationCase& c, std::ostream* os) {
        *os << "max " << c.maxValue << " value " << c.value;
    }
};

class VariationPercentTest : public ::testing::TestWithParam<VariationCase> {};

TEST_P(VariationPercentTest, TruncatesTowardZero) {
    const VariationCase c = GetParam();
    EXPECT_EQ(variationPercent(c.maxValue, c.value), c.percent);
}

INSTANTIATE_TEST_SUITE_P(Table, VariationPercentTest,
                         ::testing::Values(VariationCase{100, 99, 1}, VariationCase{1150, 1120, 2},
                                           VariationCase{100, 101, -1}, VariationCase{200, 0, 100},
                                           VariationCase{0, 50, 0}, VariationCase{3, 2, 33}));

}  // namespace
}  // namespace keyscope
