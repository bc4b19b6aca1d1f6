#include "device/KeyStatistics.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "device/BoardConnection.h"

namespace keyscope {

void KeyStats::add(double value) {
    ++count_;
    if (count_ == 1) {
        min_ = max_ = value;
    } else {
        min_ = std::min(min_, value);
        max_ = std::max(max_, value);
    }
    // Welford's update keeps the variance exact over long captures.
    const double delta = value - mean_;
    mean_ += delta / static_cast<double>(count_);
    m2_ += delta * (value - mean_);
}

double KeyStats::standardDeviation() const {
    return count_ < 2 ? 0.0 : std::sqrt(m2_ / static_cast<double>(count_));
}

TouchRule touchRuleFor(std::int32_t linkMode, std::int32_t threshold) {
    return TouchRule{linkMode == kLinkHidPlain || linkMode == kLinkHidTyped, threshold};
}

void TouchStats::add(std::int32_t value, bool touched) {
    all_.add(value);
    (touched ? touched_ : untouched_).add(value);
}

KeyFigures TouchStats::figures() const {
    KeyFigures f;
    f.untouched = untouched_.count();
    f.touched = touched_.count();
    if (f.untouched == 0) {
        return f;
    }
    f.noisePp = untouched_.max() - untouched_.min();
    f.noiseRms = untouched_.standardDeviation();
    if (f.touched == 0) {
        return f;
    }
    // Counts fall under a finger, so a working key has a positive signal.
    f.signal = untouched_.mean() - touched_.mean();
    if (f.untouched < kMinUntouchedForSnr || f.touched < kMinTouchedForSnr) {
        return f;
    }
    if (*f.noisePp > 0) {
        f.snr = *f.signal / *f.noisePp;
    } else {
        const double inf = std::numeric_limits<double>::infinity();
        f.snr = *f.signal > 0 ? inf : *f.signal < 0 ? -inf : 0.0;
    }
    return f;
}

TouchStats touchStats(const std::deque<KeySample>& samples, int key, const TouchRule& rule) {
    TouchStats stats;
    for (const KeySample& sample : samples) {
        stats.add(sample.value, rule.touched(sample, key));
    }
    return stats;
}

namespace {

// Fixed-point digits with a dot whatever the locale: the dashboard's QApplication
// adopts the user's locale, and a comma would split a CSV field in two.
std::string fixed(double value, int precision) {
    char text[32];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
    return std::string(text, result.ptr);
}

}  // namespace

std::string formatFigure(const std::optional<double>& figure, const char* unknown, int decimals) {
    if (!figure) {
        return unknown;
    }
    if (std::isinf(*figure)) {
        return *figure > 0 ? "inf" : "-inf";
    }
    return fixed(*figure, decimals);
}

std::string statisticsCsvLine(int key, const KeyStats& values, const KeyFigures& figures) {
    std::string line = "TK" + std::to_string(key) + "," + std::to_string(values.count());
    if (values.count() == 0) {
        line += ",,,,";
    } else {
        line += "," + fixed(values.min(), 0) + "," + fixed(values.max(), 0) + "," +
                fixed(values.mean(), 1) + "," + fixed(values.standardDeviation(), 2);
    }
    return line + "," + formatFigure(figures.noisePp, "") + "," +
           formatFigure(figures.noiseRms, "") + "," + formatFigure(figures.signal, "") + "," +
           formatFigure(figures.snr, "") + "\n";
}

}  // namespace keyscope
