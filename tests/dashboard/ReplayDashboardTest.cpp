// The dashboard on a replayed HID board: connected at once with the
// recording's keys, one row per poll at its speed, Stop holding its place.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>
#include <filesystem>
#include <fstream>

#include "dashboard/DashboardDialog.h"
#include "dashboard/ReplaySession.h"
#include "fakes/DeviceFakes.h"
#include "sim/SimHidBoard.h"

namespace keyscope {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

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

// Sixty rows 50 ms apart: TKk counts 100 * (k + 1) + row; only TK0 to TK3 recorded.
constexpr int kRows = 60;

class ReplayDashboard : public ::testing::Test, protected fakes::FakeLinks {
  protected:
    void SetUp() override {
        std::ofstream out(file);
        out << "elapsed_ms,TK0,TK1,TK2,TK3,TK4,key_code\n";
        for (int row = 0; row < kRows; ++row)
            out << row * 50 << "," << 100 + row << "," << 200 + row << "," << 300 + row << ","
                << 400 + row << ",," << 0x30 + row % 4 << "\n";
    }
    void TearDown() override {
        dash.reset();
        std::filesystem::remove(file);
    }
    void start(double speed) {
        dash.reset();
        session = std::make_unique<ReplaySession>(file.string(), speed);
        BoardCollaborators parts = collaborators();
        sim::RecordingLoad load = sim::loadRecording(file.string());
        parts.hid = std::make_unique<ReplayedHid>(
            std::make_unique<sim::ReplaySignal>(std::move(*load.recording), speed));
        dash = std::make_unique<DashboardDialog>(DashboardParts{std::move(parts), session.get()});
        dash->initialise({});
        session->start(*dash);
    }
    // The rows the history of a key holds, oldest first.
    std::vector<int> rowsShown(int key) const {
        std::vector<int> rows;
        for (const KeySample& s : dash->board().getChannel(key)->samples)
            rows.push_back(s.value - 100 * (key + 1));
        return rows;
    }

    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("keyscope-dash-replay-" + std::to_string(::getpid()) + ".csv");
    std::unique_ptr<ReplaySession> session;
    std::unique_ptr<DashboardDialog> dash;
};

TEST_F(ReplayDashboard, EachPollShowsTheNextRowsAtItsSpeedWithTheRecordingsKeys) {
    const std::pair<double, std::vector<int>> cases[] = {
        {1, {0, 1, 2, 3, 4, 5}},
        {4, {0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40}},
    };
    for (const auto& [speed, rows] : cases) {
        start(speed);
        ASSERT_TRUE(dash->board().isOpen());
        EXPECT_THAT(session->keys(), ElementsAre(0, 1, 2, 3));
        EXPECT_EQ(dash->barGraph().attachedCount(), 4);
        for (std::size_t poll = 1; poll < rows.size(); ++poll)
            dash->pollTick();
        for (int key = 0; key < 4; ++key)
            EXPECT_THAT(rowsShown(key), ElementsAreArray(rows)) << "speed " << speed;
        EXPECT_EQ(dash->board().keyCode(), 0x30 + rows.back() % 4);
        // The reference counts are the largest of each key in the file.
        EXPECT_EQ(dash->board().getChannel(3)->maxValue, 400 + kRows - 1);
    }
}

TEST_F(ReplayDashboard, StopHoldsThePlaceAndStartGoesOnFromIt) {
    start(1);
    dash->pollTick();
    dash->pollTick();
    dash->runCommand(menu::kStop);
    QTest::qWait(300);
    EXPECT_THAT(rowsShown(0), ElementsAre(0, 1, 2));
    dash->runCommand(menu::kStart);
    QTRY_VERIFY_WITH_TIMEOUT(dash->board().getChannel(0)->samples.size() >= 6, 5000);
    dash->runCommand(menu::kStop);
    const std::vector<int> shown = rowsShown(0);
    for (std::size_t i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shown[i], static_cast<int>(i)) << "no row skipped or doubled";
}

TEST(ReplayArguments, ReadsFileAndSpeedAndRefusesTheRest) {
    const ReplayArguments plain = parseReplayArguments({"6620", "0x30", "16", "IRAM"});
    EXPECT_TRUE(!plain.file && plain.error.empty()) << "an ICE command line is not a replay";
    const ReplayArguments replay = parseReplayArguments({"--speed", "0.25", "--replay", "a.csv"});
    EXPECT_EQ(replay.file.value_or(""), "a.csv");
    EXPECT_DOUBLE_EQ(replay.speed, 0.25);
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--replay", "a.csv", "--speed", "17"}, {"--replay"}, {"--replay", "a.csv", "IRAM"}})
        EXPECT_FALSE(parseReplayArguments(bad).error.empty()) << bad.back();
}

}  // namespace
}  // namespace keyscope
