#include "device/KeyStatistics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
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

void KeyStats::merge(const KeyStats& other) {
    if (other.count_ == 0) {
        return;
    }
    if (count_ == 0) {
        *this = other;
        return;
    }
    // Chan's pairwise update: the same mean and spread as adding each value.
    const double n = static_cast<double>(count_ + other.count_);
    const double delta = other.mean_ - mean_;
    mean_ += delta * static_cast<double>(other.count_) / n;
    m2_ += other.m2_ +
           delta * delta * static_cast<double>(count_) * static_cast<double>(other.count_) / n;
    count_ += other.count_;
    min_ = std::min(min_, other.min_);
    max_ = std::max(max_, other.max_);
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

void TouchStats::add(const KeyStats& values, bool touched) {
    all_.merge(values);
    (touched ? touched_ : untouched_).merge(values);
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
        if (!sample.reference) {
            stats.add(sample.value, rule.touched(sample, key));
        }
    }
    return stats;
}

void SessionKeyStats::add(const KeySample& sample, int key) {
    if (sample.reference) {
        return;
    }
    groups_[Group{sample.keyCode == 0x30 + key, sample.diff}].add(sample.value);
    ++readings_;
}

namespace {

// A group's readings as the rule sees them: each is a sample of that code and difference.
bool touchedGroup(const TouchRule& rule, bool namedKey, std::int32_t diff) {
    return rule.touched(KeySample{namedKey ? 0x30 : 0, 0, diff}, 0);
}

}  // namespace

TouchStats SessionKeyStats::touchStats(const TouchRule& rule) const {
    TouchStats stats;
    for (const auto& [group, values] : groups_) {
        stats.add(values, touchedGroup(rule, group.namedKey, group.diff));
    }
    return stats;
}

KeyMargins SessionKeyStats::margins(const TouchRule& rule) const {
    KeyMargins margins;
    for (const auto& [group, values] : groups_) {
        if (touchedGroup(rule, group.namedKey, group.diff)) {
            margins.touchedMin = std::min(margins.touchedMin.value_or(group.diff), group.diff);
        } else {
            margins.restingMax = std::max(margins.restingMax.value_or(group.diff), group.diff);
        }
    }
    return margins;
}

void HistoryFollower::skipTo(const BoardConnection& board) {
    for (int k = 0; k < kChannelCount; ++k) {
        seen_[static_cast<std::size_t>(k)] = board.appendedSamples(k);
    }
}

void HistoryFollower::follow(const BoardConnection& board, const Take& take) {
    for (int k = 0; k < kChannelCount; ++k) {
        std::uint64_t& seen = seen_[static_cast<std::size_t>(k)];
        const std::uint64_t appended = board.appendedSamples(k);
        const std::deque<KeySample>& history = board.getChannel(k)->samples;
        const auto fresh =
            static_cast<std::size_t>(std::min<std::uint64_t>(appended - seen, history.size()));
        for (std::size_t i = history.size() - fresh; i < history.size(); ++i) {
            take(k, history[i]);
        }
        seen = appended;
    }
}

void StatisticsSession::restart(const BoardConnection& board) {
    keys_ = {};
    histories_.skipTo(board);
}

void StatisticsSession::take(const BoardConnection& board) {
    histories_.follow(board, [this](int key, const KeySample& sample) {
        keys_[static_cast<std::size_t>(key)].add(sample, key);
    });
}

long StatisticsSession::readings() const {
    long most = 0;
    for (const SessionKeyStats& key : keys_) {
        most = std::max(most, key.readings());
    }
    return most;
}

std::string utcTimestamp(std::int64_t msSinceEpoch) {
    const std::time_t seconds = static_cast<std::time_t>(msSinceEpoch / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  static_cast<int>(msSinceEpoch % 1000));
    return text;
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

std::string statisticsCsvLine(int key, const KeyStats& values, const KeyFigures& figures,
                              const StatisticsSpan& span) {
    std::string line = "TK" + std::to_string(key) + "," + std::to_string(values.count()) + "," +
                       std::to_string(figures.touched);
    if (values.count() == 0) {
        line += ",,,,";
    } else {
        line += "," + fixed(values.min(), 0) + "," + fixed(values.max(), 0) + "," +
                fixed(values.mean(), 1) + "," + fixed(values.standardDeviation(), 2);
    }
    return line + "," + formatFigure(figures.noisePp, "") + "," +
           formatFigure(figures.noiseRms, "") + "," + formatFigure(figures.signal, "") + "," +
           formatFigure(figures.snr, "") + "," + std::to_string(span.threshold) + "," +
           utcTimestamp(span.sinceMs) + "," + fixed(span.seconds, 1) + "\n";
}

}  // namespace keyscope
