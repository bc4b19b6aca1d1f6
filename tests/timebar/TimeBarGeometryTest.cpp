#include "views/timebar/TimeBarGeometry.h"

#include <limits>

#include <gtest/gtest.h>

namespace keyscope::timebar {
namespace {

constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
const PixelRect kPlot400x250{50, 20, 360, 200};

struct LayoutCase {
    int width, height;
    int k;
    PixelRect plot, strip;
    int stepX, valueStep;
};

class TimeBarLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(TimeBarLayoutTest, ClientSizeGivesPlotStripAndGridSteps) {
    const LayoutCase& c = GetParam();
    const ChartLayout layout = chartLayout(c.width, c.height);
    EXPECT_EQ(layout.k, c.k);
    EXPECT_EQ(layout.plot, c.plot);
    EXPECT_EQ(layout.strip, c.strip);
    EXPECT_EQ(layout.stepX, c.stepX);
    EXPECT_EQ(layout.valueStep, c.valueStep);
}

INSTANTIATE_TEST_SUITE_P(
    TimeBarSizes, TimeBarLayoutTest,
    ::testing::Values(LayoutCase{400, 250, 10, {50, 20, 360, 200}, {50, 220, 360, 250}, 10, 9},
                      LayoutCase{400, 300, 12, {50, 20, 360, 240}, {50, 260, 360, 296}, 10, 11},
                      // the chart of a fresh 410 x 315 window
                      LayoutCase{395, 285, 11, {50, 20, 360, 220}, {50, 240, 360, 273}, 10, 10},
                      LayoutCase{485, 370, 14, {50, 20, 450, 280}, {50, 300, 450, 342}, 13, 13},
                      // too small for a plot: empty or inverted, never a fault
                      LayoutCase{0, 0, 0, {50, 20, 0, 0}, {50, 20, 0, 20}, -1, -1}));

TEST(TimeBarRange, RawModeOpensOneHundredBelowRoundedReference) {
    EXPECT_EQ(openingRange(true, 237), (ValueRange{255, 155}));
    EXPECT_EQ(openingRange(true, 0), (ValueRange{20, -80}));
    EXPECT_EQ(openingRange(true, kInt32Min), (ValueRange{kInt32Min + 23, kInt32Min}));  // saturates
}

TEST(TimeBarRange, DifferenceModeOpensAtZeroToHundred) {
    EXPECT_EQ(openingRange(false, 237), (ValueRange{100, 0}));
}

TEST(TimeBarRange, RawCountBelowBottomLowersIt) {
    EXPECT_EQ(widenForCount({255, 155}, true, 150), (ValueRange{255, 150}));
    EXPECT_EQ(widenForCount({255, 155}, true, 200), (ValueRange{255, 155}));
}

TEST(TimeBarRange, RawCountAboveTopRaisesItToRoundedCount) {
    EXPECT_EQ(widenForCount({255, 155}, true, 263), (ValueRange{280, 155}));
}

TEST(TimeBarRange, BottomNeverBelowZero) {
    EXPECT_EQ(widenForCount({20, -80}, true, 0), (ValueRange{20, 0}));
    EXPECT_EQ(widenForCount({100, 0}, false, -40), (ValueRange{100, 0}));
}

TEST(TimeBarRange, SamplesWidenByModeRule) {
    EXPECT_EQ(widenForSample({100, 0}, false, KeySample{0, 500, 97}), (ValueRange{115, 0}));
    EXPECT_EQ(widenForSample({100, 0}, false, KeySample{0, 500, 80}), (ValueRange{100, 0}));
    EXPECT_EQ(widenForSample({255, 155}, true, KeySample{0, 150, 9999}), (ValueRange{255, 150}));
}

TEST(TimeBarRange, DifferenceModeTopStaysAtHundredWhateverTheCount) {
    EXPECT_EQ(widenForCount({100, 0}, false, 900), (ValueRange{100, 0}));
    // only widens: a wider top from earlier samples is kept
    EXPECT_EQ(widenForCount({115, 0}, false, 900), (ValueRange{115, 0}));
}

TEST(TimeBarValueGrid, LabelsAtTopQuartersAndBottom) {
    const ValueRange range{255, 155};
    EXPECT_EQ(valueGridLabel(range, 20), 255);
    EXPECT_EQ(valueGridLabel(range, 15), 230);
    EXPECT_EQ(valueGridLabel(range, 10), 205);
    EXPECT_EQ(valueGridLabel(range, 5), 180);
    EXPECT_EQ(valueGridLabel(range, 0), 155);
    EXPECT_EQ(valueGridLabel({115, 0}, 15), 86);  // 86.25 truncated
}

TEST(TimeBarTriggerLine, InsideRangeScalesIntoPlot) {
    EXPECT_EQ(triggerLineY(50, {100, 0}, kPlot400x250), 110);
    EXPECT_EQ(triggerLineY(100, {100, 0}, kPlot400x250), 20);
    EXPECT_EQ(triggerLineY(0, {100, 0}, kPlot400x250), 200);
    EXPECT_EQ(triggerLineY(30, {115, 0}, kPlot400x250), 153);  // 200 - 46.96
}

TEST(TimeBarTriggerLine, OutsideRangeIsPinnedToTheEdges) {
    EXPECT_EQ(triggerLineY(400, {255, 155}, kPlot400x250), 20);
    EXPECT_EQ(triggerLineY(30, {255, 155}, kPlot400x250), 200);
}

TEST(TimeBarTriggerLine, ZeroWideRangeDoesNotDivide) {
    EXPECT_EQ(triggerLineY(0, {0, 0}, kPlot400x250), 200);
    EXPECT_EQ(valueToY(5.0, {7, 7}, kPlot400x250), 200);
}

TEST(TimeBarTriggerLine, LabelMovesLeftWithMoreDigits) {
    const int left = kPlot400x250.left;
    EXPECT_EQ(triggerLabelX(5, left), 40);
    EXPECT_EQ(triggerLabelX(50, left), 35);
    EXPECT_EQ(triggerLabelX(150, left), 20);
    EXPECT_EQ(triggerLabelX(9, left), 40);
    EXPECT_EQ(triggerLabelX(10, left), 35);
    EXPECT_EQ(triggerLabelX(99, left), 35);
    EXPECT_EQ(triggerLabelX(100, left), 20);
    EXPECT_EQ(triggerLabelX(-3, left), 40);
}

TEST(TimeBarReadout, PointerColumnGivesSampleIndex) {
    EXPECT_EQ(readoutIndex(50 + 310 / 2, kPlot400x250), 150);
    EXPECT_EQ(readoutIndex(50, kPlot400x250), 0);
    EXPECT_EQ(readoutIndex(359, kPlot400x250), 299);
    EXPECT_EQ(readoutIndex(60, {50, 20, 50, 200}), 0);  // empty plot
}

TEST(TimeBarReadout, PercentBelowReference) {
    EXPECT_EQ(readoutPercent(200, 150), 25);
    EXPECT_EQ(readoutPercent(3, 2), 33);
    EXPECT_EQ(readoutPercent(3, 4), -33);  // truncated toward zero
    EXPECT_EQ(readoutPercent(200, 250), -25);
}

TEST(TimeBarReadout, ZeroReferenceShowsZeroPercent) {
    EXPECT_EQ(readoutPercent(0, 0), 0);
    EXPECT_EQ(readoutPercent(0, 123), 0);
}

TEST(TimeBarReadout, TextShowsSecondsValueAndPercent) {
    EXPECT_EQ(readoutText(150, 97, 25), QStringLiteral("(15.0, 97) - 25%"));
    EXPECT_EQ(readoutText(5, -3, 0), QStringLiteral("(0.5, -3) - 0%"));
    EXPECT_EQ(readoutText(299, 1234, -7), QStringLiteral("(29.9, 1234) - -7%"));
}

TEST(TimeBarWindowGeometry, FirstPlacementIsCentred) {
    EXPECT_EQ(initialWindowRect({1920, 1080}), QRect(755, 382, 410, 315));
    EXPECT_EQ(initialWindowRect({1025, 768}), QRect(307, 226, 410, 315));
}

TEST(TimeBarWindowGeometry, ResizeTo500x400PlacesChartBarAndButton) {
    const QSize client(500, 400);
    EXPECT_EQ(chartSizeForClient(client), QSize(485, 370));
    EXPECT_EQ(levelBarRect(client, 370), QRect(485, 20, 16, 296));
    EXPECT_EQ(pauseButtonRect(client), QRect(200, 372, 100, 28));
}

struct ScrollCase {
    const char* name;
    int request;
    std::int32_t min, max, position, track;
    ScrollOutcome expected;
};

class TimeBarScrollTest : public ::testing::TestWithParam<ScrollCase> {};

TEST_P(TimeBarScrollTest, RequestSetsLevelAndThumb) {
    const ScrollCase& c = GetParam();
    EXPECT_EQ(scrollOutcome(c.request, c.min, c.max, c.position, c.track), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    TimeBarRequests, TimeBarScrollTest,
    ::testing::Values(
        ScrollCase{"LineUpFrom30", 0, 0, 100, 70, 0, {31, true, 69}},
        ScrollCase{"PageUpFrom31", 2, 0, 100, 69, 0, {41, true, 59}},
        ScrollCase{"LineUpAtTopStays", 0, 0, 100, 0, 0, {100, true, 0}},
        ScrollCase{"PageUpNearTopClamps", 2, 0, 100, 5, 0, {100, true, 0}},
        ScrollCase{"LineDownAtBottomStays", 1, 0, 100, 100, 0, {0, true, 100}},
        ScrollCase{"PageDownFrom41", 3, 0, 100, 59, 0, {31, true, 69}},
        ScrollCase{"ThumbReleasedKeepsShownLevel", 4, 0, 100, 40, 0, {60, false, 0}},
        ScrollCase{"ThumbDragMirrorsTrack", 5, 0, 100, 40, 25, {75, true, 25}},
        ScrollCase{"TopTakesMax", 6, 0, 100, 40, 0, {100, true, 0}},
        ScrollCase{"BottomTakesMin", 7, 0, 100, 40, 0, {0, true, 100}},
        ScrollCase{"EndOfGestureKeepsShownLevel", 8, 0, 100, 40, 0, {60, false, 0}},
        ScrollCase{"UnknownRequestKeepsShownLevel", 42, 0, 100, 40, 0, {60, false, 0}},
        ScrollCase{"NarrowRangeStepsByZero", 0, 0, 99, 50, 0, {49, true, 50}},
        ScrollCase{"OffsetRangeMirrors", 0, 155, 255, 205, 0, {206, true, 204}},
        ScrollCase{
            "HugeRangeSaturates", 6, kInt32Min, kInt32Max, 0, 0, {kInt32Max, true, kInt32Min}}),
    [](const ::testing::TestParamInfo<ScrollCase>& info) { return info.param.name; });

}  // namespace
}  // namespace keyscope::timebar
