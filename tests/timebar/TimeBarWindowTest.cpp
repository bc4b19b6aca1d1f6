#include "views/timebar/TimeBarWindow.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "views/timebar/TimeBarWindowList.h"

namespace keyscope {
namespace {

using ScrollEnds = std::vector<std::pair<std::string, std::int32_t>>;  // channel, level

// Stands in for the dashboard: owns the list and records what its handlers receive.
class TimeBarWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < kChannelCount; ++i) {
            records[i].name = "TK" + std::to_string(i);
            records[i].percentRef = &trigger;
        }
    }
    void TearDown() override {
        windows.clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    TimeBarWindow& open(int key) {
        auto closed = [](ChannelRecord* record, void* self) {
            static_cast<TimeBarWindowTest*>(self)->closes.push_back(record->name);
            removeTimeBarWindow(static_cast<TimeBarWindowTest*>(self)->windows, record);
        };
        auto scrollEnd = [](ChannelRecord* record, void* self) {
            static_cast<TimeBarWindowTest*>(self)->scrollEnds.emplace_back(record->name,
                                                                           *record->percentRef);
        };
        return *openTimeBarWindow(windows, &records[key], {closed, scrollEnd, this, nullptr});
    }
    // The first polls as they come on a screen: one before the window's first paint, which
    // must not place the thumb on the chart's empty range, then one after it.
    TimeBarWindow& openPolled(int key) {
        TimeBarWindow& window = open(key);
        window.update();
        window.chart().composeFrame();
        window.update();
        return window;
    }
    static QPoint centreOf(LevelScrollBar& bar, QStyle::SubControl part) {
        QStyleOptionSlider option;
        option.initFrom(&bar);
        option.orientation = bar.orientation();
        option.minimum = bar.minimum();
        option.maximum = bar.maximum();
        option.sliderPosition = bar.sliderPosition();
        option.pageStep = bar.pageStep();
        return bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, part, &bar).center();
    }

    std::int32_t trigger = 30;
    std::array<ChannelRecord, kChannelCount> records;
    TimeBarWindowList windows;
    ScrollEnds scrollEnds;
    std::vector<std::string> closes;
};

TEST_F(TimeBarWindowTest, StartsHiddenCentredAndResizeTo500x400PlacesChildrenOnWhite) {
    TimeBarWindow window(&records[12]);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Keyscope - TK12"));
    const QRect screen = window.screen()->geometry();
    EXPECT_EQ(window.geometry().size(), QSize(410, 315));
    EXPECT_EQ(window.pos(), QPoint((screen.width() - 410) / 2, (screen.height() - 315) / 2));
    EXPECT_EQ(window.chart().size(), QSize(395, 285));
    EXPECT_EQ(window.pauseButton().text(), QStringLiteral("Pause"));
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
        EXPECT_EQ(trigger, level) << key;
        EXPECT_EQ(bar.value(), 100 - level) << key;
        EXPECT_EQ(scrollEnds.back(), std::pair(std::string("TK3"), level)) << key;
    }
    QTest::keyClick(&bar, Qt::Key_A);  // not a scroll key
    QTest::keyPress(&bar, Qt::Key_Up);
    QTest::keyPress(&bar, Qt::Key_Up);  // held: more steps, still one gesture
    EXPECT_EQ(scrollEnds.size(), 7u);
    QTest::keyRelease(&bar, Qt::Key_Up);
    EXPECT_EQ(scrollEnds.back(), std::pair(std::string("TK3"), 2));
    EXPECT_EQ(scrollEnds.size(), 8u);
}

TEST_F(TimeBarWindowTest, MouseGesturesEndOnceAndTheWheelDoesNothing) {
    LevelScrollBar& bar = openPolled(3).levelScrollBar();
    QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarSubLine));
    EXPECT_EQ(scrollEnds, (ScrollEnds{{"TK3", 31}}));

    const QPoint grip = centreOf(bar, QStyle::SC_ScrollBarSlider);
    const QPointF to(grip.x(), grip.y() + 30);
    QTest::mousePress(&bar, Qt::LeftButton, {}, grip);
    QMouseEvent drag(QEvent::MouseMove, to, bar.mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&bar, &drag);
    const std::int32_t dragged = trigger;
    EXPECT_LT(dragged, 31);  // the level follows the thumb while it moves
    EXPECT_EQ(scrollEnds.size(), 1u);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, to.toPoint());
    EXPECT_EQ(scrollEnds, (ScrollEnds{{"TK3", 31}, {"TK3", dragged}}));

    QWheelEvent wheel(QPointF(5, 50), bar.mapToGlobal(QPointF(5, 50)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&bar, &wheel);
    EXPECT_EQ(trigger, dragged);
}

TEST_F(TimeBarWindowTest, PauseTogglesAndReopenAfterCloseStartsAfresh) {
    TimeBarWindow& first = openPolled(3);
    QTest::mouseClick(&first.pauseButton(), Qt::LeftButton);
    EXPECT_EQ(first.pauseButton().text(), QStringLiteral("Start"));
    EXPECT_TRUE(first.paused() && first.chart().paused());
    QPointer<TimeBarWindow> closed(&first);
    first.close();
    EXPECT_EQ(closes, std::vector<std::string>{"TK3"});
    EXPECT_TRUE(windows.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());

    trigger = 45;
    TimeBarWindow& second = openPolled(3);
    EXPECT_EQ(second.pauseButton().text(), QStringLiteral("Pause"));
    EXPECT_FALSE(second.paused() || second.chart().paused());
    EXPECT_EQ(second.levelScrollBar().value(), 55);  // the thumb placed anew
}

TEST_F(TimeBarWindowTest, ListHoldsNewestFirstAndOneWindowPerKey) {
    TimeBarWindow* tk3 = &open(3);
    TimeBarWindow* tk7 = &open(7);
    EXPECT_TRUE(tk3->isVisible());
    EXPECT_EQ(&open(3), tk3);
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_TRUE(windows.front().get() == tk7 && windows.back().get() == tk3);

    removeTimeBarWindow(windows, &records[5]);
    removeTimeBarWindow(windows, nullptr);
    EXPECT_EQ(windows.size(), 2u);
    EXPECT_EQ(openTimeBarWindow(windows, nullptr, {}), nullptr);
    windows.clear();
    EXPECT_TRUE(closes.empty());  // destroying the list calls no close handler
}

}  // namespace
}  // namespace keyscope
