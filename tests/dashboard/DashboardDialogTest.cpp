// The dashboard window: start-up, command line, poll timer, reconnect, Mode,
// key selection, board commands and the time-bar windows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>

#include "dashboard/DashboardFixture.h"

namespace keyscope {
namespace {

using namespace testing_support;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

QPoint centredFor(QSize size) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {screen.left() + (screen.width() - size.width()) / 2,
            screen.top() + (screen.height() - size.height()) / 2};
}

TEST_F(DashboardTest, NoCommandLineOpensCentred400By400InRawModeWithoutConnecting) {
    start();
    EXPECT_EQ(dashboard->size(), QSize(400, 400));
    EXPECT_EQ(dashboard->pos(), centredFor({400, 400}));
    EXPECT_EQ(dashboard->windowTitle(), "Keyscope - KR48/KR44 Series Touch (Raw Mode)");
    EXPECT_TRUE(dashboard->displayRaw());
    EXPECT_EQ(dashboard->barGraph().model().rawMode(), 1);
    EXPECT_EQ(dashboard->linkSelector(), kSelectorHid);
    EXPECT_FALSE(dashboard->pollTimerActive());
    EXPECT_TRUE(journal.empty());
    for (const menu::Item& item : menu::kItems) {
        EXPECT_EQ(dashboard->menu().isEnabled(item.id), item.enabled) << item.text;
    }
    EXPECT_EQ(dashboard->menu().placeCount(menu::kExit), 2);
    EXPECT_TRUE(dashboard->menu().isPopupEnabled(menu::kSettingsPosition));
}

TEST_F(DashboardTest, BarGraphFollowsTheClientAreaBelowTheMenu) {
    start();
    dashboard->show();
    dashboard->resize(700, 500);
    QCoreApplication::sendPostedEvents();
    const int menuHeight = dashboard->menuBar().height();
    EXPECT_GT(menuHeight, 0);
    EXPECT_EQ(dashboard->barGraph().geometry(), QRect(0, menuHeight, 700, 500 - menuHeight));
}

TEST_F(DashboardTest, FiveFieldIceLineConnectsAtStartAndEndsInRawMode) {
    make();
    scriptIceImages(4);
    dashboard->initialise("6620 0x30 16 IRAM 2");

    EXPECT_EQ(dashboard->linkSelector(), 0u);
    EXPECT_TRUE(journalHas("ice open 0"));
    ASSERT_FALSE(ice->requests.empty());
    EXPECT_EQ(ice->requests.front().address, 0x30);
    EXPECT_EQ(ice->requests.front().length, 32);  // 16 keys of two bytes
    EXPECT_EQ(ice->requests.front().iram, 1u);
    EXPECT_TRUE(dashboard->board().isOpen());
    EXPECT_TRUE(dashboard->polling());
    EXPECT_TRUE(dashboard->pollTimerActive());
    // The command line turned raw into difference mode; the connect turned it back.
    EXPECT_TRUE(dashboard->displayRaw());
    EXPECT_EQ(dashboard->windowTitle(), "Keyscope - KR48/KR44 Series Touch (Raw Mode)");
    EXPECT_EQ(dashboard->graphScale(), (GraphScale{1200, 1100}));
    EXPECT_EQ(dashboard->barGraph().attachedCount(), 16);
    EXPECT_EQ(dashboard->barGraph().triggerPercent(), 0);
    EXPECT_TRUE(dashboard->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(dashboard->isMaximized());
    // Only "Connect" follows an ICE connect; the command line set the rest.
    EXPECT_FALSE(dashboard->menu().isPopupEnabled(menu::kSettingsPosition));
    EXPECT_TRUE(dashboard->menu().isEnabled(menu::kRefresh));
    EXPECT_FALSE(dashboard->menu().contains(menu::kConnectSerialPort));
    EXPECT_FALSE(dashboard->menu().isEnabled(menu::kConnect));
    EXPECT_FALSE(dashboard->menu().isEnabled(menu::kStop));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(dialogs.titles.empty());  // no pin dialog over ICE
}

struct ChipCase {
    const char* line;
    std::uint32_t selector;
    int bars;
};

class DashboardChipTest : public DashboardTest, public ::testing::WithParamInterface<ChipCase> {};

TEST_P(DashboardChipTest, ChipLimitsTheBoundKeys) {
    make();
    scriptIceImages(4);
    dashboard->initialise(GetParam().line);
    EXPECT_EQ(dashboard->linkSelector(), GetParam().selector);
    EXPECT_EQ(dashboard->barGraph().attachedCount(), GetParam().bars);
    EXPECT_TRUE(journalHas("ice open " + std::to_string(GetParam().selector)));
}

INSTANTIATE_TEST_SUITE_P(Chips, DashboardChipTest,
                         ::testing::Values(ChipCase{"5138 0x30 16 IRAM 2", 3, 12},
                                           ChipCase{"5190 0x30 20 IRAM 2", 19, 15},
                                           ChipCase{"9999 48 4 XRAM", 0, 4}),
                         [](const auto& info) {
                             return "Selector" + std::to_string(info.param.selector);
                         });

TEST_F(DashboardTest, NineFieldLineSetsTriggerAndNotifiesOnDestruction) {
    make();
    scriptIceImages(4);
    dashboard->initialise("6620 0x30 8 IRAM 2 1a2b 401 7 35");
    EXPECT_EQ(dashboard->barGraph().triggerPercent(), 35);
    EXPECT_EQ(dashboard->barGraph().attachedCount(), 8);
    journal.clear();
    dashboard.reset();
    EXPECT_THAT(journal, ElementsAre("ice release", "notify 6699 1025 7"));
}

TEST_F(DashboardTest, IceOpenFailureAtStartShowsTheMessageAndReenablesConnect) {
    make();
    ice->openResult = 0;
    dashboard->initialise("6620 0x30 16 IRAM 2");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Open Touch Demoboard Fail! please re-plugin device!");
    EXPECT_EQ(messages.shown[0].caption, "Keyscope");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(dashboard->menu().isEnabled(menu::kConnect));
    EXPECT_FALSE(dashboard->polling());
    EXPECT_FALSE(dashboard->pollTimerActive());
    EXPECT_FALSE(dashboard->displayRaw());  // only the command line's Mode ran
}

TEST_F(DashboardTest, ShortCommandLineGraysSettingsAndStaysOnHid) {
    start("6620 0x30 16");
    EXPECT_FALSE(dashboard->menu().isPopupEnabled(menu::kSettingsPosition));
    EXPECT_TRUE(dashboard->menu().isEnabled(menu::kRefresh));
    EXPECT_TRUE(dashboard->menu().contains(menu::kConnectSerialPort));
    EXPECT_EQ(dashboard->linkSelector(), kSelectorHid);
    EXPECT_TRUE(dashboard->displayRaw());
    EXPECT_TRUE(journal.empty());
}

struct ScaleCase {
    const char* line;
    GraphScale raw;
};

class DashboardModeTest : public DashboardTest, public ::testing::WithParamInterface<ScaleCase> {};

TEST_P(DashboardModeTest, ModeTogglesScaleTitleAndEveryBarRange) {
    make();
    scriptIceImages(4, 100);
    dashboard->initialise(GetParam().line);
    ASSERT_TRUE(dashboard->displayRaw());

    const auto expectEveryBar = [this](GraphScale scale) {
        for (const BarSlot& slot : dashboard->barGraph().model().barSlots()) {
            EXPECT_EQ(slot.rangeMax, scale.max);
            EXPECT_EQ(slot.rangeMin, scale.min);
        }
    };
    dashboard->runCommand(menu::kMode);
    EXPECT_FALSE(dashboard->displayRaw());
    EXPECT_EQ(dashboard->graphScale(), (GraphScale{100, 0}));
    expectEveryBar({100, 0});
    EXPECT_EQ(dashboard->windowTitle(), "Keyscope - KR48/KR44 Series Touch (Difference Mode)");
    EXPECT_EQ(dashboard->board().getChannel(0)->rawMode, 0);

    dashboard->runCommand(menu::kMode);
    EXPECT_EQ(dashboard->graphScale(), GetParam().raw);
    expectEveryBar(GetParam().raw);
    EXPECT_EQ(dashboard->board().getChannel(0)->rawMode, 1);
}

INSTANTIATE_TEST_SUITE_P(Widths, DashboardModeTest,
                         ::testing::Values(ScaleCase{"6620 0x30 16 IRAM 2", {1200, 1100}},
                                           ScaleCase{"6620 0x30 16 IRAM 1", {260, 200}}),
                         [](const auto& info) {
                             return info.index == 0 ? "SixteenBit" : "EightBit";
                         });

TEST_F(DashboardTest, FailedPollReconnectsWithPausesAndFreshHistory) {
    make();
    scriptIceImages(3, 1000);  // the open; the next poll finds nothing
    dashboard->initialise("6620 0x30 16 IRAM 2");
    ice->images.push_back(std::nullopt);
    scriptIceImages(3, 900);  // the reopen
    journal.clear();
    QSignalSpy finished(dashboard.get(), &QDialog::finished);

    dashboard->pollTick();

    EXPECT_THAT(std::vector(journal.begin(), journal.begin() + 5),
                ElementsAre("ice read", "pause 200", "ice release", "pause 200", "ice open 0"));
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(dashboard->pollTimerActive());
    EXPECT_TRUE(dashboard->board().isOpen());
    // The close dropped the old samples; the reopen's reference read and cycle took one each.
    const auto& samples = dashboard->board().getChannel(0)->samples;
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples.back().value, 900);
}

TEST_F(DashboardTest, FailedReopenEndsTheDashboardWithOk) {
    make();
    scriptIceImages(3);
    dashboard->initialise("6620 0x30 16 IRAM 2");
    ice->images.push_back(std::nullopt);
    ice->openResult = 0;
    QSignalSpy finished(dashboard.get(), &QDialog::finished);

    dashboard->pollTick();

    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Accepted);
    EXPECT_TRUE(dashboard->menu().isEnabled(menu::kStart));
    EXPECT_FALSE(dashboard->menu().isEnabled(menu::kStop));
}

TEST_F(DashboardTest, HidConnectShowsPinDialogBindsKeysInOrderAndTogglesMode) {
    connectHid(choosePins({9, 2, 5}));
    ASSERT_EQ(dialogs.titles.size(), 1u);  // the pin dialog
    EXPECT_EQ(dashboard->size(), QSize(400, 640));
    EXPECT_EQ(dashboard->pos(), centredFor({400, 640}));
    const auto& bars = dashboard->barGraph().model().barSlots();
    EXPECT_EQ(dashboard->barGraph().attachedCount(), 3);
    EXPECT_EQ(bars[0].channel, dashboard->board().getChannel(2));
    EXPECT_EQ(bars[1].channel, dashboard->board().getChannel(5));
    EXPECT_EQ(bars[2].channel, dashboard->board().getChannel(9));
    EXPECT_FALSE(dashboard->displayRaw());
    EXPECT_TRUE(dashboard->pollTimerActive());
    EXPECT_FALSE(dashboard->isMaximized());
}

TEST_F(DashboardTest, PinSelectionSizesTheWindowForTheShownKeys) {
    connectHid(choosePins({}));
    EXPECT_EQ(dashboard->size(), QSize(400, 640));
    EXPECT_EQ(dashboard->barGraph().attachedCount(), 0);

    dialogs.scripts.push_back(choosePins({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
    ASSERT_TRUE(dashboard->menu().trigger(menu::kEnableTkPin));
    EXPECT_EQ(dashboard->size(), QSize(1000, 640));
    EXPECT_EQ(dashboard->barGraph().attachedCount(), 16);
    EXPECT_TRUE(dashboard->displayRaw());  // every run toggles the mode
}

TEST_F(DashboardTest, CancelledPinDialogBindsNothingButStillTogglesMode) {
    connectHid([](QDialog& dialog) { clickControl(dialog, res::kButtonPinCancel); });
    EXPECT_EQ(dashboard->size(), QSize(400, 400));
    EXPECT_EQ(dashboard->barGraph().attachedCount(), 0);
    EXPECT_FALSE(dashboard->displayRaw());
    EXPECT_TRUE(dashboard->pollTimerActive());
}

TEST_F(DashboardTest, UpdateKeyValueKeepsTheTimerAsItWas) {
    connectHid();
    hid->key.push_back({true, byteReport(150)});
    ASSERT_TRUE(dashboard->menu().trigger(menu::kUpdateKeyValue));
    EXPECT_TRUE(dashboard->pollTimerActive());
    EXPECT_EQ(dashboard->board().getChannel(4)->keyValue, 150);

    ASSERT_TRUE(dashboard->menu().trigger(menu::kStop));
    EXPECT_FALSE(dashboard->pollTimerActive());
    ASSERT_TRUE(dashboard->menu().trigger(menu::kUpdateKeyValue));  // nothing queued: fails
    EXPECT_FALSE(dashboard->pollTimerActive());
    EXPECT_THAT(messages.texts(),
                ElementsAre("Update demoboard key value fail! please re-try again."));
    EXPECT_EQ(messages.shown.back().caption, "Keyscope");
    EXPECT_EQ(dashboard->barGraph().model().resetPeaks(), 1);

    ASSERT_TRUE(dashboard->menu().trigger(menu::kStart));
    EXPECT_TRUE(dashboard->pollTimerActive());
    EXPECT_FALSE(dashboard->menu().isEnabled(menu::kStart));
    EXPECT_TRUE(dashboard->menu().isEnabled(menu::kStop));
}

TEST_F(DashboardTest, UpdateAndRefreshRereadTheReferencesInsideTheTimerFrame) {
    connectHid();
    hid->max.push_back({true, byteReport(222)});
    journal.clear();
    ASSERT_TRUE(dashboard->menu().trigger(menu::kUpdate));
    EXPECT_THAT(journal, ElementsAre("write", "pause 300", "readMax"));
    EXPECT_EQ(dashboard->board().getChannel(0)->maxValue, 222);

    dashboard->barGraph().setRange(0, 5000, 0);
    hid->max.push_back({true, byteReport(230)});
    ASSERT_TRUE(dashboard->menu().trigger(menu::kRefresh));
    EXPECT_EQ(dashboard->barGraph().model().barSlots()[0].rangeMax, 100);
    EXPECT_EQ(dashboard->board().getChannel(0)->maxValue, 230);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(dashboard->pollTimerActive());
}

TEST_F(DashboardTest, DefaultValueWritesTheDialogsSettings) {
    connectHid();
    hid->max.push_back({true, byteReport(210)});
    dialogs.scripts.push_back([](QDialog& dialog) {
        findControl<QLineEdit>(dialog, res::kEditTriggerLevel)->setText("42");
        clickControl(dialog, res::kIdOk);
    });
    journal.clear();
    ASSERT_TRUE(dashboard->menu().trigger(menu::kDefaultValue));
    EXPECT_THAT(journal, ElementsAre("write", "pause 250", "readMax"));
    ASSERT_EQ(hid->written.size(), 1u);
    EXPECT_EQ(hid->written[0][17], 42);
    EXPECT_EQ(dashboard->barGraph().triggerPercent(), 42);
    EXPECT_TRUE(dashboard->pollTimerActive());
}

TEST_F(DashboardTest, DefaultValueWriteFailureShowsItsMessage) {
    connectHid();
    hid->writes = {false, false};
    dialogs.scripts.push_back([](QDialog& dialog) { clickControl(dialog, res::kIdOk); });
    ASSERT_TRUE(dashboard->menu().trigger(menu::kDefaultValue));
    EXPECT_THAT(messages.texts(),
                ElementsAre("Write KR48CX36 DemoBoard default value fail! please re-try again."));
    EXPECT_FALSE(journalHas("pause 250"));

    journal.clear();
    ASSERT_TRUE(dashboard->menu().trigger(menu::kDefaultValue));  // cancelled
    EXPECT_TRUE(journal.empty());
}

TEST_F(DashboardTest, MaxMinStartsFromTheWidenedScaleAndSetsEveryBar) {
    connectHid();
    dashboard->barGraph().setRange(0, 180, 20);
    QString shownMax;
    dialogs.scripts.push_back([&shownMax](QDialog& dialog) {
        shownMax = findControl<QLineEdit>(dialog, res::kEditMaximum)->text();
        findControl<QLineEdit>(dialog, res::kEditMaximum)->setText("500");
        findControl<QLineEdit>(dialog, res::kEditMinimum)->setText("30");
        clickControl(dialog, res::kIdOk);
    });
    ASSERT_TRUE(dashboard->menu().trigger(menu::kMaxMinValue));
    EXPECT_EQ(shownMax, "180");
    EXPECT_EQ(dashboard->graphScale(), (GraphScale{500, 30}));
    for (const BarSlot& slot : dashboard->barGraph().model().barSlots()) {
        EXPECT_EQ(slot.rangeMax, 500);
        EXPECT_EQ(slot.rangeMin, 30);
    }
}

TEST_F(DashboardTest, BarClickOpensOneWindowPerKeyAndCloseRemovesIt) {
    connectHid();
    ChannelRecord* tk3 = dashboard->board().getChannel(3);
    dashboard->onBarClicked(tk3);
    dashboard->onBarClicked(dashboard->board().getChannel(7));
    dashboard->onBarClicked(tk3);
    ASSERT_EQ(dashboard->timeBarWindows().size(), 2u);
    EXPECT_EQ(dashboard->timeBarWindows().front()->channel(), dashboard->board().getChannel(7));

    dashboard->pollTick();  // updates every window
    EXPECT_TRUE(dashboard->timeBarWindows().front()->scrollPositionSet());

    dashboard->timeBarWindows().back()->close();
    ASSERT_EQ(dashboard->timeBarWindows().size(), 1u);
    EXPECT_EQ(dashboard->timeBarWindows().front()->channel()->name, "TK7");
    dashboard->onBarClicked(nullptr);
    EXPECT_EQ(dashboard->timeBarWindows().size(), 1u);
}

TEST_F(DashboardTest, ScrollEndWritesTheTriggerLowByteWithTheTimerRunning) {
    connectHid();
    ChannelRecord* tk1 = dashboard->board().getChannel(1);
    ASSERT_NE(tk1->percentRef, nullptr);
    dashboard->barGraph().setTriggerPercent(0x1234);
    journal.clear();
    dashboard->onTriggerScrollEnd(tk1);
    EXPECT_THAT(journal, ElementsAre("write", "pause 300"));
    EXPECT_EQ(dashboard->board().getTriggerLevel(), 0x34);
    EXPECT_EQ(hid->written.back()[17], 0x34);
    EXPECT_TRUE(dashboard->pollTimerActive());
}

TEST_F(DashboardTest, SaveDataWritesTheHistoryInTheShownMode) {
    connectHid();  // now in difference mode
    const QString directory = QDir::temp().filePath(
        QStringLiteral("keyscope-dash-%1").arg(QCoreApplication::applicationPid()));
    QDir(directory).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(directory));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(directory));
    ASSERT_TRUE(dashboard->menu().trigger(menu::kSaveData));
    QDir::setCurrent(previous);

    const QStringList files = QDir(directory).entryList({"*.csv"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile file(QDir(directory).filePath(files[0]));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GE(lines.size(), 2);
    // The open's cycle: count 200 under a reference of 210.
    EXPECT_EQ(lines[1], "0,10,10,10,10,10,10,10,10,10,10,10,10,10,10,10,10\r");
    EXPECT_TRUE(dashboard->pollTimerActive());
    QDir(directory).removeRecursively();
}

}  // namespace
}  // namespace keyscope
