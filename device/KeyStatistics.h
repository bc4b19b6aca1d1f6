#pragma once
// How far each key's touch signal stands above its resting noise: the figures
// an engineer tunes touch keys by. Pure arithmetic over samples, shared by the
// recorder (fed row by row over a whole capture) and the dashboard (one pass
// over each key's history).

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "device/ChannelRecord.h"

namespace keyscope {

// Tuning guides ask every key for at least 5:1.
inline constexpr double kGoodSnr = 5.0;
// Fewer readings than these say nothing reliable about a key's ratio.
inline constexpr long kMinUntouchedForSnr = 10;
inline constexpr long kMinTouchedForSnr = 5;
// The recorder's touch threshold when none is given, in counts of difference:
// above the resting spread of a key (its noise either way around the
// reference, some twenty counts on the boards and the simulated board) and
// below the shallowest press worth tuning.
inline constexpr std::int32_t kDefaultTouchThreshold = 30;

// Running count, min, max, mean and population standard deviation.
class KeyStats {
  public:
    void add(double value);
    long count() const { return count_; }
    double min() const { return min_; }
    double max() const { return max_; }
    double mean() const { return mean_; }
    double standardDeviation() const;  // population; 0 below two values

  private:
    long count_ = 0;
    double min_ = 0, max_ = 0, mean_ = 0, m2_ = 0;
};

// Which samples of key k count as touched.
struct TouchRule {
    // True where the board's key code names the pressed key (0x30 + k, over
    // HID); otherwise a sample is touched when its difference reaches threshold.
    bool byKeyCode = false;
    std::int32_t threshold = kDefaultTouchThreshold;

    bool touched(const KeySample& sample, int key) const {
        return byKeyCode ? sample.keyCode == 0x30 + key : sample.diff >= threshold;
    }
};

// HID boards name the pressed key; serial boards report 1 for any key and ICE 0.
TouchRule touchRuleFor(std::int32_t linkMode, std::int32_t threshold);

// One key's figures; each is empty while it cannot be computed.
struct KeyFigures {
    long untouched = 0;
    long touched = 0;
    std::optional<double> noisePp;   // max - min of the untouched counts
    std::optional<double> noiseRms;  // their population standard deviation
    std::optional<double> signal;    // untouched mean - touched mean
    // signal / noisePp, +-infinity when noisePp is 0 (0 with no signal either);
    // empty below kMinUntouchedForSnr untouched or kMinTouchedForSnr touched samples.
    std::optional<double> snr;

    bool weak() const { return snr && *snr < kGoodSnr; }
};

// One key's samples, accumulated in any number of steps.
class TouchStats {
  public:
    void add(std::int32_t value, bool touched);
    // Every count added, touched or not; and each kind apart.
    const KeyStats& all() const { return all_; }
    const KeyStats& untouched() const { return untouched_; }
    const KeyStats& touched() const { return touched_; }
    KeyFigures figures() const;

  private:
    KeyStats all_, untouched_, touched_;
};

// One pass over a key's history, reading the samples where they are.
TouchStats touchStats(const std::deque<KeySample>& samples, int key, const TouchRule& rule);

// A figure with one decimal (or `decimals`), "inf" or "-inf"; `unknown` when empty.
std::string formatFigure(const std::optional<double>& figure, const char* unknown,
                         int decimals = 1);

// The statistics table as CSV: the header, then one line per key TK0..TK15.
// `values` describes the numbers themselves (samples, min, max, mean, stddev),
// empty for a key without any.
inline constexpr char kStatisticsCsvHeader[] =
    "key,samples,min,max,mean,stddev,noise_pp,noise_rms,signal,snr\n";
std::string statisticsCsvLine(int key, const KeyStats& values, const KeyFigures& figures);

}  // namespace keyscope
