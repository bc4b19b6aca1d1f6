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
    int depth = 0;  // counts the key loses at full press
};

// A pure function of (seed, time): every query takes the clock in milliseconds
// explicitly, so a run is repeatable and tests need no real time. Counts are
// per-key baselines plus slow drift plus small noise, minus a touch: at most one
// key is touched at a time, for about a second, losing a few tens of counts.
// Times before 0 count as 0.
class SignalModel {
  public:
    static constexpr std::int64_t kSlotMs = 2000;  // at most one touch per slot
    static constexpr int kMinTouchDepth = 20;
    static constexpr int kMaxTouchDepth = 60;
    static constexpr std::int64_t kMinTouchMs = 800;
    static constexpr std::int64_t kMaxTouchMs = 1300;

    SignalModel(std::uint64_t seed, CountWidth width);

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
    int noiseAmplitude() const;
    int driftAmplitude() const;
    std::optional<Touch> touchInSlot(std::int64_t slot) const;

    std::uint64_t seed_;
    CountWidth width_;
    std::array<KeyShape, kSimKeyCount> keys_{};
    BoardSettings settings_;
};

// KEYSCOPE_SIM_SEED when it holds an unsigned integer (decimal, 0x hex or 0
// octal), otherwise a seed from the clock, so that unset means a fresh run.
std::uint64_t seedFromEnvironment();

}  // namespace keyscope::sim
