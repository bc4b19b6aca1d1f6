#include "device/KeyStatistics.h"

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

std::string formatFigure(const std::optional<double>& figure, const char* unknown) {
    if (!figure) {
        return unknown;
    }
    if (std::isinf(*figure)) {
        return *figure > 0 ? "inf" : "-inf";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", *figure);
    return text;
}

std::string statisticsCsvLine(int key, const KeyStats& values, const KeyFigures& figures) {
    char head[160];
    if (values.count() == 0) {
        std::snprintf(head, sizeof head, "TK%d,0,,,,", key);
    } else {
        std::snprintf(head, sizeof head, "TK%d,%ld,%.0f,%.0f,%.1f,%.2f", key, values.count(),
                      values.min(), values.max(), values.mean(), values.standardDeviation());
    }
    return std::string(head) + "," + formatFigure(figures.noisePp, "") + "," +
           formatFigure(figures.noiseRms, "") + "," + formatFigure(figures.signal, "") + "," +
           formatFigure(figures.snr, "") + "\n";
}

}  // namespace keyscope
