#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "dashboard/CsvExport.h"
#include "fakes/DeviceFakes.h"

namespace keyscope {
namespace {

namespace fs = std::filesystem;

// An open serial board (no traffic) whose histories the test fills directly.
class CsvExport : public ::testing::Test, protected fakes::FakeBoard {
  protected:
    void SetUp() override {
        board->open(kSelectorSerial);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void fill(int rows) {
        board->clearSamples();
        for (int i = 0; i < rows; ++i)
            for (int k = 0; k < kChannelCount; ++k)
                board->appendSample(k, i + k, MaxRule::Leave);
    }
    CsvSave save(const std::string& path) { return saveCsv(*board, true, path, messages); }
    static std::string read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path dir = fs::temp_directory_path() / ("keyscope-csv-" + std::to_string(::getpid()));
};

TEST_F(CsvExport, FullHistoryGivesHeaderAndThreeHundredCrLfRowsOfSeventeenFields) {
    fill(310);
    ASSERT_EQ(save((dir / "full.csv").string()), CsvSave::Saved);
    const std::string text = read(dir / "full.csv");
    EXPECT_EQ(text.rfind(kCsvHeader, 0), 0u);
    EXPECT_EQ(std::strlen(kCsvHeader), 77u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 301);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 301);
    EXPECT_EQ(std::count(text.begin(), text.end(), ','), 301 * 16);
    EXPECT_EQ(text.substr(77, 9), "0,10,11,1");
    EXPECT_EQ(text.substr(text.rfind("\r\n299,")),
              "\r\n299,309,310,311,312,313,314,315,316,317,318,319,320,321,322,323,324\r\n");
}

TEST_F(CsvExport, RowsFollowTkZeroInTheShownModeAndMissingSamplesAddNothing) {
    board->appendSample(0, 5, MaxRule::Leave);
    board->appendSample(0, 6, MaxRule::Leave);
    for (int i = 0; i < 3; ++i)
        board->appendSample(2, 70 + i, MaxRule::Leave);
    board->appendSample(15, 9, MaxRule::Leave);
    const std::size_t header = std::strlen(kCsvHeader);
    EXPECT_EQ(csvContent(*board, true).substr(header), "0,5,70,9\r\n1,6,71,");
    // Differences from the reference set by the first sample may be negative.
    board->clearSamples();
    board->appendSample(0, 100, MaxRule::Set);
    board->appendSample(0, 130, MaxRule::Leave);
    EXPECT_EQ(csvContent(*board, false).substr(header), "0,0,1,-30,");
}

TEST_F(CsvExport, SameMinuteReplacesAndNothingToSaveWritesNothing) {
    std::tm when{};
    when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 3, when.tm_hour = 14, when.tm_min = 7;
    const std::string path = csvFilePath(dir.string(), when);
    EXPECT_EQ(path, (dir / "20261203_1407.csv").string());
    EXPECT_EQ(save(path), CsvSave::NothingToSave);
    EXPECT_FALSE(fs::exists(path));
    fill(4);
    ASSERT_EQ(save(path), CsvSave::Saved);
    fill(1);
    ASSERT_EQ(save(path), CsvSave::Saved);
    EXPECT_EQ(read(path), kCsvHeader + std::string("0,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\r\n"));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(CsvExport, UncreatableOrLockedFileShowsThePlainMessageAndKeepsTheFile) {
    fill(1);
    const fs::path locked = dir / "locked.csv";
    std::ofstream(locked) << "another writer's rows\n";
    const int holder = ::open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    for (const fs::path& path : {dir / "missing" / "x.csv", locked}) {
        messages.shown.clear();
        EXPECT_EQ(save(path.string()), CsvSave::CreateFailed);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "Cannot Create csv file");
        EXPECT_EQ(messages.shown[0].caption, "");
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::None);
    }
    EXPECT_EQ(read(locked), "another writer's rows\n");
    ::close(holder);
}

TEST_F(CsvExport, FullDeviceIsReportedAndTheFileClosed) {
    fill(1);
    const auto openFiles = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
    };
    const auto before = openFiles();
    EXPECT_EQ(save("/dev/full"), CsvSave::WriteFailed);
    EXPECT_EQ(openFiles(), before);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_THAT(messages.shown[0].text, ::testing::HasSubstr("No space left on device"));
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Exclamation);
}

}  // namespace
}  // namespace keyscope
