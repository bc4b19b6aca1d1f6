// SaveData's CSV file: its rows, its name, and the files it cannot write.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "dashboard/CsvExport.h"
#include "fakes/DeviceFakes.h"
#include "support/TestFiles.h"

namespace keyscope {
namespace {

using namespace fakes;
namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::StartsWith;

// An open serial board (no traffic) whose histories the test fills directly.
class CsvExport : public ::testing::Test, protected FakeBoard {
  protected:
    void SetUp() override { ASSERT_EQ(board->open(kSelectorSerial), 1); }
    void fill(int rows) {
        board->clearSamples();
        for (int i = 0; i < rows; ++i)
            for (int k = 0; k < kChannelCount; ++k)
                board->appendSample(k, i + k, MaxRule::Leave);
    }
    CsvSave save(const fs::path& path) { return saveCsv(*board, true, path.string(), messages); }
    TempDir dir{"keyscope-csv"};
};

TEST_F(CsvExport, FullHistoryGivesHeaderAndThreeHundredCrLfRowsOfSeventeenFields) {
    fill(310);
    ASSERT_EQ(save(dir / "full.csv"), CsvSave::Saved);
    const std::string text = slurp(dir / "full.csv");
    EXPECT_THAT(text, StartsWith("Times,Tk0,Tk1,Tk2,Tk3,Tk4,Tk5,Tk6,Tk7,Tk8,Tk9,Tk10,Tk11,Tk12,"
                                 "Tk13,Tk14,Tk15\r\n0,10,11,1"));
    const auto count = [&](char c) { return std::count(text.begin(), text.end(), c); };
    EXPECT_THAT((std::array{count('\n'), count('\r'), count(',')}),
                ElementsAre(301, 301, 301 * 16));
    EXPECT_THAT(text,
                EndsWith("\r\n299,309,310,311,312,313,314,315,316,317,318,319,320,321,322,323,"
                         "324\r\n"));
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
    const std::string path = csvFilePath(dir.path.string(), when);
    EXPECT_EQ(path, dir / "20261203_1407.csv");
    EXPECT_EQ(save(path), CsvSave::NothingToSave);
    EXPECT_FALSE(fs::exists(path));
    fill(4);
    ASSERT_EQ(save(path), CsvSave::Saved);
    fill(1);
    ASSERT_EQ(save(path), CsvSave::Saved);
    EXPECT_EQ(slurp(path), kCsvHeader + std::string("0,0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15\r\n"));
    EXPECT_TRUE(messages.shown.empty());
}

// Each failure shows one message, closes what it opened and leaves a locked file's bytes.
TEST_F(CsvExport, UncreatableLockedOrFullFileShowsItsMessage) {
    fill(1);
    const fs::path locked = dir / "locked.csv";
    std::ofstream(locked) << "another writer's rows\n";
    const int holder = ::open(locked.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const auto openFiles = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
    };
    const std::tuple<fs::path, CsvSave, std::string, MessageIcon> cases[] = {
        {dir / "missing" / "x.csv", CsvSave::CreateFailed, "Cannot Create csv file",
         MessageIcon::None},
        {locked, CsvSave::CreateFailed, "Cannot Create csv file", MessageIcon::None},
        {"/dev/full", CsvSave::WriteFailed,
         "An error occurred while writing /dev/full.\nNo space left on device",
         MessageIcon::Exclamation}};
    for (const auto& [path, result, text, icon] : cases) {
        messages.shown.clear();
        const auto before = openFiles();
        EXPECT_EQ(save(path), result) << path;
        EXPECT_EQ(openFiles(), before);
        ASSERT_EQ(messages.shown.size(), 1u);
        const auto& shown = messages.shown[0];
        EXPECT_EQ(std::tuple(shown.text, shown.caption, shown.icon), std::tuple(text, "", icon));
    }
    EXPECT_EQ(slurp(locked), "another writer's rows\n");
    ::close(holder);
}

}  // namespace
}  // namespace keyscope
