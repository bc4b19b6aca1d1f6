#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "dashboard/CsvExport.h"
#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

namespace fs = std::filesystem;
using fakes::FakeBoard;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// An open serial board (no traffic) whose histories the test fills directly.
struct CsvRig {
    FakeBoard f;
    fs::path dir = fs::temp_directory_path() / ("keyscope-csv-" + std::to_string(::getpid()));
    CsvRig() {
        f.board->open(kSelectorSerial);
        fs::create_directories(dir);
    }
    ~CsvRig() { fs::remove_all(dir); }
    std::vector<std::string> lines(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(in)), {});
        std::vector<std::string> out;
        std::size_t start = 0;
        for (std::size_t at; (at = all.find("\r\n", start)) != std::string::npos; start = at + 2) {
            out.push_back(all.substr(start, at - start));
        }
        EXPECT_EQ(start, all.size()) << "every line ends in CR LF";
        return out;
    }
};

TEST(CsvExport_Content, FullHistoryGivesHeaderAndThreeHundredRowsOfSeventeenFields) {
    CsvRig rig;
    for (int i = 0; i < 310; ++i)
        for (int k = 0; k < kChannelCount; ++k)
            rig.f.board->appendSample(k, i + k, MaxRule::Leave);
    const fs::path file = rig.dir / "full.csv";
    ASSERT_EQ(saveCsv(*rig.f.board, true, file.string(), rig.f.messages), CsvSave::Saved);
    const auto lines = rig.lines(file);
    ASSERT_EQ(lines.size(), 301u);
    EXPECT_EQ(lines[0].size() + 2, 77u);
    EXPECT_EQ(lines[0] + "\r\n", kCsvHeader);
    EXPECT_EQ(lines[1].substr(0, 9), "0,10,11,1");
    EXPECT_EQ(std::count(lines[300].begin(), lines[300].end(), ','), 16);
    EXPECT_EQ(lines[300].substr(0, 8), "299,309,");
}

TEST(CsvExport_Content, DifferenceModeWritesStoredDiffsWhichMayBeNegative) {
    CsvRig rig;
    rig.f.board->appendSample(0, 100, MaxRule::Set);
    rig.f.board->appendSample(0, 130, MaxRule::Leave);
    // Only TK0 has samples, so no row reaches TK15's line end.
    EXPECT_EQ(csvContent(*rig.f.board, false).substr(std::strlen(kCsvHeader)), "0,0,1,-30,");
}

TEST(CsvExport_Content, RowsFollowTkZeroAndMissingSamplesAddNothing) {
    CsvRig rig;
    rig.f.board->appendSample(0, 5, MaxRule::Leave);
    rig.f.board->appendSample(0, 6, MaxRule::Leave);
    for (int i = 0; i < 3; ++i)
        rig.f.board->appendSample(2, 70 + i, MaxRule::Leave);
    rig.f.board->appendSample(15, 9, MaxRule::Leave);
    const std::string text = csvContent(*rig.f.board, true);
    EXPECT_EQ(text.substr(std::strlen(kCsvHeader)), "0,5,70,9\r\n1,6,71,");
}

TEST(CsvExport_File, SameMinuteReplacesAndNothingToSaveWritesNothing) {
    CsvRig rig;
    std::tm when{};
    when.tm_year = 126;
    when.tm_mon = 11;
    when.tm_mday = 3;
    when.tm_hour = 14;
    when.tm_min = 7;
    const std::string path = csvFilePath(rig.dir.string(), when);
    EXPECT_EQ(fs::path(path).filename(), "20261203_1407.csv");
    EXPECT_EQ(saveCsv(*rig.f.board, true, path, rig.f.messages), CsvSave::NothingToSave);
    EXPECT_FALSE(fs::exists(path));
    auto fill = [&](int rows) {
        rig.f.board->clearSamples();
        for (int i = 0; i < rows; ++i) {
            for (int k = 0; k < kChannelCount; ++k)
                rig.f.board->appendSample(k, i, MaxRule::Leave);
        }
    };
    fill(4);
    ASSERT_EQ(saveCsv(*rig.f.board, true, path, rig.f.messages), CsvSave::Saved);
    fill(1);
    ASSERT_EQ(saveCsv(*rig.f.board, true, path, rig.f.messages), CsvSave::Saved);
    EXPECT_EQ(rig.lines(path).size(), 2u);
    EXPECT_TRUE(rig.f.messages.shown.empty());
}

TEST(CsvExport_File, UncreatableFileShowsThePlainMessage) {
    CsvRig rig;
    rig.f.board->appendSample(0, 1, MaxRule::Leave);
    const std::string path = (rig.dir / "missing" / "x.csv").string();
    EXPECT_EQ(saveCsv(*rig.f.board, true, path, rig.f.messages), CsvSave::CreateFailed);
    ASSERT_EQ(rig.f.messages.shown.size(), 1u);
    EXPECT_EQ(rig.f.messages.shown[0].text, "Cannot Create csv file");
    EXPECT_EQ(rig.f.messages.shown[0].caption, "");
    EXPECT_EQ(rig.f.messages.shown[0].icon, MessageIcon::None);
}

TEST(CsvExport_File, FullDeviceIsReportedAndTheFileClosed) {
    CsvRig rig;
    rig.f.board->appendSample(0, 1, MaxRule::Leave);
    ASSERT_TRUE(fs::exists("/dev/full"));
    EXPECT_EQ(saveCsv(*rig.f.board, true, "/dev/full", rig.f.messages), CsvSave::WriteFailed);
    ASSERT_EQ(rig.f.messages.shown.size(), 1u);
    EXPECT_THAT(rig.f.messages.shown[0].text, HasSubstr("No space left on device"));
    EXPECT_EQ(rig.f.messages.shown[0].icon, MessageIcon::Exclamation);
    // Nothing of ours stays open: the same device can be opened exclusively again.
    EXPECT_EQ(saveCsv(*rig.f.board, true, "/dev/full", rig.f.messages), CsvSave::WriteFailed);
}

}  // namespace
}  // namespace keyscope
