// KeyBarGraph painted into images offscreen, where only pixels can tell, and driven with QTest.

#include <gtest/gtest.h>

#include <QTest>

#include <utility>
#include <vector>

#include "res/Resources.h"
#include "views/bargraph/KeyBarGraph.h"

namespace keyscope {
namespace {

using Clicks = std::vector<ChannelRecord*>;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kGrid = 0xFF808080;
constexpr QRgb kBlack = 0xFF000000;

bool reddish(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 100 && qBlue(c) < 100;
}
bool greenish(QRgb c) {
    return qGreen(c) > qRed(c) + 30 && qGreen(c) > qBlue(c);
}
int countInColumn(const QImage& image, int x, int y0, int y1, QRgb colour) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
        n += image.pixel(x, y) == colour;
    }
    return n;
}

class KeyBarGraphTest : public ::testing::Test {
  protected:
    QImage render(int width, int height) {
        graph.resize(width, height);
        return graph.renderFrame();
    }
    // Fills the slots in order with the given keys, all with the range max..min.
    void attach(std::initializer_list<int> keys, std::uint8_t raw, std::int32_t max,
                std::int32_t min) {
        int slot = 0;
        for (int key : keys) {
            graph.attachChannel(slot, &records[key]);
            graph.setRange(slot++, max, min);
        }
        graph.setRawMode(raw);
    }
    void showForClicks() {
        graph.setClickHandler([](ChannelRecord* record,
                                 void* clicks) { static_cast<Clicks*>(clicks)->push_back(record); },
                              &clicks);
        graph.resize(1000, 640);
        graph.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
        top = graph.layout().chartTop();
        bottom = graph.layout().plotHeight;
    }
    void moveAndClick(QPoint pos) {
        QTest::mouseMove(&graph, pos);
        QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, pos);
    }
    bool handCursor() const { return graph.cursor().shape() == Qt::PointingHandCursor; }

    std::array<ChannelRecord, kChannelCount> records;
    KeyBarGraph graph;
    Clicks clicks;
    int top = 0;
    int bottom = 0;
};

TEST_F(KeyBarGraphTest, GridLinesEvery50UpTo300On330WidePlotAndNeverPast800) {
    QImage frame = render(450, 640);
    const BarLayout& l = graph.layout();
    // Grid pixels of one plot column in a row band clear of the horizontal lines.
    const auto gridAt = [&](int x) {
        return countInColumn(frame, 100 + x, l.plotHeight - 5 * l.unit + 1,
                             l.plotHeight - 4 * l.unit, kGrid);
    };
    for (int x = 0; x < 330; ++x) {
        EXPECT_EQ(gridAt(x) > 0, x % 50 == 0 && x <= 300) << "plot x " << x;
    }
    EXPECT_EQ(frame.pixel(100 + 300, l.plotHeight - 1), kBlack);  // the x-axis ends at X
    EXPECT_NE(frame.pixel(100 + 301, l.plotHeight - 1), kBlack);
    frame = render(1400, 640);
    EXPECT_GT(gridAt(800), 0);
    EXPECT_EQ(countInColumn(frame, 100 + 850, 0, l.plotHeight, kGrid), 0);
}

TEST_F(KeyBarGraphTest, FooterOf600WideWindowHoldsBannerAndSevenRepeats) {
    const QImage banner(QString::fromLatin1(kBannerResource));
    const QImage frame = render(600, 640);
    // The banner's lowest rows are opaque, so the frame shows them unblended.
    for (int row = 90; row < 100; ++row) {
        for (int x = 0; x < 600; ++x) {
            const int source = x < 250 ? x : 200 + (x - 250) % 50;
            ASSERT_EQ(frame.pixel(x, 540 + row), banner.pixel(source, row)) << x << ", " << row;
        }
    }
}

bool white(QRgb c) {
    return c == kWhite;
}

// Bars stand on the axis; a bar many plots tall fills its column up to the plot's top edge,
// and nothing of a bar shows below the axis. Red (the base bar) shows in raw mode only.
TEST_F(KeyBarGraphTest, BarsStandOnTheAxisAndTheTallestStopAtThePlotsTopEdge) {
    using Probes = std::vector<std::pair<int, bool (*)(QRgb)>>;  // rows above the axis
    // mode, scale top (bottom 100 less), max value, value, what the bar's column shows
    const std::tuple<std::uint8_t, std::int32_t, std::int32_t, std::int32_t, Probes> cases[] = {
        {1, 1200, 1150, 1120, {{200, white}, {120, reddish}, {40, greenish}}},  // 190 and 76
        {0, 100, 1150, 1120, {{120, white}, {60, greenish}}},                   // 114 rows
        {0, 100, 250, 100, {{580, greenish}, {1, greenish}}},     // d = 150 on 155/145
        {1, 1200, 2000, 1120, {{580, reddish}, {1, greenish}}}};  // base 9 charts tall
    const QImage bare = render(1000, 640);
    const int hp = graph.layout().plotHeight;
    const QRect belowAxis(0, hp, 1000, 640 - hp);
    for (const auto& [raw, max, maxValue, value, probes] : cases) {
        SCOPED_TRACE(maxValue);
        attach({0}, raw, max, max - 100);
        records[0].maxValue = maxValue;
        records[0].value = value;
        const QImage frame = graph.renderFrame();
        for (const auto& [up, shows] : probes)
            EXPECT_TRUE(shows(frame.pixel(103, hp - up))) << "row " << hp - up;
        for (int y = 0; y < hp && !raw; ++y)
            ASSERT_FALSE(reddish(frame.pixel(103, y))) << "y " << y;
        EXPECT_EQ(frame.copy(belowAxis), bare.copy(belowAxis));
    }
}

TEST_F(KeyBarGraphTest, KeyBannerBoxShowsForEveryNonZeroCode) {
    for (std::int32_t code : {0, 0x33, 0x3F, 0x0A}) {
        graph.setKeyCodeSource(&code);
        const QRgb box = render(1000, 640).pixel(500 + 85, 28);  // clear of the text
        EXPECT_NEAR(qRed(box), code == 0 ? 255 : 127, 2) << code;
    }
    graph.setKeyCodeSource(nullptr);
}

TEST_F(KeyBarGraphTest, WindowPaintShowsTheRenderedFrameAndNothingBelow121x61) {
    attach({0, 1, 2, 3}, 1, 1200, 1100);
    records[0].maxValue = 1150;
    records[1].value = 1120;
    const QImage frame = render(1000, 640).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(graph.grab().toImage().convertToFormat(QImage::Format_RGB32), frame);

    EXPECT_TRUE(render(120, 61).isNull());
    EXPECT_TRUE(render(400, 60).isNull());
    EXPECT_FALSE(graph.grab().isNull());  // the window paint copes as well
    EXPECT_FALSE(render(121, 61).isNull());
}

TEST_F(KeyBarGraphTest, ClickHandsOverTheKeyOfTheColumnUnderThePointer) {
    showForClicks();
    moveAndClick({120, top + 10});  // nothing attached: no hover, no click
    EXPECT_FALSE(graph.hovering() || handCursor());
    attach({0, 3, 7}, 0, 100, 0);
    const std::pair<QPoint, ChannelRecord*> cases[] = {
        {{150, top + 10}, &records[3]},  // first pixel of the second column
        {{249, top + 50}, &records[7]},  // last pixel of the third
        {{250, top + 50}, nullptr},     {{99, top + 10}, nullptr},
        {{120, top}, &records[0]},  // top edge inside
        {{120, top - 1}, nullptr},      {{121, bottom - 1}, &records[0]},
        {{120, bottom}, nullptr},  // bottom edge outside
    };
    for (const auto& [pos, expected] : cases) {
        moveAndClick(pos);
        EXPECT_EQ(clicks, expected ? Clicks{expected} : Clicks{}) << pos.x() << ", " << pos.y();
        clicks.clear();
    }
}

TEST_F(KeyBarGraphTest, HoverTintsColumnWithHandCursorAndOneClickEndsIt) {
    showForClicks();
    attach({0, 1}, 0, 100, 0);
    const QPoint probe(100 + 50 + 35, top + 30);  // right of the second bar, below its figure
    EXPECT_EQ(graph.renderFrame().pixel(probe), kWhite);
    QTest::mouseMove(&graph, {160, top + 10});
    EXPECT_TRUE(handCursor());
    const QRgb tint = graph.renderFrame().pixel(probe);
    EXPECT_TRUE(qRed(tint) == 255 && qBlue(tint) < qGreen(tint) && qGreen(tint) < 230) << tint;

    QTest::mouseMove(&graph, {500, top + 10});  // past the attached columns
    EXPECT_FALSE(handCursor());

    moveAndClick({160, top + 10});
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, {160, top + 10});  // no move
    EXPECT_EQ(clicks, Clicks{&records[1]});
    EXPECT_FALSE(graph.hovering() || handCursor());
    moveAndClick({161, top + 10});
    EXPECT_EQ(clicks.size(), 2u);
}

}  // namespace
}  // namespace keyscope
