#pragma once
// The arithmetic of the time-bar window and its chart, kept free of widgets so
// every figure can be checked on its own: chart layout, the value range and its
// widening, pixel positions, the cursor readout and the trigger scroll bar.
//
// Integer divisions truncate toward zero and floating-point results become
// integers by truncation toward zero. Values come from the board as 32-bit
// counts; sums that could overflow are taken in 64 bits and saturated, and a
// zero-wide range never divides, so odd counts give odd pixels, never a fault.

#include <cstdint>

#include <QRect>
#include <QSize>
#include <QString>

#include "device/ChannelRecord.h"

namespace keyscope::timebar {

// A rectangle given by its four edges; right and bottom lie just outside it.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    // Left and top inclusive, right and bottom exclusive.
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// Everything the chart's layout derives from its client size.
struct ChartLayout {
    int k = 0;          // height unit: the plot is 20 k tall, the strip 3 k
    PixelRect plot;     // the value plot
    PixelRect strip;    // the "FuncOut" strip, 20 pixels below the plot
    int stepX = 0;      // one time-grid column (ten samples)
    int valueStep = 0;  // one value-grid row (a twentieth of the plot)
};

inline constexpr int kPlotLeft = 50;
inline constexpr int kTimeColumns = 30;
inline constexpr int kValueRows = 20;
inline constexpr int kSpanSamples = 300;  // samples across the full plot width

ChartLayout chartLayout(int width, int height);

// The values shown at the top and the bottom of the plot.
struct ValueRange {
    std::int32_t max = 0;
    std::int32_t min = 0;
    friend bool operator==(const ValueRange&, const ValueRange&) = default;
};

// 5 x (v / 5) + 20: the top of the scale for a count v, saturated to 32 bits.
std::int32_t roundedTop(std::int32_t v);

// The range taken when the display mode changes: 100 counts below the rounded
// reference in raw mode, 0..100 in difference mode.
ValueRange openingRange(bool rawMode, std::int32_t maxValue);

// Widening by the channel's current count at the start of a paint: the count
// lowers the bottom (both modes), the mode's top raises the top, and the bottom
// never goes below 0.
ValueRange widenForCount(ValueRange range, bool rawMode, std::int32_t value);

// Widening by one sample during the sample pass: raw mode lowers the bottom to
// the count, difference mode raises the top to the rounded difference.
ValueRange widenForSample(ValueRange range, bool rawMode, const KeySample& sample);

// The value-grid label kk twentieths up from the bottom.
std::int32_t valueGridLabel(ValueRange range, int kk);

// y of a value v counts above the range's bottom: plot.bottom - v / span x height.
// A zero-wide range puts every value on the bottom edge.
int valueToY(double v, ValueRange range, const PixelRect& plot);

// y of the trigger line: pinned to the top or bottom edge outside the range.
int triggerLineY(std::int32_t level, ValueRange range, const PixelRect& plot);

// x of the trigger label: further left as the number gets more digits.
int triggerLabelX(std::int32_t level, int plotLeft);

// The sample index under pointer x, 0..299 inside the plot.
int readoutIndex(int x, const PixelRect& plot);

// How far the shown value lies below the reference, in percent of it.
int readoutPercent(std::int32_t maxValue, std::int32_t shown);

// "(%3.1f, %d) - %d%s": time in seconds (0.1 s per sample), value, percent, "%".
QString readoutText(int index, std::int32_t shown, int percent);

// Truncates toward zero; NaN gives 0 and values beyond about +/-2^30 are held
// there, so far-off points stay drawable.
int truncToPixel(double v);

// --- the window ---

inline constexpr int kChartPreferredWidth = 400;
inline constexpr int kChartPreferredHeight = 300;
inline constexpr int kLevelBarWidth = 16;

// The window's first geometry: 410 x 315, centred on a screen of the given size.
QRect initialWindowRect(QSize screen);
// The chart fills the client area less a 15-pixel column and a 30-pixel row.
QSize chartSizeForClient(QSize client);
// The trigger bar right of the chart: 16 wide, four fifths of the chart's height.
QRect levelBarRect(QSize client, int chartHeight);
// The Pause/Start button, centred in the bottom row.
QRect pauseButtonRect(QSize client);

// Scroll requests, numbered as the window's message handler knows them.
enum class ScrollRequest : int {
    LineUp = 0,
    LineDown = 1,
    PageUp = 2,
    PageDown = 3,
    ThumbPosition = 4,  // thumb released where it was dragged
    ThumbTrack = 5,     // thumb being dragged
    Top = 6,
    Bottom = 7,
    EndScroll = 8,  // the gesture is over
};

// Thumb position and level mirror each other over the bar's range: p = min + max - L,
// so the top of the bar is the highest level.
std::int32_t mirroredPosition(std::int32_t min, std::int32_t max, std::int32_t value);

struct ScrollOutcome {
    std::int32_t level = 0;
    bool moveThumb = false;  // true: put the thumb at `thumb`
    std::int32_t thumb = 0;
    friend bool operator==(const ScrollOutcome&, const ScrollOutcome&) = default;
};

// The new level for a request on a bar with range min..max and thumb at position.
// trackPosition is the dragged thumb's position (ThumbTrack only). Steps are a
// hundredth of the range; a range narrower than 100 steps by 0.
ScrollOutcome scrollOutcome(int request, std::int32_t min, std::int32_t max, std::int32_t position,
                            std::int32_t trackPosition);

}  // namespace keyscope::timebar
