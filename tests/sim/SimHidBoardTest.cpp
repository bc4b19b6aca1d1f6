#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "sim/SimHidBoard.h"

namespace keyscope::sim {
namespace {

using Report = std::array<std::uint8_t, kSimReportSize>;

int word(const Report& r, int index) {
    return r[1 + 2 * index] | (r[2 + 2 * index] << 8);
}

struct KindCase {
    const char* name;
    HidKind kind;
    int answersTo;
    int refuses;
};

class SimHidBoardKind : public ::testing::TestWithParam<KindCase> {};

TEST_P(SimHidBoardKind, AnswersOnlyItsOwnDeviceIdAndReadsFailUntilOpen) {
    SimHidBoard board(GetParam().kind, 1);
    Report r{};
    EXPECT_NE(board.readData(r.data()), 0);
    EXPECT_NE(board.read(64, r.data()), 0);
    EXPECT_NE(board.open(GetParam().refuses, 0, 0), 0);
    EXPECT_FALSE(board.isOpen());
    EXPECT_EQ(board.open(GetParam().answersTo, 0, 0), 0);
    EXPECT_EQ(board.open(GetParam().answersTo, 0, 0), 0) << "a reopen is tolerated";
    EXPECT_TRUE(board.isOpen());
}

INSTANTIATE_TEST_SUITE_P(Kinds, SimHidBoardKind,
                         ::testing::Values(KindCase{"typed16", HidKind::Typed16, 292, 296},
                                           KindCase{"typed8", HidKind::Typed8, 292, 296},
                                           KindCase{"plain", HidKind::Plain, 296, 292}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimHidBoard, Typed16AnswersEveryReadInLowHighPairs) {
    SimHidBoard board(HidKind::Typed16, 5);
    ASSERT_EQ(board.open(292, 0, 0), 0);
    Report r{};
    for (auto read : {&SimHidBoard::readData, &SimHidBoard::readMax, &SimHidBoard::readKey}) {
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ((board.*read)(r.data()), 0);
            EXPECT_EQ(r[22], 0x85);
            ASSERT_EQ((board.*read)(r.data()), 0);
            EXPECT_EQ(r[22], 0xC5);
        }
    }
    EXPECT_NE(board.read(64, r.data()), 0) << "a typed board has no plain read";
}

TEST(SimHidBoard, Typed16PairCarriesOneSnapshotAndAdvancesOnePoll) {
    SimHidBoard board(HidKind::Typed16, 5);
    ASSERT_EQ(board.open(292, 0, 0), 0);
    Report low{}, high{};
    for (int poll = 1; poll <= 40; ++poll) {
        ASSERT_EQ(board.readData(low.data()), 0);
        ASSERT_EQ(board.readData(high.data()), 0);
        ASSERT_EQ(board.clockMs(), poll * SimHidBoard::kPollMs);
        const auto counts = board.model().counts(board.clockMs());
        for (int k = 0; k < 8; ++k) {
            ASSERT_EQ(word(low, k), counts[k]);
            ASSERT_EQ(word(high, k), counts[8 + k]);
        }
        EXPECT_EQ(low[18], board.model().keyCode(board.clockMs()));
        EXPECT_EQ(high[18], low[18]);
    }
}

TEST(SimHidBoard, PlainBoardReportsCountsAndShowsAWriteInItsSettingsBytes) {
    SimHidBoard board(HidKind::Plain, 3);
    ASSERT_EQ(board.open(296, 0, 0), 0);
    Report r{};
    EXPECT_NE(board.readData(r.data()), 0);
    EXPECT_NE(board.readMax(r.data()), 0);
    EXPECT_NE(board.read(32, r.data()), 0) << "a short buffer is refused";
    Report w{};
    w[17] = 9;
    w[19] = 4;
    w[20] = 0x05;
    ASSERT_EQ(board.write(w.data()), 0);
    ASSERT_EQ(board.read(64, r.data()), 0);
    EXPECT_EQ(r[22], 0);
    EXPECT_NE(r[1], 0) << "byte 1 0 would mean a report without counts";
    EXPECT_EQ(r[17], 9);
    EXPECT_EQ(r[19], 4);
    EXPECT_EQ(r[20], 0x05);
}

TEST(SimHidBoard, NullReportsFail) {
    SimHidBoard board(HidKind::Typed16, 3);
    ASSERT_EQ(board.open(292, 0, 0), 0);
    EXPECT_NE(board.readData(nullptr), 0);
    EXPECT_NE(board.readMax(nullptr), 0);
    EXPECT_NE(board.readKey(nullptr), 0);
    EXPECT_NE(board.write(nullptr), 0);
}

}  // namespace
}  // namespace keyscope::sim
