#include "views/bargraph/BarLayout.h"

#include <algorithm>
#include <cstdio>

namespace keyscope {

int chartUnit(int plotHeight) {
    if (plotHeight <= 0) {
        return 0;
    }
    return ((plotHeight / 3) * 2) / 10;
}

int gridRight(int plotWidth) {
    if (plotWidth <= kSlotWidth) {
        return 0;
    }
    const int columns = (plotWidth - kSlotWidth + kSlotWidth - 1) / kSlotWidth;
    return std::min(columns * kSlotWidth, kGridMaxRight);
}

int bannerRepeats(int windowWidth, int bannerWidth) {
    if (windowWidth <= bannerWidth) {
        return 0;
    }
    return (windowWidth - bannerWidth + kBannerTileWidth - 1) / kBannerTileWidth;
}

BarLayout BarLayout::forSize(int width, int height) {
    BarLayout l;
    l.width = width;
    l.height = height;
    if (width - kPlotMarginX <= 0 || height - kPlotMarginY <= 0) {
        return l;
    }
    l.plotWidth = width - kPlotMarginX;
    l.plotHeight = height - kPlotMarginY;
    l.unit = chartUnit(l.plotHeight);
    l.chartHeight = 10 * l.unit;
    l.gridRight = keyscope::gridRight(l.plotWidth);
    return l;
}

BarArea BarArea::of(const BarLayout& layout, int attachedCount) {
    if (!layout.hasPlot()) {
        return {};
    }
    return {kPlotLeft, layout.chartTop(), kPlotLeft + kSlotWidth * attachedCount,
            layout.plotHeight};
}

int scaleFigureIndent(std::int64_t n) {
    if (n < 10) {
        return 40;
    }
    if (n < 100) {
        return 33;
    }
    if (n < 1000) {
        return 25;
    }
    if (n < 10000) {
        return 19;
    }
    return 13;
}

int panelFigureIndent(std::int64_t n) {
    if (n < 10) {
        return 21;
    }
    if (n < 100) {
        return 16;
    }
    if (n < 1000) {
        return 11;
    }
    if (n < 10000) {
        return 9;
    }
    return 0;
}

std::string keyBannerText(std::int32_t keyCode) {
    char text[40];
    if (keyCode >= 0x30 && keyCode <= 0x3E) {
        std::snprintf(text, sizeof text, "Key Press : [TK%d] ", keyCode - 0x30);
    } else {
        std::snprintf(text, sizeof text, "Key Press : [0x%X] ", static_cast<unsigned>(keyCode));
    }
    return text;
}

}  // namespace keyscope
