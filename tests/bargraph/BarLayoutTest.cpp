#include <gtest/gtest.h>

#include "views/bargraph/BarLayout.h"
#include "views/bargraph/KeyBarGraph.h"

namespace keyscope {
namespace {

TEST(BarLayout, PlotOf420RowsGivesUnit28AndChart280) {
    const BarLayout l = BarLayout::forSize(1000, 480);
    EXPECT_EQ(l.plotHeight, 420);
    EXPECT_EQ(l.unit, 28);
    EXPECT_EQ(l.chartHeight, 280);
    EXPECT_FALSE(BarLayout::forSize(120, 400).hasPlot());
    EXPECT_FALSE(BarLayout::forSize(400, 60).hasPlot());
    EXPECT_TRUE(BarLayout::forSize(121, 61).hasPlot());
}

class GridRightTest : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(GridRightTest, IsSmallestMultipleOf50WithinReachButNeverPast800) {
    EXPECT_EQ(gridRight(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(PlotWidths, GridRightTest,
                         ::testing::Values(std::pair{0, 0}, std::pair{50, 0}, std::pair{51, 50},
                                           std::pair{330, 300}, std::pair{350, 300},
                                           std::pair{880, 800}, std::pair{2000, 800}));

TEST(BannerRepeats, FillTheStripToTheRightEdge) {
    EXPECT_EQ(bannerRepeats(600, 250), 7);
    EXPECT_EQ(bannerRepeats(250, 250), 0);
    EXPECT_EQ(bannerRepeats(251, 250), 1);
    EXPECT_EQ(bannerRepeats(301, 250), 2);
}

TEST(FigureIndent, ChangesExactlyAtPowersOfTen) {
    // number, scale figure indent, panel figure indent
    const std::array<std::array<int, 3>, 10> table{{{-150, 40, 21},
                                                    {9, 40, 21},
                                                    {10, 33, 16},
                                                    {99, 33, 16},
                                                    {100, 25, 11},
                                                    {999, 25, 11},
                                                    {1000, 19, 9},
                                                    {9999, 19, 9},
                                                    {10000, 13, 0},
                                                    {65535, 13, 0}}};
    for (const auto& [n, scale, panel] : table) {
        EXPECT_EQ(scaleFigureIndent(n), scale) << n;
        EXPECT_EQ(panelFigureIndent(n), panel) << n;
    }
}

TEST(KeyBannerText, NamesTouchKeysAndShowsOtherCodesInHex) {
    EXPECT_EQ(keyBannerText(0x30), "Key Press : [TK0] ");
    EXPECT_EQ(keyBannerText(0x33), "Key Press : [TK3] ");
    EXPECT_EQ(keyBannerText(0x3E), "Key Press : [TK14] ");
    EXPECT_EQ(keyBannerText(0x3F), "Key Press : [0x3F] ");
    EXPECT_EQ(keyBannerText(0x0A), "Key Press : [0xA] ");
    EXPECT_EQ(keyBannerText(-1), "Key Press : [0xFFFFFFFF] ");
}

TEST(KeyBarGraphSizing, PreferredSizeFollowsBarCount) {
    EXPECT_EQ(KeyBarGraph::preferredWidth(5), 400);
    EXPECT_EQ(KeyBarGraph::preferredWidth(6), 500);
    EXPECT_EQ(KeyBarGraph::preferredWidth(16), 1000);
    EXPECT_EQ(KeyBarGraph::preferredHeight(), 640);
}

}  // namespace
}  // namespace keyscope
