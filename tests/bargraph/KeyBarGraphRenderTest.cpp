// Paints KeyBarGraph into an image offscreen and probes pixels where only pixels can tell.

#include <gtest/gtest.h>

#include <QImage>

#include <string>

#include "res/Resources.h"
#include "views/bargraph/KeyBarGraph.h"

namespace keyscope {
namespace {

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

class KeyBarGraphRenderTest : public ::testing::Test {
  protected:
    QImage render(int width, int height) {
        graph.resize(width, height);
        return graph.renderFrame();
    }
    void attachSixteen(std::uint8_t raw, std::int32_t max, std::int32_t min) {
        for (int i = 0; i < kChannelCount; ++i) {
            records[i].name = "TK" + std::to_string(i);
            graph.attachChannel(i, &records[i]);
        }
        graph.setRawMode(raw);
        for (int s = 0; s < kChannelCount; ++s) {
            graph.setRange(s, max, min);
        }
    }

    std::array<ChannelRecord, kChannelCount> records;
    KeyBarGraph graph;
};

TEST_F(KeyBarGraphRenderTest, GridLinesStandEvery50PixelsUpTo300On330WidePlot) {
    const QImage frame = render(450, 640);
    const BarLayout& l = graph.layout();
    // Counts grid pixels of one column between the horizontal lines.
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
    for (int x : {25, 301, 329}) {
        EXPECT_EQ(verticalLine(x), 0) << "plot x " << x;
    }
    EXPECT_EQ(frame.pixel(100 + 300, l.plotHeight - 1), kBlack);  // the x-axis ends at X
    EXPECT_NE(frame.pixel(100 + 301, l.plotHeight - 1), kBlack);
}

TEST_F(KeyBarGraphRenderTest, GridNeverPassesPlotX800) {
    const QImage frame = render(1400, 640);
    const BarLayout& l = graph.layout();
    EXPECT_GT(countInColumn(frame, 100 + 800, l.chartTop(), l.plotHeight - l.unit, kGrid), 0);
    EXPECT_EQ(countInColumn(frame, 100 + 850, 0, l.plotHeight, kGrid), 0);
}

TEST_F(KeyBarGraphRenderTest, FooterOf600WideWindowHoldsBannerAndSevenRepeats) {
    const QImage banner(QString::fromLatin1(kBannerResource));
    ASSERT_EQ(banner.size(), QSize(250, 100));
    ASSERT_TRUE(banner.hasAlphaChannel());
    const QImage frame = render(600, 640);
    // The banner's lowest rows are opaque, so the frame shows them unblended.
    for (int row = 90; row < 100; ++row) {
        for (int x = 0; x < 600; ++x) {
            const int source = x < 250 ? x : 200 + (x - 250) % 50;
            ASSERT_EQ(frame.pixel(x, 540 + row), banner.pixel(source, row)) << x << ", " << row;
        }
    }
}

TEST_F(KeyBarGraphRenderTest, RedBaseBarShowsInRawModeOnly) {
    attachSixteen(1, 1200, 1100);
    records[0].maxValue = 1150;  // base bar 190 of the 380 chart rows
    records[0].value = 1120;     // value bar 76 rows
    QImage frame = render(1000, 640);
    const int hp = graph.layout().plotHeight;
    EXPECT_TRUE(reddish(frame.pixel(103, hp - 120)));
    EXPECT_TRUE(greenish(frame.pixel(103, hp - 40)));
    EXPECT_EQ(frame.pixel(103, hp - 200), kWhite);

    graph.setRawMode(0);
    for (int s = 0; s < kChannelCount; ++s) {
        graph.setRange(s, 100, 0);
    }
    frame = graph.renderFrame();
    for (int y = graph.layout().chartTop(); y < hp; ++y) {
        ASSERT_FALSE(reddish(frame.pixel(103, y))) << "y " << y;
    }
    EXPECT_TRUE(greenish(frame.pixel(103, hp - 60)));  // difference 30: 114 rows
}

TEST_F(KeyBarGraphRenderTest, KeyBannerBoxShowsForEveryNonZeroCode) {
    for (std::int32_t code : {0, 0x33, 0x3F, 0x0A}) {
        graph.setKeyCodeSource(&code);
        const QImage frame = render(1000, 640);
        const QRgb inside = frame.pixel(500 + 85, 28);  // in the box, clear of the text
        int textPixels = 0;
        for (int x = 410; x < 590; ++x) {
            textPixels += countInColumn(frame, x, 0, 30, kWhite);
        }
        if (code == 0) {
            EXPECT_EQ(textPixels, 180 * 30);
        } else {
            EXPECT_NEAR(qRed(inside), 127, 2) << code;
            EXPECT_GT(textPixels, 50) << code;
        }
    }
    graph.setKeyCodeSource(nullptr);
}

TEST_F(KeyBarGraphRenderTest, WindowPaintShowsTheRenderedFrame) {
    attachSixteen(1, 1200, 1100);
    for (int i = 0; i < kChannelCount; ++i) {
        records[i].maxValue = 1150 + i;
        records[i].value = 1150 - 3 * i;
    }
    const QImage frame = render(1000, 640).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(graph.grab().toImage().convertToFormat(QImage::Format_RGB32), frame);
}

TEST_F(KeyBarGraphRenderTest, ControlTooSmallForPlotDrawsNothing) {
    attachSixteen(0, 100, 0);
    EXPECT_TRUE(render(120, 61).isNull());
    EXPECT_FALSE(graph.grab().isNull());  // the window paint copes as well
    EXPECT_FALSE(render(121, 61).isNull());
}

}  // namespace
}  // namespace keyscope
