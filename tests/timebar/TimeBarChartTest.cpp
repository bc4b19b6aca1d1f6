#include "views/timebar/TimeBarChart.h"

#include <limits>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QMouseEvent>

namespace keyscope {
namespace {

constexpr QRgb kValueTrace = 0xFFFFFF00;
constexpr QRgb kTriggerLine = 0xFF1E90FF;
constexpr QRgb kReadoutRed = 0xFFFF0000;

class TimeBarChartTest : public ::testing::Test {
  protected:
    void SetUp() override {
        record.name = "TK3";
        record.percentRef = &trigger;
        chart.setChannel(&record);
        chart.resize(400, 250);
    }

    void addSamples(int count, std::int32_t value, std::int32_t diff, std::int32_t keyCode = 0) {
        for (int i = 0; i < count; ++i) {
            record.samples.push_back(KeySample{keyCode, value, diff});
        }
    }

    void movePointer(int x, int y) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y), QPointF(x, y), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&chart, &move);
    }

    static int countPixels(const QImage& image, QRect area, QRgb colour) {
        int found = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                found += image.pixel(x, y) == colour ? 1 : 0;
            }
        }
        return found;
    }

    std::int32_t trigger = 30;
    ChannelRecord record;
    TimeBarChart chart;
};

TEST_F(TimeBarChartTest, RawModeOpensAt255And155ThenCountOf150LowersBottom) {
    record.rawMode = 1;
    record.maxValue = 237;
    record.value = 237;
    chart.composeFrame();
    EXPECT_EQ(chart.getRangeMax(), 255);
    EXPECT_EQ(chart.getRangeMin(), 155);

    addSamples(1, 150, 87);
    chart.composeFrame();
    EXPECT_EQ(chart.getRangeMax(), 255);
    EXPECT_EQ(chart.getRangeMin(), 150);
}

TEST_F(TimeBarChartTest, RangeOnlyWidensUntilTheModeChanges) {
    addSamples(1, 500, 97);
    chart.composeFrame();
    record.samples.clear();
    addSamples(5, 590, 7);
    chart.composeFrame();
    EXPECT_EQ(chart.getRangeMax(), 115);

    record.rawMode = 1;
    record.maxValue = 600;
    record.value = 590;
    chart.composeFrame();
    EXPECT_EQ(chart.getRangeMax(), 620);
    EXPECT_EQ(chart.getRangeMin(), 520);
}

TEST_F(TimeBarChartTest, TriggerAboveRangeSitsOnTopEdgeBelowOnBottomEdge) {
    record.rawMode = 1;
    record.maxValue = 237;
    record.value = 237;
    trigger = 400;
    const QImage& above = chart.composeFrame();
    EXPECT_EQ(chart.lastTriggerY(), 20);
    EXPECT_EQ(above.pixel(200, 20), kTriggerLine);
    // the label keeps the true value: three digits put it at left - 30
    EXPECT_EQ(chart.lastTriggerLabel(), QPoint(20, 12));

    trigger = 30;
    const QImage& below = chart.composeFrame();
    EXPECT_EQ(chart.lastTriggerY(), 200);
    EXPECT_EQ(below.pixel(200, 200), kTriggerLine);
    EXPECT_EQ(chart.lastTriggerLabel(), QPoint(35, 192));
}

TEST_F(TimeBarChartTest, PointerAtMidPlotReadsSample150At15Seconds) {
    record.rawMode = 1;
    record.maxValue = 200;
    record.value = 180;
    addSamples(150, 180, 20);
    addSamples(1, 150, 50, 0x31);
    addSamples(149, 180, 20);
    movePointer(50 + 310 / 2, 100);
    EXPECT_TRUE(chart.cursorInside());
    EXPECT_EQ(chart.cursorIndex(), 150);

    const QImage& frame = chart.composeFrame();
    EXPECT_EQ(chart.lastReadout(), QStringLiteral("(15.0, 150) - 25%"));
    const QPoint marker = chart.tracePoints()[150];
    EXPECT_EQ(frame.pixel(marker), kReadoutRed);
}

TEST_F(TimeBarChartTest, ReadoutWithZeroReferenceShowsZeroPercent) {
    record.rawMode = 1;
    addSamples(300, 40, -40);
    movePointer(60, 100);
    chart.composeFrame();
    EXPECT_EQ(chart.lastReadout(), QStringLiteral("(0.9, 40) - 0%"));
}

TEST_F(TimeBarChartTest, PointerLeavingPlotDropsReadoutAtNextPaint) {
    addSamples(300, 500, 20);
    movePointer(200, 100);
    chart.composeFrame();
    EXPECT_FALSE(chart.lastReadout().isEmpty());

    movePointer(360, 100);  // right edge lies outside
    EXPECT_FALSE(chart.cursorInside());
    chart.composeFrame();
    EXPECT_TRUE(chart.lastReadout().isEmpty());
}

TEST_F(TimeBarChartTest, NoReadoutPastTheLastSample) {
    addSamples(100, 500, 20);
    movePointer(50 + 310 / 2, 100);  // index 150
    chart.composeFrame();
    EXPECT_TRUE(chart.lastReadout().isEmpty());
}

TEST_F(TimeBarChartTest, ShortHistoryGrowsFromTheLeft) {
    addSamples(3, 500, 50, 0x30);
    chart.composeFrame();
    ASSERT_EQ(chart.pointCount(), 3);
    // 310 / 300 pixels per sample; v 50 of 100 is half way up the 180-pixel plot
    EXPECT_EQ(chart.tracePoints()[0], QPoint(50, 110));
    EXPECT_EQ(chart.tracePoints()[2], QPoint(52, 110));
    EXPECT_EQ(chart.keyCodePoints()[1], QPoint(51, 222));  // key down: top of strip + 2
    EXPECT_EQ(chart.floorPoints()[1], QPoint(51, 248));    // above floor: bottom - 2

    record.samples.assign(2, KeySample{0, 500, 0});  // no key, no signal: both at the midline
    chart.composeFrame();
    EXPECT_EQ(chart.keyCodePoints()[0].y(), 235);
    EXPECT_EQ(chart.floorPoints()[0].y(), 236);
}

TEST_F(TimeBarChartTest, PauseFreezesTracesWhileLabelsFollow) {
    addSamples(10, 500, 20);
    chart.composeFrame();
    const std::vector<QPoint> frozen = chart.tracePoints();

    chart.setPaused(true);
    addSamples(20, 300, 197);
    chart.composeFrame();
    EXPECT_EQ(chart.pointCount(), 10);
    EXPECT_EQ(chart.tracePoints(), frozen);
    EXPECT_EQ(chart.getRangeMax(), 215);

    chart.setPaused(false);
    chart.composeFrame();
    EXPECT_EQ(chart.pointCount(), 30);
}

TEST_F(TimeBarChartTest, OneSampleDrawsNoTrace) {
    const QRect plotArea(50, 20, 310, 180);
    addSamples(1, 500, 50);
    EXPECT_EQ(countPixels(chart.composeFrame(), plotArea, kValueTrace), 0);
    EXPECT_EQ(countPixels(chart.composeFrame(), QRect(50, 220, 310, 30), 0xFFCD5C5Cu), 0);

    addSamples(1, 500, 50);
    EXPECT_GT(countPixels(chart.composeFrame(), plotArea, kValueTrace), 0);
}

TEST_F(TimeBarChartTest, WithoutChannelDrawsGridOnly) {
    TimeBarChart bare;
    bare.resize(400, 250);
    const QImage& frame = bare.composeFrame();
    ASSERT_EQ(frame.size(), QSize(400, 250));
    EXPECT_EQ(frame.pixel(55, 25), 0xFF000000u);    // plot, between grid lines
    EXPECT_EQ(frame.pixel(55, 232), 0xFF000000u);   // strip
    EXPECT_EQ(frame.pixel(380, 100), 0xFFFFFFFFu);  // control background
    EXPECT_EQ(bare.pointCount(), 0);
    EXPECT_EQ(countPixels(frame, QRect(50, 20, 310, 180), kTriggerLine), 0);
}

TEST_F(TimeBarChartTest, EmptyClientAreaDrawsNothing) {
    chart.resize(0, 0);
    EXPECT_TRUE(chart.composeFrame().isNull());
}

TEST_F(TimeBarChartTest, ExtremeCountsDoNotBreakThePaint) {
    constexpr auto lo = std::numeric_limits<std::int32_t>::min();
    constexpr auto hi = std::numeric_limits<std::int32_t>::max();
    record.rawMode = 1;
    record.maxValue = -20;  // opens a range 0 wide once clamped
    record.value = lo;
    record.samples = {KeySample{1, lo, hi}, KeySample{0, hi, lo}, KeySample{0, 0, 0}};
    trigger = lo;
    movePointer(51, 21);
    EXPECT_FALSE(chart.composeFrame().isNull());
    record.rawMode = 0;
    trigger = hi;
    EXPECT_FALSE(chart.composeFrame().isNull());
}

}  // namespace
}  // namespace keyscope
