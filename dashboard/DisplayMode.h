#pragma once
// The dashboard's display mode: its window title and the bar scale each mode starts from.

#include <cstdint>
#include <string_view>

namespace keyscope {

inline constexpr std::string_view kTitleRawMode = "Keyscope - KR48/KR44 Series Touch (Raw Mode)";
inline constexpr std::string_view kTitleDifferenceMode =
    "Keyscope - KR48/KR44 Series Touch (Difference Mode)";

constexpr std::string_view modeTitle(bool raw) {
    return raw ? kTitleRawMode : kTitleDifferenceMode;
}

struct GraphScale {
    std::int32_t max = 100;
    std::int32_t min = 0;
    friend bool operator==(const GraphScale&, const GraphScale&) = default;
};

// Differences start at 0..100; raw counts sit in a narrow band just under the
// board's idle count, which an 8-bit board keeps near 255 and a 16-bit one near 1200.
constexpr GraphScale modeScale(bool raw, bool byteValues) {
    if (!raw) {
        return {100, 0};
    }
    return byteValues ? GraphScale{260, 200} : GraphScale{1200, 1100};
}

}  // namespace keyscope
