// The dashboard on a replayed board, and the replay's command line.
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "dashboard/DashboardFixture.h"
#include "dashboard/ReplaySession.h"
#include "dashboard/ReplayWindow.h"
#include "sim/ReplayControl.h"
#include "sim/SimHidBoard.h"

namespace keyscope {
namespace {

using namespace fakes;
namespace fs = std::filesystem;
using ::testing::ElementsAre;

// The simulated board's module calls, in process.
struct ReplayedHid final : HidModule {
    explicit ReplayedHid(std::unique_ptr<sim::ReplaySignal> replay)
        : board(sim::HidKind::Typed16, 1, -1, std::move(replay)) {}
    bool open(int id, int a, int b) override { return board.open(id, a, b) == 0; }
    bool read(int size, std::uint8_t* r) override { return board.read(size, r) == 0; }
    bool readData(std::uint8_t* r) override { return board.readData(r) == 0; }
    bool readMax(std::uint8_t* r) override { return board.readMax(r) == 0; }
    bool readKey(std::uint8_t* r) override { return board.readKey(r) == 0; }
    bool write(std::uint8_t* r) override { return board.write(r) == 0; }
    sim::SimHidBoard board;
};

// The dashboard on a replayed HID board, connected at once with the recording's keys: sixty
// rows 50 ms apart, TKk counting 100 * (k + 1) + row; only TK0 to TK3 recorded.
class ReplayDashboard : public DashboardTest {
  protected:
    static constexpr int kRows = 60;
    void SetUp() override {
        std::ofstream out(file);
        out << "elapsed_ms,TK0,TK1,TK2,TK3,TK4,key_code\n";
        for (int row = 0; row < kRows; ++row)
            out << row * 50 << "," << 100 + row << "," << 200 + row << "," << 300 + row << ","
                << 400 + row << ",," << 0x30 + row % 4 << "\n";
    }
    void TearDown() override { dash.reset(); }
    void start(double speed) {
        session = std::make_unique<ReplaySession>(file.string(), speed);
        adjustParts = [&](BoardCollaborators& parts) {
            parts.hid = std::make_unique<ReplayedHid>(std::make_unique<sim::ReplaySignal>(
                std::move(*sim::loadRecording(file.string()).recording), speed, false,
                &sim::replayControl()));
        };
        make();
        session->start(*dash);
        EXPECT_THAT(session->keys(), ElementsAre(0, 1, 2, 3));
        EXPECT_EQ(dash->barGraph().attachedCount(), 4);
        // The reference counts are the largest of each key in the file.
        EXPECT_EQ(dash->board().getChannel(3)->maxValue, 400 + kRows - 1);
    }
    // The rows the history of a key holds, oldest first.
    std::vector<int> rowsShown(int key) const {
        std::vector<int> rows;
        for (const KeySample& s : dash->board().getChannel(key)->samples)
            rows.push_back(s.value - 100 * (key + 1));
        return rows;
    }

    const TempDir dir{"keyscope-dash-replay"};
    const fs::path file = dir / "recording.csv";
    std::unique_ptr<ReplaySession> session;
};

// Pause is Stop and Play is Start, from either side; a seek makes the next reading that row
// and leaves the history as it was; the end stops polling, and the history and a time-bar
// window's stay as they were while the board answers without counts.
TEST_F(ReplayDashboard, TheWindowSeeksPausesAsStopDoesAndTheEndStopsKeepingWhatIsShown) {
    start(1);
    dash->show();
    auto* window = qobject_cast<ReplayWindow*>(dash->toolWindow());
    ASSERT_NE(window, nullptr);
    const auto shows = [&](ReplayWindow::State state, const char* text, const char* button) {
        EXPECT_EQ(window->state(), state);
        EXPECT_EQ(std::pair(window->stateLabel().text(), window->playButton().text()),
                  std::pair(QString(text), QString(button)));
        EXPECT_EQ(dash->polling(), state == ReplayWindow::State::Playing);
        EXPECT_EQ(dash->menu().isEnabled(menu::kStart), state != ReplayWindow::State::Playing);
    };
    shows(ReplayWindow::State::Playing, "playing", "Pause");
    window->playButton().click();
    shows(ReplayWindow::State::Paused, "paused", "Play");
    // Waited for only once paused: the poll timer would add rows while it waits.
    QTRY_VERIFY(window->isVisible());
    expectOwnedByTheDashboard(*window);
    EXPECT_EQ(window->windowTitle(), "Replay - recording.csv");
    dash->runCommand(menu::kStart);
    shows(ReplayWindow::State::Playing, "playing", "Pause");
    dash->pollTick();
    dash->pollTick();
    dash->runCommand(menu::kStop);
    shows(ReplayWindow::State::Paused, "paused", "Play");
    QTest::qWait(300);
    EXPECT_THAT(rowsShown(0), ElementsAre(0, 1, 2));
    EXPECT_EQ(window->positionLabel().text(), "00:00.1 / 00:02.9");
    window->slider().setValue(40);
    EXPECT_EQ(window->positionLabel().text(), "00:02.0 / 00:02.9");
    dash->runCommand(menu::kStart);
    dash->pollTick();
    dash->runCommand(menu::kStop);
    EXPECT_THAT(rowsShown(0), ElementsAre(0, 1, 2, 40));
    window->seek(3);
    window->playButton().click();
    QTRY_VERIFY_WITH_TIMEOUT(rowsShown(0).size() >= 9, 5000);
    window->playButton().click();
    const std::vector<int> shown = rowsShown(0);
    for (std::size_t i = 4; i < shown.size(); ++i)
        EXPECT_EQ(shown[i], static_cast<int>(i) - 1) << "no row skipped or doubled";

    emit dash->barGraph().barClicked(dash->board().getChannel(0));
    const TimeBarWindow& timeBar = *dash->timeBarWindows().front();
    window->seek(kRows - 2);
    dash->runCommand(menu::kStart);
    for (int poll = 0; poll < 5 && window->state() != ReplayWindow::State::Finished; ++poll)
        dash->pollTick();
    shows(ReplayWindow::State::Finished, "finished", "Play");
    EXPECT_FALSE(dash->pollTimerActive());
    const std::deque<KeySample> history = timeBar.channel()->samples;
    EXPECT_EQ(rowsShown(0).back(), kRows - 1);
    for (int poll = 0; poll < 10; ++poll)
        dash->pollTick();
    EXPECT_EQ(timeBar.channel()->samples.size(), history.size());
    EXPECT_TRUE(
        std::equal(history.begin(), history.end(), timeBar.channel()->samples.begin(),
                   [](const KeySample& a, const KeySample& b) { return a.value == b.value; }));
    EXPECT_TRUE(dash->board().isOpen() && messages.shown.empty());
    dash->runCommand(menu::kStop);
    // Play after the end plays the recording again, from its first row; Loop goes round.
    window->loopBox().setChecked(true);
    window->playButton().click();
    for (int poll = 0; poll < kRows + 2; ++poll)
        dash->pollTick();
    const std::vector<int> again = rowsShown(0);
    EXPECT_THAT(std::vector(again.end() - 3, again.end()), ElementsAre(kRows - 1, 0, 1));
    shows(ReplayWindow::State::Playing, "playing", "Pause");
}

TEST(ReplayArguments, ReadsFileAndSpeedAndRefusesTheRest) {
    const ReplayArguments plain = parseReplayArguments({"6620", "0x30", "16", "IRAM"});
    EXPECT_TRUE(!plain.file && plain.error.empty()) << "an ICE command line is not a replay";
    const ReplayArguments replay = parseReplayArguments({"--speed", "0.25", "--replay", "a.csv"});
    EXPECT_EQ(replay.file.value_or(""), "a.csv");
    EXPECT_DOUBLE_EQ(replay.speed, 0.25);
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--replay", "a.csv", "--speed", "17"},
                                               {"--replay", "a.csv", "--speed", "0,5"},
                                               {"--replay"},
                                               {"--replay", "a.csv", "IRAM"}})
        EXPECT_FALSE(parseReplayArguments(bad).error.empty()) << bad.back();
}

}  // namespace
}  // namespace keyscope
