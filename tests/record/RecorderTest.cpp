// The recorder over scripted boards, and keyscope-record run as a user runs it against the
// simulated board.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <regex>
#include <sstream>

#include "app/record/Recorder.h"
#include "fakes/DeviceFakes.h"
#include "sim/SignalModel.h"
#include "support/TestFiles.h"

namespace keyscope {
namespace {

namespace fs = std::filesystem;
using fakes::FakeBoard;
using fakes::plainReport;
using ::testing::AllOf;
using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::Ge;
using ::testing::HasSubstr;
using ::testing::Le;
using ::testing::StartsWith;

// A recorder over a plain HID board, writing into memory, on a clock made of its pauses.
struct RecorderRig {
    FakeBoard f;
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    std::atomic<bool> interrupted{false};
    long rows = 0;
    std::string summary;

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
            std::move(options), [] { return std::int64_t{1796504645123}; });
        const RecordEnd end = recorder.run(out, interrupted);
        rows = recorder.rows();
        summary = recorder.summary();
        std::fflush(out);
        return end;
    }
    std::string csv() const { return std::string(text, size); }
};

// The open's three reads (max, key and its own cycle, the first row at 0 ms), then two polls
// with samples around a report without counts; a count above the max value raises it, so its
// difference is 0.
TEST(Recorder_Rows, OneRowPerPollThatTookSamplesAsCountsOrAsUtcAndDifferences) {
    const std::string unreported = ",0,0,0,0,0,0,0,0,0,0,0,0,0,0,";  // TK2 to TK15
    const std::string utc = "2026-12-05T21:04:05.123Z,";
    struct Case {
        bool utcAndDiff;
        std::string csv;
        const char* summaryOfTK0;  // min, max, mean and standard deviation
    };
    const Case cases[] = {
        {false,
         "elapsed_ms,TK0,TK1,TK2,TK3,TK4,TK5,TK6,TK7,TK8,TK9,TK10,TK11,TK12,TK13,TK14,TK15,"
         "key_code\n0,100,50" +
             unreported + "0\n50,90,40" + unreported + "49\n150,80,60" + unreported + "0\n",
         "TK0          80       100      90.0      8.16"},
        {true,
         "utc,elapsed_ms,dTK0,dTK1,dTK2,dTK3,dTK4,dTK5,dTK6,dTK7,dTK8,dTK9,dTK10,dTK11,dTK12,"
         "dTK13,dTK14,dTK15,key_code\n" +
             utc + "0,0,0" + unreported + "0\n" + utc + "50,10,10" + unreported + "49\n" + utc +
             "150,20,0" + unreported + "0\n",
         "TK0           0        20      10.0      8.16"},
    };
    for (const Case& c : cases) {
        RecorderRig rig;
        rig.queue({100, 50}, 0, 3);
        rig.queue({90, 40}, 0x31);
        rig.queue({0});
        rig.queue({80, 60});
        RecorderOptions options;
        options.diff = options.utc = c.utcAndDiff;
        options.samples = 3;
        EXPECT_EQ(rig.run(options), RecordEnd::SampleLimit);
        EXPECT_EQ(rig.csv(), c.csv);
        EXPECT_THAT(rig.f.pauser.pauses, ElementsAre(50, 50, 50, 50, 50));
        EXPECT_THAT(rig.summary, HasSubstr(c.summaryOfTK0));
    }
}

// A failed read pauses, closes and reopens the board.
TEST(Recorder_End, LimitsAndInterruptionEndTheRunWhileAFailedReadReopens) {
    RecorderRig reopened, timed, stopped;
    reopened.queue({100}, 0, 3);
    reopened.f.hid->plain.push_back({false, {}});
    reopened.queue({100}, 0, 3);  // the reopen
    reopened.queue({95});
    RecorderOptions oneSample, oneSecond;
    oneSample.samples = 2;  // the open's reading and one poll
    EXPECT_EQ(reopened.run(oneSample), RecordEnd::SampleLimit);
    EXPECT_THAT(reopened.f.pauser.pauses, ElementsAre(50, 50, 50, 200, 200, 50, 50, 50));
    EXPECT_EQ(reopened.rows, 2);

    timed.queue({100}, 0, 40);
    oneSecond.seconds = 1.0;
    EXPECT_EQ(timed.run(oneSecond), RecordEnd::TimeLimit);
    EXPECT_EQ(timed.rows, 21);

    stopped.queue({100}, 0, 5);
    stopped.interrupted = true;
    EXPECT_EQ(stopped.run({}), RecordEnd::Interrupted);
    const std::string header = stopped.csv();
    EXPECT_THAT(header,
                AllOf(StartsWith("elapsed_ms,"), HasSubstr(",key_code\n0,100,"), EndsWith(",0\n")))
        << "the header and the open's reading, flushed";
    EXPECT_EQ(std::count(header.begin(), header.end(), '\n'), 2);
}

TEST(RecorderOptions_Parse, AcceptsEachLinkAndRejectsBadInput) {
    auto parse = [](const std::vector<std::string>& args) { return parseRecorderOptions(args); };
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
    EXPECT_THAT(parse({"--help"}).info, HasSubstr("--serial <PORT>"));

    for (const char* line :
         {"--bogus", "--serial", "--baud 300 --serial COM1", "--samples 0", "--seconds -1",
          "--hid --serial COM1", "--ice 6620", "--samples 12abc", "--hid --baud 1200",
          "--touch-threshold -1", "--stats a.csv --output a.csv", "--output", "stray",
          "--ice 1 2 3 4 5 6"}) {
        std::istringstream words(line);
        const std::vector<std::string> args{std::istream_iterator<std::string>(words), {}};
        const auto parsed = parse(args);
        EXPECT_FALSE(parsed.options) << line;
        EXPECT_FALSE(parsed.error.empty()) << line;
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
    }
}

// keyscope-record as a user runs it.

using Rows = std::vector<std::vector<std::string>>;

struct RecordRun {
    int exitCode;
    std::string errors, text;  // standard error, the CSV file
    Rows rows, stats;          // of the CSV and the --stats file, after their headers
};

// Where a run keeps its files, the recording it replays among them.
fs::path runFolder() {
    return fs::temp_directory_path() / ("keyscope-rec-" + std::to_string(::getpid()));
}

Rows rowsOf(const std::string& text) {
    Rows rows;
    std::istringstream in(text);
    std::string line;
    for (std::getline(in, line); std::getline(in, line);) {
        rows.emplace_back(1);
        for (char c : line)
            c == ',' ? rows.back().emplace_back() : rows.back().back() += c;
    }
    return rows;
}

// Runs the recorder with the given environment and arguments; with `replay`, on the simulated
// board playing that recording ("": a file that is not there).
RecordRun record(std::string environment, const std::string& arguments,
                 const std::optional<std::string>& replay = {}) {
    const fs::path dir = runFolder();
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (replay) {
        environment += " KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_REPLAY=" + (dir / "replay.csv").string();
        if (!replay->empty())
            std::ofstream(dir / "replay.csv") << *replay;
    }
    const std::string command = "env -u KEYSCOPE_SIMULATE -u KEYSCOPE_HID_LIBRARY " + environment +
                                " " + (programFolder() / "keyscope-record").string() + " " +
                                arguments + " --output " + (dir / "out.csv").string() +
                                " --stats " + (dir / "stats.csv").string() + " 2>" +
                                (dir / "err").string();
    const int status = std::system(command.c_str());
    const std::string text = slurp(dir / "out.csv");
    RecordRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir / "err"), text,
                  rowsOf(text), rowsOf(slurp(dir / "stats.csv"))};
    fs::remove_all(dir);
    return run;
}

struct LinkCase {
    const char *name, *environment, *arguments;
    sim::CountWidth width;
    bool reportsKeyCode = true;  // over ICE the key code stays 0
    bool replayEnds = true;      // the ICE board keeps its last image
};

class RecorderOnSimulatedBoard : public ::testing::TestWithParam<LinkCase> {};

TEST_P(RecorderOnSimulatedBoard, RowsStayInRangeShowTouchesAndReplayTheSameCountsAndKeyCodes) {
    const LinkCase& c = GetParam();
    const std::string args = std::string(c.arguments) + " --samples 100";
    RecordRun first =
        record(std::string("KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_SEED=7 ") + c.environment, args);
    ASSERT_EQ(first.exitCode, 0) << first.errors;
    EXPECT_THAT(first.errors, HasSubstr("100 rows"));
    ASSERT_EQ(first.rows.size(), 100u);
    const sim::SignalModel model(7, c.width);
    bool touched = false;
    for (const auto& row : first.rows) {
        ASSERT_EQ(row.size(), 18u);
        for (int k = 1; k <= 16; ++k)
            EXPECT_THAT(std::stoi(row[k]), AllOf(Ge(model.minCount()), Le(model.maxCount())));
        touched = touched || row[17] != "0";
    }
    EXPECT_EQ(touched, c.reportsKeyCode) << "key codes in 100 rows";

    // Rows evenly spaced: how a replay treats a poll that ran late is ReplaySignal's test, and
    // a loaded machine must not make this one replay a row twice.
    std::string even = first.text.substr(0, first.text.find('\n') + 1);
    for (std::size_t i = 0; i < first.rows.size(); ++i) {
        even += std::to_string(100 * i);
        for (std::size_t cell = 1; cell < first.rows[i].size(); ++cell)
            even += "," + first.rows[i][cell];
        even += "\n";
    }
    // Past its end a replay gives no samples, so the recording ends by itself; the ICE board
    // keeps its last image and is stopped at the file's length.
    RecordRun again = record(c.environment, c.replayEnds ? c.arguments : args, even);
    if (c.replayEnds) {
        EXPECT_THAT(again.errors, HasSubstr("gave no samples for 5 s"));
    }
    ASSERT_EQ(again.exitCode, c.replayEnds ? 1 : 0) << again.errors;
    ASSERT_EQ(again.rows.size(), 100u);
    for (std::size_t i = 0; i < 100; ++i)  // all but the elapsed time, which is the machine's
        ASSERT_EQ(std::vector(again.rows[i].begin() + 1, again.rows[i].end()),
                  std::vector(first.rows[i].begin() + 1, first.rows[i].end()))
            << "row " << i;
}

INSTANTIATE_TEST_SUITE_P(
    EachLink, RecorderOnSimulatedBoard,
    ::testing::Values(
        LinkCase{"typed16", "KEYSCOPE_SIM_HID=typed16", "--hid", sim::CountWidth::Word},
        LinkCase{"typed8", "KEYSCOPE_SIM_HID=typed8", "--hid", sim::CountWidth::Byte},
        LinkCase{"plain", "KEYSCOPE_SIM_HID=plain", "--hid", sim::CountWidth::Byte},
        LinkCase{"serial", "", "--serial COM1 --baud 9600", sim::CountWidth::Word},
        LinkCase{"ice", "", "--ice 6620 0x30 16 IRAM 2", sim::CountWidth::Word, false, false}),
    [](const auto& test) { return std::string(test.param.name); });

// Each lost link and reconnect goes to standard error. A link not back within 5 s, or a
// board that gives no sample for 5 s, ends the recording with exit 1 and the rows taken
// before whole; the time limits are far beyond that give-up.
TEST(RecorderProcess, ALostLinkIsReportedAndEndsTheRecordingUnlessItComesBackWithin5s) {
    // The environment, the arguments, the exit code, what is said and the rows (-1: some).
    const std::tuple<std::string, const char*, int, const char*, int> cases[] = {
        // A plain board answers the open with three of its six reads, the first row.
        {"KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_HID=plain KEYSCOPE_SIM_FAIL_AFTER=6",
         "--hid --seconds 30", 1, "could not be reopened within 5 s", 4},
        {"KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_SERIAL_HANGUP_AFTER=1", "--serial COM1 --seconds 30", 1,
         "could not be reopened within 5 s", -1},
        {"KEYSCOPE_HID_LIBRARY=" + (programFolder() / "libkeyscope-test-hid-halves.so").string(),
         "--hid --seconds 30", 1, "gave no samples for 5 s", 1},
        // Each loss says its reason: twice for two hang-ups.
        {"KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_SERIAL_HANGUP_AFTER=1 "
         "KEYSCOPE_SIM_SERIAL_RETURN_AFTER=1 KEYSCOPE_SIM_SERIAL_HANGUPS=2",
         "--serial COM1 --seconds 6", 0, "links lost: 2, reconnected: 2", -1},
    };
    for (const auto& [environment, arguments, exitCode, said, rows] : cases) {
        SCOPED_TRACE(environment);
        const RecordRun run = record(environment, arguments);
        EXPECT_EQ(run.exitCode, exitCode) << run.errors;
        EXPECT_THAT(run.errors, AllOf(HasSubstr("s: board link lost"), HasSubstr(said)));
        if (rows >= 0)
            EXPECT_EQ(run.rows.size(), static_cast<std::size_t>(rows));
        else
            ASSERT_FALSE(run.rows.empty());
        for (const auto& row : run.rows)
            EXPECT_EQ(row.size(), 18u);
        if (exitCode == 0) {  // the link came back, and rows with it
            EXPECT_THAT(run.errors, HasSubstr("s: board link back"));
            const std::regex reason(": the other end hung up");
            EXPECT_EQ(
                std::distance(std::sregex_iterator(run.errors.begin(), run.errors.end(), reason),
                              std::sregex_iterator()),
                2)
                << run.errors;
            EXPECT_GT(std::stoi(run.rows.back().at(0)), 2500);
        }
    }
}

// Bad input ends the run with one line on standard error; a refused recording says where
// and why, once, and the open fails.
TEST(RecorderProcess, BadInputOrARefusedRecordingGivesItsLineAndNonZeroExit) {
    const std::string header = "elapsed_ms,TK0,key_code\n", ice = "--ice 6620 0x30 16 IRAM 2";
    const std::string refused = "replay refused: " + (runFolder() / "replay.csv").string();
    // The environment, the arguments, the recording played ("": no file at all; none: no
    // replay), the exit code and what is said.
    const std::tuple<const char*, std::string, std::optional<std::string>, int, std::string>
        cases[] = {
            {"", "--frobnicate", {}, 2, "unknown option"},
            {"KEYSCOPE_SERIAL_PORTS=/dev/null", "--serial COM9", {}, 2, "unknown serial port COM9"},
            {"KEYSCOPE_HID_LIBRARY=/none.so", "--hid", {}, 1, "cannot load the HID module"},
            {"", "--hid", "", 1, refused + ": cannot open: No such file"},
            {"", "--serial COM1", "elapsed,TK0\n", 1, refused + ":1: not a recording's header"},
            {"", ice, header + "0,1,0\n50,x,0\n", 1, refused + ":3: TK0 'x' is not"},
            {"KEYSCOPE_SIM_HID=typed8", "--hid", header + "0,300,0\n", 1,
             refused + ":2: TK0 count 300 is more than this board's 8-bit reports carry (at most "
                       "255)"},
            {"", ice, header + "0,2048,0\n", 1,
             refused + ":2: TK0 count 2048 is more than ICE reads carry (at most 2047)"},
        };
    for (const auto& [environment, arguments, replay, exitCode, said] : cases) {
        const RecordRun run = record(environment, arguments + " --samples 3", replay);
        EXPECT_EQ(run.exitCode, exitCode) << said;
        EXPECT_THAT(run.errors, HasSubstr(said));
        if (!replay)
            EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
        else  // said once, and the open fails
            EXPECT_TRUE(run.errors.find(refused) == run.errors.rfind(refused) &&
                        run.errors.find("cannot open the board") != std::string::npos)
                << run.errors;
    }
}

// Runs a bash script in a fresh run folder with the recorder as $REC; what it prints, and its
// exit status.
std::pair<int, std::string> inRunFolder(const std::string& script) {
    const fs::path dir = runFolder();
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string command =
        "cd " + dir.string() + " && env -u KEYSCOPE_SIMULATE -u " +
        "KEYSCOPE_HID_LIBRARY REC=" + (programFolder() / "keyscope-record").string() +
        " bash -c '" + script + "' >out.txt 2>&1";
    const int status = std::system(command.c_str());
    std::pair run(WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir / "out.txt"));
    fs::remove_all(dir);
    return run;
}

// The files a user names: what was there survives a board that does not open, one file is
// never both outputs, a wait on a FIFO ends on Ctrl-C, a replay is read once as a stream of
// bounded size, and a reader that stops early (a pipe into head) still gets the statistics.
TEST(RecorderProcess, NamedFilesSurviveAFailedOpenNeverCollideAndNeverHang) {
    const std::string ctrlC =
        "sleep 1; kill -INT $pid; for i in $(seq 20); do kill -0 $pid 2>/dev/null || break;"
        "sleep 0.1; done; kill -0 $pid 2>/dev/null && { kill -KILL $pid; echo hung; }; wait $pid";
    // The script, its exit status and what it prints.
    const std::tuple<std::string, int, std::vector<std::string>> cases[] = {
        {"echo kept >keep.csv; echo kept >keep_st.csv;"
         "KEYSCOPE_HID_LIBRARY=/none.so $REC --hid --output keep.csv --stats keep_st.csv;"
         "echo \"status $?\"; cat keep.csv keep_st.csv",
         0,
         {"status 1\nkept\nkept\n"}},
        {"ln -s a.csv link.csv; $REC --stats ./a.csv --output a.csv;"
         "$REC --stats link.csv --output a.csv; $REC --stats b.csv >b.csv; echo \"status $?\"; ls",
         0,
         {"--stats ./a.csv and --output a.csv name the same file",
          "--stats link.csv and --output a.csv name the same file",
          "--stats b.csv and standard output name the same file\nstatus 2\n"}},
        // Ctrl-C while the output waits for a reader, or the replay for a writer, that never
        // comes: gone within 2 s.
        {"mkfifo out.fifo; KEYSCOPE_SIMULATE=1 $REC --hid --output out.fifo & pid=$!;" + ctrlC,
         1,
         {"cannot create out.fifo: Interrupted system call"}},
        {"mkfifo in.fifo; KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_REPLAY=in.fifo $REC --hid & pid=$!;" +
             ctrlC,
         1,
         {"in.fifo: reading stopped by a signal"}},
        // What spreadsheets write (a byte-order mark, CR line ends) replays, from a file and
        // from a pipe; an endless file is refused at the size limit.
        {"printf \"\\xef\\xbb\\xbfelapsed_ms,TK0,key_code\\r0,300,0\\r50,301,0\\r100,302,0\\r\" "
         ">b.csv;"
         "for f in b.csv <(cat b.csv); do KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_REPLAY=$f $REC --hid "
         "--samples 3 2>/dev/null | cut -d, -f2 | tr \"\\n\" \" \"; echo; done;"
         "KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_REPLAY=/dev/zero $REC --hid",
         1,
         {"TK0 300 301 302 \nTK0 300 301 302 \n", "/dev/zero:1: more than 64 MiB"}},
        {"KEYSCOPE_SIMULATE=1 $REC --hid --stats s.csv | head -3 >/dev/null;"
         "echo \"status ${PIPESTATUS[0]}\"; wc -l <s.csv",
         0,
         {"status 0\n17\n", "rows; links lost: 0"}},
    };
    for (const auto& [script, exitCode, said] : cases) {
        const auto [status, output] = inRunFolder(script);
        EXPECT_EQ(status, exitCode) << script << "\n" << output;
        for (const std::string& line : said)
            EXPECT_THAT(output, HasSubstr(line)) << script;
        EXPECT_THAT(output, ::testing::Not(AnyOf(HasSubstr("hung"), HasSubstr("a.csv\n"))));
    }
}

// Twelve seconds of the simulated board press every key once, in a locale with a decimal
// comma where one is installed. Each key's SNR should come out as its table entry implies,
// depth / (2 * noise), and every number keep its dot.
TEST(RecorderProcess, StatsGiveEveryKeyTheSnrOfItsProfileAndNumbersKeepDotsWhateverTheLocale) {
    const bool german = std::system("locale -a 2>/dev/null | grep -qi '^de_DE.utf-\\?8$'") == 0;
    const RecordRun run = record(std::string("KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_SEED=7 ") +
                                     (german ? "LC_ALL=de_DE.UTF-8" : ""),
                                 "--hid --utc --diff --samples 240");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    ASSERT_EQ(run.rows.size(), 240u);
    const std::regex stamp(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
    for (const auto& row : run.rows) {
        ASSERT_EQ(row.size(), 19u);
        EXPECT_TRUE(std::regex_match(row[0], stamp)) << row[0];
        for (std::size_t i = 1; i < row.size(); ++i)
            EXPECT_EQ(row[i].find_first_not_of("-0123456789"), std::string::npos) << row[i];
    }
    ASSERT_EQ(run.stats.size(), 16u);
    for (int k = 0; k < 16; ++k) {
        const std::string key = "TK" + std::to_string(k);
        SCOPED_TRACE(key);
        const auto& line = run.stats[k];
        ASSERT_EQ(line.size(), 14u);
        EXPECT_EQ(std::pair(line[0], line[1]), std::pair(key, std::string("240")));
        ASSERT_FALSE(line[10].empty()) << "no SNR";
        const double implied = sim::impliedSnr(sim::kKeyProfiles[k]);
        EXPECT_NEAR(std::stod(line[10]), implied, 0.15 * implied);
        // Its touched readings, the threshold, and the span: the recording, from its first row.
        EXPECT_GE(std::stoi(line[2]), 5);
        EXPECT_EQ(line[11], "30");
        EXPECT_EQ(line[12], run.rows[0][0]);
        EXPECT_NEAR(std::stod(line[13]), std::stod(run.rows.back()[1]) / 1000, 0.051);
        std::smatch summary;  // the key's line on standard error marks a weak key
        ASSERT_TRUE(std::regex_search(run.errors, summary, std::regex("\n" + key + " .*")));
        EXPECT_EQ(summary.str().find("below 5:1") != std::string::npos, implied < 5)
            << summary.str();
    }
    if (!german)
        GTEST_SKIP() << "de_DE.UTF-8 is not installed: checked in the C locale only";
}

}  // namespace
}  // namespace keyscope
