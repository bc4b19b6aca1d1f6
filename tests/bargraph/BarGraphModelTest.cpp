#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "views/bargraph/BarGraphModel.h"

namespace keyscope {
namespace {

constexpr int kChart = 280;  // chart zone of a 420-pixel plot

class BarGraphModelTest : public ::testing::Test {
  protected:
    BarGraphModelTest() {
        for (int i = 0; i < kChannelCount; ++i) {
            records[i].name = "TK" + std::to_string(i);
        }
    }
    void attachFirst(int count) {
        for (int i = 0; i < count; ++i) {
            model.attachChannel(i, &records[i]);
        }
    }
    void setAllRanges(std::int32_t max, std::int32_t min) {
        for (int s = 0; s < kChannelCount; ++s) {
            model.setRange(s, max, min);
        }
    }
    void setDiff(int key, std::int32_t diff) {
        records[key].maxValue = 1000;
        records[key].value = 1000 - diff;
    }

    std::array<ChannelRecord, kChannelCount> records;
    BarGraphModel model;
};

TEST_F(BarGraphModelTest, DifferenceOf150WidensSlotAndScaleInTheSameFrame) {
    attachFirst(1);
    setAllRanges(100, 0);
    setDiff(0, 150);
    const FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].rangeMax, 155);
    EXPECT_EQ(model.barSlots()[0].rangeMin, 145);
    std::int32_t max = 0;
    std::int32_t min = 0;
    model.getRange(max, min);
    EXPECT_EQ(max, 155);
    EXPECT_EQ(min, 145);
    // Difference bars are not offset by scaleMin: 150 against a span of 10.
    EXPECT_EQ(frame.bars[0].valueHeight, 15 * kChart);
    EXPECT_EQ(frame.bars[0].baseHeight, 0);
}

class RangeMarginTest : public ::testing::TestWithParam<std::pair<std::int32_t, std::int32_t>> {};

TEST_P(RangeMarginTest, UpwardStepPlacesRangeAroundValue) {
    const auto [value, margin] = GetParam();
    std::array<ChannelRecord, 1> record;
    BarGraphModel model;
    model.attachChannel(0, &record[0]);
    model.setRawMode(1);
    model.setRange(0, 0, 0);
    record[0].value = value;
    model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].rangeMax, value + margin);
    EXPECT_EQ(model.barSlots()[0].rangeMin, value - margin);
}

INSTANTIATE_TEST_SUITE_P(MarginSteps, RangeMarginTest,
                         ::testing::Values(std::pair{500, 5}, std::pair{501, 25},
                                           std::pair{1000, 25}, std::pair{1001, 50}));

TEST_F(BarGraphModelTest, DownwardStepStopsAtZero) {
    attachFirst(2);
    model.setRawMode(1);
    setAllRanges(260, 200);
    records[0].value = 3;
    records[1].value = 150;
    model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].rangeMin, 0);
    EXPECT_EQ(model.barSlots()[1].rangeMin, 145);
}

TEST_F(BarGraphModelTest, ScaleMinIsNotLoweredBySlotWhoseBottomIsZero) {
    attachFirst(2);
    setAllRanges(100, 0);
    setDiff(0, 150);  // widens the scale to 155/145
    setDiff(1, 10);   // keeps its range 100/0 and is raised to 155
    model.updateFrame(kChart);
    EXPECT_EQ(model.scaleMin(), 145);
    EXPECT_EQ(model.barSlots()[1].rangeMax, 155);
}

TEST_F(BarGraphModelTest, RaisedSlotReexpressesItsPeakAgainstTheNewSpan) {
    attachFirst(2);
    setAllRanges(100, 0);
    setDiff(0, 50);
    setDiff(1, 150);  // widens the scale only after slot 0 was drawn
    FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(frame.bars[0].scaleMax, 100);
    EXPECT_EQ(frame.bars[0].peakHeight, kChart / 2);
    EXPECT_EQ(frame.bars[1].scaleMax, 155);

    setDiff(0, 0);  // no new peak, but slot 0 is raised to 155
    frame = model.updateFrame(kChart);
    EXPECT_TRUE(frame.bars[0].raised);
    EXPECT_EQ(frame.bars[0].peakHeight, 5 * kChart);  // 50 against a span of 10
    EXPECT_EQ(frame.bars[0].topFigure, 50);
}

TEST_F(BarGraphModelTest, PeakResetTakesEffectOnlyInDifferenceModePaint) {
    attachFirst(1);
    setAllRanges(100, 0);
    setDiff(0, 60);
    model.updateFrame(kChart);
    setDiff(0, 10);

    model.setRawMode(1);
    model.requestPeakReset(1);
    model.updateFrame(kChart);
    EXPECT_EQ(model.resetPeaks(), 0);
    model.setRawMode(0);
    setAllRanges(100, 0);  // the raw frame widened the scale to the raw counts
    model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].peakDiff, 60);

    model.requestPeakReset(1);
    const FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].peakDiff, 10);
    EXPECT_EQ(frame.bars[0].peakHeight, kChart / 10);
}

TEST_F(BarGraphModelTest, RawModeBarsReachMaxValueAndValue) {
    attachFirst(1);
    model.setRawMode(1);
    setAllRanges(1200, 1100);
    records[0].maxValue = 1150;
    records[0].value = 1120;
    const BarFrame bar = model.updateFrame(kChart).bars[0];
    EXPECT_EQ(bar.baseHeight, kChart / 2);
    EXPECT_EQ(bar.valueHeight, kChart / 5);
    EXPECT_EQ(bar.topFigure, 1150);
    EXPECT_EQ(bar.variation, 2);  // 30 / 1150 = 2.6 %
}

TEST_F(BarGraphModelTest, ModeAndTriggerPercentReachTheBoundRecords) {
    attachFirst(3);
    model.setRawMode(1);
    model.setRawMode(0);
    records[5].rawMode = 1;  // never attached: left alone
    model.setRawMode(0);
    EXPECT_EQ(records[2].rawMode, 0);
    EXPECT_EQ(records[5].rawMode, 1);

    model.setRange(1, 100, 0);
    ASSERT_NE(records[1].percentRef, nullptr);
    model.setTriggerPercent(45);
    EXPECT_EQ(*records[1].percentRef, 45);
    EXPECT_EQ(records[0].percentRef, nullptr);
}

TEST_F(BarGraphModelTest, ZeroSpanAndZeroMaxValueDrawFlatWithoutDividing) {
    attachFirst(1);
    model.setRawMode(1);
    setAllRanges(100, 100);
    records[0].maxValue = 0;
    records[0].value = 100;
    const BarFrame bar = model.updateFrame(kChart).bars[0];
    EXPECT_EQ(bar.valueHeight, 0);
    EXPECT_EQ(bar.baseHeight, 0);
    EXPECT_EQ(bar.variation, 0);
    EXPECT_EQ(variationPercent(100, 101), -1);
}

TEST_F(BarGraphModelTest, ExtremeCountsSaturateInsteadOfOverflowing) {
    attachFirst(2);
    setAllRanges(1, 0);
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    records[0].value = kMin;
    records[0].maxValue = kMax;
    records[1].value = kMax;
    records[1].maxValue = kMin;
    const FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(frame.bars[0].diffFigure, kMax);
    EXPECT_EQ(model.scaleMax(), kMax);
    EXPECT_LE(frame.bars[1].valueHeight, 1 << 24);
}

}  // namespace
}  // namespace keyscope
