// The dashboard window on scripted transports with recorded pauses and
// messages: start-up, command line, polling, connect and board commands.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

#include "dashboard/DashboardDialog.h"
#include "device/TermiosSerialDevice.h"
#include "dialogs/DialogBuilder.h"
#include "fakes/DeviceFakes.h"
#include "res/dialog_templates.h"
#include "support/PseudoTerminal.h"

namespace keyscope {
namespace {

using namespace fakes;
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using Script = std::function<void(QDialog&)>;
const std::string kOpenFail = "Open Touch Demoboard Fail! please re-plugin device!";

// Runs the next queued script on each dialog in place of a user; cancels what it leaves open.
struct ScriptedDialogs final : DialogRunner {
    int run(QDialog& dialog) override {
        titles.push_back(dialog.windowTitle());
        dialog.show();
        if (!scripts.empty()) {
            scripts.front()(dialog);
            scripts.pop_front();
        }
        if (dialog.isVisible())
            dialog.reject();
        return dialog.result();
    }
    std::deque<Script> scripts;
    std::vector<QString> titles;
};

template <class T = QAbstractButton>
T* control(QDialog& d, int id) {
    return findControl<T>(d, id);
}
Script press(int id) {
    return [id](QDialog& d) { control(d, id)->click(); };
}
Script choosePins(std::vector<int> keys) {
    return [keys](QDialog& d) {
        for (int k = 0; k < kChannelCount; ++k)
            control(d, res::kCheckTk0 + k)->setChecked(std::count(keys.begin(), keys.end(), k));
        control(d, res::kButtonPinOk)->click();
    };
}

Report byteReport(int value, int trigger = 0) {
    Report r{};
    r[22] = 0x55;  // one byte per key
    std::fill_n(r.begin() + 1, kChannelCount, static_cast<std::uint8_t>(value));
    r[17] = static_cast<std::uint8_t>(trigger);
    return r;
}

QPoint centredFor(QSize size) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return screen.topLeft() +
           QPoint((screen.width() - size.width()) / 2, (screen.height() - size.height()) / 2);
}

class DashboardTest : public ::testing::Test, protected FakeLinks {
  protected:
    void make(bool initialise = true) {
        dash.reset();
        journal.clear();
        dialogs.scripts.clear();
        BoardCollaborators parts = collaborators();
        if (adjustParts)
            adjustParts(parts);
        hid->answeringIds = {kHidDeviceTyped};
        dash = std::make_unique<DashboardDialog>(DashboardParts{std::move(parts), &dialogs});
        if (initialise)
            dash->initialise({});
    }
    // An ICE start from `line` with `images` good reads of sixteen counts of `value`.
    void startIce(const char* line, int images = 4, int value = 1000) {
        make(false);
        queueIce(images, value);
        dash->initialise(line);
    }
    void queueIce(int images, int value) {
        std::array<std::uint8_t, 65> image{};
        for (std::size_t k = 0; k < kChannelCount; ++k) {
            image[2 * k + 1] = static_cast<std::uint8_t>(value >> 8);
            image[2 * k + 2] = static_cast<std::uint8_t>(value & 0xFF);
        }
        ice->images.insert(ice->images.end(), images, image);
    }
    // Connected over HID: counts 200 under a reference of 210, trigger 0x21.
    void connectHid(Script pins = press(res::kButtonPinOk)) {
        make();
        hid->max.push_back({true, byteReport(210)});
        hid->key.push_back({true, byteReport(200, 0x21)});
        hid->data.insert(hid->data.end(), 5, {true, byteReport(200)});
        dialogs.scripts.push_back(std::move(pins));
        ASSERT_TRUE(dash->menu().trigger(menu::kConnect));
    }
    void expectColumn(bool connected) {
        using namespace menu;
        EXPECT_EQ(dash->menu().isEnabled(kConnect), !connected);
        EXPECT_EQ(dash->menu().isEnabled(kConnectSerialPort), !connected);
        EXPECT_FALSE(dash->menu().isEnabled(kStart));
        for (int id : {kDisconnect, kStop, kUpdateKeyValue, kUpdateMaxValue, kRefresh, kUpdate,
                       kEnableTkPin, kDefaultValue, kMaxMinValue, kSaveData, kMode, kKeyStatistics})
            EXPECT_EQ(dash->menu().isEnabled(id), connected) << id;
    }
    // Records the dialog's lists and selections, picks entries and presses `button`.
    Script serialChoice(int com, int baud, int button = res::kIdOk) {
        return [=, this](QDialog& d) {
            items.clear();
            for (int id : {res::kComboComPort, res::kComboBaudRate}) {
                auto* box = control<QComboBox>(d, id);
                for (int i = 0; i < box->count(); ++i)
                    items << box->itemText(i);
                shownChoice.push_back(box->currentIndex());
                box->setCurrentIndex(id == res::kComboComPort ? com : baud);
            }
            control(d, button)->click();
        };
    }
    void expectEveryBar(GraphScale scale) {
        EXPECT_EQ(dash->graphScale(), scale);
        for (const BarSlot& slot : dash->barGraph().model().barSlots())
            EXPECT_EQ((GraphScale{slot.rangeMax, slot.rangeMin}), scale);
    }

    QStringList items;
    std::vector<int> shownChoice;
    std::function<void(BoardCollaborators&)> adjustParts;  // run by make() on fresh fakes
    ScriptedDialogs dialogs;
    std::unique_ptr<DashboardDialog> dash;
};

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
        EXPECT_EQ(journal.at(0), "ice open " + std::to_string(selector));
        EXPECT_EQ(ice->requests.at(0).address, 0x30);
        EXPECT_EQ(ice->requests.at(0).length, keys * (raw.max / 1000 + 1));  // bytes per key
        EXPECT_EQ(ice->requests.at(0).iram, 1u);
        EXPECT_EQ(dash->barGraph().attachedCount(), keys);
        EXPECT_TRUE(dash->pollTimerActive());
        EXPECT_TRUE(dash->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(dash->isMaximized());
        EXPECT_FALSE(dash->menu().contains(menu::kConnectSerialPort));
        EXPECT_FALSE(dash->menu().isEnabled(menu::kConnect));  // only Connect follows an ICE open
        EXPECT_FALSE(dash->menu().isEnabled(menu::kStop));
        EXPECT_TRUE(dash->menu().isEnabled(menu::kKeyStatistics));  // and the statistics
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

TEST_F(DashboardTest, HidOpenFailureShowsItsMessageAndReenablesConnect) {
    make();
    hid->answeringIds.clear();
    ASSERT_TRUE(dash->menu().trigger(menu::kConnect));
    EXPECT_EQ(messages.texts(), std::vector<std::string>{kOpenFail});
    expectColumn(false);
    EXPECT_TRUE(dialogs.titles.empty());
}

// The dialog runs as the program runs it; a Connect that hid it would end exec() at once.
TEST_F(DashboardTest, IceConnectFromTheMenuAfterAFailedStartKeepsTheRunningDashboard) {
    make(false);
    ice->openResult = 0;
    dash->initialise("6620 0x30 16 IRAM 2");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text + "|" + messages.shown[0].caption, kOpenFail + "|Keyscope");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(dash->menu().isEnabled(menu::kConnect));
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

// Enter ends the dashboard with OK, Escape and the close box with Cancel; none runs Stop.
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

// Each board command kills the poll timer around its work and re-arms it only
// when it was running; a failure shows its own message.
TEST_F(DashboardTest, BoardCommandsRunInTheirTimerFrameWithTheirMessages) {
    using Texts = std::vector<std::string>;
    const Texts ok, updateFail{"Update demoboard key value fail! please re-try again."},
        writeFail{"Write KR48CX36 DemoBoard default value fail! please re-try again."},
        closeFail{"Close Touch Demoboard Fail! please re-plugin device!"};
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
        EXPECT_EQ(dash->pollTimerActive(), running);
        const bool wroteDefaults = shown.empty() && id == menu::kDefaultValue;
        EXPECT_EQ(dash->barGraph().triggerPercent(), wroteDefaults ? 42 : 0x21);
        EXPECT_EQ(dash->barGraph().model().barSlots()[0].rangeMax,
                  id == menu::kRefresh ? 100 : 5000);
    }
}

TEST_F(DashboardTest, MaxMinStartsFromTheWidenedScaleAndSetsEveryBar) {
    connectHid();
    dash->barGraph().setRange(0, 180, 20);
    QString shownMax;
    dialogs.scripts.push_back([&shownMax](QDialog& d) {
        shownMax = control<QLineEdit>(d, res::kEditMaximum)->text();
        control<QLineEdit>(d, res::kEditMaximum)->setText("500");
        control<QLineEdit>(d, res::kEditMinimum)->setText("30");
        control(d, res::kIdOk)->click();
    });
    ASSERT_TRUE(dash->menu().trigger(menu::kMaxMinValue));
    EXPECT_EQ(shownMax, "180");
    expectEveryBar({500, 30});
}

// The list's own rules (newest first, one window per key) are TimeBarWindowTest's.
TEST_F(DashboardTest, BarClickOpensATimeBarThatPollsFollowAndItsScrollEndWritesTheTrigger) {
    connectHid();
    ChannelRecord* tk7 = dash->board().getChannel(7);
    emit dash->barGraph().barClicked(tk7);  // as a click on its bar does
    emit dash->barGraph().barClicked(nullptr);
    ASSERT_EQ(dash->timeBarWindows().size(), 1u);
    TimeBarWindow& window = *dash->timeBarWindows().front();
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

// An adapter pulled and plugged back, played by two pseudo-terminals behind one path.
TEST_F(DashboardTest, SerialHangUpShowsOneReadBoxAndTheSamePathResumesTheSamples) {
    const fs::path port = fs::temp_directory_path() / ("keyscope-com-" + std::to_string(getpid()));
    test::PseudoTerminal first;
    fs::remove(port);
    fs::create_symlink(first.device(), port);
    adjustParts = [&](BoardCollaborators& parts) {
        parts.serial = std::make_unique<TermiosSerialDevice>();
        parts.comPorts = [&](std::int32_t) { return std::optional<std::string>(port); };
    };
    make();
    dialogs.scripts = {serialChoice(0, 3), press(res::kButtonPinOk)};
    ASSERT_TRUE(dash->menu().trigger(menu::kConnectSerialPort));
    const auto& samples = dash->board().getChannel(0)->samples;
    const auto pollUntil = [&](std::size_t count) {
        for (int i = 0; i < 200 && samples.size() < count; ++i, QTest::qWait(5))
            dash->pollTick();
        return samples.size() >= count;
    };
    ASSERT_TRUE(first.send({0xF1, 3, 0x30, 10, 0, 0}));
    ASSERT_TRUE(pollUntil(1));
    TermiosSerialDevice other;  // the port is not shared
    EXPECT_FALSE(other.open(port));

    first.hangUp();
    messages.whileShown = [&] {  // the poll timer runs on under the open box
        for (int tick = 0; tick < 3; ++tick)
            dash->pollTick();
    };
    for (nowMs = 100; nowMs < 900; nowMs += 50)
        dash->pollTick();
    EXPECT_THAT(messages.texts(), ElementsAre("Reading of serial communication has problem."));
    EXPECT_TRUE(dash->board().isOpen());

    test::PseudoTerminal second;
    fs::remove(port);
    fs::create_symlink(second.device(), port);
    nowMs = 2000;
    dash->pollTick();  // reopens the path; bytes sent before the line is raw would be cooked
    ASSERT_TRUE(second.send({0xF1, 3, 0x30, 20, 0, 0}));
    EXPECT_TRUE(pollUntil(2)) << "no samples after the port came back";
    EXPECT_EQ(samples.back().value, 20);
    EXPECT_EQ(messages.shown.size(), 1u);
    dash.reset();
    fs::remove(port);
}

TEST_F(DashboardTest, KeyStatisticsListsTheShownKeysColoursTheirSnrSavesAndStopsAtDisconnect) {
    connectHid(choosePins({9, 1, 4}));
    ASSERT_TRUE(dash->menu().trigger(menu::kStop));  // the test polls by hand
    // TK1: still and pressed by its code (inf); TK4: a noisy rest 10 above its press (1.7);
    // TK9: too few readings. Readings while another key is pressed count as resting.
    const std::vector<int> noisy{100, 102, 98, 101, 99, 100, 103, 97, 100, 100};
    for (int k = 0; k < kChannelCount; ++k)
        dash->board().getChannel(k)->samples.clear();
    auto add = [&](int key, int code, int value) {
        dash->board().getChannel(key)->samples.push_back({code, value, 0});
    };
    for (int i = 0; i < 10; ++i) {
        add(1, 0x34, 100);
        add(4, 0x31, noisy[static_cast<std::size_t>(i)]);
    }
    for (int i = 0; i < 5; ++i) {
        add(1, 0x31, 90);
        add(4, 0x34, 90);
        add(9, 0x39, 90);
    }
    ASSERT_TRUE(dash->menu().trigger(menu::kKeyStatistics));
    KeyStatisticsWindow* window = dash->keyStatisticsWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    const QTableWidget& table = window->table();
    ASSERT_EQ(table.rowCount(), 3);
    const std::tuple<QString, QString, QString, QRgb> rows[] = {
        {"TK1", "15", "inf", kSnrGoodColour},
        {"TK4", "15", "1.7", kSnrWeakColour},
        {"TK9", "5", "\u2013", kSnrUnknownColour}};
    for (int row = 0; row < 3; ++row) {
        const auto& [key, samples, snr, colour] = rows[row];
        EXPECT_EQ(table.item(row, KeyStatisticsWindow::Key)->text(), key);
        EXPECT_EQ(table.item(row, KeyStatisticsWindow::Samples)->text(), samples);
        EXPECT_EQ(table.item(row, KeyStatisticsWindow::Snr)->text(), snr) << key.toStdString();
        EXPECT_EQ(table.item(row, KeyStatisticsWindow::Snr)->background().color().rgba(), colour);
    }
    EXPECT_EQ(table.item(1, KeyStatisticsWindow::NoisePp)->text(), "6.0");

    // Polls refresh at most four times a second, the last one within 250 ms.
    const int refreshes = window->refreshCount();
    window->pollDone();
    window->pollDone();
    EXPECT_EQ(window->refreshCount(), refreshes);
    QTest::qWait(2 * kStatisticsRefreshMs);
    EXPECT_EQ(window->refreshCount(), refreshes + 1);

    const fs::path dir = fs::temp_directory_path() / ("keyscope-stats-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    window->saveButton().click();
    fs::current_path(previous);
    std::vector<std::string> lines;
    for (const auto& entry : fs::directory_iterator(dir)) {
        EXPECT_EQ(entry.path().filename().string().size(),
                  std::string("20260101_1200_stats.csv").size());
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
    }
    fs::remove_all(dir);
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[0], "key,samples,min,max,mean,stddev,noise_pp,noise_rms,signal,snr");
    EXPECT_EQ(lines[2], "TK1,15,90,100,96.7,4.71,0.0,0.0,10.0,inf");

    window->close();  // a closed window takes no polls; the menu brings the same one back
    const int beforeClose = window->refreshCount();
    window->pollDone();
    QTest::qWait(2 * kStatisticsRefreshMs);
    EXPECT_EQ(window->refreshCount(), beforeClose);
    ASSERT_TRUE(dash->menu().trigger(menu::kKeyStatistics));
    EXPECT_EQ(dash->keyStatisticsWindow(), window);
    EXPECT_TRUE(window->isVisible());

    ASSERT_TRUE(dash->menu().trigger(menu::kDisconnect));
    EXPECT_FALSE(window->updating());
    QTest::qWait(2 * kStatisticsRefreshMs);
    EXPECT_EQ(table.item(0, KeyStatisticsWindow::Snr)->text(), "inf") << "the figures stay";
    EXPECT_FALSE(dash->menu().trigger(menu::kKeyStatistics));
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
    EXPECT_EQ(messages.shown[0].caption, "");
    EXPECT_TRUE(dash->menu().isEnabled(menu::kConnectSerialPort));
    ASSERT_TRUE(dash->menu().trigger(menu::kConnectSerialPort));
    EXPECT_EQ(dialogs.titles.at(0), "LQ-24 Setup UART Dialog");
    EXPECT_EQ(items.join(","), "COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8,1200,2400,4800,9600");
    EXPECT_THAT(shownChoice, ElementsAre(0, 3, 0, 3, 2, 2));
}

}  // namespace
}  // namespace keyscope
