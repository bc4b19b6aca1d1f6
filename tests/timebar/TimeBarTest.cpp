// The time-bar chart painted into images offscreen, its geometry as pure functions, and
// the window around it with its level scroll bar, driven with QTest.
#include <algorithm>
#include <array>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "views/timebar/TimeBarChart.h"
#include "views/timebar/TimeBarWindow.h"
#include "views/timebar/TimeBarWindowList.h"

namespace keyscope {
namespace {

constexpr QRgb kValueTrace = 0xFFFFFF00;
constexpr QRgb kTriggerLine = 0xFF1E90FF;
const QRect kPlotArea(50, 20, 310, 180);  // of the 400 x 250 chart
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();
using ScrollEnds = std::vector<std::pair<std::string, std::int32_t>>;  // channel, level

// Keys TK0 to TK15, all following one trigger level; a 400 x 250 chart shows TK0. It also
// stands in for the dashboard: owns the window list and records what its handlers receive.
class TimeBarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < kChannelCount; ++i) {
            records[i].name = "TK" + std::to_string(i);
            records[i].percentRef = &trigger;
        }
        chart.setChannel(&record);
        chart.resize(400, 250);
    }
    void TearDown() override {
        windows.clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void setRaw(std::int32_t maxValue, std::int32_t value) {
        record.rawMode = 1;
        record.maxValue = maxValue;
        record.value = value;
    }
    void add(int count, std::int32_t value, std::int32_t diff, std::int32_t keyCode = 0) {
        record.samples.insert(record.samples.end(), count, KeySample{keyCode, value, diff});
    }
    std::pair<std::int32_t, std::int32_t> paintRange() {
        chart.composeFrame();
        return {chart.getRangeMax(), chart.getRangeMin()};
    }
    QString readoutAt(int x, int y) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, y), chart.mapToGlobal(QPointF(x, y)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&chart, &move);  // the chart is never shown
        chart.composeFrame();
        return chart.lastReadout();
    }
    static int countPixels(const QImage& image, QRect area, QRgb colour) {
        const QImage part = image.copy(area).convertToFormat(QImage::Format_ARGB32);
        const auto* bits = reinterpret_cast<const QRgb*>(part.constBits());
        return int(std::count(bits, bits + std::ptrdiff_t{part.width()} * part.height(), colour));
    }

    TimeBarWindow& open(int key) {
        return *openTimeBarWindow(windows, &records[key], nullptr, [this](TimeBarWindow& window) {
            QObject::connect(&window, &TimeBarWindow::closed, [this](ChannelRecord* closed) {
                closes.push_back(closed->name);
                removeTimeBarWindow(windows, closed);
            });
            QObject::connect(&window, &TimeBarWindow::scrollEnded, [this](ChannelRecord* ended) {
                scrollEnds.emplace_back(ended->name, *ended->percentRef);
            });
        });
    }
    // A poll before the first paint must not place the thumb on the chart's empty range.
    TimeBarWindow& openPolled(int key) {
        TimeBarWindow& window = open(key);
        window.update();
        window.chart().composeFrame();
        window.update();
        return window;
    }

    std::int32_t trigger = 30;
    std::array<ChannelRecord, kChannelCount> records;
    ChannelRecord& record = records[0];
    TimeBarChart chart;
    TimeBarWindowList windows;
    ScrollEnds scrollEnds;
    std::vector<std::string> closes;
};
using TimeBarChartTest = TimeBarTest;
using TimeBarWindowTest = TimeBarTest;

TEST_F(TimeBarChartTest, RangeOpensByModeThenOnlyWidensUntilTheModeChanges) {
    setRaw(237, 237);
    EXPECT_EQ(paintRange(), std::pair(255, 155));
    add(1, 150, 87);  // a count of 150 lowers the bottom
    EXPECT_EQ(paintRange(), std::pair(255, 150));

    record.rawMode = 0;
    record.samples.assign(1, KeySample{0, 500, 97});
    EXPECT_EQ(paintRange(), std::pair(115, 0));
    record.samples.assign(5, KeySample{0, 590, 7});
    EXPECT_EQ(paintRange(), std::pair(115, 0));
    setRaw(600, 590);
    EXPECT_EQ(paintRange(), std::pair(620, 520));
}

TEST_F(TimeBarChartTest, ReadoutShowsSampleUnderPointerOnlyInsidePlotAndHistory) {
    setRaw(200, 180);
    add(150, 180, 20);
    add(1, 150, 50, 0x31);
    add(149, 180, 20);
    EXPECT_EQ(readoutAt(50 + 310 / 2, 100), QStringLiteral("(15.0, 150) - 25%"));  // index 150
    const QImage& frame = chart.composeFrame();
    EXPECT_EQ(frame.pixel(chart.tracePoints()[150]), 0xFFFF0000u);  // red marker
    // A trigger of 30 below the range 120..220 sits on the bottom edge, labelled at 10 - 99.
    EXPECT_EQ(frame.pixel(200, 200), kTriggerLine);
    EXPECT_EQ(chart.lastTriggerLabel(), QPoint(35, 192));

    EXPECT_EQ(readoutAt(360, 100), QString());  // the right edge lies outside
    record.samples.resize(100);
    EXPECT_EQ(readoutAt(50 + 310 / 2, 100), QString());  // past the last sample
}

TEST_F(TimeBarChartTest, ShortHistoryGrowsFromTheLeftAndOneSampleDrawsNoTrace) {
    add(1, 500, 50, 0x30);
    EXPECT_EQ(countPixels(chart.composeFrame(), kPlotArea, kValueTrace), 0);
    add(2, 500, 50, 0x30);
    EXPECT_GT(countPixels(chart.composeFrame(), kPlotArea, kValueTrace), 0);
    ASSERT_EQ(chart.pointCount(), 3);
    // 310 / 300 pixels per sample; diff 50 of 100 is half way up the plot; key down draws at
    // the strip's top + 2, a signal above the floor at its bottom - 2.
    EXPECT_EQ(std::tuple(chart.tracePoints()[2], chart.keyCodePoints()[1], chart.floorPoints()[1]),
              std::tuple(QPoint(52, 110), QPoint(51, 222), QPoint(51, 248)));

    record.samples.assign(2, KeySample{0, 500, 0});  // no key, no signal: the midline
    chart.composeFrame();
    EXPECT_EQ(std::pair(chart.keyCodePoints()[0].y(), chart.floorPoints()[0].y()),
              std::pair(235, 236));
}

TEST_F(TimeBarChartTest, PauseFreezesTracesWhileLabelsFollow) {
    add(10, 500, 20);
    chart.composeFrame();
    const std::vector<QPoint> frozen = chart.tracePoints();
    chart.setPaused(true);
    add(20, 300, 197);
    EXPECT_EQ(paintRange().first, 215);
    EXPECT_EQ(chart.tracePoints(), frozen);
    chart.setPaused(false);
    chart.composeFrame();
    EXPECT_EQ(chart.pointCount(), 30);
}

TEST_F(TimeBarChartTest, NoChannelEmptyClientOrExtremeCountsDoNotBreakThePaint) {
    TimeBarChart bare;
    bare.resize(400, 250);  // the grid alone, no trigger line
    EXPECT_EQ(countPixels(bare.composeFrame(), kPlotArea, kTriggerLine), 0);

    setRaw(-20, kMin32);  // a range 0 wide once clamped
    record.samples = {KeySample{1, kMin32, kMax32}, KeySample{0, kMax32, kMin32},
                      KeySample{0, 0, 0}};
    trigger = kMin32;
    readoutAt(51, 21);
    EXPECT_FALSE(chart.composeFrame().isNull());
    record.rawMode = 0;
    trigger = kMax32;
    EXPECT_FALSE(chart.composeFrame().isNull());
    chart.resize(0, 0);
    EXPECT_TRUE(chart.composeFrame().isNull());
}

using namespace timebar;
const PixelRect kPlot{50, 20, 360, 200};  // of a 400 x 250 client

TEST(TimeBarRange, OpensAndWidensByModeNeverBelowZero) {
    EXPECT_EQ(openingRange(true, 0), (ValueRange{20, -80}));
    EXPECT_EQ(openingRange(true, kMin32), (ValueRange{kMin32 + 23, kMin32}));  // saturates
    EXPECT_EQ(widenForCount({255, 155}, true, 263), (ValueRange{280, 155}));
    EXPECT_EQ(widenForCount({20, -80}, true, 0), (ValueRange{20, 0}));
    EXPECT_EQ(widenForCount({100, 0}, false, -40), (ValueRange{100, 0}));
    // the count never sets the difference top, and a wider top is kept
    EXPECT_EQ(widenForCount({115, 0}, false, 900), (ValueRange{115, 0}));
}

TEST(TimeBarValues, MapToLabelsPixelsAndReadoutWithoutDividingByZero) {
    EXPECT_EQ(valueGridLabel({115, 0}, 15), 86);  // 86.25
    EXPECT_EQ(triggerLineY(50, {100, 0}, kPlot), 110);
    EXPECT_EQ(triggerLineY(30, {115, 0}, kPlot), 153);  // 200 - 46.96
    EXPECT_EQ(triggerLineY(0, {0, 0}, kPlot), 200);
    EXPECT_EQ(triggerLineY(400, {255, 155}, kPlot), 20);  // outside: on the edge
    EXPECT_EQ(triggerLineY(30, {255, 155}, kPlot), 200);
    EXPECT_EQ(valueToY(5.0, {7, 7}, kPlot), 200);
    std::vector<int> labelX;  // further left at each extra digit
    for (int level : {-3, 5, 9, 10, 50, 99, 100, 150}) {
        labelX.push_back(triggerLabelX(level, kPlot.left));
    }
    EXPECT_EQ(labelX, (std::vector{40, 40, 40, 35, 35, 35, 20, 20}));
    EXPECT_EQ(readoutIndex(359, kPlot), 299);
    EXPECT_EQ(readoutIndex(60, {50, 20, 50, 200}), 0);  // empty plot
    EXPECT_EQ(readoutPercent(3, 4), -33);               // truncated toward zero
    EXPECT_EQ(readoutPercent(0, 123), 0);               // no reference: 0 %, no division
    EXPECT_EQ(readoutText(299, 1234, -7), QStringLiteral("(29.9, 1234) - -7%"));
}

// Line and page steps, top and bottom from the keyboard are driven in the window tests below.
TEST(TimeBarScroll, RequestsMirrorLevelAndThumbOverTheBarRange) {
    using R = ScrollRequest;
    using O = ScrollOutcome;
    EXPECT_EQ(scrollOutcome(int(R::PageUp), 0, 100, 5, 0), (O{100, true, 0}));  // clamped
    EXPECT_EQ(scrollOutcome(int(R::LineDown), 0, 100, 100, 0), (O{0, true, 100}));
    EXPECT_EQ(scrollOutcome(int(R::ThumbTrack), 0, 100, 40, 25), (O{75, true, 25}));
    for (int request : {int(R::ThumbPosition), int(R::EndScroll), 42})
        EXPECT_EQ(scrollOutcome(request, 0, 100, 40, 0), (O{60, false, 0})) << request;
    EXPECT_EQ(scrollOutcome(int(R::LineUp), 0, 99, 50, 0), (O{49, true, 50}));  // steps by 0
    EXPECT_EQ(scrollOutcome(int(R::LineUp), 155, 255, 205, 0), (O{206, true, 204}));
    EXPECT_EQ(scrollOutcome(int(R::Top), kMin32, kMax32, 0, 0), (O{kMax32, true, kMin32}));
}

TEST_F(TimeBarWindowTest, StartsHiddenCentredAndResizeTo500x400PlacesChildrenOnWhite) {
    TimeBarWindow window(&records[12]);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Keyscope - TK12"));
    const QRect screen = window.screen()->geometry();
    EXPECT_EQ(QRect(window.pos(), window.geometry().size()),
              QRect((screen.width() - 410) / 2, (screen.height() - 315) / 2, 410, 315));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.levelScrollBar().value(), 225);  // 255 - L over 0..255

    window.resize(500, 400);
    window.show();
    EXPECT_EQ(window.chart().geometry(), QRect(0, 0, 485, 370));
    EXPECT_EQ(window.levelScrollBar().geometry(), QRect(485, 20, 16, 296));
    EXPECT_EQ(window.pauseButton().geometry(), QRect(200, 372, 100, 28));
    const QImage shot = window.grab().toImage();  // a dark track on a white window
    EXPECT_LT(qGray(shot.pixel(window.levelScrollBar().geometry().center())), 80);
    EXPECT_EQ(shot.pixel(window.width() - 5, 5), 0xFFFFFFFFu);
}

TEST_F(TimeBarWindowTest, FirstPollPlacesThumbOnceThenEachKeyGestureMovesLevelAndEndsOnce) {
    TimeBarWindow& window = openPolled(3);  // difference mode: range 0..100
    LevelScrollBar& bar = window.levelScrollBar();
    EXPECT_EQ(bar.value(), 70);
    trigger = 80;  // later polls leave the thumb alone
    window.update();
    EXPECT_EQ(bar.value(), 70);

    const std::pair<Qt::Key, std::int32_t> steps[] = {
        {Qt::Key_Up, 31},    {Qt::Key_PageUp, 41}, {Qt::Key_PageDown, 31}, {Qt::Key_Down, 30},
        {Qt::Key_Home, 100}, {Qt::Key_Up, 100},    {Qt::Key_End, 0}};
    for (const auto& [key, level] : steps) {
        QTest::keyClick(&bar, key);
        EXPECT_EQ(std::pair(trigger, bar.value()), std::pair(level, 100 - level)) << key;
        EXPECT_EQ(scrollEnds.back(), std::pair(std::string("TK3"), level)) << key;
    }
    QTest::keyClick(&bar, Qt::Key_A);  // not a scroll key
    QTest::keyPress(&bar, Qt::Key_Up);
    QTest::keyPress(&bar, Qt::Key_Up);  // held: more steps, still one gesture
    EXPECT_EQ(scrollEnds.size(), 7u);
    QTest::keyRelease(&bar, Qt::Key_Up);
    EXPECT_EQ(scrollEnds.size(), 8u);
    EXPECT_EQ(scrollEnds.back(), std::pair(std::string("TK3"), 2));
}

TEST_F(TimeBarWindowTest, ADragMovesTheLevelEndsOnReleaseAndTheWheelDoesNothing) {
    LevelScrollBar& bar = openPolled(3).levelScrollBar();
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.orientation = bar.orientation();
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.pageStep = bar.pageStep();
    const QRect thumb = bar.style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                    QStyle::SC_ScrollBarSlider, &bar);
    const QPoint to = thumb.center() + QPoint(0, 30);
    QTest::mousePress(&bar, Qt::LeftButton, {}, thumb.center());
    QTest::mouseMove(&bar, to);
    const std::int32_t dragged = trigger;
    EXPECT_LT(dragged, 30);  // the level follows the thumb while it moves
    EXPECT_TRUE(scrollEnds.empty());
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, to);
    EXPECT_EQ(scrollEnds, (ScrollEnds{{"TK3", dragged}}));

    QWheelEvent wheel(QPointF(5, 50), bar.mapToGlobal(QPointF(5, 50)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&bar, &wheel);
    EXPECT_EQ(trigger, dragged);
}

TEST_F(TimeBarWindowTest, ListHoldsOneWindowPerKeyNewestFirstAndReopenAfterCloseStartsAfresh) {
    TimeBarWindow* tk3 = &openPolled(3);
    TimeBarWindow* tk7 = &open(7);
    EXPECT_TRUE(tk3->isVisible());
    EXPECT_EQ(&open(3), tk3);
    removeTimeBarWindow(windows, &records[5]);
    removeTimeBarWindow(windows, nullptr);
    EXPECT_EQ(openTimeBarWindow(windows, nullptr, nullptr, {}), nullptr);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(std::pair(windows.front().get(), windows.back().get()), std::pair(tk7, tk3));

    QTest::mouseClick(&tk3->pauseButton(), Qt::LeftButton);
    EXPECT_EQ(tk3->pauseButton().text(), QStringLiteral("Start"));
    EXPECT_TRUE(tk3->paused() && tk3->chart().paused());
    QPointer<TimeBarWindow> closed(tk3);
    tk3->close();
    EXPECT_EQ(closes, std::vector<std::string>{"TK3"});
    EXPECT_EQ(windows.size(), 1u);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());

    trigger = 45;
    TimeBarWindow& second = openPolled(3);
    EXPECT_EQ(second.pauseButton().text(), QStringLiteral("Pause"));
    EXPECT_FALSE(second.paused() || second.chart().paused());
    EXPECT_EQ(second.levelScrollBar().value(), 55);  // the thumb placed anew
    windows.clear();
    EXPECT_EQ(closes.size(), 1u);  // destroying the list calls no close handler
}

}  // namespace
}  // namespace keyscope
