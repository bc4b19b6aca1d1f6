// The simulated HID module reached as the program reaches it (through dlopen, driven by the
// real board connection), the simulated finger's quiet start, and recordings replayed as the
// boards' signal. The recorder's runs over every link check the simulated boards' counts,
// touches and pace end to end.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mman.h>
#include <termios.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <thread>

#include "device/HidLibrary.h"
#include "device/KeyStatistics.h"
#include "fakes/DeviceFakes.h"
#include "platform/SystemBoard.h"
#include "sim/Recording.h"
#include "sim/ReplayControl.h"
#include "sim/ReplaySignal.h"
#include "sim/SerialFrames.h"
#include "sim/SerialStreamer.h"
#include "sim/SharedRecording.h"
#include "sim/SignalModel.h"
#include "sim/SimConfig.h"
#include "sim/SimHidBoard.h"

namespace keyscope::sim {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
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

// Three rows, TK0 counting 101 to 103 and a key code on the second.
constexpr const char* kThreeRows =
    "elapsed_ms,TK0,TK1,key_code\n0,101,7,0\n50,102,7,49\n100,103,7,0\n";

std::vector<int> samplesOf(const BoardConnection& board, int key) {
    std::vector<int> values;
    for (const KeySample& sample : board.getChannel(key)->samples)
        values.push_back(sample.value);
    return values;
}

// Each kind opens with its id and report form, and a write reads back. The process reads a
// replay once and every copy of the module (each a board of its own) plays that reading, so a
// FIFO gives its text once: here the file is gone before any board opens. A replayed board
// plays the three rows and then answers without counts: polls go on succeeding, taking nothing,
// until the program seeks.
TEST(SimHidModule, EachKindOpensWithItsFormWritesBackAndPlaysTheProcesssOneReadingOfAReplay) {
    const std::string replay =
        fs::temp_directory_path() / ("keyscope-once-" + std::to_string(::getpid()) + ".csv");
    std::ofstream(replay) << kThreeRows;
    const RecordingLoad& load = sharedRecording(replay);
    fs::remove(replay);
    ASSERT_TRUE(load.recording) << load.error;
    EXPECT_EQ(&sharedRecording(replay), &load);
    // kind (unset or unknown: typed16), link mode, byte values, max values are references
    for (const auto& [kind, linkMode, byteValues, typed] : {std::tuple{"", kLinkHidTyped, 0, true},
                                                            {"typed8", kLinkHidTyped, 1, true},
                                                            {"plain", kLinkHidPlain, 1, false},
                                                            {"bogus", kLinkHidTyped, 0, true}}) {
        SCOPED_TRACE(kind);
        // What the program reads and offers the module it loads.
        SimConfig config = simConfigFrom([given = kind](const char* name) {
            return std::string_view(name) == "KEYSCOPE_SIM_HID" ? given : nullptr;
        });
        config.seed = 99;
        offerToHidModule(config);
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

        config.replay.file = replay;
        offerToHidModule(config);
        HidRig replayed;
        ASSERT_EQ(replayed.board->open(kSelectorHid), 1);
        for (int poll = 0; poll < 5; ++poll)
            ASSERT_EQ(replayed.board->readCycle(), 1) << "replay poll " << poll;
        EXPECT_THAT(samplesOf(*replayed.board, 0), ElementsAre(101, 102, 103));
        EXPECT_EQ(replayed.board->keyCode(), 0);
        // The module's replay follows this program's control block, past the end too.
        replayControl().seekRow = 1;
        ASSERT_EQ(replayed.board->readCycle(), 1);
        EXPECT_THAT(samplesOf(*replayed.board, 0), ElementsAre(101, 102, 103, 102));
    }
}

// The simulated board's numbers keep their dot in a decimal-comma locale (where one is
// installed), as the dashboard runs once Qt has set the user's, and take nothing around them.
TEST(SimConfig, VariablesReadTheSameWhateverTheLocale) {
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    // Each variable, how it is read, and texts with what they read as (-1: refused).
    using Reads = std::vector<std::pair<const char*, double>>;
    const std::tuple<const char*, double (*)(const SimConfig&), Reads> cases[] = {
        {"KEYSCOPE_SIM_SERIAL_HANGUP_AFTER",
         [](const SimConfig& c) { return c.serial.hangUpAfter.value_or(-1); },
         {{"1.5", 1.5}, {"1,5", -1}, {" 1", -1}, {"inf", -1}}},
        {"KEYSCOPE_SIM_FAIL_AFTER",
         [](const SimConfig& c) { return double(c.failAfter); },
         {{"1000000000", 1e9}, {"1000000001", -1}, {"+3", -1}}},
        {"KEYSCOPE_SIM_SEED",
         [](const SimConfig& c) { return c.seed ? double(*c.seed) : -1; },
         {{"10", 10}, {"0x1F", 31}, {"017", 15}}},
        {"KEYSCOPE_SIM_QUIET_FIRST",
         [](const SimConfig& c) { return double(c.quietFirstMs); },
         {{"6", 6000}, {"1.5", 1500}, {"-1", 0}, {"x", 0}}},
    };
    for (const auto& [variable, read, texts] : cases) {
        for (const auto& [text, expected] : texts) {
            const SimConfig config =
                simConfigFrom([wanted = variable, given = text](const char* name) {
                    return std::string_view(name) == wanted ? given : nullptr;
                });
            EXPECT_EQ(read(config), expected) << variable << "=" << text;
        }
    }
    std::setlocale(LC_NUMERIC, before.c_str());
    EXPECT_EQ(simConfigFrom([](const char*) { return nullptr; }).quietFirstMs, 0) << "unset";
}

// KEYSCOPE_SIM_QUIET_FIRST lets the SNR test's quiet phase run on the simulated board.
TEST(SignalModel, QuietFirstKeepsTouchesOffUntilItsTimeThenPressesAsBefore) {
    const SignalModel quiet(7, CountWidth::Word, 6000), usual(7, CountWidth::Word);
    int touchedAfter = 0;
    for (std::int64_t t = 0; t < 30000; t += 10) {
        const std::optional<Touch> touch = usual.touchAt(t);
        // The touch under way at the quiet time's end is left out whole.
        const bool kept = touch && touch->startMs >= 6000;
        ASSERT_EQ(quiet.touchAt(t).has_value(), kept) << t;
        std::array<std::uint16_t, kSimKeyCount> counts = usual.counts(t);
        if (touch && !kept)
            counts[touch->key] += touch->depth;  // resting instead
        ASSERT_EQ(quiet.counts(t), counts) << t;
        touchedAfter += kept ? 1 : 0;
    }
    EXPECT_GT(touchedAfter, 0);
}

// Recordings played as a board's signal. The recorder's tests refuse a missing file and counts
// a link cannot carry, end a wait on a FIFO at Ctrl-C, and replay over every link each row once
// and nothing past the end.

constexpr const char* kHeader = "elapsed_ms,TK0,key_code\n";

TEST(Recording, RefusesEachFaultWithItsLineAndReason) {
    const std::string seventeen =
        "elapsed_ms,TK0,TK1,TK2,TK3,TK4,TK5,TK6,TK7,TK8,TK9,TK10,TK11,"
        "TK12,TK13,TK14,TK15,TK16,key_code\n";
    const std::string h = kHeader, rows = h + "0,1,0\n50,1,0\n100,1,0\n";  // 42 bytes
    const RecordingLimits none;
    const std::tuple<std::string, RecordingLimits, const char*> cases[] = {
        {"", none, "rec.csv:1: empty"},
        {"elapsed_ms,dTK0,key_code\n0,1,0\n", none, "rec.csv:1: a --diff recording"},
        {"time,TK0,key_code\n0,1,0\n", none, "rec.csv:1: not a recording's header"},
        {"elapsed_ms,TK0,TK2,key_code\n0,1,2,0\n", none, "rec.csv:1: not a recording's header"},
        {"elapsed_ms,TK0\n0,1\n", none, "rec.csv:1: not a recording's header"},
        {"\xEF\xBB\xBF\xEF\xBB\xBF" + rows, none, "rec.csv:1: not a recording's header"},
        {seventeen, none, "rec.csv:1: 17 keys"},
        {kHeader, none, "rec.csv:2: no rows"},
        {h + "0,1\n", none, "rec.csv:2: 2 fields where the header has 3"},
        {h + "0,1,0\n\n50,-1,0\n", none, "rec.csv:4: TK0 '-1' is not a count"},
        {h + "0,1,0\r\r50,-1,0\r", none, "rec.csv:4: TK0 '-1' is not a count"},
        {h + "0,70000,0\n", none, "rec.csv:2: TK0 '70000' is not a count"},
        {h + "10,1,0\n5,1,0\n", none, "rec.csv:3: elapsed_ms goes back from 10 to 5"},
        {h + "0,1,256\n", none, "rec.csv:2: key_code '256' is not a key code"},
        {h + "1e3,1,0\n", none, "rec.csv:2: elapsed_ms '1e3' is not a whole"},
        {h + "1000000000000001,1,0\n", none,
         "rec.csv:2: elapsed_ms '1000000000000001' is too large"},
        {h + "99999999999999999999,1,0\n", none,
         "rec.csv:2: elapsed_ms '99999999999999999999' is too large"},
        // One row or one byte beyond the limits, refused on the line it reaches.
        {rows, {.maxBytes = 44}, "rec.csv:4: more than 44 bytes"},
        {rows, {.maxBytes = 24}, "rec.csv:2: more than 24 bytes"},
        {rows, {.maxRows = 2}, "rec.csv:4: more than 2 rows"},
        {std::string(4, '\0'), {.maxBytes = 3}, "rec.csv:1: more than 3 bytes"},
    };
    for (const auto& [text, limits, message] : cases) {
        const RecordingLoad load = parseRecording(text, "rec.csv", limits);
        EXPECT_FALSE(load.recording) << message;
        EXPECT_THAT(load.error, HasSubstr(message));
        EXPECT_EQ(load.error.find('\n'), std::string::npos) << load.error;
    }
}

// Whatever the line ends, a byte-order mark, the pieces the text comes in and a text that
// fills the limits exactly: the same two rows.
TEST(Recording, BomAndCrOnlyOrCrLfLinesParseInAnyPiecesUpToTheLimits) {
    const std::string rows[] = {"utc,elapsed_ms,TK0,TK1,key_code", "T1,0,,5,49", "T2,50,3,9,0"};
    const std::tuple<const char*, std::string, const char*> cases[] = {
        {"", "\n", "\n"},
        {"", "\r\n", "\r\n"},
        {"", "\r", "\r"},
        {"\xEF\xBB\xBF", "\r", ""},
        {"\xEF\xBB\xBF", "\r\n", "\r\n"},
        {"", "\r\n", "\n\r\n\r"},  // blank lines
    };
    for (const auto& [bom, end, last] : cases) {
        const std::string text = std::string(bom)
                                     .append(rows[0])
                                     .append(end)
                                     .append(rows[1])
                                     .append(end)
                                     .append(rows[2])
                                     .append(last);
        SCOPED_TRACE(::testing::PrintToString(text));
        for (const std::size_t piece : {text.size(), std::size_t{1}}) {
            RecordingReader reader("rec.csv", {.maxBytes = text.size(), .maxRows = 2});
            for (std::size_t at = 0; at < text.size(); at += piece)
                ASSERT_TRUE(reader.feed(std::string_view(text).substr(at, piece)));
            const RecordingLoad load = reader.finish();
            ASSERT_TRUE(load.recording) << load.error;
            const Recording& r = *load.recording;
            ASSERT_EQ(r.rows.size(), 2u);
            EXPECT_EQ(std::tuple(r.keyCount, r.rows[0].counts[0], r.rows[0].keyCode,
                                 r.rows[1].elapsedMs, r.largest[1], r.rows[1].line),
                      std::tuple(2, 3, 49, 50, 9, 3));
            EXPECT_TRUE(r.reported[0] && r.reported[1] && !r.reported[2]);
        }
    }
}

// A descriptor is read as a stream, once, and never more than one byte past the limit: an
// empty file, a file beyond the limit, a pipe whose writer is still writing.
TEST(Recording, ReadsADescriptorAsAStreamNeverPastTheLimit) {
    const std::string rows = std::string(kHeader) + "0,1,0\n50,2,0\n";
    const int empty = ::memfd_create("empty", 0);
    EXPECT_THAT(readRecording(empty, "e.csv").error, HasSubstr("e.csv:1: empty"));
    const int big = ::memfd_create("big", 0);
    ASSERT_EQ(::write(big, rows.data(), rows.size()), static_cast<ssize_t>(rows.size()));
    ::lseek(big, 0, SEEK_SET);
    EXPECT_THAT(readRecording(big, "b.csv", {.maxBytes = 10}).error,
                HasSubstr("b.csv:1: more than 10 bytes"));
    EXPECT_EQ(::lseek(big, 0, SEEK_CUR), 11) << "read past the limit";
    ::close(empty);
    ::close(big);

    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_NONBLOCK), 0);
    std::thread writer([&] {
        for (const char c : rows) {  // a byte at a time: the reader meets an empty pipe
            while (::write(pipe[1], &c, 1) != 1)
                std::this_thread::yield();
        }
        ::close(pipe[1]);
    });
    const RecordingLoad load = readRecording(pipe[0], "p.csv");
    writer.join();
    ::close(pipe[0]);
    ASSERT_TRUE(load.recording) << load.error;
    EXPECT_EQ(load.recording->rows.back().counts[0], 2);
}

// Rows at 50, 100, 150, 260 and 310 ms: one step is 50 ms, the row at 150
// holds two steps, and the first row is shown for one step before it starts.
TEST(ReplaySignal, MovesOnInTheRecordingsPollStepsAtItsSpeedAndEndsUnlessLooping) {
    const std::string text = std::string(kHeader) + "50,0,0\n100,1,0\n150,2,0\n260,3,0\n310,4,49\n";
    // Speed, loop, and after each advance the row, whether one started and whether it ended.
    const std::tuple<double, bool, std::vector<int>, std::string, std::string> cases[] = {
        {1, false, {0, 1, 2, 2, 3, 4, 4, 4}, "11101100", "00000011"},
        {1, true, {0, 1, 2, 2, 3, 4, 0, 0}, "11101101", "00000000"},
        {2, false, {1, 2, 4, 4}, "1110", "0001"},
        {0.5, false, {0, 0, 0, 1}, "0101", "0000"},
    };
    for (const auto& [speed, loop, rows, reached, ended] : cases) {
        ReplaySignal replay(*parseRecording(text, "rec.csv").recording, speed, loop);
        EXPECT_EQ(replay.rowIndex(), 0);
        EXPECT_FALSE(replay.reachedRow()) << "the lead-in step starts no row";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            replay.advance();
            EXPECT_EQ(std::tuple(replay.rowIndex(), replay.reachedRow(), replay.ended()),
                      std::tuple(rows[i], reached[i] == '1', ended[i] == '1'))
                << speed << " advance " << i;
        }
        EXPECT_EQ(replay.referenceCounts()[0], 4);
    }
    // Steered through a control block, each request holds from the advance that takes it: a
    // seek shows its row at once (also past the end), then the pace and the loop apply.
    ReplayControl control;
    ReplaySignal steered(*parseRecording(text, "rec.csv").recording, 1, false, &control);
    const auto step = [&] {
        steered.advance();
        return std::tuple(control.row.load(), steered.reachedRow(), control.ended.load());
    };
    for (int i = 0; i < 7; ++i)
        step();
    EXPECT_EQ(step(), std::tuple(4, false, true));
    control.seekRow = 1;
    EXPECT_EQ(step(), std::tuple(1, true, false));
    control.speed = 2;
    EXPECT_EQ(step(), std::tuple(2, true, false));
    control.loop = 1;
    EXPECT_EQ(step(), std::tuple(4, true, false));
    EXPECT_EQ(step(), std::tuple(0, true, false)) << "looped";
    control.loop = 0;
    EXPECT_EQ(step(), std::tuple(2, true, false)) << "on from where the loop was";
}

// The same simulated keys over HID (pressed keys named by their code) and over serial (judged
// by the threshold, a reference frame among every twenty) give the same noise, for a session
// longer than a history: the reference frames' samples are no readings.
TEST(SimulatedBoards, SerialAndHidGiveEveryKeyTheSameNoise) {
    const SignalModel model(7, CountWidth::Word);
    fakes::FakeBoard hid, serial;
    ASSERT_EQ(serial.board->open(kSelectorSerial), 1);
    for (int k = 0; k < kSimKeyCount; ++k)
        hid.board->getChannel(k)->maxValue = model.referenceCount(k);
    StatisticsSession overHid, overSerial;
    overHid.restart(*hid.board);
    overSerial.restart(*serial.board);
    for (int poll = 0; poll < 400; ++poll) {
        const std::int64_t nowMs = std::int64_t{50} * poll;
        hid.board->setKeyCode(model.keyCode(nowMs));
        for (int k = 0; k < kSimKeyCount; ++k)
            hid.board->appendSample(k, model.count(k, nowMs), MaxRule::Leave);
        std::vector<std::uint8_t> bytes =
            poll % 20 == 0 ? referenceFrame(model) : std::vector<std::uint8_t>{};
        const std::vector<std::uint8_t> data = dataFrame(model, nowMs);
        bytes.insert(bytes.end(), data.begin(), data.end());
        serial.serial->chunks.push_back(bytes);
        ASSERT_EQ(serial.board->readCycle(), 1);
        overHid.take(*hid.board);
        overSerial.take(*serial.board);
    }
    ASSERT_EQ(overSerial.readings(), 400);
    for (int k = 0; k < kSimKeyCount; ++k) {
        const KeyFigures byCode =
            overHid.key(k).touchStats(touchRuleFor(kLinkHidTyped, 30)).figures();
        const KeyFigures byLevel =
            overSerial.key(k).touchStats(touchRuleFor(kLinkSerial, 30)).figures();
        ASSERT_TRUE(byCode.noisePp && byLevel.noisePp) << "TK" << k;
        EXPECT_NEAR(*byLevel.noisePp, *byCode.noisePp, 1.0) << "TK" << k;
        EXPECT_NEAR(*byCode.noisePp, 2 * kKeyProfiles[k].noise, 1.0) << "TK" << k;
    }
}

// The serial board sends the reference and each row once, as the host reads them, then
// nothing however often the host polls on.
TEST(SerialStreamer, AReplaySendsEachRowOnceAndNothingAfterItsEnd) {
    ReplaySignal replay(*parseRecording(kThreeRows, "rec.csv").recording);
    std::vector<std::uint8_t> expected = referenceFrame(replay.referenceCounts());
    for (const RecordingRow& row : replay.recording().rows) {
        const std::vector<std::uint8_t> frame = dataFrame(row.counts, row.keyCode);
        expected.insert(expected.end(), frame.begin(), frame.end());
    }
    SerialStreamer streamer(1);
    streamer.setReplay(&replay);
    const std::optional<std::string> terminal = streamer.start();
    ASSERT_TRUE(terminal);
    const int line = ::open(terminal->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(line, 0);
    termios raw{};
    ::tcgetattr(line, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(line, TCSANOW, &raw);
    streamer.setBaud(9600);
    std::vector<std::uint8_t> received;
    const auto receive = [&](int waitMs) {
        pollfd ready{line, POLLIN, 0};
        std::uint8_t buffer[256];
        const long got = ::poll(&ready, 1, waitMs) == 1 ? ::read(line, buffer, sizeof buffer) : 0;
        received.insert(received.end(), buffer, buffer + std::max(got, 0L));
        streamer.hostRead(got);
        return got > 0;
    };
    while (received.size() < expected.size() && receive(5000)) {
    }
    for (int poll = 0; poll < 5; ++poll)
        EXPECT_FALSE(receive(60)) << "a frame past the end";
    EXPECT_EQ(received, expected);
    ::close(line);
}

// The ICE board is made with the program's links, before the recording exists, and loads it
// at its first open; past the end its memory keeps the last row.
TEST(SimIceDevice, LoadsTheReplayAtItsFirstOpenAndKeepsTheLastRowAfterTheEnd) {
    const fs::path file =
        fs::temp_directory_path() / ("keyscope-ice-" + std::to_string(::getpid()) + ".csv");
    SystemBoardConfig config;
    config.simulate = true;
    config.sim.replay.file = file;
    fakes::FakeLinks fakes;
    BoardCollaborators parts =
        systemBoardCollaborators(config, fakes.pauser, fakes.messages, fakes.notifier);
    std::ofstream(file) << kThreeRows;
    BoardConnection board(std::move(parts));
    // Chip 6620 (selector 0), table at IRAM 0x30, 16-bit counts.
    board.setTarget({0x30, 16, 1, 2});
    const int opened = board.open(0);  // reads the file, which the process keeps from then on
    fs::remove(file);
    ASSERT_EQ(opened, 1);
    for (int poll = 0; poll < 4; ++poll)
        ASSERT_EQ(board.readCycle(), 1);
    const std::vector<int> shown = samplesOf(board, 0);  // the open's reads come first
    ASSERT_GE(shown.size(), 5u);
    EXPECT_THAT(std::vector(shown.end() - 5, shown.end()), ElementsAre(101, 102, 103, 103, 103));
}

}  // namespace
}  // namespace keyscope::sim
