// The simulated HID module reached as the program reaches it (through dlopen, driven by the
// real board connection), and recordings replayed as the boards' signal. The recorder's runs
// over every link check the simulated boards' counts, touches and pace end to end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>

#include "device/HidLibrary.h"
#include "fakes/DeviceFakes.h"
#include "sim/Recording.h"
#include "sim/ReplaySignal.h"
#include "sim/SimFaults.h"
#include "sim/SimHidBoard.h"

namespace keyscope::sim {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

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

// The simulated board's numbers keep their dot in a decimal-comma locale (where one is
// installed), as the dashboard runs once Qt has set the user's, and take nothing around them.
TEST(SimFaults, EnvironmentNumbersReadTheSameWhateverTheLocale) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    // Each variable, how it is read, and texts with what they read as (-1: refused).
    using Reads = std::vector<std::pair<const char*, double>>;
    const std::tuple<const char*, double (*)(), Reads> cases[] = {
        {"KEYSCOPE_SIM_SERIAL_HANGUP_AFTER",
         [] { return serialFaultsFromEnvironment().hangUpAfter.value_or(-1); },
         {{"1.5", 1.5}, {"1,5", -1}, {" 1", -1}, {"inf", -1}}},
        {"KEYSCOPE_SIM_FAIL_AFTER",
         [] { return double(failAfterFromEnvironment()); },
         {{"1000000000", 1e9}, {"1000000001", -1}, {"+3", -1}}},
        {"KEYSCOPE_SIM_SEED",
         [] { return double(seedFromEnvironment()); },
         {{"10", 10}, {"0x1F", 31}, {"017", 15}}},
    };
    for (const auto& [variable, read, texts] : cases) {
        for (const auto& [text, expected] : texts) {
            ::setenv(variable, text, 1);
            EXPECT_EQ(read(), expected) << variable << "=" << text;
        }
        ::unsetenv(variable);
    }
    std::setlocale(LC_NUMERIC, before.c_str());
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
