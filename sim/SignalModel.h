#pragma once
// The simulated board's signal, shared by every simulated link (HID module,
// serial streamer, ICE device) so that they all show the same kind of keys.

#include <array>
#include <cstdint>
#include <optional>

namespace keyscope::sim {

inline constexpr int kSimKeyCount = 16;

// How wide the counts of a link are. Byte counts fit the plain and 0x55
// reports; word counts fit the 16-bit reports, the serial frames and the ICE
// memory image, and stay at or below 2047 so an ICE read never sees them as invalid.
enum class CountWidth { Byte, Word };

// What a board keeps in its settings: the per-key values and the three chip
// settings bytes. A write report replaces all of them.
struct BoardSettings {
    std::array<std::uint8_t, kSimKeyCount> keyValues{};
    std::uint8_t triggerLevel = 0;
    std::uint8_t preScale = 0;
    std::uint8_t tktmr = 0;  // bit 7 set = 4 MHz touch-key clock

    bool operator==(const BoardSettings&) const = default;
};

// One finger on one key, [startMs, endMs).
struct Touch {
    int key = 0;
    std::int64_t startMs = 0;
    std::int64_t endMs = 0;
    int depth = 0;  // counts the key loses while pressed
};

// What makes each key a different tuning case: its noise, a uniform whole
// number of counts in [-noise, +noise] on every reading, and the counts a
// press takes away. A reading is resting or fully pressed, so over enough
// readings the key statistics come out as
//   noise_pp = 2 * noise,  signal = depth,  snr = depth / (2 * noise),
// give or take one count of noise_pp from the drift (see SignalModel).
// The same table serves both count widths: the byte baselines leave room
// for the deepest press, the word counts stay far below 2047.
// The weak keys stay below 5:1 by a wide margin: a short quiet phase may miss
// both extremes of a key's noise while the drift adds a count to its signal,
// and the SNR test must still fail exactly those keys.
struct KeyProfile {
    int noise = 0;
    int depth = 0;
};

inline constexpr std::array<KeyProfile, kSimKeyCount> kKeyProfiles{{
    {5, 140},  // TK0: the clean key, snr 14
    {5, 120},  // TK1: 12
    {6, 132},  // TK2: 11
    {6, 44},   // TK3: weak, 3.7
    {5, 100},  // TK4: 10
    {7, 126},  // TK5: 9
    {6, 96},   // TK6: 8
    {8, 60},   // TK7: weak, 3.75
    {5, 70},   // TK8: 7
    {7, 98},   // TK9: 7
    {6, 78},   // TK10: 6.5
    {5, 60},   // TK11: 6
    {7, 77},   // TK12: 5.5, just above the usual 5:1
    {7, 50},   // TK13: weak, 3.6
    {6, 108},  // TK14: 9
    {8, 96},   // TK15: 6
}};

// The signal-to-noise ratio a key's table entry gives its statistics.
constexpr double impliedSnr(const KeyProfile& profile) {
    return static_cast<double>(profile.depth) / (2.0 * profile.noise);
}

// The largest (or, with a negative sign, the smallest) value of one field over the table.
constexpr int profileExtreme(int KeyProfile::*field, int sign) {
    int best = sign * (kKeyProfiles[0].*field);
    for (const KeyProfile& p : kKeyProfiles) {
        best = best > sign * (p.*field) ? best : sign * (p.*field);
    }
    return sign * best;
}

// A pure function of (seed, time): every query takes the clock in milliseconds
// explicitly, so a run is repeatable and tests need no real time. Counts are
// per-key baselines plus a slow drift of at most one count either way, plus
// the key's noise, minus the key's depth while it is pressed. Time is cut into
// slots, each holding one press of one key; every key is pressed once in each
// run of sixteen slots, in an order the seed shuffles anew for every run, so
// within about twelve seconds every key has both resting and pressed readings.
// Times before 0 count as 0.
class SignalModel {
  public:
    static constexpr std::int64_t kSlotMs = 700;  // one touch per slot
    static constexpr int kMinTouchDepth = profileExtreme(&KeyProfile::depth, -1);
    static constexpr int kMaxTouchDepth = profileExtreme(&KeyProfile::depth, 1);
    static constexpr int kMaxNoise = profileExtreme(&KeyProfile::noise, 1);
    static constexpr int kDrift = 1;  // counts either way
    static constexpr std::int64_t kMinTouchMs = 350;
    static constexpr std::int64_t kMaxTouchMs = 500;

    SignalModel(std::uint64_t seed, CountWidth width, std::int64_t quietFirstMs = 0);

    std::uint64_t seed() const { return seed_; }
    CountWidth width() const { return width_; }

    // The resting count of a key, before drift and noise. key outside 0..15 gives 0.
    std::uint16_t baseline(int key) const;
    // Baseline plus a margin above drift and noise: the reference (max) count a
    // board reports, never below an untouched count. key outside 0..15 gives 0.
    std::uint16_t referenceCount(int key) const;
    std::array<std::uint16_t, kSimKeyCount> referenceCounts() const;

    // The count of a key at a time. key outside 0..15 gives 0.
    std::uint16_t count(int key, std::int64_t nowMs) const;
    std::array<std::uint16_t, kSimKeyCount> counts(std::int64_t nowMs) const;

    // The touch in progress at a time, if any.
    std::optional<Touch> touchAt(std::int64_t nowMs) const;
    // 0x30 + key while a key is pressed, 0 otherwise.
    std::uint8_t keyCode(std::int64_t nowMs) const;

    // The lowest and highest count this model can produce.
    std::uint16_t minCount() const;
    std::uint16_t maxCount() const;

    const BoardSettings& settings() const { return settings_; }
    void setSettings(const BoardSettings& settings) { settings_ = settings; }

  private:
    struct KeyShape {
        int baseline = 0;
        double driftPeriodMs = 0;
        double driftPhase = 0;
    };

    int lowestBaseline() const;
    int highestBaseline() const;
    std::optional<Touch> touchInSlot(std::int64_t slot) const;

    std::uint64_t seed_;
    CountWidth width_;
    std::int64_t quietFirstMs_;
    std::array<KeyShape, kSimKeyCount> keys_{};
    BoardSettings settings_;
};

}  // namespace keyscope::sim
