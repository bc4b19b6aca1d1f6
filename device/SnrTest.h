#pragma once
// The guided SNR test: hands off the keys (the quiet phase), then each key
// touched in turn (the touch phase), then per key the figures of Key
// Statistics, PASS or FAIL against a limit, and a suggested trigger level.
// One engine for the dashboard's test window and the recorder's --snr-test:
// its caller's poll feeds it readings and the clock (milliseconds, any
// monotonic origin). No I/O, nothing throws.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/ChannelRecord.h"
#include "device/KeyStatistics.h"

namespace keyscope {

class BoardConnection;

// What a board's key code says about which key is down.
enum class KeyCodeKind {
    NamesKey,  // 0x30 + k while key k is down (HID boards)
    AnyKey,    // non-zero while some key is down (serial boards)
    None,      // always 0 (ICE)
};
KeyCodeKind keyCodeKindFor(std::int32_t linkMode);

struct SnrSettings {
    std::int64_t quietMs = 5000;  // the quiet phase
    long touchedReadings = 10;    // settled touched readings wanted of every key
    double snrLimit = kGoodSnr;   // a key passes at this SNR or more
    std::int64_t touchTimeoutMs = 60000;

    bool operator==(const SnrSettings&) const = default;
    // Within the bounds below.
    bool valid() const;
};

// What the faces offer. Fewer touched readings than Key Statistics needs for an
// SNR could never pass a key.
inline constexpr std::int64_t kMinQuietMs = 1000;
inline constexpr std::int64_t kMaxQuietMs = 600'000;
inline constexpr long kMinTouchedReadings = kMinTouchedForSnr;
inline constexpr long kMaxTouchedReadings = 1000;
inline constexpr double kMinSnrLimit = 0.1;
inline constexpr double kMaxSnrLimit = 1000.0;
inline constexpr std::int64_t kMinTouchTimeoutMs = 1000;
inline constexpr std::int64_t kMaxTouchTimeoutMs = 3'600'000;

// The rules of the two phases.
// A key with more than this share (per cent) of its quiet readings excluded was touched.
inline constexpr long kQuietExcludedPercent = 10;
// Without a key code naming the key, a reading is touched when it lies below
// the key's quiet mean by more than max(kTouchNoiseFactor x noise_pp,
// kMinTouchDepth): clear of the noise, and of a key with next to none.
inline constexpr double kTouchNoiseFactor = 3.0;
inline constexpr double kMinTouchDepth = 5.0;
// The first readings of each touch are the finger settling; they do not count.
inline constexpr long kSettlingReadings = 2;
// The suggested trigger level's bounds: the one byte the board takes, never 0.
inline constexpr std::int32_t kMinTriggerLevel = 1;
inline constexpr std::int32_t kMaxTriggerLevel = 255;

enum class SnrPhase {
    Idle,       // not started
    Quiet,      // hands off: every reading is untouched but those excluded
    QuietDone,  // quiet time over; waiting for beginTouch or rerunQuiet
    Touch,      // each key in turn
    Done,       // results ready
};

enum class SnrVerdict { Pass, Fail, NotMeasured };

struct SnrKeyResult {
    int key = 0;
    long quietReadings = 0;  // readings in the (last) quiet phase, excluded ones too
    long excludedReadings = 0;
    bool touchedWhileQuiet = false;  // more than kQuietExcludedPercent per cent excluded
    long touchedReadings = 0;        // settled touched readings taken (at most the setting)
    std::optional<double> untouchedMean;
    std::optional<double> touchedMean;
    // noise_pp, noise_rms, signal and SNR exactly as Key Statistics computes them
    // over the untouched quiet readings and the settled touched ones.
    KeyFigures figures;
    // Differences (maxValue - value): the largest of the untouched quiet
    // readings, the smallest of the settled touched ones.
    std::optional<std::int32_t> largestUntouchedDiff;
    std::optional<std::int32_t> smallestTouchedDiff;
    // At the suggested level, for a measured key: level - largestUntouchedDiff
    // (how much more noise fires it falsely) and smallestTouchedDiff - level
    // (how much weaker a touch still fires). At or below 0 is a warning.
    std::optional<std::int32_t> marginIn;
    std::optional<std::int32_t> marginOut;
    SnrVerdict verdict = SnrVerdict::NotMeasured;
    std::string reason;  // why not measured; empty otherwise

    bool measured() const { return verdict != SnrVerdict::NotMeasured; }
    bool passed() const { return verdict == SnrVerdict::Pass; }
};

struct SnrSuggestion {
    std::optional<std::int32_t> level;  // kMinTriggerLevel..kMaxTriggerLevel
    // The rule that made the level, or why there is none.
    std::string explanation;
    // The measured key whose largest untouched difference reaches half the level
    // (the largest such; the lowest key on a tie), and its margin in.
    std::optional<int> noisyKey;
    std::int32_t noisyMargin = 0;
    std::string warning;  // empty without a noisy key
};

// 80% of the smallest signal among the passing keys, rounded down, within
// 1..255, with its noise warning; none without a passing key.
SnrSuggestion suggestTriggerLevel(std::span<const SnrKeyResult> keys);
// Fills each measured key's margins at the level.
void setMargins(std::span<SnrKeyResult> keys, std::int32_t level);

struct SnrResults {
    SnrSettings settings;
    KeyCodeKind codes = KeyCodeKind::None;
    int quietRuns = 0;
    std::vector<SnrKeyResult> keys;  // in the order the test was given them
    SnrSuggestion suggestion;

    // Every key passed (and there was one). Not measured counts as a failure.
    bool allPassed() const;
};

class SnrTest {
  public:
    // Starts the quiet phase at nowMs over the given keys (0..15; others and
    // repeats are left out). False, with the test left as it was, when the
    // settings are out of bounds.
    [[nodiscard]] bool start(const SnrSettings& settings, KeyCodeKind codes,
                             std::span<const int> keys, std::int64_t nowMs);
    // Moves on by the clock: the quiet phase ends quietMs after it began, the
    // touch phase at its time-out.
    void advance(std::int64_t nowMs);
    // One reading of one key, at nowMs (the clock moves first). References,
    // keys not under test and readings outside the two phases are left out.
    void feed(int key, const KeySample& sample, std::int64_t nowMs);

    // The quiet phase again from nowMs, its readings forgotten: while it runs
    // or once it is over. False in any other phase.
    bool rerunQuiet(std::int64_t nowMs);
    // After the quiet phase: the touch phase from nowMs. False in any other phase.
    bool beginTouch(std::int64_t nowMs);
    // Ends the touch phase now. False in any other phase.
    bool finishEarly();

    SnrPhase phase() const { return phase_; }
    const SnrSettings& settings() const { return settings_; }
    // Milliseconds left of the running phase; 0 outside the two phases.
    std::int64_t remainingMs(std::int64_t nowMs) const;
    const std::vector<int>& keys() const { return keys_; }
    // Keys under test with fewer settled touched readings than wanted.
    std::vector<int> keysStillToTouch() const;
    long touchedReadings(int key) const;
    // Keys with more than kQuietExcludedPercent per cent of their quiet readings excluded.
    std::vector<int> touchedWhileQuiet() const;
    int quietRuns() const { return quietRuns_; }
    // Each key's figures and verdict, the suggestion and the margins at it,
    // from the readings taken so far.
    SnrResults results() const;

  private:
    struct KeyState {
        bool underTest = false;
        long quietReadings = 0;
        long excluded = 0;
        TouchStats stats;  // untouched quiet readings, settled touched readings
        std::optional<std::int32_t> largestUntouchedDiff;
        std::optional<std::int32_t> smallestTouchedDiff;
        std::optional<double> touchBelow;  // the count rule's limit, from the quiet phase
        long touchRun = 0;                 // touched readings in a row, the current touch
        long settled = 0;

        bool touchedWhileQuiet() const {
            return 100 * excluded > kQuietExcludedPercent * quietReadings;
        }
    };

    void takeQuiet(KeyState& state, int key, const KeySample& sample);
    void takeTouch(KeyState& state, int key, const KeySample& sample);
    SnrKeyResult resultOf(int key) const;

    SnrSettings settings_;
    KeyCodeKind codes_ = KeyCodeKind::None;
    SnrPhase phase_ = SnrPhase::Idle;
    std::vector<int> keys_;
    std::array<KeyState, kChannelCount> state_{};
    std::int64_t phaseEndMs_ = 0;
    long keysToGo_ = 0;  // keys still short of their touched readings
    int quietRuns_ = 0;
};

// Follows a board's histories from poll to poll and feeds the samples each key
// gained since the last call to a test, oldest first.
class SnrSampleFeed {
  public:
    // Samples already in the histories are never fed.
    void skipTo(const BoardConnection& board) { histories_.skipTo(board); }
    void feed(const BoardConnection& board, SnrTest& test, std::int64_t nowMs);

  private:
    HistoryFollower histories_;
};

}  // namespace keyscope
