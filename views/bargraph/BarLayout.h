#pragma once
// Size-dependent geometry of the key bar graph and the small formatting rules of its
// figures. Window coordinates have their origin at the control's top left; the plot is
// placed at window (kPlotLeft, 0).

#include <cstdint>
#include <string>

namespace keyscope {

inline constexpr int kSlotWidth = 50;      // one bar's column
inline constexpr int kPlotLeft = 100;      // window x of plot x 0
inline constexpr int kPlotMarginX = 120;   // window width minus plot width
inline constexpr int kPlotMarginY = 60;    // window height minus plot height
inline constexpr int kGridMaxRight = 800;  // sixteen columns
inline constexpr int kBannerTileWidth = 50;

// Grid row height for a plot Hp pixels high: two thirds of Hp in ten rows.
int chartUnit(int plotHeight);
// Right end X of the grid: the smallest multiple of 50 with plotWidth - X <= 50, at most 800.
int gridRight(int plotWidth);
// How many copies of the banner's last 50 columns fill a strip windowWidth wide.
int bannerRepeats(int windowWidth, int bannerWidth);

struct BarLayout {
    int width = 0;  // window W x Hw
    int height = 0;
    int plotWidth = 0;  // Wp = W - 120, Hp = Hw - 60
    int plotHeight = 0;
    int unit = 0;
    int chartHeight = 0;  // always 10 * unit
    int gridRight = 0;

    // A control smaller than 121 x 61 has no plot: nothing is drawn and no bar can be hit.
    static BarLayout forSize(int width, int height);
    bool hasPlot() const { return plotWidth > 0 && plotHeight > 0; }
    int chartTop() const { return plotHeight - chartHeight; }  // T, in plot coordinates
};

// The clickable area in window coordinates: the columns of the attached slots across the
// chart zone. Left and top edges are inside, right and bottom edges outside.
struct BarArea {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    static BarArea of(const BarLayout& layout, int attachedCount);
    bool contains(int x, int y) const { return left <= x && x < right && top <= y && y < bottom; }
    // Column under window x; only meaningful for a contained point.
    int columnAt(int x) const { return (x - left) / kSlotWidth; }
};

// Left indent of the scale figures (top and bottom of each column) for the printed number.
int scaleFigureIndent(std::int64_t n);
// Left indent of the three figure-panel rows for the number that decides it.
int panelFigureIndent(std::int64_t n);

// Banner text for the pressed key code: "Key Press : [TK3] " for 0x30..0x3E,
// "Key Press : [0x3F] " otherwise. Code 0 means no key and shows no banner; callers skip it.
std::string keyBannerText(std::int32_t keyCode);

}  // namespace keyscope
