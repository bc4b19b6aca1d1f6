// The signal model, the simulated boards reached as the program reaches them (the HID
// module through dlopen and the streaming board through a real pseudo-terminal, both driven
// by the real board connection), and recordings replayed as the boards' signal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "device/HidLibrary.h"
#include "device/TermiosSerialDevice.h"
#include "fakes/DeviceFakes.h"
#include "sim/Recording.h"
#include "sim/ReplaySignal.h"
#include "sim/SerialFrames.h"
#include "sim/SimHidBoard.h"
#include "sim/SimulatedSerialDevice.h"

namespace keyscope::sim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using ::testing::AllOf;
using ::testing::Ge;
using ::testing::HasSubstr;
using ::testing::Le;

TEST(SignalModel, CountsStayInRangeAndTheKeyCodeNamesTheKeyWhileItIsPressed) {
    for (const CountWidth width : {CountWidth::Byte, CountWidth::Word}) {
        const SignalModel model(4242, width);
        EXPECT_LE(model.maxCount(), width == CountWidth::Byte ? 255 : 2047);
        EXPECT_GT(model.minCount(), 0);
        std::set<std::int64_t> touchStarts;
        std::map<std::int64_t, std::set<int>> keysOfRun;
        for (std::int64_t t = 0; t < 120'000; t += 10) {
            const auto touch = model.touchAt(t);
            for (int k = 0; k < kSimKeyCount; ++k) {
                const bool pressed = touch && touch->key == k;  // else just below the reference
                const int low = pressed ? model.minCount() : model.baseline(k) - 12;
                const int high = pressed ? model.maxCount() : model.referenceCount(k);
                ASSERT_THAT(model.count(k, t), AllOf(Ge(low), Le(high))) << k << " at " << t;
            }
            ASSERT_EQ(model.keyCode(t), touch ? 0x30 + touch->key : 0) << "at " << t;
            if (!touch)
                continue;
            ASSERT_GE(touch->endMs - touch->startMs, SignalModel::kMinTouchMs);
            ASSERT_LE(touch->endMs - touch->startMs, SignalModel::kMaxTouchMs);
            touchStarts.insert(touch->startMs);
            keysOfRun[t / (SignalModel::kSlotMs * kSimKeyCount)].insert(touch->key);
        }
        // Every slot holds a touch, and every run of sixteen slots touches every key.
        EXPECT_EQ(touchStarts.size(), static_cast<std::size_t>(120'000 / SignalModel::kSlotMs + 1));
        for (const auto& [run, keys] : keysOfRun)
            EXPECT_TRUE(keys.size() == kSimKeyCount || run == 120'000 / (16 * SignalModel::kSlotMs))
                << "run " << run;
    }
}

TEST(SignalModel, BadKeysTimesAndSeedTextsAreHarmless) {
    const SignalModel model(9, CountWidth::Word);
    EXPECT_EQ(model.count(-1, 100) + model.count(16, 100) + model.referenceCount(16), 0);
    EXPECT_EQ(model.counts(-500), model.counts(0));
    for (const auto& [text, seed] : {std::pair{"1234", 1234u}, {"0x10", 16u}, {"0", 0u}}) {
        ::setenv("KEYSCOPE_SIM_SEED", text, 1);
        EXPECT_EQ(seedFromEnvironment(), seed) << text;
    }
    ::setenv("KEYSCOPE_SIM_SEED", "12abc", 1);  // falls back to the clock, not the prefix
    EXPECT_NE(seedFromEnvironment(), 12u);
    ::unsetenv("KEYSCOPE_SIM_SEED");
}

TEST(SimHidBoard, Typed16PairsCarryOneSnapshotAndBadCallsAreRefused) {
    SimHidBoard board(HidKind::Typed16, 5);
    EXPECT_NE(board.readData(nullptr), 0);
    ASSERT_EQ(board.open(292, 0, 0), 0);
    EXPECT_TRUE(board.readKey(nullptr) != 0 && board.write(nullptr) != 0);
    std::array<std::uint8_t, kSimReportSize> low{}, high{};
    const auto word = [](const auto& r, int i) { return r[1 + 2 * i] | (r[2 + 2 * i] << 8); };
    for (int poll = 1; poll <= 40; ++poll) {
        ASSERT_EQ(board.readData(low.data()) + board.readData(high.data()), 0);
        ASSERT_EQ(board.clockMs(), poll * SimHidBoard::kPollMs);
        std::array<std::uint16_t, kSimKeyCount> counts{};  // TK0..TK7 low, TK8..TK15 high
        for (int k = 0; k < kSimKeyCount; ++k)
            counts[k] = word(k < 8 ? low : high, k % 8);
        ASSERT_EQ(counts, board.model().counts(board.clockMs()));
        const int keyCode = board.model().keyCode(board.clockMs());
        ASSERT_EQ(std::tuple(low[22], high[22], low[18], high[18]),
                  std::tuple(0x85, 0xC5, keyCode, keyCode));
    }
    EXPECT_NE(board.read(64, low.data()), 0) << "a typed board has no plain read";
    SimHidBoard plain(HidKind::Plain, 3);
    ASSERT_EQ(plain.open(296, 0, 0), 0);
    EXPECT_NE(plain.read(32, low.data()), 0) << "a short buffer is refused";
}

// The module keeps its board while loaded, so each connection loads its own
// copy of the file: a new path gives fresh module state.
struct HidRig : fakes::FakeBoard {
    HidRig() {
        fs::copy_file(KEYSCOPE_SIMHID_MODULE, path, fs::copy_options::overwrite_existing);
        BoardCollaborators p = collaborators();
        p.hid = std::make_unique<HidLibrary>(path);
        board = std::make_unique<BoardConnection>(std::move(p));
    }
    ~HidRig() { fs::remove(path); }
    inline static int copies = 0;
    const std::string path =
        fs::temp_directory_path() /
        ("keyscope-simhid-" + std::to_string(::getpid()) + "-" + std::to_string(copies++) + ".so");
};

TEST(SimHidModule, EachKindOpensWithItsIdAndReportFormAndAWriteReadsBack) {
    ::unsetenv("KEYSCOPE_SIM_FAIL_AFTER");
    ::setenv("KEYSCOPE_SIM_SEED", "99", 1);
    // kind (unset or unknown: typed16), link mode, byte values, max values are references
    for (const auto& [kind, linkMode, byteValues, typed] : {std::tuple{"", kLinkHidTyped, 0, true},
                                                            {"typed8", kLinkHidTyped, 1, true},
                                                            {"plain", kLinkHidPlain, 1, false},
                                                            {"bogus", kLinkHidTyped, 0, true}}) {
        SCOPED_TRACE(kind);
        ::setenv("KEYSCOPE_SIM_HID", kind, 1);
        HidRig rig;
        BoardConnection& board = *rig.board;
        ASSERT_EQ(board.open(kSelectorHid), 1);
        EXPECT_EQ(board.linkMode(), linkMode);
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(board.readCycle(), 1);
        EXPECT_EQ(board.isByteValues(), byteValues);
        const SignalModel model(99, byteValues ? CountWidth::Byte : CountWidth::Word);
        for (int k = 0; k < kSimKeyCount; ++k) {  // the counts' range is the recorder's test's
            ASSERT_EQ(board.getChannel(k)->samples.size(), 6u) << "key " << k;
            EXPECT_TRUE(!typed || board.getChannel(k)->maxValue == model.referenceCount(k)) << k;
        }
        ASSERT_EQ(board.close(), 1);
        ASSERT_EQ(board.open(kSelectorHid), 1) << "the module's board survives a close";
        // The settings come back in every report form; only typed boards keep key values.
        board.setTriggerLevel(0x42);
        board.setPreScale(5);
        board.setTktmr(0x84);
        board.getChannel(7)->keyValue = 107;
        ASSERT_EQ(board.writeKeyValues(), 1);
        board.getChannel(7)->keyValue = 0;
        board.setTriggerLevel(0);
        ASSERT_EQ(board.readKeyValues(), 1);
        EXPECT_EQ(board.getChannel(7)->keyValue == 107, typed);
        EXPECT_EQ(std::tuple(board.getTriggerLevel(), board.getPreScale(), board.getTktmr()),
                  std::tuple(0x42, 5, 0x84));
    }
    ::unsetenv("KEYSCOPE_SIM_HID");
    ::unsetenv("KEYSCOPE_SIM_SEED");
}

TEST(SerialFrames, FramesCarryTheKeyCodeThenEachKeyOrEachReference) {
    const SignalModel model(3, CountWidth::Word);
    std::int64_t touched = 0;
    while (model.keyCode(touched) == 0)
        touched += 10;
    for (const std::int64_t t : {std::int64_t{-1}, std::int64_t{0}, touched}) {
        const std::vector<std::uint8_t> frame = t < 0 ? referenceFrame(model) : dataFrame(model, t);
        const int first = t < 0 ? 0 : 1;  // a data frame starts with the key-code triplet
        ASSERT_EQ(frame.size(), 3u + 3 * (16 + first));
        EXPECT_EQ(frame[0], t < 0 ? kReferenceFrame : kDataFrame);
        EXPECT_EQ(frame[1], 3 * (16 + first));
        if (first) {
            EXPECT_EQ(std::pair(frame[2], frame[3]), std::pair(kKeyCodeTriplet, model.keyCode(t)));
        }
        for (int k = 0; k < kSimKeyCount; ++k) {
            const std::uint8_t* triplet = &frame[2 + 3 * (k + first)];
            EXPECT_EQ(triplet[0], 0x30 + k);
            EXPECT_EQ(triplet[1] | (triplet[2] << 8),
                      t < 0 ? model.referenceCount(k) : model.count(k, t));
        }
    }
}

// Not a speed test: pacing is part of the protocol (a board can send no
// faster than its line), checked over a short bounded window.
TEST(SimulatedSerial, At1200BaudDeliversAtMost120BytesPerSecondAndCloseRemovesTheTerminal) {
    SimulatedSerialDevice device(std::make_unique<TermiosSerialDevice>(), 11);
    ASSERT_TRUE(device.open("COM1"));
    const std::string terminal = device.terminalPath();
    EXPECT_TRUE(fs::exists(terminal));
    const Clock::time_point begin = Clock::now();
    ASSERT_TRUE(device.readConfig() && device.writeConfig(1200) && device.setNonBlockingReads());
    std::vector<std::uint8_t> received;
    std::array<std::uint8_t, 600> buffer{};
    while (Clock::now() - begin < std::chrono::milliseconds(1500)) {
        const long n = device.read(buffer.data(), buffer.size());
        ASSERT_GE(n, 0);
        received.insert(received.end(), buffer.begin(), buffer.begin() + n);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    EXPECT_LE(received.size(), 120.0 * seconds);
    ASSERT_FALSE(received.empty()) << "one 51-byte frame fits in well under 1.5 s";
    EXPECT_EQ(received[0], kReferenceFrame) << "a board starts with its references";
    EXPECT_TRUE(device.close());
    EXPECT_FALSE(fs::exists(terminal));
    EXPECT_TRUE(device.terminalPath().empty());
}

// Recordings played as a board's signal; the recorder's tests refuse a missing file and counts
// a link cannot carry.

constexpr const char* kHeader = "elapsed_ms,TK0,key_code\n";

TEST(Recording, RefusesEachFaultWithItsLineAndReason) {
    const std::string seventeen =
        "elapsed_ms,TK0,TK1,TK2,TK3,TK4,TK5,TK6,TK7,TK8,TK9,TK10,TK11,"
        "TK12,TK13,TK14,TK15,TK16,key_code\n";
    const std::pair<std::string, const char*> cases[] = {
        {"", "rec.csv:1: empty"},
        {"elapsed_ms,dTK0,key_code\n0,1,0\n", "rec.csv:1: a --diff recording"},
        {"time,TK0,key_code\n0,1,0\n", "rec.csv:1: not a recording's header"},
        {"elapsed_ms,TK0,TK2,key_code\n0,1,2,0\n", "rec.csv:1: not a recording's header"},
        {"elapsed_ms,TK0\n0,1\n", "rec.csv:1: not a recording's header"},
        {seventeen, "rec.csv:1: 17 keys"},
        {kHeader, "rec.csv:2: no rows"},
        {std::string(kHeader) + "0,1\n", "rec.csv:2: 2 fields where the header has 3"},
        {std::string(kHeader) + "0,1,0\n\n50,-1,0\n", "rec.csv:4: TK0 '-1' is not a count"},
        {std::string(kHeader) + "0,70000,0\n", "rec.csv:2: TK0 '70000' is not a count"},
        {std::string(kHeader) + "10,1,0\n5,1,0\n", "rec.csv:3: elapsed_ms goes back from 10 to 5"},
        {std::string(kHeader) + "0,1,256\n", "rec.csv:2: key_code '256' is not a key code"},
        {std::string(kHeader) + "1e3,1,0\n", "rec.csv:2: elapsed_ms '1e3'"},
    };
    for (const auto& [text, message] : cases) {
        const RecordingLoad load = parseRecording(text, "rec.csv");
        EXPECT_FALSE(load.recording) << message;
        EXPECT_THAT(load.error, HasSubstr(message));
        EXPECT_EQ(load.error.find('\n'), std::string::npos) << load.error;
    }
}

TEST(Recording, ReadsUtcColumnCrLfAndFillsCellsBeforeAKeysFirstCount) {
    const RecordingLoad load = parseRecording(
        "utc,elapsed_ms,TK0,TK1,key_code\r\nT1,0,,5,49\r\nT2,50,3,9,0\r\n", "rec.csv");
    ASSERT_TRUE(load.recording) << load.error;
    const Recording& r = *load.recording;
    ASSERT_EQ(r.rows.size(), 2u);
    EXPECT_EQ(std::tuple(r.keyCount, r.rows[0].counts[0], r.rows[0].keyCode, r.rows[1].elapsedMs,
                         r.largest[1]),
              std::tuple(2, 3, 49, 50, 9));
    EXPECT_TRUE(r.reported[0] && r.reported[1] && !r.reported[2]);
}

// Rows at 50, 100, 150, 260 and 310 ms: one step is 50 ms, the row at 150
// holds two steps, and the first row is shown for one step before it starts.
TEST(ReplaySignal, MovesOnInTheRecordingsPollStepsAtItsSpeed) {
    const std::string text = std::string(kHeader) + "50,0,0\n100,1,0\n150,2,0\n260,3,0\n310,4,49\n";
    // Speed, loop, and after each advance the row and whether one started (or the end repeated).
    const std::tuple<double, bool, std::vector<int>, std::vector<bool>> cases[] = {
        {1, false, {0, 1, 2, 2, 3, 4, 4, 4}, {true, true, true, false, true, true, true, true}},
        {1, true, {0, 1, 2, 2, 3, 4, 0, 0}, {true, true, true, false, true, true, false, true}},
        {2, false, {1, 2, 4, 4}, {true, true, true, true}},
        {0.5, false, {0, 0, 0, 1}, {false, true, false, true}},
    };
    for (const auto& [speed, loop, rows, reached] : cases) {
        ReplaySignal replay(*parseRecording(text, "rec.csv").recording, speed, loop);
        EXPECT_EQ(replay.rowIndex(), 0);
        EXPECT_FALSE(replay.reachedRow()) << "the lead-in step starts no row";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            replay.advance();
            EXPECT_EQ(replay.rowIndex(), rows[i]) << speed << " advance " << i;
            EXPECT_EQ(replay.reachedRow(), reached[i]) << speed << " advance " << i;
        }
        EXPECT_EQ(replay.referenceCounts()[0], 4);
    }
}

}  // namespace
}  // namespace keyscope::sim
