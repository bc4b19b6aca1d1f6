// The bar graph's model computed directly, and the widget painted into images offscreen,
// where only pixels can tell, and driven with QTest.

#include <gtest/gtest.h>

#include <QTest>

#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

#include "res/Resources.h"
#include "views/bargraph/BarGraphModel.h"
#include "views/bargraph/BarLayout.h"
#include "views/bargraph/KeyBarGraph.h"

namespace keyscope {
namespace {

// The model and the widget take their keys alike.
template <typename Bars>
class BarsTest : public ::testing::Test {
  protected:
    // Fills the slots in order with the given keys, all with the range max..min.
    void attach(std::initializer_list<int> keys, std::uint8_t raw, std::int32_t max,
                std::int32_t min) {
        int slot = 0;
        for (int key : keys) {
            bars.attachChannel(slot, &records[key]);
            bars.setRange(slot++, max, min);
        }
        bars.setRawMode(raw);
    }

    std::array<ChannelRecord, kChannelCount> records;
    Bars bars;
};

constexpr int kChart = 280;  // chart zone of a 420-pixel plot

class BarGraphModelTest : public BarsTest<BarGraphModel> {
  protected:
    void setDiff(int key, std::int32_t diff) {
        records[key].maxValue = 1000;
        records[key].value = 1000 - diff;
    }
    std::pair<std::int32_t, std::int32_t> slotRange(int slot) const {
        return {model.barSlots()[slot].rangeMax, model.barSlots()[slot].rangeMin};
    }

    BarGraphModel& model = bars;
};

TEST_F(BarGraphModelTest, RangeStepsUpWithMarginByValueAndDownNoFurtherThanZero) {
    attach({0}, 1, 0, 0);
    for (const auto& [value, margin] : {std::pair(500, 5), {501, 25}, {1000, 25}, {1001, 50}}) {
        model.setRange(0, 0, 0);
        records[0].value = value;
        model.updateFrame(kChart);
        EXPECT_EQ(slotRange(0), std::pair(value + margin, value - margin)) << value;
    }
    attach({0, 1}, 1, 260, 200);
    records[0].value = 3;
    records[1].value = 150;
    model.updateFrame(kChart);
    EXPECT_EQ(std::pair(slotRange(0).second, slotRange(1).second), std::pair(0, 145));
}

TEST_F(BarGraphModelTest, DifferenceOf150WidensTheScaleAndRaisesTheSlotsBelowIt) {
    attach({0, 1, 2}, 0, 100, 0);
    setDiff(0, 50);
    setDiff(1, 150);  // widens the scale only after slot 0 was drawn
    setDiff(2, 10);   // keeps its bottom 0 and is raised at once
    FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(std::pair(slotRange(1), slotRange(2)),
              std::pair(std::pair(155, 145), std::pair(155, 0)));
    EXPECT_EQ(frame.bars[0].peakHeight, kChart / 2);
    // Difference bars are not offset by scaleMin: 150 against the common span of 10.
    EXPECT_EQ(frame.bars[1].valueHeight, 15 * kChart);

    setDiff(0, 0);  // no new peak, but slot 0 is raised to 155
    frame = model.updateFrame(kChart);
    EXPECT_TRUE(frame.bars[0].raised);
    EXPECT_EQ(frame.bars[0].peakHeight, 5 * kChart);  // 50 against a span of 10
    EXPECT_EQ(frame.bars[0].topFigure, 50);
}

TEST_F(BarGraphModelTest, PeakResetTakesEffectOnlyInDifferenceModePaint) {
    attach({0}, 0, 100, 0);
    setDiff(0, 60);
    model.updateFrame(kChart);
    setDiff(0, 10);
    model.setRawMode(1);
    model.requestPeakReset(1);
    model.updateFrame(kChart);
    EXPECT_EQ(model.resetPeaks(), 0);
    attach({0}, 0, 100, 0);  // the raw frame widened the scale to the raw counts
    model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].peakDiff, 60);

    model.requestPeakReset(1);
    const FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(model.barSlots()[0].peakDiff, 10);
    EXPECT_EQ(frame.bars[0].peakHeight, kChart / 10);
}

TEST_F(BarGraphModelTest, RawBarsReachMaxValueAndValueAndFlatSpanDividesNothing) {
    attach({0}, 1, 1200, 1100);
    records[0].maxValue = 1150;
    records[0].value = 1120;
    BarFrame bar = model.updateFrame(kChart).bars[0];
    EXPECT_EQ(std::pair(bar.baseHeight, bar.valueHeight), std::pair(kChart / 2, kChart / 5));
    EXPECT_EQ(std::pair(bar.topFigure, bar.variation), std::pair(1150, 2));  // 30 / 1150

    attach({0}, 1, 100, 100);  // span 0 and no reference
    records[0].maxValue = 0;
    records[0].value = 100;
    bar = model.updateFrame(kChart).bars[0];
    EXPECT_EQ(std::tuple(bar.baseHeight, bar.valueHeight, bar.variation), std::tuple(0, 0, 0));
    EXPECT_EQ(variationPercent(100, 101), -1);
}

TEST_F(BarGraphModelTest, ModeAndTriggerPercentReachOnlyTheAttachedRecords) {
    attach({0, 1, 2}, 1, 100, 0);
    records[5].rawMode = 1;
    model.setRawMode(0);
    model.setTriggerPercent(45);
    EXPECT_EQ(std::pair(int(records[2].rawMode), int(records[5].rawMode)), std::pair(0, 1));
    EXPECT_EQ(records[1].percentRef ? *records[1].percentRef : -1, 45);
    EXPECT_EQ(records[5].percentRef, nullptr);
}

TEST_F(BarGraphModelTest, ExtremeCountsSaturateInsteadOfOverflowing) {
    attach({0, 1}, 0, 1, 0);
    records[0].value = records[1].maxValue = INT32_MIN;
    records[1].value = records[0].maxValue = INT32_MAX;
    const FrameBars frame = model.updateFrame(kChart);
    EXPECT_EQ(std::pair(frame.bars[0].diffFigure, model.scaleMax()),
              std::pair(INT32_MAX, INT32_MAX));
    EXPECT_LE(frame.bars[1].valueHeight, 1 << 24);
}

TEST(BarLayout, Plot420GivesUnit28AndFiguresChangeAtPowersOfTenAndTouchKeyCodes) {
    const BarLayout l = BarLayout::forSize(1000, 480);
    EXPECT_EQ(std::tuple(l.plotHeight, l.unit, l.chartHeight), std::tuple(420, 28, 280));
    const int numbers[] = {-150, 9, 10, 99, 100, 999, 1000, 9999, 10000, 65535};
    const int scale[] = {40, 40, 33, 33, 25, 25, 19, 19, 13, 13};
    const int panel[] = {21, 21, 16, 16, 11, 11, 9, 9, 0, 0};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(scaleFigureIndent(numbers[i]), scale[i]) << numbers[i];
        EXPECT_EQ(panelFigureIndent(numbers[i]), panel[i]) << numbers[i];
    }
    EXPECT_EQ(keyBannerText(0x30), "Key Press : [TK0] ");
    EXPECT_EQ(keyBannerText(0x3E), "Key Press : [TK14] ");
    EXPECT_EQ(keyBannerText(0x3F), "Key Press : [0x3F] ");
    EXPECT_EQ(keyBannerText(0x0A), "Key Press : [0xA] ");
    EXPECT_EQ(keyBannerText(-1), "Key Press : [0xFFFFFFFF] ");
    EXPECT_EQ(std::tuple(gridRight(0), gridRight(50), gridRight(51), gridRight(350)),
              std::tuple(0, 0, 50, 300));
    EXPECT_EQ(std::pair(bannerRepeats(250, 250), bannerRepeats(251, 250)), std::pair(0, 1));
}

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
bool white(QRgb c) {
    return c == kWhite;
}
int countInColumn(const QImage& image, int x, int y0, int y1, QRgb colour) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
        n += image.pixel(x, y) == colour ? 1 : 0;
    }
    return n;
}

class KeyBarGraphTest : public BarsTest<KeyBarGraph> {
  protected:
    QImage render(int width, int height) {
        graph.resize(width, height);
        return graph.renderFrame();
    }
    void moveAndClick(QPoint pos) {
        QTest::mouseMove(&graph, pos);
        QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, pos);
    }
    bool handCursor() const { return graph.cursor().shape() == Qt::PointingHandCursor; }

    KeyBarGraph& graph = bars;
    Clicks clicks;
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

// Nothing of a bar shows below the axis; red (the base bar) shows in raw mode only.
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

// A poll repaints only the live area, so nothing outside it may depend on the readings.
TEST_F(KeyBarGraphTest, ExtremeReadingsChangeNothingOutsideTheLiveArea) {
    for (std::uint8_t raw : {0, 1}) {
        std::int32_t code = 0;
        graph.setKeyCodeSource(&code);
        attach({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, raw, 1200, 1100);
        for (ChannelRecord& r : records)
            r.maxValue = r.value = 1150;
        const QImage before = render(1280, 700);
        code = -1;  // the longest banner text
        for (int k = 0; k < kChannelCount; ++k) {
            records[k].maxValue = k % 2 ? INT32_MAX : 0;
            records[k].value = k % 2 ? 0 : INT32_MIN;
        }
        QImage after = graph.renderFrame();
        const QRect live = graph.liveArea();
        EXPECT_NE(after, before);
        QPainter(&after).drawImage(live.topLeft(), before, live);  // opaque: a plain copy
        EXPECT_EQ(after, before) << "a change outside the live area, raw " << int(raw);
        // The legend and the plot's right end are left alone.
        EXPECT_EQ(live.left(), 100);
        EXPECT_LT(live.right(), 1280 - 20);
    }
    graph.setKeyCodeSource(nullptr);
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

TEST_F(KeyBarGraphTest, ClickHandsOverTheKeyUnderThePointerAndHoverTintsItsColumn) {
    QObject::connect(&graph, &KeyBarGraph::barClicked,
                     [this](ChannelRecord* record) { clicks.push_back(record); });
    graph.resize(1000, 640);
    graph.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&graph));
    const int top = graph.layout().chartTop();
    const int bottom = graph.layout().plotHeight;
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

    const QPoint probe(100 + 50 + 35, top + 30);  // right of the second bar, below its figure
    EXPECT_EQ(graph.renderFrame().pixel(probe), kWhite);
    QTest::mouseMove(&graph, {160, top + 10});
    EXPECT_TRUE(handCursor());
    const QRgb tint = graph.renderFrame().pixel(probe);
    EXPECT_TRUE(qRed(tint) == 255 && qBlue(tint) < qGreen(tint) && qGreen(tint) < 230) << tint;
    QTest::mouseMove(&graph, {400, top + 10});  // past the attached columns
    EXPECT_FALSE(handCursor());

    moveAndClick({160, top + 10});  // one click ends the hover, until the pointer moves
    QTest::mouseClick(&graph, Qt::LeftButton, Qt::NoModifier, {160, top + 10});
    EXPECT_EQ(clicks, Clicks{&records[3]});
    EXPECT_FALSE(graph.hovering() || handCursor());
    moveAndClick({161, top + 10});
    EXPECT_EQ(clicks.size(), 2u);
}

}  // namespace
}  // namespace keyscope
