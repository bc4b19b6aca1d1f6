#include "views/timebar/TimeBarWindow.h"

#include <array>
#include <string>
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

// Stands in for the dashboard: owns the list and records the handler calls.
struct FakeDashboard {
    TimeBarWindowList windows;
    std::vector<std::string> scrollEnds;  // channel name at each end of gesture
    std::vector<std::int32_t> levelsAtScrollEnd;
    std::vector<std::string> closes;
    void* lastContext = nullptr;

    static void onClosed(ChannelRecord* record, void* context) {
        auto* self = static_cast<FakeDashboard*>(context);
        self->closes.push_back(record->name);
        self->lastContext = context;
        removeTimeBarWindow(self->windows, record);
    }
    static void onScrollEnd(ChannelRecord* record, void* context) {
        auto* self = static_cast<FakeDashboard*>(context);
        self->scrollEnds.push_back(record->name);
        self->levelsAtScrollEnd.push_back(*record->percentRef);
        self->lastContext = context;
    }
    TimeBarHandlers handlers() { return {&onClosed, &onScrollEnd, this, nullptr}; }
};

class TimeBarWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < kChannelCount; ++i) {
            records[i].name = "TK" + std::to_string(i);
            records[i].percentRef = &trigger;
        }
    }

    void TearDown() override {
        dashboard.windows.clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    TimeBarWindow& open(int key) {
        return *openTimeBarWindow(dashboard.windows, &records[key], dashboard.handlers());
    }

    // A poll as the dashboard runs it: the window takes the chart's range,
    // then the chart repaints.
    static void poll(TimeBarWindow& window) {
        window.update();
        window.chart().composeFrame();
    }

    static QPoint centreOf(LevelScrollBar& bar, QStyle::SubControl part) {
        QStyleOptionSlider option;
        option.initFrom(&bar);
        option.orientation = bar.orientation();
        option.minimum = bar.minimum();
        option.maximum = bar.maximum();
        option.sliderPosition = bar.sliderPosition();
        option.sliderValue = bar.value();
        option.singleStep = bar.singleStep();
        option.pageStep = bar.pageStep();
        option.upsideDown = bar.invertedAppearance();
        option.subControls = QStyle::SC_All;
        return bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, part, &bar).center();
    }

    std::int32_t trigger = 30;
    std::array<ChannelRecord, kChannelCount> records;
    FakeDashboard dashboard;
};

TEST_F(TimeBarWindowTest, SetUpTitlesSizesAndCentresTheWindow) {
    TimeBarWindow window(&records[12]);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Keyscope - TK12"));
    EXPECT_EQ(window.size(), QSize(410, 315));
    const QRect screen = window.screen()->geometry();
    EXPECT_EQ(window.pos(), QPoint((screen.width() - 410) / 2, (screen.height() - 315) / 2));
    EXPECT_EQ(window.chart().size(), QSize(395, 285));
    EXPECT_EQ(window.pauseButton().text(), QStringLiteral("Pause"));
    EXPECT_EQ(window.channelName(), "TK12");
    EXPECT_FALSE(window.isVisible());
    // before the first poll: 0..255 with the thumb at 255 - L
    EXPECT_EQ(window.levelScrollBar().maximum(), 255);
    EXPECT_EQ(window.levelScrollBar().value(), 225);
}

TEST_F(TimeBarWindowTest, ResizeTo500x400PlacesChartBarAndButton) {
    TimeBarWindow window(&records[3]);
    window.resize(500, 400);
    window.show();
    EXPECT_EQ(window.chart().geometry(), QRect(0, 0, 485, 370));
    EXPECT_EQ(window.levelScrollBar().geometry(), QRect(485, 20, 16, 296));
    EXPECT_EQ(window.pauseButton().geometry(), QRect(200, 372, 100, 28));
}

TEST_F(TimeBarWindowTest, FirstPollPlacesThumbOnceFromChartRange) {
    TimeBarWindow& window = open(3);
    window.chart().composeFrame();  // difference mode: range 0..100
    poll(window);
    LevelScrollBar& bar = window.levelScrollBar();
    EXPECT_EQ(bar.minimum(), 0);
    EXPECT_EQ(bar.maximum(), 100);
    EXPECT_EQ(bar.value(), 70);
    EXPECT_TRUE(window.scrollPositionSet());

    trigger = 80;  // later polls leave the thumb alone
    poll(window);
    EXPECT_EQ(bar.value(), 70);
}

TEST_F(TimeBarWindowTest, KeysStepPageAndJumpTheLevelOverTheChartRange) {
    TimeBarWindow& window = open(3);
    window.chart().composeFrame();
    poll(window);
    LevelScrollBar& bar = window.levelScrollBar();

    QTest::keyClick(&bar, Qt::Key_Up);
    EXPECT_EQ(trigger, 31);
    EXPECT_EQ(bar.value(), 69);
    QTest::keyClick(&bar, Qt::Key_PageUp);
    EXPECT_EQ(trigger, 41);
    EXPECT_EQ(bar.value(), 59);
    QTest::keyClick(&bar, Qt::Key_PageDown);
    QTest::keyClick(&bar, Qt::Key_Down);
    EXPECT_EQ(trigger, 30);
    EXPECT_EQ(bar.value(), 70);

    QTest::keyClick(&bar, Qt::Key_Home);
    EXPECT_EQ(trigger, 100);
    EXPECT_EQ(bar.value(), 0);
    QTest::keyClick(&bar, Qt::Key_Up);  // already at the top
    EXPECT_EQ(trigger, 100);
    EXPECT_EQ(bar.value(), 0);

    QTest::keyClick(&bar, Qt::Key_End);
    EXPECT_EQ(trigger, 0);
    EXPECT_EQ(bar.value(), 100);
}

TEST_F(TimeBarWindowTest, EachKeyGestureEndsOnceWithTheWindowsChannel) {
    TimeBarWindow& window = open(7);
    window.chart().composeFrame();
    poll(window);
    LevelScrollBar& bar = window.levelScrollBar();

    QTest::keyPress(&bar, Qt::Key_Up);
    QTest::keyPress(&bar, Qt::Key_Up);  // held: more steps, still one gesture
    EXPECT_TRUE(dashboard.scrollEnds.empty());
    QTest::keyRelease(&bar, Qt::Key_Up);
    QTest::keyClick(&bar, Qt::Key_PageUp);
    QTest::keyClick(&bar, Qt::Key_A);  // not a scroll key

    EXPECT_EQ(dashboard.scrollEnds, (std::vector<std::string>{"TK7", "TK7"}));
    EXPECT_EQ(dashboard.levelsAtScrollEnd, (std::vector<std::int32_t>{32, 42}));
    EXPECT_EQ(dashboard.lastContext, &dashboard);
    EXPECT_EQ(trigger, 42);
}

TEST_F(TimeBarWindowTest, ArrowClickStepsAndEndsOneGesture) {
    TimeBarWindow& window = open(3);
    window.chart().composeFrame();
    poll(window);
    LevelScrollBar& bar = window.levelScrollBar();

    QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarSubLine));
    EXPECT_EQ(trigger, 31);
    EXPECT_EQ(dashboard.scrollEnds.size(), 1u);
}

TEST_F(TimeBarWindowTest, DragChangesLevelContinuouslyAndEndsOnce) {
    TimeBarWindow& window = open(3);
    window.resize(500, 400);
    window.show();
    window.chart().composeFrame();
    poll(window);
    LevelScrollBar& bar = window.levelScrollBar();

    const QPoint grip = centreOf(bar, QStyle::SC_ScrollBarSlider);
    QTest::mousePress(&bar, Qt::LeftButton, {}, grip);
    std::vector<std::int32_t> levels;
    for (int dy : {20, 40, 60}) {
        const QPointF to(grip.x(), grip.y() + dy);
        QMouseEvent move(QEvent::MouseMove, to, bar.mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QCoreApplication::sendEvent(&bar, &move);
        levels.push_back(trigger);
        EXPECT_EQ(trigger, 100 - bar.value());
    }
    EXPECT_TRUE(dashboard.scrollEnds.empty());
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(grip.x(), grip.y() + 60));

    EXPECT_LT(levels[1], levels[0]);
    EXPECT_LT(levels[2], levels[1]);
    EXPECT_EQ(dashboard.levelsAtScrollEnd, (std::vector<std::int32_t>{levels[2]}));
    EXPECT_EQ(trigger, levels[2]);
}

TEST_F(TimeBarWindowTest, WheelLeavesLevelAlone) {
    TimeBarWindow& window = open(3);
    LevelScrollBar& bar = window.levelScrollBar();
    QWheelEvent wheel(QPointF(5, 50), bar.mapToGlobal(QPointF(5, 50)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&bar, &wheel);
    EXPECT_EQ(trigger, 30);
    EXPECT_EQ(bar.value(), 225);
}

TEST_F(TimeBarWindowTest, PauseButtonTogglesTextAndChart) {
    TimeBarWindow& window = open(3);
    QTest::mouseClick(&window.pauseButton(), Qt::LeftButton);
    EXPECT_EQ(window.pauseButton().text(), QStringLiteral("Start"));
    EXPECT_TRUE(window.paused());
    EXPECT_TRUE(window.chart().paused());

    QTest::mouseClick(&window.pauseButton(), Qt::LeftButton);
    EXPECT_EQ(window.pauseButton().text(), QStringLiteral("Pause"));
    EXPECT_FALSE(window.chart().paused());
}

TEST_F(TimeBarWindowTest, ReopenAfterCloseGivesFreshWindow) {
    TimeBarWindow& first = open(3);
    QTest::mouseClick(&first.pauseButton(), Qt::LeftButton);
    first.chart().composeFrame();
    poll(first);
    QPointer<TimeBarWindow> closed(&first);

    first.close();
    EXPECT_EQ(dashboard.closes, (std::vector<std::string>{"TK3"}));
    EXPECT_TRUE(dashboard.windows.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull());

    trigger = 45;
    TimeBarWindow& second = open(3);
    EXPECT_EQ(second.pauseButton().text(), QStringLiteral("Pause"));
    EXPECT_FALSE(second.paused());
    EXPECT_FALSE(second.scrollPositionSet());
    second.chart().composeFrame();
    poll(second);
    EXPECT_EQ(second.levelScrollBar().value(), 55);
}

TEST_F(TimeBarWindowTest, ListHoldsNewestFirstAndOneWindowPerKey) {
    TimeBarWindow* tk3 = &open(3);
    TimeBarWindow* tk7 = &open(7);
    ASSERT_EQ(dashboard.windows.size(), 2u);
    EXPECT_EQ(dashboard.windows.front()->channelName(), "TK7");
    EXPECT_EQ(dashboard.windows.back()->channelName(), "TK3");
    EXPECT_TRUE(tk3->isVisible());

    EXPECT_EQ(&open(3), tk3);
    EXPECT_EQ(dashboard.windows.size(), 2u);
    EXPECT_EQ(dashboard.windows.front().get(), tk7);
}

TEST_F(TimeBarWindowTest, RemoveOfUnopenedKeyChangesNothing) {
    open(3);
    removeTimeBarWindow(dashboard.windows, &records[5]);
    removeTimeBarWindow(dashboard.windows, nullptr);
    EXPECT_EQ(dashboard.windows.size(), 1u);
    EXPECT_EQ(openTimeBarWindow(dashboard.windows, nullptr, dashboard.handlers()), nullptr);
}

TEST_F(TimeBarWindowTest, ScrollBarIsDarkAndWindowWhite) {
    TimeBarWindow& window = open(3);
    const QImage shot = window.grab().toImage();
    const QRect bar = window.levelScrollBar().geometry();
    const QPoint groove =
        bar.topLeft() + centreOf(window.levelScrollBar(), QStyle::SC_ScrollBarAddPage);
    EXPECT_LT(qGray(shot.pixel(groove)), 80);
    EXPECT_EQ(shot.pixel(window.width() - 5, 5), 0xFFFFFFFFu);
}

TEST_F(TimeBarWindowTest, DestroyingTheListSkipsCloseHandlers) {
    open(3);
    open(7);
    dashboard.windows.clear();
    EXPECT_TRUE(dashboard.closes.empty());
}

}  // namespace
}  // namespace keyscope
