// Paints KeyBarGraph into an image offscreen and probes pixels where only pixels can tell.

#include <gtest/gtest.h>

#include <QImage>

#include "bargraph/BarGraphTestSupport.h"
#include "res/Resources.h"
#include "views/bargraph/KeyBarGraph.h"

namespace keyscope {
namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kGrid = 0xFF808080;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kPeakMarker = 0xFF00008B;

bool reddish(QRgb c) {
    return qRed(c) > 200 && qGreen(c) < 100 && qBlue(c) < 100;
}
bool greenish(QRgb c) {
    return qGreen(c) > qRed(c) + 30 && qGreen(c) > qBlue(c);
}

// Pixels of the given colour in one column between two rows.
int countInColumn(const QImage& image, int x, int y0, int y1, QRgb colour) {
    int n = 0;
    for (int y = y0; y < y1; ++y) {
        n += image.pixel(x, y) == colour;
    }
    return n;
}

bool anyOtherThan(const QImage& image, QRect box, QRgb colour) {
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            if (image.pixel(x, y) != colour) {
                return true;
            }
        }
    }
    return false;
}

class KeyBarGraphRenderTest : public test::ApplicationSuite {
  protected:
    QImage render(int width, int height) {
        graph.resize(width, height);
        return graph.renderFrame();
    }
    void attach(int count) {
        for (int i = 0; i < count; ++i) {
            graph.attachChannel(i, &records[i]);
        }
    }
    void setAllRanges(std::int32_t max, std::int32_t min) {
        for (int s = 0; s < kChannelCount; ++s) {
            graph.setRange(s, max, min);
        }
    }

    std::array<ChannelRecord, kChannelCount> records = test::makeRecords();
    KeyBarGraph graph;
};

TEST_F(KeyBarGraphRenderTest, ResizeSetsUnitAndChartHeightFromPlotHeight) {
    render(1000, 480);
    EXPECT_EQ(graph.layout().plotHeight, 420);
    EXPECT_EQ(graph.layout().unit, 28);
    EXPECT_EQ(graph.layout().chartHeight, 280);
}

TEST_F(KeyBarGraphRenderTest, GridLinesStandEvery50PixelsUpTo300On330WidePlot) {
    const QImage frame = render(450, 640);  // plot 330 wide
    const BarLayout& l = graph.layout();
    // Skip the rows of the horizontal grid lines so only vertical lines count.
    auto verticalLine = [&](int plotX) {
        int n = 0;
        for (int k = 0; k < 10; ++k) {
            n += countInColumn(frame, 100 + plotX, l.plotHeight - (k + 1) * l.unit + 1,
                               l.plotHeight - k * l.unit - 1, kGrid);
        }
        return n;
    };
    for (int x = 0; x <= 300; x += 50) {
        EXPECT_GT(verticalLine(x), l.chartHeight / 3) << "plot x " << x;
    }
    for (int x : {25, 301, 325, 329}) {
        EXPECT_EQ(verticalLine(x), 0) << "plot x " << x;
    }
    EXPECT_EQ(frame.pixel(100 + 300, l.plotHeight - 1), kBlack);  // x-axis ends at X
    EXPECT_NE(frame.pixel(100 + 301, l.plotHeight - 1), kBlack);
}

TEST_F(KeyBarGraphRenderTest, GridNeverPassesPlotX800) {
    const QImage frame = render(1400, 640);
    const BarLayout& l = graph.layout();
    const int mid = l.plotHeight - l.unit / 2;  // between two horizontal lines
    EXPECT_GT(countInColumn(frame, 100 + 800, l.chartTop(), mid, kGrid), 0);
    EXPECT_EQ(countInColumn(frame, 100 + 850, l.chartTop(), l.plotHeight, kGrid), 0);
    EXPECT_EQ(frame.pixel(100 + 900, l.plotHeight - 5 * l.unit), kWhite);
}

TEST_F(KeyBarGraphRenderTest, FooterOf600WideWindowHoldsBannerAndSevenRepeats) {
    ASSERT_TRUE(graph.hasBanner());
    QImage banner(QString::fromLatin1(kBannerResource));
    ASSERT_EQ(banner.size(), QSize(250, 100));
    ASSERT_TRUE(banner.hasAlphaChannel());
    const QImage frame = render(600, 640);
    // The banner's lowest rows are opaque, so the frame shows them unblended.
    for (int row = 90; row < 100; ++row) {
        const int y = 640 - 100 + row;
        for (int x = 0; x < 600; ++x) {
            const int source = x < 250 ? x : 200 + (x - 250) % 50;
            ASSERT_EQ(frame.pixel(x, y), banner.pixel(source, row)) << "x " << x << " row " << row;
        }
    }
}

TEST_F(KeyBarGraphRenderTest, RawModeShowsRedBaseAboveGreenValue) {
    attach(1);
    graph.setRawMode(1);
    setAllRanges(1200, 1100);
    records[0].maxValue = 1150;  // base 190 px of a 380-pixel chart
    records[0].value = 1120;     // value 76 px
    const QImage frame = render(1000, 640);
    const int hp = graph.layout().plotHeight;
    EXPECT_TRUE(reddish(frame.pixel(103, hp - 120)));
    EXPECT_TRUE(greenish(frame.pixel(103, hp - 40)));
    EXPECT_EQ(frame.pixel(103, hp - 200), kWhite);
}

TEST_F(KeyBarGraphRenderTest, DifferenceModeHasNoRedBaseBar) {
    attach(1);
    graph.setRawMode(0);
    setAllRanges(100, 0);
    records[0].maxValue = 1150;
    records[0].value = 1120;  // difference 30: 114 px
    const QImage frame = render(1000, 640);
    const int hp = graph.layout().plotHeight;
    for (int y = graph.layout().chartTop(); y < hp; ++y) {
        ASSERT_FALSE(reddish(frame.pixel(103, y))) << "y " << y;
    }
    EXPECT_TRUE(greenish(frame.pixel(103, hp - 60)));
}

TEST_F(KeyBarGraphRenderTest, PeakMarkerStaysAtPeakAfterValueFalls) {
    attach(1);
    setAllRanges(100, 0);
    records[0].maxValue = 1000;
    records[0].value = 950;  // peak of 50: 190 px
    render(1000, 640);
    records[0].value = 990;
    const QImage frame = graph.renderFrame();
    const int y = graph.layout().plotHeight - 190;
    EXPECT_GT(countInColumn(frame, 110, y - 1, y + 1, kPeakMarker), 0);
    EXPECT_EQ(countInColumn(frame, 110, y - 30, y - 2, kPeakMarker), 0);
}

TEST_F(KeyBarGraphRenderTest, KeyNamesStandAboveTheirColumnsOnly) {
    attach(3);
    setAllRanges(100, 0);
    const QImage frame = render(1000, 640);
    const int y = graph.layout().chartTop() - 20;
    for (int j = 0; j < 3; ++j) {
        EXPECT_TRUE(anyOtherThan(frame, QRect(100 + 50 * j, y, 30, 16), kWhite)) << j;
    }
    EXPECT_FALSE(anyOtherThan(frame, QRect(100 + 150, y + 1, 30, 14), kWhite));
}

TEST_F(KeyBarGraphRenderTest, WindowPaintShowsTheRenderedFrame) {
    attach(16);
    graph.setRawMode(1);
    setAllRanges(1200, 1100);
    for (int i = 0; i < kChannelCount; ++i) {
        records[i].maxValue = 1150 + i;
        records[i].value = 1150 - 3 * i;
    }
    const QImage frame = render(1000, 640).convertToFormat(QImage::Format_RGB32);
    const QImage painted = graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(painted, frame);
}

class KeyBannerRenderTest : public KeyBarGraphRenderTest,
                            public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(KeyBannerRenderTest, BannerBoxShowsOnlyForNonZeroCode) {
    std::int32_t code = GetParam();
    graph.setKeyCodeSource(&code);
    const QImage frame = render(1000, 640);
    const QRgb corner = frame.pixel(500 + 85, 28);  // inside the box, clear of the text
    const QRect box(410, 0, 180, 30);
    if (code == 0) {
        EXPECT_EQ(corner, kWhite);
        EXPECT_FALSE(anyOtherThan(frame, box, kWhite));
    } else {
        EXPECT_NEAR(qRed(corner), 127, 2);
        EXPECT_EQ(qRed(corner), qBlue(corner));
        int whiteText = 0;
        for (int x = box.left(); x <= box.right(); ++x) {
            whiteText += countInColumn(frame, x, 0, 30, kWhite);
        }
        EXPECT_GT(whiteText, 50);
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, KeyBannerRenderTest, ::testing::Values(0, 0x33, 0x3F, 0x0A));

TEST_F(KeyBarGraphRenderTest, ControlTooSmallForPlotDrawsNothing) {
    attach(16);
    EXPECT_TRUE(render(120, 61).isNull());
    EXPECT_TRUE(render(300, 60).isNull());
    EXPECT_FALSE(graph.grab().isNull());  // a real paint does not crash either
    EXPECT_FALSE(render(121, 61).isNull());
}

TEST_F(KeyBarGraphRenderTest, BarTallerThanTheChartRunsOverThePanelWithinThePlot) {
    attach(16);
    graph.setRawMode(1);
    setAllRanges(1200, 1100);
    for (ChannelRecord& r : records) {
        r.maxValue = 1220;  // 120 % of the chart: 456 of the 580 plot rows; only the value
        r.value = 1150;     // widens the scale, so the base bar stays that tall
    }
    const QImage frame = render(1000, 640);
    const int barTop = graph.layout().plotHeight - 456;
    // The last column's bar stands at window x 850..900 and reaches above the chart zone.
    EXPECT_TRUE(reddish(frame.pixel(100 + 750 + 4, barTop + 2)));
    EXPECT_EQ(frame.pixel(100 + 750 + 4, barTop - 8), kWhite);
    EXPECT_EQ(frame.pixel(100 + 800 + 10, barTop + 100), kWhite);
}

}  // namespace
}  // namespace keyscope
