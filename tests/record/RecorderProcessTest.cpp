// keyscope-record run as a user runs it, against the simulated board.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/SignalModel.h"

namespace keyscope {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct RecordRun {
    int exitCode = -1;
    std::string errors;
    std::vector<std::vector<std::string>> rows;  // CSV rows after the header
    std::string header;
};

std::string programPath() {
    return (fs::read_symlink("/proc/self/exe").parent_path() / "keyscope-record").string();
}

std::vector<std::string> splitCsv(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, ','))
        fields.push_back(field);
    if (!line.empty() && line.back() == ',')
        fields.emplace_back();
    return fields;
}

// Runs the recorder with the given environment and arguments.
RecordRun record(const std::string& environment, const std::string& arguments) {
    const fs::path dir = fs::temp_directory_path() / ("keyscope-rec-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path csv = dir / "out.csv";
    const fs::path err = dir / "err.txt";
    fs::remove(csv);
    const std::string command = "env -u KEYSCOPE_SIMULATE -u KEYSCOPE_HID_LIBRARY " + environment +
                                " " + programPath() + " " + arguments + " --output " +
                                csv.string() + " 2>" + err.string();
    RecordRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream errors(err);
    run.errors.assign(std::istreambuf_iterator<char>(errors), {});
    std::ifstream in(csv);
    std::string line;
    if (std::getline(in, line))
        run.header = line;
    while (std::getline(in, line))
        run.rows.push_back(splitCsv(line));
    fs::remove_all(dir);
    return run;
}

struct LinkCase {
    const char* name;
    const char* environment;
    const char* arguments;
    sim::CountWidth width;
    bool reportsKeyCode = true;  // over ICE the key code stays 0
};

void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << c.name;
}

class RecorderOnSimulatedBoard : public ::testing::TestWithParam<LinkCase> {};

TEST_P(RecorderOnSimulatedBoard, RowsStayInRangeAndShowTouches) {
    const LinkCase& c = GetParam();
    const RecordRun run =
        record(std::string("KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_SEED=7 ") + c.environment,
               std::string(c.arguments) + " --samples 60");
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_THAT(run.header, HasSubstr("elapsed_ms,TK0"));
    ASSERT_EQ(run.rows.size(), 60u);
    const sim::SignalModel model(7, c.width);
    bool touched = false;
    for (const auto& row : run.rows) {
        ASSERT_EQ(row.size(), 18u);
        for (int k = 1; k <= 16; ++k) {
            ASSERT_FALSE(row[k].empty()) << c.name;
            const int value = std::stoi(row[k]);
            EXPECT_GE(value, model.minCount()) << c.name;
            EXPECT_LE(value, model.maxCount()) << c.name;
        }
        touched = touched || std::stoi(row[17]) != 0;
    }
    EXPECT_EQ(touched, c.reportsKeyCode) << c.name << ": key codes in 60 rows";
    EXPECT_THAT(run.errors, HasSubstr("60 rows"));
    EXPECT_THAT(run.errors, HasSubstr("TK15"));
}

INSTANTIATE_TEST_SUITE_P(
    EachLink, RecorderOnSimulatedBoard,
    ::testing::Values(
        LinkCase{"typed16", "KEYSCOPE_SIM_HID=typed16", "--hid", sim::CountWidth::Word},
        LinkCase{"typed8", "KEYSCOPE_SIM_HID=typed8", "--hid", sim::CountWidth::Byte},
        LinkCase{"plain", "KEYSCOPE_SIM_HID=plain", "--hid", sim::CountWidth::Byte},
        LinkCase{"serial", "", "--serial COM1 --baud 9600", sim::CountWidth::Word},
        LinkCase{"ice", "", "--ice 6620 0x30 16 IRAM 2", sim::CountWidth::Word, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A board that is gone ends the recording with its reason, and the rows taken
// before stay whole; the time limits are far beyond the 5 s give-up.
TEST(RecorderProcess, ABoardThatIsGoneOrSilentEndsWithExit1AndCompleteRows) {
    struct Case {
        const char* environment;
        std::string arguments;
        const char* message;
        int rows;  // -1: some
    };
    const std::string halves =
        (fs::path(programPath()).parent_path() / "libkeyscope-test-hid-halves.so").string();
    const Case cases[] = {
        // A plain board answers the open with three of its six reads.
        {"KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_HID=plain KEYSCOPE_SIM_FAIL_AFTER=6",
         "--hid --seconds 30", "could not be reopened within 5 s", 3},
        {"KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_SERIAL_HANGUP_AFTER=1", "--serial COM1 --seconds 30",
         "could not be reopened within 5 s", -1},
        {"KEYSCOPE_HID_LIBRARY=", "--hid --seconds 30", "gave no samples for 5 s", 0},
    };
    for (const Case& c : cases) {
        const std::string environment =
            c.environment + (std::string(c.environment) == "KEYSCOPE_HID_LIBRARY=" ? halves : "");
        const RecordRun run = record(environment, c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.environment << "\n" << run.errors;
        EXPECT_THAT(run.errors, HasSubstr(c.message));
        EXPECT_THAT(run.errors, HasSubstr("s: board link lost"));
        if (c.rows >= 0)
            EXPECT_EQ(run.rows.size(), static_cast<std::size_t>(c.rows)) << c.environment;
        else
            EXPECT_FALSE(run.rows.empty()) << c.environment;
        for (const auto& row : run.rows)
            EXPECT_EQ(row.size(), 18u);
    }
}

TEST(RecorderProcess, ASerialPortThatComesBackResumesAndTheReconnectIsReported) {
    const RecordRun run = record(
        "KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_SERIAL_HANGUP_AFTER=1 KEYSCOPE_SIM_SERIAL_RETURN_AFTER=1",
        "--serial COM1 --seconds 5");
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_THAT(run.errors, HasSubstr("s: board link lost"));
    EXPECT_THAT(run.errors, HasSubstr("s: board link back"));
    EXPECT_THAT(run.errors, HasSubstr("links lost: 1, reconnected: 1"));
    ASSERT_FALSE(run.rows.empty());
    EXPECT_GT(std::stoi(run.rows.back().at(0)), 2500) << "no rows after the return";
}

TEST(RecorderProcess, BadInputGivesOneLineAndNonZeroExit) {
    struct Case {
        const char* environment;
        const char* arguments;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {"", "--frobnicate", 2, "unknown option"},
        {"KEYSCOPE_SERIAL_PORTS=/dev/null", "--serial COM9", 2, "unknown serial port COM9"},
        {"KEYSCOPE_HID_LIBRARY=/nonexistent/module.so", "--hid", 1, "cannot load the HID module"},
    };
    for (const Case& c : cases) {
        const RecordRun run = record(c.environment, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_THAT(run.errors, HasSubstr(c.message));
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    }
}

}  // namespace
}  // namespace keyscope
