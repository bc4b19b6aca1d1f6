#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>
#include <sstream>

#include "app/record/Recorder.h"
#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

using fakes::FakeBoard;
using fakes::plainReport;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// A recorder over a plain HID board, writing into memory, on a clock that
// advances with the recorded pauses.
struct RecorderRig {
    FakeBoard f;
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    std::atomic<bool> interrupted{false};

    RecorderRig() { f.hid->answeringIds = {kHidDevicePlain}; }
    ~RecorderRig() {
        std::fclose(out);
        std::free(text);
    }
    void queue(std::initializer_list<int> counts, int code = 0, int times = 1) {
        for (int i = 0; i < times; ++i)
            f.hid->plain.push_back({true, plainReport(counts, code)});
    }
    RecordEnd run(RecorderOptions options) {
        Recorder recorder(
            *f.board, f.pauser,
            [this] { return std::accumulate(f.pauser.pauses.begin(), f.pauser.pauses.end(), 0L); },
            options, out, [] { return std::int64_t{1796504645123}; });
        const RecordEnd end = recorder.run(interrupted);
        rows = recorder.rows();
        summary = recorder.summary();
        std::fflush(out);
        return end;
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> all;
        std::istringstream in(std::string(text, size));
        for (std::string line; std::getline(in, line);)
            all.push_back(line);
        return all;
    }
    long rows = 0;
    std::string summary;
};

TEST(Recorder_Rows, OneRowPerPollThatTookSamplesWithHeader) {
    RecorderRig rig;
    rig.queue({100, 50}, 0, 3);  // max, key and the open's own cycle
    rig.queue({90, 40}, 0x31);
    rig.queue({0});  // a report without counts: no row
    rig.queue({80, 60}, 0);
    RecorderOptions options;
    options.samples = 2;
    EXPECT_EQ(rig.run(options), RecordEnd::SampleLimit);
    const auto lines = rig.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(lines[0], HasSubstr("elapsed_ms,TK0,TK1,TK2"));
    EXPECT_THAT(lines[0], HasSubstr(",TK15,key_code"));
    EXPECT_EQ(lines[1], "50,90,40,0,0,0,0,0,0,0,0,0,0,0,0,0,0,49");
    EXPECT_EQ(lines[2], "150,80,60,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
    EXPECT_THAT(rig.f.pauser.pauses, ElementsAre(50, 50, 50, 50, 50));
    EXPECT_THAT(rig.summary, HasSubstr("TK0          80        90      85.0      5.00"));
}

TEST(Recorder_Rows, DiffRecordsMaxMinusValueUnderItsOwnNamesAndUtcLeadsEachRow) {
    RecorderRig rig;
    rig.queue({100}, 0, 3);
    rig.queue({70});
    RecorderOptions options;
    options.diff = true;
    options.utc = true;
    options.samples = 1;
    rig.run(options);
    const auto lines = rig.lines();
    EXPECT_THAT(lines.at(0), EndsWith(",dTK15,key_code"));
    EXPECT_THAT(lines.at(1), StartsWith("2026-12-05T21:04:05.123Z,50,30,0,"));
    // Midnight of a leap day, one millisecond before it.
    EXPECT_EQ(utcTimestamp(951782399999), "2000-02-28T23:59:59.999Z");
    EXPECT_EQ(utcTimestamp(951782400000), "2000-02-29T00:00:00.000Z");
}

TEST(Recorder_Reconnect, FailedReadPausesClosesAndReopens) {
    RecorderRig rig;
    rig.queue({100}, 0, 3);
    rig.f.hid->plain.push_back({false, {}});
    rig.queue({100}, 0, 3);  // the reopen
    rig.queue({95});
    RecorderOptions options;
    options.samples = 1;
    EXPECT_EQ(rig.run(options), RecordEnd::SampleLimit);
    EXPECT_THAT(rig.f.pauser.pauses, ElementsAre(50, 50, 50, 200, 200, 50, 50, 50));
    EXPECT_EQ(rig.lines().size(), 2u);
}

// A failed reopen and a module that will not load are run as a user runs them
// in RecorderProcessTest.
TEST(Recorder_Stop, TimeLimitAndInterruption) {
    {
        RecorderRig rig;
        rig.queue({100}, 0, 40);
        RecorderOptions options;
        options.seconds = 1.0;
        EXPECT_EQ(rig.run(options), RecordEnd::TimeLimit);
        EXPECT_EQ(rig.rows, 20);
    }
    RecorderRig rig;
    rig.queue({100}, 0, 5);
    rig.interrupted = true;
    EXPECT_EQ(rig.run({}), RecordEnd::Interrupted);
    EXPECT_EQ(rig.lines().size(), 1u);  // the header, flushed
}

TEST(RecorderOptions_Parse, AcceptsEachLinkAndRejectsBadInput) {
    auto parse = [](std::vector<std::string> args) { return parseRecorderOptions(args); };
    auto serial =
        parse({"--serial", "COM2", "--baud", "1200", "--diff", "--utc", "--samples", "10"});
    ASSERT_TRUE(serial.options);
    const RecorderOptions& s = *serial.options;
    EXPECT_EQ(std::tuple(s.link, s.port, s.baud, s.diff, s.utc, s.samples),
              std::tuple(RecordLink::Serial, "COM2", 1200, true, true, 10));
    auto ice = parse({"--ice", "5138", "0x30", "16", "IRAM", "2", "--seconds", "2.5", "--stats",
                      "keys.csv", "--touch-threshold", "12"});
    ASSERT_TRUE(ice.options);
    const RecorderOptions& i = *ice.options;
    EXPECT_EQ(std::tuple(i.ice.selector, i.ice.channelCount, i.ice.address, i.seconds, i.stats,
                         i.touchThreshold),
              std::tuple(3u, 12u, 0x30u, 2.5, "keys.csv", 12));
    EXPECT_EQ(parse({"-o", "keys.csv"}).options->output, "keys.csv");
    EXPECT_EQ(parse({"--version"}).info.rfind("keyscope-record ", 0), 0u);
    const std::string help = parse({"--help"}).info;
    for (const char* option : {"--hid", "--serial <PORT>", "--baud <RATE>", "--ice", "--output",
                               "--diff", "--utc", "--samples <N>", "--seconds <S>"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }

    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"--serial"},
        {"--baud", "300", "--serial", "COM1"},
        {"--samples", "0"},
        {"--seconds", "-1"},
        {"--hid", "--serial", "COM1"},
        {"--ice", "6620"},
        {"--samples", "12abc"},
        {"--hid", "--baud", "1200"},
        {"--touch-threshold", "-1"},
        {"--stats", "a.csv", "--output", "a.csv"},
        {"--output"},
        {"stray"},
        {"--ice", "1", "2", "3", "4", "5", "6"},
    };
    for (const auto& args : bad) {
        const auto parsed = parse(args);
        EXPECT_FALSE(parsed.options) << args[0];
        EXPECT_FALSE(parsed.error.empty()) << args[0];
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    }
}

}  // namespace
}  // namespace keyscope
