#include "views/timebar/TimeBarGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace keyscope::timebar {
namespace {

std::int32_t saturate(std::int64_t v) {
    constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

}  // namespace

int truncToPixel(double v) {
    constexpr double limit = 1 << 30;
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int>(std::clamp(v, -limit, limit));
}

ChartLayout chartLayout(int width, int height) {
    ChartLayout layout;
    layout.k = ((height / 5) * 4) / 20;
    layout.plot = {kPlotLeft, 20, kTimeColumns * ((width - 25) / kTimeColumns), 20 * layout.k};
    layout.strip = {kPlotLeft, 20 * layout.k + 20, layout.plot.right, 23 * layout.k + 20};
    layout.stepX = layout.plot.width() / kTimeColumns;
    layout.valueStep = layout.plot.height() / kValueRows;
    return layout;
}

std::int32_t roundedTop(std::int32_t v) {
    return saturate(5 * static_cast<std::int64_t>(v / 5) + 20);
}

ValueRange openingRange(bool rawMode, std::int32_t maxValue) {
    if (!rawMode) {
        return {100, 0};
    }
    const std::int32_t top = roundedTop(maxValue);
    return {top, saturate(static_cast<std::int64_t>(top) - 100)};
}

ValueRange widenForCount(ValueRange range, bool rawMode, std::int32_t value) {
    const std::int32_t top = rawMode ? roundedTop(value) : 100;
    if (range.min > value) {
        range.min = value;
    }
    if (top > range.max) {
        range.max = top;
    }
    if (range.min < 0) {
        range.min = 0;
    }
    return range;
}

ValueRange widenForSample(ValueRange range, bool rawMode, const KeySample& sample) {
    if (rawMode) {
        range.min = std::min(range.min, sample.value);
    } else {
        range.max = std::max(range.max, roundedTop(sample.diff));
    }
    return range;
}

std::int32_t valueGridLabel(ValueRange range, int kk) {
    const double span = static_cast<double>(range.max) - range.min;
    const auto part = static_cast<std::int64_t>(truncToPixel(span * kk / kValueRows));
    return saturate(range.min + part);
}

int valueToY(double v, ValueRange range, const PixelRect& plot) {
    const double span = static_cast<double>(range.max) - range.min;
    if (span == 0.0) {
        return plot.bottom;
    }
    return truncToPixel(plot.bottom - v / span * plot.height());
}

int triggerLineY(std::int32_t level, ValueRange range, const PixelRect& plot) {
    if (level > range.max) {
        return plot.top;
    }
    if (level < range.min) {
        return plot.bottom;
    }
    return valueToY(static_cast<double>(level) - range.min, range, plot);
}

int triggerLabelX(std::int32_t level, int plotLeft) {
    if (level < 10) {
        return plotLeft - 10;
    }
    if (level < 100) {
        return plotLeft - 15;
    }
    return plotLeft - 30;
}

int readoutIndex(int x, const PixelRect& plot) {
    if (plot.width() == 0) {
        return 0;
    }
    return truncToPixel(static_cast<double>(x - kPlotLeft) / plot.width() * kSpanSamples);
}

int readoutPercent(std::int32_t maxValue, std::int32_t shown) {
    // With no reference count there is nothing to fall below: show 0 % rather
    // than dividing by zero.
    if (maxValue == 0) {
        return 0;
    }
    return truncToPixel((static_cast<double>(maxValue) - shown) / maxValue * 100.0);
}

QString readoutText(int index, std::int32_t shown, int percent) {
    return QString::asprintf("(%3.1f, %d) - %d%s", index * 0.1, shown, percent, "%");
}

QRect initialWindowRect(QSize screen) {
    const int width = kChartPreferredWidth + 10;
    const int height = kChartPreferredHeight + 15;
    return {(screen.width() - width) / 2, (screen.height() - height) / 2, width, height};
}

QSize chartSizeForClient(QSize client) {
    return {std::max(0, client.width() - 15), std::max(0, client.height() - 30)};
}

QRect levelBarRect(QSize client, int chartHeight) {
    return {client.width() - 15, 20, kLevelBarWidth, 4 * (chartHeight / 5)};
}

QRect pauseButtonRect(QSize client) {
    return {client.width() / 2 - 50, client.height() - 28, 100, 28};
}

std::int32_t mirroredPosition(std::int32_t min, std::int32_t max, std::int32_t value) {
    return saturate(static_cast<std::int64_t>(min) + max - value);
}

ScrollOutcome scrollOutcome(int request, std::int32_t min, std::int32_t max, std::int32_t position,
                            std::int32_t trackPosition) {
    const std::int64_t lo = min;
    const std::int64_t hi = max;
    const std::int64_t shown = lo + (hi - position);
    const std::int64_t step = (hi - lo) / 100;

    std::int64_t level = shown;
    bool moveThumb = true;
    switch (static_cast<ScrollRequest>(request)) {
        case ScrollRequest::LineUp:
            level = std::min(shown + step, hi);
            break;
        case ScrollRequest::LineDown:
            level = std::max(shown - step, lo);
            break;
        case ScrollRequest::PageUp:
            level = std::min(shown + 10 * step, hi);
            break;
        case ScrollRequest::PageDown:
            level = std::max(shown - 10 * step, lo);
            break;
        case ScrollRequest::ThumbTrack:
            level = lo + hi - trackPosition;
            break;
        case ScrollRequest::Top:
            level = hi;
            break;
        case ScrollRequest::Bottom:
            level = lo;
            break;
        default:  // thumb released, end of gesture, anything unknown: keep what the thumb shows
            moveThumb = false;
            break;
    }
    const std::int32_t result = saturate(level);
    return {result, moveThumb, moveThumb ? mirroredPosition(min, max, result) : 0};
}

}  // namespace keyscope::timebar
