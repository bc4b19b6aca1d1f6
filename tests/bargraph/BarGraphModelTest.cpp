#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <utility>

#include "views/bargraph/BarGraphModel.h"
#include "views/bargraph/BarLayout.h"

namespace keyscope {
namespace {

constexpr int kChart = 280;  // chart zone of a 420-pixel plot

class BarGraphModelTest : public ::testing::Test {
  protected:
    void attach(int count, std::uint8_t raw, std::int32_t max, std::int32_t min) {
        for (int i = 0; i < count; ++i) {
            model.attachChannel(i, &records[i]);
            model.setRange(i, max, min);
        }
        model.setRawMode(raw);
    }
    void setDiff(int key, std::int32_t diff) {
        records[key].maxValue = 1000;
        records[key].value = 1000 - diff;
    }
    std::pair<std::int32_t, std::int32_t> slotRange(int slot) const {
        return {model.barSlots()[slot].rangeMax, model.barSlots()[slot].rangeMin};
    }

    std::array<ChannelRecord, kChannelCount> records;
    BarGraphModel model;
};

TEST_F(BarGraphModelTest, DifferenceOf150WidensSlotAndScaleButZeroBottomLowersNothing) {
    attach(2, 0, 100, 0);
    setDiff(0, 150);
    setDiff(1, 10);  // keeps its bottom 0 and is raised to 155
    const FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(slotRange(0), std::pair(155, 145));
    std::int32_t max = 0, min = 0;
    model.getRange(max, min);
    EXPECT_EQ(std::pair(max, min), std::pair(155, 145));
    EXPECT_EQ(slotRange(1), std::pair(155, 0));
    // Difference bars are not offset by scaleMin: 150 against a span of 10.
    EXPECT_EQ(frame.bars[0].valueHeight, 15 * kChart);
}

TEST_F(BarGraphModelTest, RangeStepsUpWithMarginByValueAndDownNoFurtherThanZero) {
    attach(1, 1, 0, 0);
    for (const auto& [value, margin] : {std::pair(500, 5), {501, 25}, {1000, 25}, {1001, 50}}) {
        model.setRange(0, 0, 0);
        records[0].value = value;
        model.updateFrame(kChart);
        EXPECT_EQ(slotRange(0), std::pair(value + margin, value - margin)) << value;
    }
    attach(2, 1, 260, 200);
    records[0].value = 3;
    records[1].value = 150;
    model.updateFrame(kChart);
    EXPECT_EQ(std::pair(slotRange(0).second, slotRange(1).second), std::pair(0, 145));
}

TEST_F(BarGraphModelTest, RaisedSlotReexpressesItsPeakAgainstTheNewSpan) {
    attach(2, 0, 100, 0);
    setDiff(0, 50);
    setDiff(1, 150);  // widens the scale only after slot 0 was drawn
    FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(frame.bars[0].peakHeight, kChart / 2);

    setDiff(0, 0);  // no new peak, but slot 0 is raised to 155
    frame = model.updateFrame(kChart);
    EXPECT_TRUE(frame.bars[0].raised);
    EXPECT_EQ(frame.bars[0].peakHeight, 5 * kChart);  // 50 against a span of 10
    EXPECT_EQ(frame.bars[0].topFigure, 50);
}

TEST_F(BarGraphModelTest, PeakResetTakesEffectOnlyInDifferenceModePaint) {
    attach(1, 0, 100, 0);
    setDiff(0, 60);
    model.updateFrame(kChart);
    setDiff(0, 10);
    model.setRawMode(1);
    model.requestPeakReset(1);
    model.updateFrame(kChart);
    EXPECT_EQ(model.resetPeaks(), 0);
    attach(1, 0, 100, 0);  // the raw frame widened the scale to the raw counts
    model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].peakDiff, 60);

    model.requestPeakReset(1);
    const FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].peakDiff, 10);
    EXPECT_EQ(frame.bars[0].peakHeight, kChart / 10);
}

TEST_F(BarGraphModelTest, RawBarsReachMaxValueAndValueAndFlatSpanDividesNothing) {
    attach(1, 1, 1200, 1100);
    records[0].maxValue = 1150;
    records[0].value = 1120;
    BarFrame bar = model.updateFrame(kChart).bars[0];
    EXPECT_EQ(std::pair(bar.baseHeight, bar.valueHeight), std::pair(kChart / 2, kChart / 5));
    EXPECT_EQ(std::pair(bar.topFigure, bar.variation), std::pair(1150, 2));  // 30 / 1150

    attach(1, 1, 100, 100);  // span 0 and no reference
    records[0].maxValue = 0;
    records[0].value = 100;
    bar = model.updateFrame(kChart).bars[0];
    EXPECT_EQ(std::tuple(bar.baseHeight, bar.valueHeight, bar.variation), std::tuple(0, 0, 0));
    EXPECT_EQ(variationPercent(100, 101), -1);
}

TEST_F(BarGraphModelTest, ModeAndTriggerPercentReachOnlyTheAttachedRecords) {
    attach(3, 1, 100, 0);
    records[5].rawMode = 1;
    model.setRawMode(0);
    EXPECT_EQ(records[2].rawMode, 0);
    EXPECT_EQ(records[5].rawMode, 1);
    model.setTriggerPercent(45);
    EXPECT_EQ(records[1].percentRef ? *records[1].percentRef : -1, 45);
    EXPECT_EQ(records[5].percentRef, nullptr);
}

TEST_F(BarGraphModelTest, ExtremeCountsSaturateInsteadOfOverflowing) {
    attach(2, 0, 1, 0);
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    records[0].value = records[1].maxValue = kMin;
    records[1].value = records[0].maxValue = kMax;
    const FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(frame.bars[0].diffFigure, kMax);
    EXPECT_EQ(model.scaleMax(), kMax);
    EXPECT_LE(frame.bars[1].valueHeight, 1 << 24);
}

TEST(BarLayout, Plot420GivesUnit28AndFiguresChangeAtPowersOfTenAndTouchKeyCodes) {
    const BarLayout l = BarLayout::forSize(1000, 480);
    EXPECT_EQ(std::tuple(l.plotHeight, l.unit, l.chartHeight), std::tuple(420, 28, 280));
    const int numbers[] = {-150, 9, 10, 99, 100, 999, 1000, 9999, 10000, 65535};
    const int scale[] = {40, 40, 33, 33, 25, 25, 19, 19, 13, 13};
    const int panel[] = {21, 21, 16, 16, 11, 11, 9, 9, 0, 0};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(scaleFigureIndent(numbers[i]), scale[i]) << numbers[i];
        EXPECT_EQ(panelFigureIndent(numbers[i]), panel[i]) << numbers[i];
    }
    EXPECT_EQ(keyBannerText(0x30), "Key Press : [TK0] ");
    EXPECT_EQ(keyBannerText(0x33), "Key Press : [TK3] ");
    EXPECT_EQ(keyBannerText(0x3E), "Key Press : [TK14] ");
    EXPECT_EQ(keyBannerText(0x3F), "Key Press : [0x3F] ");
    EXPECT_EQ(keyBannerText(0x0A), "Key Press : [0xA] ");
    EXPECT_EQ(keyBannerText(-1), "Key Press : [0xFFFFFFFF] ");
    EXPECT_EQ(std::tuple(gridRight(0), gridRight(50), gridRight(51), gridRight(350)),
              std::tuple(0, 0, 50, 300));
    EXPECT_EQ(std::pair(bannerRepeats(250, 250), bannerRepeats(251, 250)), std::pair(0, 1));
}

}  // namespace
}  // namespace keyscope
