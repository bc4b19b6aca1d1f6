// The SNR test's report: its CSV, JSON and table from one set of results, the PDF page, and
// files written whole or not at all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <csignal>
#include <cstdio>
#include <limits>
#include <sstream>

#include "dashboard/SnrReportFiles.h"
#include "fakes/RecordingMessages.h"
#include "support/TestFiles.h"

namespace keyscope {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

SnrKeyResult key(int k, SnrVerdict verdict, std::optional<double> snr, std::optional<int> in,
                 std::optional<int> out) {
    SnrKeyResult r;
    r.key = k;
    r.verdict = verdict;
    r.untouchedMean = 190.04;
    r.figures.noisePp = 10;
    r.figures.noiseRms = 3.14159;
    if (verdict != SnrVerdict::NotMeasured) {
        r.touchedMean = 50;
        r.figures.signal = 140.04;
    } else {
        r.reason = "only 3 touched readings; an SNR needs 5";
    }
    r.figures.snr = snr;
    r.marginIn = in;
    r.marginOut = out;
    return r;
}

// A pass with a margin out of 0, a failure with a negative margin in that was touched while
// quiet, a key never measured and one without noise, at the level 48 with its warning.
SnrReport sample() {
    SnrReport report;
    report.link = "serial \"COM1\"\t9600";  // a quote and a tab for the JSON to escape
    report.board = "streaming board";
    report.triggerLevel = 50, report.preScale = 3, report.tktmr = 0x85;
    report.utcMs = 1796504645123;  // 2026-12-05T21:04:05.123Z
    SnrResults& r = report.results;
    r.keys = {key(0, SnrVerdict::Pass, 14.004, 28, 0), key(7, SnrVerdict::Fail, 3.75, -2, 10),
              key(9, SnrVerdict::NotMeasured, {}, {}, {}),
              key(12, SnrVerdict::Pass, std::numeric_limits<double>::infinity(), 30, 20)};
    r.keys[1].touchedWhileQuiet = true;
    r.keys[1].excludedReadings = 12, r.keys[1].quietReadings = 98;
    r.suggestion.level = 48;
    r.suggestion.explanation = "80% of the smallest signal";
    r.suggestion.warning = "TK7's largest untouched difference reaches half the level";
    return report;
}

TEST(SnrReport, CsvJsonAndTableCarryTheSameCells) {
    const SnrReport report = sample();
    const std::string csv = snrCsv(report);
    EXPECT_EQ(
        csv,
        "key,untouched_mean,noise_pp,noise_rms,touched_mean,signal,snr,margin_in,margin_out,"
        "result\n"
        "TK0,190.0,10.0,3.1,50.0,140.0,14.00,28,0,PASS\n"
        "TK7,190.0,10.0,3.1,50.0,140.0,3.75,-2,10,FAIL\n"
        "TK9,190.0,10.0,3.1,,,,,,FAIL (not measured: only 3 touched readings; an SNR needs 5)\n"
        "TK12,190.0,10.0,3.1,50.0,140.0,inf,30,20,PASS\n");

    QJsonParseError error;
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(snrJson(report)), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(json["link"].toString().toStdString(), report.link);
    EXPECT_EQ(json["time_utc"].toString(), "2026-12-05T21:04:05Z");
    EXPECT_EQ(json["chip_settings"]["tktmr"].toInt(), 0x85);
    EXPECT_EQ(json["settings"]["snr_limit"].toDouble(), 5.0);
    EXPECT_EQ(json["suggestion"]["level"].toInt(), 48);
    EXPECT_FALSE(json["all_passed"].toBool());
    const QJsonArray keys = json["keys"].toArray();
    ASSERT_EQ(keys.size(), 4);
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    for (const QJsonValue k : keys) {  // every figure and the result as the CSV has them
        std::getline(lines, line);
        std::string fromJson = k["key"].toString().toStdString();
        for (std::size_t c = 1; c < kSnrColumns.size(); ++c) {
            const QJsonValue v = k[kSnrColumns[c]];
            fromJson += "," + (v.isString() ? v.toString().toStdString()
                               : v.isNull() ? std::string()
                               : c >= 7     ? std::to_string(v.toInt())
                                            : formatFigure(v.toDouble(), "", c == 6 ? 2 : 1));
        }
        EXPECT_EQ(fromJson, line);
    }

    // The table: the same cells lined up under their names, a dash where unknown.
    EXPECT_EQ(snrTable(report.results),
              "key   untouched_mean  noise_pp  noise_rms  touched_mean   signal      snr  "
              "margin_in  margin_out  result\n"
              "TK0            190.0      10.0        3.1          50.0    140.0    14.00         28"
              "          0!  PASS\n"
              "TK7            190.0      10.0        3.1          50.0    140.0     3.75        -2!"
              "          10  FAIL\n"
              "TK9            190.0      10.0        3.1             -        -        -          -"
              "           -  FAIL (not measured: only 3 touched readings; an SNR needs 5)\n"
              "TK12           190.0      10.0        3.1          50.0    140.0      inf         30"
              "          20  PASS\n\n"
              "TK7: touched during the quiet phase (12 of 98 readings left out)\n"
              "! a margin at or below zero\n"
              "Suggested trigger level: 48 (80% of the smallest signal)\n"
              "Warning: TK7's largest untouched difference reaches half the level\n"
              "2 of 4 keys passed (quiet 5 s, 10 touched readings per key, SNR limit 5, touch "
              "time-out 60 s)\n");
}

// Sixteen rows of the longest texts still fit one A4 page, and the page's text holds every
// key's SNR and the suggestion. Without an application object the call makes its own.
TEST(SnrReport, PdfIsOnePageWithEverySnrAndTheSuggestion) {
    SnrReport report = sample();
    const std::vector<SnrKeyResult> four = report.results.keys;
    report.results.keys.clear();
    for (int k = 0; k < 16; ++k) {
        report.results.keys.push_back(four[k % 4]);
        report.results.keys.back().key = k;
    }
    TempDir dir("keyscope-snr-pdf");
    fakes::RecordingMessages messages;
    ASSERT_EQ(writeSnrReport((dir / "r.pdf").string(), SnrReportFormat::Pdf, report, messages),
              CsvSave::Saved);
    const auto run = [&](const std::string& command) {
        return std::system((command + " >" + (dir / "out.txt").string()).c_str()) == 0
                   ? slurp(dir / "out.txt")
                   : std::string("failed: ") + command;
    };
    EXPECT_THAT(run("pdfinfo " + (dir / "r.pdf").string()),
                ::testing::ContainsRegex("Pages: +1\n"));
    const std::string text = run("pdftotext -layout " + (dir / "r.pdf").string() + " -");
    for (const char* expected : {"14.00", "3.75", "inf", "TK15", "n/m",
                                 "Suggested trigger level: 48", "Warning: TK7's", "TKTMR 0x85"})
        EXPECT_THAT(text, HasSubstr(expected));
}

// A new file replaces the old one only once it is whole: a full disk (here a file size
// limit), a lock held elsewhere or a missing folder leave the old bytes and nothing beside.
TEST(SnrReport, FilesAreWrittenWholeOrNotAtAll) {
    TempDir dir("keyscope-snr-files");
    const fs::path old = dir / "old.json", locked = dir / "locked.json";
    const std::string content(100, 'x');
    const int holder = ::open(locked.c_str(), O_WRONLY | O_CREAT, 0644);
    // The path, a file size limit, the result, the message and the file afterwards (none:
    // absent).
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    std::ofstream(old) << "old rows\n";
    const std::tuple<fs::path, rlim_t, CsvSave, std::string, std::optional<std::string>> cases[] = {
        {old, 16, CsvSave::WriteFailed,
         "An error occurred while writing " + old.string() + ".\nFile too large", "old rows\n"},
        {dir / "new.json", 16, CsvSave::WriteFailed,
         "An error occurred while writing " + (dir / "new.json").string() + ".\nFile too large",
         std::nullopt},
        {locked, RLIM_INFINITY, CsvSave::CreateFailed, "Cannot Create json file", ""},
        {dir / "missing" / "x.json", RLIM_INFINITY, CsvSave::CreateFailed,
         "Cannot Create json file", std::nullopt},
        {"/dev/full", RLIM_INFINITY, CsvSave::WriteFailed,
         "An error occurred while writing /dev/full.\nNo space left on device", std::nullopt},
        {old, RLIM_INFINITY, CsvSave::Saved, "", content},
    };
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit unlimited{};
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    for (const auto& [path, limit, result, said, after] : cases) {
        SCOPED_TRACE(path.string());
        fakes::RecordingMessages messages;
        rlimit cap = unlimited;
        cap.rlim_cur = std::min(limit, unlimited.rlim_max);
        ::setrlimit(RLIMIT_FSIZE, &cap);
        const CsvSave saved = writeFileWhole(path.string(), content, "json", messages);
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_EQ(saved, result);
        EXPECT_EQ(messages.texts(),
                  said.empty() ? std::vector<std::string>{} : std::vector<std::string>{said});
        if (path.parent_path() == dir.path) {
            EXPECT_EQ(fs::exists(path) ? std::optional(slurp(path)) : std::nullopt, after);
        }
    }
    std::signal(SIGXFSZ, SIG_DFL);
    ::close(holder);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator{}), 2)
        << "old.json and locked.json, no temporary file left";
}

}  // namespace
}  // namespace keyscope
