// Hover, cursor and click of KeyBarGraph, driven with QTest on an offscreen window.

#include <gtest/gtest.h>

#include <QTest>

#include <vector>

#include "bargraph/BarGraphTestSupport.h"
#include "views/bargraph/KeyBarGraph.h"

namespace keyscope {
namespace {

struct Clicks {
    std::vector<ChannelRecord*> records;
};

void recordClick(ChannelRecord* record, void* context) {
    static_cast<Clicks*>(context)->records.push_back(record);
}

class KeyBarGraphInteractionTest : public test::ApplicationSuite {
  protected:
    void SetUp() override {
        graph.setClickHandler(&recordClick, &clicks);
        graph.resize(1000, 640);
        graph.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
        ASSERT_EQ(graph.layout().width, 1000);
        top = graph.layout().chartTop();
        bottom = graph.layout().plotHeight;
    }
    void attachKeys(std::initializer_list<int> keys) {
        int slot = 0;
        for (int key : keys) {
            graph.attachChannel(slot++, &records[key]);
        }
    }
    // A move onto the point, then a click there, as a user's hand would do it.
    void moveAndClick(QPoint pos) {
        QTest::mouseMove(&graph, pos);
        QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, pos);
    }

    std::array<ChannelRecord, kChannelCount> records = test::makeRecords();
    KeyBarGraph graph;
    Clicks clicks;
    int top = 0;
    int bottom = 0;
};

TEST_F(KeyBarGraphInteractionTest, ClickAtX249OpensThirdKeyAndX250Nothing) {
    attachKeys({0, 1, 2});
    moveAndClick({249, top + 50});
    ASSERT_EQ(clicks.records.size(), 1u);
    EXPECT_EQ(clicks.records[0], &records[2]);
    moveAndClick({250, top + 50});
    EXPECT_EQ(clicks.records.size(), 1u);
}

TEST_F(KeyBarGraphInteractionTest, TopEdgeIsInsideAndBottomEdgeOutside) {
    attachKeys({0, 1, 2});
    moveAndClick({120, top});
    EXPECT_EQ(clicks.records.size(), 1u);
    moveAndClick({120, bottom});
    moveAndClick({120, top - 1});
    EXPECT_EQ(clicks.records.size(), 1u);
    moveAndClick({120, bottom - 1});
    EXPECT_EQ(clicks.records.size(), 2u);
}

TEST_F(KeyBarGraphInteractionTest, SecondColumnHandsOverRecordOfItsAttachedKey) {
    attachKeys({0, 3, 7});
    moveAndClick({150, top + 10});  // first pixel of column 1
    moveAndClick({100, top + 10});
    moveAndClick({200, top + 10});
    ASSERT_EQ(clicks.records.size(), 3u);
    EXPECT_EQ(clicks.records[0], &records[3]);
    EXPECT_EQ(clicks.records[1], &records[0]);
    EXPECT_EQ(clicks.records[2], &records[7]);
}

TEST_F(KeyBarGraphInteractionTest, NoAttachedSlotMeansNoHoverCursorOrClick) {
    moveAndClick({120, top + 10});
    EXPECT_FALSE(graph.hovering());
    EXPECT_NE(graph.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(clicks.records.empty());
}

TEST_F(KeyBarGraphInteractionTest, SecondClickWithoutMoveDoesNothing) {
    attachKeys({0, 1});
    moveAndClick({160, top + 10});
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, {160, top + 10});
    EXPECT_EQ(clicks.records.size(), 1u);
    moveAndClick({161, top + 10});
    EXPECT_EQ(clicks.records.size(), 2u);
}

TEST_F(KeyBarGraphInteractionTest, OnlyLeftButtonClicks) {
    attachKeys({0});
    QTest::mouseMove(&graph, {120, top + 10});
    QTest::mouseClick(&graph, Qt::RightButton, Qt::NoModifier, {120, top + 10});
    EXPECT_TRUE(clicks.records.empty());
    EXPECT_TRUE(graph.hovering());
}

TEST_F(KeyBarGraphInteractionTest, HoverShowsHandCursorUntilLeavingOrClicking) {
    attachKeys({0, 1});
    QTest::mouseMove(&graph, {170, top + 10});
    EXPECT_TRUE(graph.hovering());
    EXPECT_EQ(graph.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(graph.hoverRect(), QRect(50, top, 50, graph.layout().chartHeight));

    QTest::mouseMove(&graph, {500, top + 10});  // past the attached columns
    EXPECT_FALSE(graph.hovering());
    EXPECT_NE(graph.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(graph.hoverRect().left(), 50);  // kept for the next hover

    moveAndClick({120, top + 10});
    EXPECT_FALSE(graph.hovering());
    EXPECT_NE(graph.cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(KeyBarGraphInteractionTest, HoverTintShowsAtNextPaintOnly) {
    attachKeys({0, 1});
    const QPoint probe(100 + 50 + 35, top + 30);  // right of column 1's bar, below its figure
    EXPECT_EQ(graph.renderFrame().pixel(probe), 0xFFFFFFFFu);
    QTest::mouseMove(&graph, {160, top + 10});
    const QRgb tinted = graph.renderFrame().pixel(probe);
    EXPECT_EQ(qRed(tinted), 255);
    EXPECT_LT(qGreen(tinted), 230);
    EXPECT_LT(qBlue(tinted), qGreen(tinted));
    EXPECT_EQ(graph.renderFrame().pixel(100 + 35, top + 30), 0xFFFFFFFFu);  // other column
}

TEST_F(KeyBarGraphInteractionTest, NullHandlerMakesClicksDoNothing) {
    attachKeys({0});
    graph.setClickHandler(nullptr, nullptr);
    moveAndClick({120, top + 10});
    EXPECT_TRUE(graph.hovering());  // not handled, so the hover stays
}

TEST_F(KeyBarGraphInteractionTest, HitTestFollowsResizeAtOnce) {
    attachKeys({0});
    graph.resize(1000, 400);
    const int newTop = graph.layout().chartTop();
    ASSERT_NE(newTop, top);
    moveAndClick({120, newTop});
    EXPECT_EQ(clicks.records.size(), 1u);
}

}  // namespace
}  // namespace keyscope
