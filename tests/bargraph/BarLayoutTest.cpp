#include <gtest/gtest.h>

#include "views/bargraph/BarLayout.h"
#include "views/bargraph/KeyBarGraph.h"

namespace keyscope {
namespace {

TEST(BarLayout, PlotOf420RowsGivesUnit28AndChart280) {
    const BarLayout l = BarLayout::forSize(1000, 480);
    EXPECT_EQ(l.plotWidth, 880);
    EXPECT_EQ(l.plotHeight, 420);
    EXPECT_EQ(l.unit, 28);
    EXPECT_EQ(l.chartHeight, 280);
    EXPECT_EQ(l.chartTop(), 140);
}

TEST(BarLayout, PreferredSizeOf640RowsGivesUnit38) {
    const BarLayout l = BarLayout::forSize(1000, 640);
    EXPECT_EQ(l.unit, 38);  // (580 / 3) * 2 / 10
    EXPECT_EQ(l.chartHeight, 380);
    EXPECT_EQ(l.gridRight, 800);
}

TEST(BarLayout, ControlBelow121By61HasNoPlot) {
    EXPECT_FALSE(BarLayout::forSize(120, 400).hasPlot());
    EXPECT_FALSE(BarLayout::forSize(400, 60).hasPlot());
    EXPECT_FALSE(BarLayout::forSize(0, 0).hasPlot());
    EXPECT_FALSE(BarLayout::forSize(-5, -5).hasPlot());
    const BarLayout tiny = BarLayout::forSize(121, 61);
    EXPECT_TRUE(tiny.hasPlot());
    EXPECT_EQ(tiny.unit, 0);
    EXPECT_EQ(tiny.chartHeight, 0);
}

struct GridCase {
    int plotWidth;
    int right;
    friend void PrintTo(const GridCase& c, std::ostream* os) {
        *os << "plot width " << c.plotWidth;
    }
};

class GridRightTest : public ::testing::TestWithParam<GridCase> {};

TEST_P(GridRightTest, IsSmallestMultipleOf50WithinReachButNeverPast800) {
    EXPECT_EQ(gridRight(GetParam().plotWidth), GetParam().right);
}

INSTANTIATE_TEST_SUITE_P(Table, GridRightTest,
                         ::testing::Values(GridCase{0, 0}, GridCase{50, 0}, GridCase{51, 50},
                                           GridCase{100, 50}, GridCase{101, 100},
                                           GridCase{330, 300}, GridCase{350, 300},
                                           GridCase{880, 800}, GridCase{2000, 800}));

TEST(BannerRepeats, FillTheStripToTheRightEdge) {
    EXPECT_EQ(bannerRepeats(600, 250), 7);
    EXPECT_EQ(bannerRepeats(250, 250), 0);
    EXPECT_EQ(bannerRepeats(100, 250), 0);
    EXPECT_EQ(bannerRepeats(251, 250), 1);
    EXPECT_EQ(bannerRepeats(300, 250), 1);
    EXPECT_EQ(bannerRepeats(301, 250), 2);
    EXPECT_EQ(bannerRepeats(1000, 250), 15);
}

TEST(BarArea, ThreeSlotsEndAtWindowX250) {
    const BarLayout l = BarLayout::forSize(1000, 640);
    const BarArea area = BarArea::of(l, 3);
    const int top = l.chartTop();
    EXPECT_TRUE(area.contains(249, top + 10));
    EXPECT_FALSE(area.contains(250, top + 10));
    EXPECT_TRUE(area.contains(100, top));
    EXPECT_FALSE(area.contains(99, top));
    EXPECT_FALSE(area.contains(120, top - 1));
    EXPECT_TRUE(area.contains(120, l.plotHeight - 1));
    EXPECT_FALSE(area.contains(120, l.plotHeight));
    EXPECT_EQ(area.columnAt(100), 0);
    EXPECT_EQ(area.columnAt(149), 0);
    EXPECT_EQ(area.columnAt(150), 1);
    EXPECT_EQ(area.columnAt(249), 2);
}

TEST(BarArea, IsEmptyWithoutAttachedSlotsOrPlot) {
    EXPECT_FALSE(BarArea::of(BarLayout::forSize(1000, 640), 0).contains(100, 300));
    EXPECT_FALSE(BarArea::of(BarLayout{}, 16).contains(100, 0));
    EXPECT_FALSE(BarArea::of(BarLayout::forSize(100, 640), 16).contains(100, 300));
}

struct IndentCase {
    std::int64_t n;
    int scale;
    int panel;
    friend void PrintTo(const IndentCase& c, std::ostream* os) { *os << "number " << c.n; }
};

class FigureIndentTest : public ::testing::TestWithParam<IndentCase> {};

TEST_P(FigureIndentTest, ChangesExactlyAtPowersOfTen) {
    EXPECT_EQ(scaleFigureIndent(GetParam().n), GetParam().scale);
    EXPECT_EQ(panelFigureIndent(GetParam().n), GetParam().panel);
}

INSTANTIATE_TEST_SUITE_P(Table, FigureIndentTest,
                         ::testing::Values(IndentCase{-150, 40, 21}, IndentCase{0, 40, 21},
                                           IndentCase{9, 40, 21}, IndentCase{10, 33, 16},
                                           IndentCase{99, 33, 16}, IndentCase{100, 25, 11},
                                           IndentCase{999, 25, 11}, IndentCase{1000, 19, 9},
                                           IndentCase{9999, 19, 9}, IndentCase{10000, 13, 0},
                                           IndentCase{65535, 13, 0}));

struct BannerCase {
    std::int32_t code;
    const char* text;
    friend void PrintTo(const BannerCase& c, std::ostream* os) { *os << "code " << c.code; }
};

class KeyBannerTextTest : public ::testing::TestWithParam<BannerCase> {};

TEST_P(KeyBannerTextTest, NamesTouchKeysAndShowsOtherCodesInHex) {
    EXPECT_EQ(keyBannerText(GetParam().code), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Table, KeyBannerTextTest,
                         ::testing::Values(BannerCase{0x30, "Key Press : [TK0] "},
                                           BannerCase{0x33, "Key Press : [TK3] "},
                                           BannerCase{0x3E, "Key Press : [TK14] "},
                                           BannerCase{0x3F, "Key Press : [0x3F] "},
                                           BannerCase{0x2F, "Key Press : [0x2F] "},
                                           BannerCase{0x0A, "Key Press : [0xA] "},
                                           BannerCase{-1, "Key Press : [0xFFFFFFFF] "}));

TEST(KeyBarGraphSizing, PreferredSizeFollowsBarCount) {
    EXPECT_EQ(KeyBarGraph::preferredWidth(0), 400);
    EXPECT_EQ(KeyBarGraph::preferredWidth(5), 400);
    EXPECT_EQ(KeyBarGraph::preferredWidth(6), 500);
    EXPECT_EQ(KeyBarGraph::preferredWidth(16), 1000);
    EXPECT_EQ(KeyBarGraph::preferredHeight(), 640);
    EXPECT_EQ(KeyBarGraph::slotWidth(), 50);
}

}  // namespace
}  // namespace keyscope
