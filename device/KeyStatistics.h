#pragma once
// How far each key's touch signal stands above its resting noise: the figures
// an engineer tunes touch keys by. Pure arithmetic over samples, shared by the
// recorder (fed row by row over a whole capture) and the dashboard (every
// reading since its window opened or was reset).

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>

#include "device/ChannelRecord.h"

namespace keyscope {

class BoardConnection;

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

// The touch threshold a statistics view starts from: the board's trigger level,
// or the default where the board reports none (serial and ICE boards read 0).
constexpr std::int32_t startingTouchThreshold(std::int32_t boardTriggerLevel) {
    return boardTriggerLevel > 0 ? boardTriggerLevel : kDefaultTouchThreshold;
}

// Running count, min, max, mean and population standard deviation.
class KeyStats {
  public:
    void add(double value);
    // As if every value of `other` had been added here.
    void merge(const KeyStats& other);
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
    // A group of counts that are all touched, or all not.
    void add(const KeyStats& values, bool touched);
    // Every count added, touched or not; and each kind apart.
    const KeyStats& all() const { return all_; }
    const KeyStats& untouched() const { return untouched_; }
    const KeyStats& touched() const { return touched_; }
    KeyFigures figures() const;

  private:
    KeyStats all_, untouched_, touched_;
};

// One pass over a key's history, reading the samples where they are. Samples
// that a serial reference frame set are the board's reference, no reading, and
// are left out, as every statistic leaves them out.
TouchStats touchStats(const std::deque<KeySample>& samples, int key, const TouchRule& rule);

// How close a key's resting readings come to the threshold, and how far its
// presses stay above it, in counts of difference (maxValue - value): where a
// trigger level can go.
struct KeyMargins {
    std::optional<std::int32_t> restingMax;  // the largest difference of an untouched reading
    std::optional<std::int32_t> touchedMin;  // the smallest difference of a touched reading

    // A resting reading reached the threshold: the key would fire without a finger.
    bool restingReaches(std::int32_t threshold) const {
        return restingMax && *restingMax >= threshold;
    }
    // A press stayed below the threshold: the key would miss it.
    bool touchedBelow(std::int32_t threshold) const {
        return touchedMin && *touchedMin < threshold;
    }
};

// Every reading of one key since a start, however many: the history holds
// 300, a session all that came since. The readings are kept grouped by what
// decides whether one is touched (its difference, and whether its key code
// named the key), so that the figures follow a changed threshold over all of
// them, exactly, while the memory grows with the distinct differences only.
class SessionKeyStats {
  public:
    // A reference sample is no reading and is left out.
    void add(const KeySample& sample, int key);
    long readings() const { return readings_; }
    TouchStats touchStats(const TouchRule& rule) const;
    KeyMargins margins(const TouchRule& rule) const;

  private:
    struct Group {
        bool namedKey = false;  // the key code named this key
        std::int32_t diff = 0;
        bool operator<(const Group& other) const {
            return std::tie(namedKey, diff) < std::tie(other.namedKey, other.diff);
        }
    };
    std::map<Group, KeyStats> groups_;
    long readings_ = 0;
};

// Follows a board's histories from poll to poll: each call hands on the samples
// every key gained since the last one, oldest first, and no more than the
// history still holds (more than a history's worth between two calls: the
// oldest are gone; a close empties it while the count of appended samples goes on).
class HistoryFollower {
  public:
    using Take = std::function<void(int key, const KeySample& sample)>;
    // Samples already in the histories are never handed on.
    void skipTo(const BoardConnection& board);
    void follow(const BoardConnection& board, const Take& take);

  private:
    std::array<std::uint64_t, kChannelCount> seen_{};
};

// The sixteen keys' sessions, fed from a board's histories after each poll.
class StatisticsSession {
  public:
    // Starts again: only readings appended after this call count.
    void restart(const BoardConnection& board);
    // Takes the readings appended to every key since the last call.
    void take(const BoardConnection& board);
    const SessionKeyStats& key(int k) const { return keys_[static_cast<std::size_t>(k)]; }
    // The most readings any one key took: the polls that brought readings.
    long readings() const;

  private:
    std::array<SessionKeyStats, kChannelCount> keys_{};
    HistoryFollower histories_;
};

// "2026-12-05T21:04:05.123Z" for milliseconds since 1970.
std::string utcTimestamp(std::int64_t msSinceEpoch);

// A figure with one decimal (or `decimals`), "inf" or "-inf"; `unknown` when empty.
std::string formatFigure(const std::optional<double>& figure, const char* unknown,
                         int decimals = 1);

// What the statistics cover, the same on every line of their CSV: the touch
// threshold, when the span began and how long it is.
struct StatisticsSpan {
    std::int32_t threshold = kDefaultTouchThreshold;
    std::int64_t sinceMs = 0;  // since 1970, written as ISO 8601 UTC
    double seconds = 0;
};

// The statistics table as CSV: the header, then one line per key TK0..TK15.
// `values` describes the numbers themselves (samples, min, max, mean, stddev),
// empty for a key without any.
inline constexpr char kStatisticsCsvHeader[] =
    "key,samples,touched,min,max,mean,stddev,noise_pp,noise_rms,signal,snr,threshold,since_utc,"
    "seconds\n";
std::string statisticsCsvLine(int key, const KeyStats& values, const KeyFigures& figures,
                              const StatisticsSpan& span);

}  // namespace keyscope
