// keyscope-record --snr-test as a user runs it against the simulated board: the weak keys of
// the board's profile table fail, the report agrees with the table, and the command line and
// the ways a test ends are what the README says.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <iterator>
#include <map>
#include <sstream>

#include "app/record/RecorderOptions.h"
#include "dashboard/SnrReport.h"
#include "support/TestFiles.h"

namespace keyscope {
namespace {

using ::testing::HasSubstr;

struct SnrRunResult {
    int exitCode;
    std::string table, errors, report;  // standard output and error, the report file
    // The report as pdftotext reads it, or the page count as pdfinfo gives it.
    std::string pdfText, pdfPages;
};

// Runs `script` by bash in a fresh folder, the recorder as $REC; standard output and error
// go to table.txt and err.txt unless the script sends them elsewhere.
SnrRunResult inFolder(const std::string& script, const std::string& report = "r.json") {
    TempDir dir("keyscope-snr-run");
    const std::string command = "cd " + dir.path.string() +
                                " && env -u KEYSCOPE_SIMULATE -u KEYSCOPE_HID_LIBRARY REC=" +
                                (programFolder() / "keyscope-record").string() + " bash -c '" +
                                script + "' >table.txt 2>err.txt </dev/null";
    const int status = std::system(command.c_str());
    SnrRunResult run{WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                     slurp(dir / "table.txt"),
                     slurp(dir / "err.txt"),
                     slurp(dir / report),
                     "",
                     ""};
    if (report.ends_with(".pdf") && std::filesystem::exists(dir / report)) {
        const std::string pdf = (dir / report).string();
        // A tool that fails leaves its file empty, which the checks then find.
        const std::string tools = "pdftotext -layout " + pdf + " " + (dir / "text").string() +
                                  "; pdfinfo " + pdf + " | sed -n 's/^Pages: *//p' >" +
                                  (dir / "pages").string();
        EXPECT_EQ(std::system(tools.c_str()), 0) << tools;
        run.pdfText = slurp(dir / "text");
        run.pdfPages = slurp(dir / "pages");
    }
    return run;
}

// The rows of the results table by key: every cell, the result's words as one.
std::map<std::string, std::vector<std::string>> tableRows(const std::string& table) {
    std::map<std::string, std::vector<std::string>> rows;
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line) && !line.empty();) {
        std::istringstream words(line);
        std::vector<std::string> cells{std::istream_iterator<std::string>(words), {}};
        if (cells.size() >= kSnrColumns.size() && cells[0].starts_with("TK"))
            rows[cells[0]] = cells;
    }
    return rows;
}

struct LinkCase {
    const char *name, *environment, *link, *report;
};

class SnrTestOnSimulatedBoard : public ::testing::TestWithParam<LinkCase> {};

// With the finger off at first, the test runs to its end on its own: exit status 3, FAIL on
// exactly the profile's weak keys TK3, TK7 and TK13, and a report that agrees with the table.
TEST_P(SnrTestOnSimulatedBoard, FailsExactlyTheWeakKeysAndTheReportAgreesWithTheTable) {
    const LinkCase& c = GetParam();
    const SnrRunResult run = inFolder(
        std::string("KEYSCOPE_SIMULATE=1 KEYSCOPE_SIM_SEED=3 KEYSCOPE_SIM_QUIET_FIRST=4 ") +
            c.environment + " $REC " + c.link +
            " --snr-test --quiet-seconds 3 --touched-readings 8 --report " + c.report,
        c.report);
    ASSERT_EQ(run.exitCode, 3) << run.errors << run.table;
    EXPECT_THAT(run.errors, HasSubstr("Keep your hands off the keys for 3 s"));
    EXPECT_THAT(run.errors, HasSubstr("Every key has its touched readings"));
    const auto rows = tableRows(run.table);
    ASSERT_EQ(rows.size(), 16u) << run.table;
    for (const auto& [key, cells] : rows) {
        const bool weak = key == "TK3" || key == "TK7" || key == "TK13";
        EXPECT_EQ(cells[9], weak ? "FAIL" : "PASS") << run.table;
    }
    EXPECT_THAT(run.table, HasSubstr("13 of 16 keys passed"));
    EXPECT_THAT(run.table, HasSubstr("Suggested trigger level: "));

    // The report is written from the results the table shows; that each format carries the
    // table's cells, a PDF every SNR on one page, is SnrReportTest's.
    if (std::string(c.report).ends_with(".pdf")) {
        EXPECT_EQ(run.pdfPages, "1\n");
        EXPECT_THAT(run.pdfText, HasSubstr(rows.at("TK3")[6])) << "TK3's SNR";
        return;
    }
    QJsonParseError error;
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(run.report), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.report;
    EXPECT_EQ(std::pair(json["all_passed"].toBool(), json["keys"].toArray().size()),
              std::pair(false, qsizetype{16}));
    EXPECT_EQ(formatFigure(json["keys"][3]["snr"].toDouble(), "", 2), rows.at("TK3")[6]);
    EXPECT_THAT(run.table, HasSubstr("Suggested trigger level: " +
                                     std::to_string(json["suggestion"]["level"].toInt()) + " ("));
}

INSTANTIATE_TEST_SUITE_P(Links, SnrTestOnSimulatedBoard,
                         ::testing::Values(LinkCase{"typed16", "KEYSCOPE_SIM_HID=typed16", "--hid",
                                                    "r.json"},
                                           LinkCase{"serial", "", "--serial COM1", "r.pdf"}),
                         [](const auto& test) { return std::string(test.param.name); });

// A link that does not open ends with 1, Ctrl-C with nothing written, a bad command line
// with 2 and one line saying why.
TEST(SnrTestProcess, ALostLinkCtrlCAndBadOptionsEndWithTheirStatus) {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"KEYSCOPE_HID_LIBRARY=/none.so $REC --hid --snr-test --report r.json", 1,
         "cannot load the HID module"},
        {"KEYSCOPE_SIMULATE=1 $REC --hid --snr-test --report r.json & sleep 1; kill -INT $!; "
         "wait $!",
         130, "SNR test interrupted; nothing written"},
        {"$REC --snr-test --output x.csv", 2, "--output does not apply to --snr-test"},
        {"$REC --quiet-seconds 3", 2, "--quiet-seconds applies to --snr-test only"},
        {"$REC --snr-test --report r.txt", 2, "--report needs a file name ending .pdf, .csv or"},
        {"$REC --snr-test --touched-readings 4", 2,
         "--touched-readings needs a whole number from 5"},
        {"$REC --snr-test --snr-limit 0", 2, "--snr-limit needs a number from 0.1 to 1000"},
    };
    for (const auto& [script, exitCode, said] : cases) {
        const SnrRunResult run = inFolder(script);
        EXPECT_EQ(run.exitCode, exitCode) << script << "\n" << run.errors;
        EXPECT_THAT(run.errors, HasSubstr(said)) << script;
        EXPECT_EQ(run.table + run.report, "") << script;
    }
}

TEST(SnrTestProcess, OptionsSetTheTestsSettings) {
    const ParsedOptions parsed = parseRecorderOptions(
        {"--serial", "COM2", "--snr-test", "--quiet-seconds", "2.5", "--touched-readings", "12",
         "--snr-limit", "4.5", "--touch-timeout", "90", "--report", "R.PDF"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const RecorderOptions& o = *parsed.options;
    EXPECT_EQ(std::tuple(o.snrTest, o.snr, o.report),
              std::tuple(true, SnrSettings{2500, 12, 4.5, 90000}, "R.PDF"));
}

}  // namespace
}  // namespace keyscope
