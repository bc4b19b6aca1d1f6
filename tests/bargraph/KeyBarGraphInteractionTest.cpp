// Hover, cursor and click of KeyBarGraph, driven with QTest on an offscreen window.

#include <gtest/gtest.h>

#include <QTest>

#include <vector>

#include "views/bargraph/KeyBarGraph.h"

namespace keyscope {
namespace {

void recordClick(ChannelRecord* record, void* context) {
    static_cast<std::vector<ChannelRecord*>*>(context)->push_back(record);
}

class KeyBarGraphInteractionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        graph.setClickHandler(&recordClick, &clicks);
        graph.resize(1000, 640);
        graph.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
        top = graph.layout().chartTop();
        bottom = graph.layout().plotHeight;
    }
    void attachKeys(std::initializer_list<int> keys) {
        int slot = 0;
        for (int key : keys) {
            graph.attachChannel(slot++, &records[key]);
        }
    }
    void moveAndClick(QPoint pos) {
        QTest::mouseMove(&graph, pos);
        QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, pos);
    }
    bool handCursor() const { return graph.cursor().shape() == Qt::PointingHandCursor; }

    std::array<ChannelRecord, kChannelCount> records;
    KeyBarGraph graph;
    std::vector<ChannelRecord*> clicks;
    int top = 0;
    int bottom = 0;
};

TEST_F(KeyBarGraphInteractionTest, ClickAtX249OpensThirdKeyAndX250Nothing) {
    attachKeys({0, 1, 2});
    moveAndClick({249, top + 50});
    moveAndClick({250, top + 50});
    EXPECT_EQ(clicks, std::vector{&records[2]});
}

TEST_F(KeyBarGraphInteractionTest, TopEdgeIsInsideAndBottomEdgeOutside) {
    attachKeys({0});
    moveAndClick({120, top});
    moveAndClick({120, top - 1});
    moveAndClick({120, bottom});
    EXPECT_EQ(clicks.size(), 1u);
    moveAndClick({120, bottom - 1});
    EXPECT_EQ(clicks.size(), 2u);
}

TEST_F(KeyBarGraphInteractionTest, ColumnsHandOverTheirAttachedKeysInSlotOrder) {
    attachKeys({0, 3, 7});
    moveAndClick({150, top + 10});  // first pixel of the second column
    moveAndClick({100, top + 10});
    moveAndClick({249, top + 10});
    EXPECT_EQ(clicks, (std::vector{&records[3], &records[0], &records[7]}));
}

TEST_F(KeyBarGraphInteractionTest, NoAttachedSlotMeansNoHoverCursorOrClick) {
    moveAndClick({120, top + 10});
    EXPECT_FALSE(graph.hovering());
    EXPECT_FALSE(handCursor());
    EXPECT_TRUE(clicks.empty());
}

TEST_F(KeyBarGraphInteractionTest, SecondClickWithoutMoveDoesNothing) {
    attachKeys({0, 1});
    moveAndClick({160, top + 10});
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, {160, top + 10});
    EXPECT_EQ(clicks.size(), 1u);
    moveAndClick({161, top + 10});
    EXPECT_EQ(clicks.size(), 2u);
}

TEST_F(KeyBarGraphInteractionTest, HoverTintsColumnAtNextPaintWithHandCursorUntilClick) {
    attachKeys({0, 1});
    const QPoint probe(100 + 50 + 35, top + 30);  // right of the second bar, below its figure
    EXPECT_EQ(graph.renderFrame().pixel(probe), 0xFFFFFFFFu);

    QTest::mouseMove(&graph, {160, top + 10});
    EXPECT_TRUE(handCursor());
    const QRgb tinted = graph.renderFrame().pixel(probe);
    EXPECT_EQ(qRed(tinted), 255);
    EXPECT_LT(qBlue(tinted), qGreen(tinted));
    EXPECT_LT(qGreen(tinted), 230);

    QTest::mouseMove(&graph, {500, top + 10});  // past the attached columns
    EXPECT_FALSE(handCursor());
    EXPECT_EQ(graph.hoverRect().left(), 50);  // kept for the next hover

    moveAndClick({120, top + 10});
    EXPECT_FALSE(graph.hovering());
    EXPECT_FALSE(handCursor());
}

}  // namespace
}  // namespace keyscope
