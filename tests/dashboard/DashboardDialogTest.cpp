// The dashboard window on scripted transports: start-up, polling, connect, board commands
// and the windows it owns.
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "dashboard/DashboardFixture.h"
#include "device/TermiosSerialDevice.h"
#include "sim/SimHidBoard.h"
#include "sim/SimulatedSerialDevice.h"

namespace keyscope {
namespace {

using namespace fakes;
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST_F(DashboardTest, NoOrShortCommandLineOpensCentred400By400InRawModeWithoutConnecting) {
    make();
    EXPECT_EQ(dash->size(), QSize(400, 400));
    EXPECT_EQ(dash->pos(), centredFor({400, 400}));
    EXPECT_EQ(dash->windowTitle(), "Keyscope - KR48/KR44 Series Touch (Raw Mode)");
    for (const menu::Item& item : menu::kItems)
        EXPECT_EQ(dash->menu().isEnabled(item.id), item.enabled) << item.text;
    EXPECT_EQ(dash->menu().placeCount(menu::kExit), 2);
    QStringList bar;
    for (const QAction* action : dash->menuBar().actions())
        bar << action->text();
    EXPECT_EQ(bar.join(","), "Device,Settings,Update,Refresh,SaveData,Mode,About,Exit");
    EXPECT_TRUE(dash->menu().isPopupEnabled(menu::kSettingsPosition));
    // A line naming no target still grays Settings and enables Refresh.
    startIce("6620 0x30 16");
    EXPECT_FALSE(dash->menu().isPopupEnabled(menu::kSettingsPosition));
    EXPECT_TRUE(dash->menu().isEnabled(menu::kRefresh));
    EXPECT_TRUE(dash->menu().contains(menu::kConnectSerialPort));
    EXPECT_EQ(dash->linkSelector(), kSelectorHid);
    EXPECT_FALSE(dash->pollTimerActive());
    EXPECT_TRUE(journal.empty());
}

TEST_F(DashboardTest, IceCommandLineConnectsAtStartInRawModeAndModeTogglesTheScales) {
    const std::tuple<const char*, std::uint32_t, int, GraphScale> cases[] = {
        {"6620 0x30 16 IRAM 2", 0, 16, {1200, 1100}},
        {"5138 0x30 16 IRAM 1", 3, 12, {260, 200}},
        {"5190 0x30 20 IRAM 2", 19, 15, {1200, 1100}}};
    for (const auto& [line, selector, keys, raw] : cases) {
        SCOPED_TRACE(line);
        startIce(line);
        const auto& read = ice->requests.at(0);  // two bytes per key on 16-bit chips
        EXPECT_EQ(std::tuple(journal.at(0), read.address, read.length, read.iram),
                  std::tuple("ice open " + std::to_string(selector), 0x30,
                             keys * (raw.max / 1000 + 1), 1u));
        EXPECT_EQ(dash->barGraph().attachedCount(), keys);
        EXPECT_TRUE(dash->pollTimerActive());
        EXPECT_TRUE(dash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(dash->isMaximized());
        EXPECT_FALSE(dash->menu().contains(menu::kConnectSerialPort));
        EXPECT_FALSE(dash->menu().isEnabled(menu::kConnect));  // only Connect follows an ICE open
        EXPECT_FALSE(dash->menu().isEnabled(menu::kStop));
        EXPECT_TRUE(dash->menu().isEnabled(menu::kKeyStatistics));  // and the statistics
        EXPECT_TRUE(dash->menu().isEnabled(menu::kSnrTest));        // and the SNR test
        // The command line's Mode went to difference, the connect's back to raw.
        EXPECT_EQ(dash->windowTitle(), "Keyscope - KR48/KR44 Series Touch (Raw Mode)");
        expectEveryBar(raw);
        dash->runCommand(menu::kMode);
        expectEveryBar({100, 0});
        EXPECT_EQ(dash->windowTitle(), "Keyscope - KR48/KR44 Series Touch (Difference Mode)");
        EXPECT_EQ(dash->board().getChannel(0)->rawMode, 0);
    }
    startIce("6620 0x30 8 IRAM 2 1a2b 401 7 35");
    EXPECT_EQ(dash->barGraph().triggerPercent(), 35);
    journal.clear();
    dash.reset();  // closes, then notifies the window named on the line
    EXPECT_THAT(journal, ElementsAre("ice release", "notify 6699 1025 7"));
}

// The dialog runs as the program runs it; a Connect that hid it would end exec() at once.
// A failed open of any link shows the same message and leaves Connect enabled.
TEST_F(DashboardTest, IceConnectFromTheMenuAfterAFailedStartKeepsTheRunningDashboard) {
    make(false);
    ice->openResult = 0;
    dash->initialise("6620 0x30 16 IRAM 2");
    ASSERT_EQ(messages.shown.size(), 1u);
    const auto& shown = messages.shown[0];
    EXPECT_EQ(std::tuple(shown.text, shown.caption, shown.icon),
              std::tuple(kMessageOpenFail, "Keyscope", MessageIcon::Exclamation));
    ice->openResult = 1;
    queueIce(4, 1000);
    QSignalSpy finished(dash.get(), &QDialog::finished);
    bool shownAfterConnect = false;
    QTimer::singleShot(0, dash.get(), [&] {
        ASSERT_TRUE(dash->menu().trigger(menu::kConnect));
        shownAfterConnect = dash->isVisible() && finished.empty();
        QTimer::singleShot(0, dash.get(), [&] { dash->done(QDialog::Accepted); });
    });
    EXPECT_EQ(dash->exec(), QDialog::Accepted);
    EXPECT_TRUE(shownAfterConnect);
    EXPECT_EQ(dash->barGraph().attachedCount(), 16);
    EXPECT_TRUE(dash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(DashboardTest, DialogKeysAndTheCloseBoxEndTheDashboardWithoutStop) {
    const std::pair<std::function<void(QDialog&)>, int> cases[] = {
        {[](QDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }, QDialog::Accepted},
        {[](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, QDialog::Rejected},
        {[](QDialog& d) { d.close(); }, QDialog::Rejected}};
    for (const auto& [act, result] : cases) {
        connectHid();
        dash->show();
        QSignalSpy finished(dash.get(), &QDialog::finished);
        act(*dash);
        ASSERT_EQ(finished.size(), 1);
        EXPECT_EQ(finished.at(0).at(0).toInt(), result);
        EXPECT_TRUE(dash->pollTimerActive());
        EXPECT_TRUE(dash->menu().isEnabled(menu::kStop));
    }
}

TEST_F(DashboardTest, FailedPollReopensAfterPausesWithFreshHistoryAndAFailedReopenExits) {
    startIce("6620 0x30 16 IRAM 2", 3);  // the open; the next poll finds nothing
    ice->images.push_back(std::nullopt);
    queueIce(3, 900);
    journal.clear();
    QSignalSpy finished(dash.get(), &QDialog::finished);
    dash->pollTick();
    EXPECT_THAT(std::vector(journal.begin(), journal.begin() + 5),
                ElementsAre("ice read", "pause 200", "ice release", "pause 200", "ice open 0"));
    EXPECT_TRUE(dash->pollTimerActive());
    // The close dropped the old samples; the reopen's reference read and cycle took one each.
    const auto& samples = dash->board().getChannel(0)->samples;
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples.back().value, 900);
    EXPECT_EQ(finished.count(), 0);

    ice->images.assign(1, std::nullopt);
    ice->openResult = 0;
    dash->pollTick();
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), QDialog::Accepted);
}

TEST_F(DashboardTest, PinDialogBindsTheChosenKeysInIndexOrderSizesTheWindowAndTogglesMode) {
    const std::vector<int> all{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const std::tuple<Script, QSize, std::vector<int>> cases[] = {
        {choosePins({9, 2, 5}), {400, 640}, {2, 5, 9}},
        {choosePins({}), {400, 640}, {}},
        {choosePins(all), {1000, 640}, all},
        {press(res::kButtonPinCancel), {400, 400}, {}}};
    for (const auto& [pins, size, bound] : cases) {
        SCOPED_TRACE(size.width() * 100 + static_cast<int>(bound.size()));
        connectHid(pins);
        EXPECT_EQ(dash->size(), size);
        EXPECT_EQ(dash->pos(), centredFor(size));
        std::vector<ChannelRecord*> expected, shown;
        for (int key : bound)
            expected.push_back(dash->board().getChannel(key));
        for (int slot = 0; slot < dash->barGraph().attachedCount(); ++slot)
            shown.push_back(dash->barGraph().model().barSlots()[slot].channel);
        EXPECT_EQ(shown, expected);
        EXPECT_FALSE(dash->displayRaw());
        EXPECT_TRUE(dash->pollTimerActive());
    }
}

// Each command stops the poll timer around its work and restarts it only if it was running.
TEST_F(DashboardTest, BoardCommandsRunInTheirTimerFrameWithTheirMessages) {
    using Texts = std::vector<std::string>;
    const Texts ok, updateFail{"Update demoboard key value fail! please re-try again."},
        writeFail{"Write KR48CX36 DemoBoard default value fail! please re-try again."},
        closeFail{kMessageCloseFail};
    const std::tuple<int, bool, Texts, Texts> cases[] = {
        {menu::kUpdate, true, {"write", "pause 300", "readMax"}, ok},
        {menu::kRefresh, true, {"readMax"}, ok},
        {menu::kDefaultValue, true, {"write", "pause 250", "readMax"}, ok},
        {menu::kUpdateKeyValue, false, {"readKey"}, ok},
        {menu::kDefaultValue, true, {"write", "write"}, writeFail},
        {menu::kUpdateKeyValue, true, {"readKey", "pause 100", "readKey"}, updateFail},
        {menu::kUpdateMaxValue, true, {"readMax", "pause 100", "readMax"}, updateFail},
        {menu::kDisconnect, true, {"ice release"}, closeFail}};
    for (const auto& [id, running, traffic, shown] : cases) {
        SCOPED_TRACE(id);
        connectHid();
        dash->barGraph().setRange(0, 5000, 0);
        if (!running)
            dash->menu().trigger(menu::kStop);
        if (shown.empty()) {
            hid->max.push_back({true, byteReport(222)});
            hid->key.push_back({true, byteReport(150)});
        } else {  // every transport call fails from here
            hid->writes = {false, false};
            ice->releaseResult = 0;
        }
        dialogs.scripts.push_back([](QDialog& d) {
            control<QLineEdit>(d, res::kEditTriggerLevel)->setText("42");
            control(d, res::kIdOk)->click();
        });
        journal.clear();
        messages.shown.clear();
        ASSERT_TRUE(dash->menu().trigger(id));
        EXPECT_EQ(journal, traffic);
        EXPECT_EQ(messages.texts(), shown);
        // The module's reason is the box's detail; a failed release gives none.
        EXPECT_EQ(messages.shown.empty() ? "" : messages.shown[0].detail,
                  shown.empty() || id == menu::kDisconnect ? "" : hid->lastError());
        EXPECT_EQ(dash->pollTimerActive(), running);
        const bool wroteDefaults = shown.empty() && id == menu::kDefaultValue;
        EXPECT_EQ(dash->barGraph().triggerPercent(), wroteDefaults ? 42 : 0x21);
        EXPECT_EQ(dash->barGraph().model().barSlots()[0].rangeMax,
                  id == menu::kRefresh ? 100 : 5000);
    }
}

// The list's own rules (newest first, one window per key) are TimeBarWindowTest's.
TEST_F(DashboardTest, BarClickOpensAnOwnedTimeBarThatPollsFollowAndItsScrollEndWritesTheTrigger) {
    connectHid();
    dash->show();
    ChannelRecord* tk7 = dash->board().getChannel(7);
    emit dash->barGraph().barClicked(tk7);  // as a click on its bar does
    emit dash->barGraph().barClicked(nullptr);
    ASSERT_EQ(dash->timeBarWindows().size(), 1u);
    TimeBarWindow& window = *dash->timeBarWindows().front();
    expectOwnedByTheDashboard(window);
    window.chart().composeFrame();  // its first paint
    dash->pollTick();
    EXPECT_TRUE(window.scrollPositionSet());

    dash->barGraph().setTriggerPercent(0x1234);
    journal.clear();
    window.onVerticalScroll(static_cast<int>(timebar::ScrollRequest::EndScroll), 0);
    EXPECT_THAT(journal, ElementsAre("write", "pause 300"));
    EXPECT_EQ(hid->written.back()[17], 0x34);
    EXPECT_TRUE(dash->pollTimerActive());
    window.close();
    EXPECT_TRUE(dash->timeBarWindows().empty());
}

TEST_F(DashboardTest, HidAndSerialConnectAndDisconnectSetTheirMenuColumns) {
    connectHid();
    expectColumn(true);
    ASSERT_TRUE(dash->menu().trigger(menu::kDisconnect));
    expectColumn(false);
    EXPECT_FALSE(dash->pollTimerActive());
    EXPECT_TRUE(dash->board().getChannel(0)->samples.empty());

    dialogs.scripts = {serialChoice(1, 0), press(res::kButtonPinOk)};
    ASSERT_TRUE(dash->menu().trigger(menu::kConnectSerialPort));
    EXPECT_EQ(serial->openedPath, "/dev/fakeCOM2");
    EXPECT_EQ(serial->configuredBaud, 1200);
    expectColumn(true);
    EXPECT_EQ(dash->barGraph().attachedCount(), 16);
    ASSERT_TRUE(dash->menu().trigger(menu::kStop));
    ASSERT_TRUE(dash->menu().trigger(menu::kStart));
    EXPECT_TRUE(dash->pollTimerActive());
    EXPECT_FALSE(dash->menu().isEnabled(menu::kStart));

    // Connect now reopens serial and changes only its own item.
    ASSERT_TRUE(dash->menu().trigger(menu::kDisconnect));
    dialogs.scripts.push_back(press(res::kButtonPinOk));
    ASSERT_TRUE(dash->menu().trigger(menu::kConnect));
    EXPECT_EQ(dash->board().linkMode(), kLinkSerial);
    EXPECT_FALSE(dash->menu().isEnabled(menu::kConnect));
    EXPECT_TRUE(dash->menu().isEnabled(menu::kConnectSerialPort));
    EXPECT_FALSE(dash->menu().isEnabled(menu::kStop));
}

// The simulated serial board, a pseudo-terminal behind the real port, hangs up like a pulled
// adapter after 0.3 s; polls run every 50 ms of the connection's clock. That the box does not
// stack and the samples come back with the board is DashboardProcessTest's.
TEST_F(DashboardTest, RealSerialPortIsHeldAloneAndAHangUpShowsTheReadMessage) {
    const sim::SimulatedSerialDevice* board = nullptr;
    adjustParts = [&](BoardCollaborators& parts) {
        auto device = std::make_unique<sim::SimulatedSerialDevice>(
            std::make_unique<TermiosSerialDevice>(), 7, sim::SerialFaults{0.3, 0.3});
        board = device.get();
        parts.serial = std::move(device);
    };
    make();
    dialogs.scripts = {serialChoice(0, 3), press(res::kButtonPinOk)};
    ASSERT_TRUE(dash->menu().trigger(menu::kConnectSerialPort));
    EXPECT_FALSE(TermiosSerialDevice().open(board->terminalPath()));
    for (int i = 0; i < 150 && messages.shown.empty(); ++i) {
        QTest::qWait(20);
        nowMs += 50;
        dash->pollTick();
    }
    EXPECT_FALSE(dash->board().getChannel(0)->samples.empty());
    EXPECT_THAT(messages.texts(), ElementsAre("Reading of serial communication has problem."));
}

// Over serial the board reports no trigger level, so the threshold starts at 30. The window
// gathers 400 polls, more than a history holds, from its opening: TK1 rests at 200 to 204
// under a reference of 210 and is pressed to 150 every tenth poll; TK4 is pressed only to 185,
// a difference of 25; TK9 gets a reference frame's sample every twentieth poll.
TEST_F(DashboardTest,
       KeyStatisticsGathersEveryReadingSinceItOpensOrResetsAndMarksMarginsByItsThreshold) {
    make();
    dialogs.scripts = {serialChoice(0, 3), choosePins({9, 1, 4})};
    ASSERT_TRUE(dash->menu().trigger(menu::kConnectSerialPort));
    dash->show();
    ASSERT_TRUE(dash->menu().trigger(menu::kStop));  // the test polls by hand
    ASSERT_TRUE(dash->menu().trigger(menu::kKeyStatistics));
    KeyStatisticsWindow* window = dash->keyStatisticsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    expectOwnedByTheDashboard(*window);
    EXPECT_EQ(window->thresholdBox().value(), kDefaultTouchThreshold);
    const auto poll = [&](int polls) {
        for (int i = 0; i < polls; ++i) {
            const bool pressed = i % 10 == 0;
            for (int k : {1, 4, 9}) {
                dash->board().getChannel(k)->maxValue = 210;
                dash->board().appendSample(k,
                                           pressed && k == 1   ? 150
                                           : pressed && k == 4 ? 185
                                                               : 200 + i % 5,
                                           MaxRule::Leave);
            }
            if (i % 20 == 0)
                dash->board().appendSample(9, 400, MaxRule::Leave, SampleKind::Reference);
            window->pollDone();
        }
        window->refresh();
    };
    const auto rows = [&] {
        const QTableWidget& table = dash->keyStatisticsWindow()->table();
        std::vector<std::string> shown;
        for (int row = 0; row < table.rowCount(); ++row) {
            std::string line;
            for (int column = 0; column < KeyStatisticsWindow::ColumnCount; ++column)
                line += (column ? " " : "") + table.item(row, column)->text().toStdString();
            shown.push_back(line);
        }
        return shown;
    };
    const auto colourOf = [&](int row, int column) {
        return dash->keyStatisticsWindow()->table().item(row, column)->background().color().rgba();
    };
    poll(400);
    EXPECT_THAT(rows(), ElementsAre("TK1 400 40 4.0 1.3 52.2 13.1 10 60",
                                    "TK4 400 0 19.0 5.3 \u2013 \u2013 25 \u2013",
                                    "TK9 400 0 4.0 1.4 \u2013 \u2013 10 \u2013"));
    EXPECT_EQ(
        std::tuple(colourOf(0, KeyStatisticsWindow::Snr), colourOf(1, KeyStatisticsWindow::Snr)),
        std::tuple(kSnrGoodColour, kSnrUnknownColour));
    EXPECT_THAT(
        window->spanLabel().text().toStdString(),
        ::testing::MatchesRegex("since [0-9]{2}:[0-9]{2}:[0-9]{2}, [0-9]+ s, 400 readings"));
    // The threshold changes the figures over every reading, not the board.
    window->thresholdBox().setValue(25);
    EXPECT_THAT(rows()[1], "TK4 400 40 4.0 1.3 17.2 4.3 10 25");
    EXPECT_EQ(colourOf(1, KeyStatisticsWindow::Snr), kSnrWeakColour);
    EXPECT_EQ(dash->board().getTriggerLevel(), 0);

    // Polls refresh at most every kStatisticsRefreshMs, the last one within it.
    const int refreshes = window->refreshCount();
    window->pollDone();
    window->pollDone();
    EXPECT_EQ(window->refreshCount(), refreshes);
    QTest::qWait(2 * kStatisticsRefreshMs);
    EXPECT_EQ(window->refreshCount(), refreshes + 1);

    const TempDir dir("keyscope-stats");
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path);
    window->saveButton().click();
    fs::current_path(previous);
    const std::vector<fs::path> saved(fs::directory_iterator(dir.path), {});
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_THAT(saved[0].filename().string(),
                ::testing::MatchesRegex("[0-9]{8}_[0-9]{4}_stats\\.csv"));
    const std::string text = slurp(saved[0]);
    EXPECT_THAT(text, StartsWith(std::string(kStatisticsCsvHeader) + "TK0,0,0,"));
    EXPECT_THAT(text, ::testing::ContainsRegex("\nTK1,400,40,150,204,197.0,15.72,4.0,1.3,"
                                               "52.2,13.1,25,[-0-9]{10}T[:0-9]{8}.[0-9]{3}Z,"
                                               "[0-9]+.[0-9]\n"));

    window->resetButton().click();
    EXPECT_THAT(rows()[0], "TK1 0 0 \u2013 \u2013 \u2013 \u2013 \u2013 \u2013");
    poll(20);
    EXPECT_THAT(rows()[0], StartsWith("TK1 20 2 4.0 "));
    window->close();  // a closed window takes no polls; the menu brings it back gathering anew
    poll(5);
    ASSERT_TRUE(dash->menu().trigger(menu::kKeyStatistics));
    EXPECT_EQ(dash->keyStatisticsWindow(), window);
    EXPECT_THAT(rows()[0], StartsWith("TK1 0 0 "));
    poll(20);

    ASSERT_TRUE(dash->menu().trigger(menu::kDisconnect));
    EXPECT_FALSE(window->updating());
    QTest::qWait(2 * kStatisticsRefreshMs);
    EXPECT_THAT(rows()[0], StartsWith("TK1 20 2 ")) << "the figures stay";
    EXPECT_FALSE(dash->menu().trigger(menu::kKeyStatistics));

    // Over HID the key code decides and the board's level (0x21) starts the threshold; a
    // resting reading that reaches it and a press below it are marked.
    connectHid(choosePins({1}));
    dash->show();
    ASSERT_TRUE(dash->menu().trigger(menu::kStop));
    ASSERT_TRUE(dash->menu().trigger(menu::kKeyStatistics));
    EXPECT_EQ(dash->keyStatisticsWindow()->thresholdBox().value(), 0x21);
    for (const auto& [code, value] : {std::pair(0, 177), std::pair(0x31, 190)}) {
        dash->board().setKeyCode(code);
        dash->board().appendSample(1, value, MaxRule::Leave);  // under the reference of 210
    }
    dash->keyStatisticsWindow()->pollDone();
    dash->keyStatisticsWindow()->refresh();
    EXPECT_THAT(rows()[0], EndsWith(" 33 ! 20 !"));
    EXPECT_EQ(colourOf(0, KeyStatisticsWindow::RestingMax), kSnrWeakColour);
}

// TK2 still and pressed well (an SNR without noise), TK5 "pressed" above its rest (a negative
// signal), TK9 never touched. Polls come every 50 ms of the connection's clock.
TEST_F(DashboardTest, SnrTestRunsBothPhasesOnTheShownKeysAndApplyWritesTheSuggestedLevelOnce) {
    connectHid(choosePins({9, 5, 2}));
    hid->data.clear();
    SnrTestWindow& window = startSnrTest();
    expectOwnedByTheDashboard(window);
    using Button = SnrTestWindow::Button;
    const auto poll = [&](int times, int tk2, int tk5, int code) {
        for (int i = 0; i < times; ++i) {
            Report r = byteReport(200);
            r[3] = static_cast<std::uint8_t>(tk2);
            r[6] = static_cast<std::uint8_t>(tk5 + i % 2 * 2);
            r[18] = static_cast<std::uint8_t>(code);
            hid->data.push_back({true, r});
            nowMs += 50;
            dash->pollTick();
        }
        window.refresh();
    };
    poll(4, 200, 200, 0x32);  // TK2 pressed in 4 of 19 quiet readings: more than 10%
    poll(16, 200, 200, 0);
    EXPECT_EQ(window.page(), SnrTestWindow::Page::Quiet);
    EXPECT_THAT(window.shownText().toStdString(), HasSubstr("TK2 touched during the quiet phase"));
    window.button(Button::RunAgain).click();
    poll(20, 200, 200, 0);
    ASSERT_EQ(window.page(), SnrTestWindow::Page::Touch);

    const auto cellColour = [&](int cell) {
        const QRect r = SnrKeyGrid::cellRect(window.grid().size(), 3, cell);
        return window.grid().grab().toImage().pixel(r.left() + 10, r.bottom() - 10);
    };
    poll(7, 150, 200, 0x32);  // two settling readings, then five
    poll(3, 200, 200, 0);
    EXPECT_EQ(std::tuple(cellColour(0), cellColour(1), cellColour(2)),
              std::tuple(kGridDoneColour, kGridWaitingColour, kGridWaitingColour));
    poll(7, 200, 205, 0x35);
    window.button(Button::FinishEarly).click();
    ASSERT_EQ(window.page(), SnrTestWindow::Page::Results);
    std::vector<std::string> rows;
    const QTableWidget& table = window.resultsTable();
    for (int row = 0; row < table.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table.columnCount(); ++column)
            cells << table.item(row, column)->text();
        rows.push_back(cells.join(" ").toStdString());
    }
    EXPECT_THAT(rows,
                ElementsAre("TK2 200.0 0.0 0.0 150.0 50.0 inf 30 20 PASS",
                            "TK5 200.9 2.0 1.0 205.8 -4.9 -2.43 30 -37! FAIL",
                            "TK9 200.0 0.0 0.0 - - - - - FAIL (not measured: never touched)"));
    EXPECT_THAT(window.shownText().toStdString(), HasSubstr("Suggested trigger level: 40 ("));

    journal.clear();
    window.button(Button::Apply).click();
    EXPECT_THAT(journal, ElementsAre("write", "pause 300"));
    EXPECT_EQ(hid->written.back()[17], 40);
    EXPECT_EQ(dash->barGraph().triggerPercent(), 40);
    EXPECT_THAT(window.shownText().toStdString(), HasSubstr("level 40 written to the board"));

    const TempDir dir("keyscope-snr");
    const fs::path previous = fs::current_path();
    fs::current_path(dir.path);
    window.button(Button::SaveReport).click();
    fs::current_path(previous);
    std::vector<std::string> saved;
    for (const auto& entry : fs::directory_iterator(dir.path))
        saved.push_back(entry.path().filename().string().substr(14));
    std::sort(saved.begin(), saved.end());
    EXPECT_THAT(saved, ElementsAre("snr.csv", "snr.json", "snr.pdf"));
    // The next window starts from the settings of this test.
    EXPECT_EQ(SnrTestWindow(dash->board(), messages, {}).formSettings(),
              (SnrSettings{1000, 5, 5.0, 10000}));
}

// A serial board takes no write: Apply moves the dashboard's level, the time-bar line with it.
TEST_F(DashboardTest, SnrTestApplyOverSerialWritesNothingAndMovesTheTimeBarLevel) {
    make();
    dialogs.scripts = {serialChoice(0, 3), choosePins({0})};
    ASSERT_TRUE(dash->menu().trigger(menu::kConnectSerialPort));
    emit dash->barGraph().barClicked(dash->board().getChannel(0));
    SnrTestWindow& window = startSnrTest();
    for (int i = 0; i < 27; ++i) {  // 20 readings at rest, then seven 100 counts below
        nowMs += 50;
        dash->board().appendSample(0, i < 20 ? 1000 : 900, MaxRule::Leave);
        window.pollDone();
        window.refresh();
    }
    ASSERT_EQ(window.page(), SnrTestWindow::Page::Results);
    journal.clear();
    window.button(SnrTestWindow::Button::Apply).click();
    EXPECT_THAT(journal, ElementsAre("pause 300"));
    EXPECT_EQ(*dash->timeBarWindows().front()->channel()->percentRef, 80);
    EXPECT_THAT(window.shownText().toStdString(),
                HasSubstr("A serial board takes no write, so the board keeps its own."));
}

TEST_F(DashboardTest, SerialDialogOpensOnCom1At9600AndKeepsTheLastAcceptedChoice) {
    make();
    dialogs.scripts = {serialChoice(5, 0, res::kIdCancel), serialChoice(2, 2),
                       serialChoice(0, 0, res::kIdCancel)};
    ASSERT_TRUE(dash->menu().trigger(menu::kConnectSerialPort));
    EXPECT_TRUE(journal.empty());  // Cancel opens nothing
    EXPECT_EQ(dash->linkSelector(), kSelectorHid);
    expectColumn(false);
    serial->failOpen = true;  // the choice is kept even when the port does not open
    ASSERT_TRUE(dash->menu().trigger(menu::kConnectSerialPort));
    EXPECT_THAT(journal, ElementsAre("serial open /dev/fakeCOM3"));
    ASSERT_EQ(messages.shown.size(), 1u);  // only the serial port's own plain message
    EXPECT_EQ(std::tuple(messages.shown[0].caption, messages.shown[0].detail),
              std::tuple("", "open /dev/fakeCOM3 failed"))
        << "the port and the reason are the box's detail";
    EXPECT_TRUE(dash->menu().isEnabled(menu::kConnectSerialPort));
    ASSERT_TRUE(dash->menu().trigger(menu::kConnectSerialPort));
    EXPECT_EQ(items.join(","), "COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8,1200,2400,4800,9600");
    EXPECT_THAT(shownChoice, ElementsAre(0, 3, 0, 3, 2, 2));
}

}  // namespace
}  // namespace keyscope
