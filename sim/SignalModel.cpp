#include "sim/SignalModel.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace keyscope::sim {

namespace {

// splitmix64: small, fast and fully specified, so a seed gives the same
// signal with any standard library (std distributions are not portable).
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint64_t hash(std::uint64_t seed, std::uint64_t a, std::uint64_t b = 0) {
    return mix(mix(mix(seed) ^ a) ^ b);
}

// Distinct streams of the hash, so that noise, touches and shapes never share values.
enum Stream : std::uint64_t { kShape = 1, kNoise = 2, kTouch = 3, kKeyValue = 4, kTouchOrder = 5 };

std::uint64_t streamKey(Stream stream, std::uint64_t index) {
    return (static_cast<std::uint64_t>(stream) << 56) ^ index;
}

int uniform(std::uint64_t h, int lo, int hi) {
    return lo + static_cast<int>(h % static_cast<std::uint64_t>(hi - lo + 1));
}

// A slot's touch starts this long after the slot does, at the latest, so the
// gap to the next touch is never shorter than 100 ms.
constexpr std::int64_t kLatestTouchStartMs = SignalModel::kSlotMs - SignalModel::kMaxTouchMs - 100;
constexpr double kMinDriftPeriodMs = 240'000;
constexpr double kMaxDriftPeriodMs = 480'000;

}  // namespace

SignalModel::SignalModel(std::uint64_t seed, CountWidth width, std::int64_t quietFirstMs)
    : seed_(seed), width_(width), quietFirstMs_(quietFirstMs) {
    const int lo = lowestBaseline();
    const int hi = highestBaseline();
    for (int k = 0; k < kSimKeyCount; ++k) {
        const std::uint64_t h = hash(seed, streamKey(kShape, k));
        keys_[k].baseline = uniform(h, lo, hi);
        keys_[k].driftPeriodMs = uniform(h >> 16, static_cast<int>(kMinDriftPeriodMs),
                                         static_cast<int>(kMaxDriftPeriodMs));
        keys_[k].driftPhase = static_cast<double>((h >> 40) % 6283) / 1000.0;
        settings_.keyValues[k] =
            static_cast<std::uint8_t>(uniform(hash(seed, streamKey(kKeyValue, k)), 25, 40));
    }
    settings_.triggerLevel = 50;
    settings_.preScale = 3;
    settings_.tktmr = 0x85;
}

// Byte baselines leave the deepest press, drift and noise above 0 and the
// reference below 256.
int SignalModel::lowestBaseline() const {
    return width_ == CountWidth::Byte ? 160 : 700;
}
int SignalModel::highestBaseline() const {
    return width_ == CountWidth::Byte ? 220 : 1500;
}

std::uint16_t SignalModel::baseline(int key) const {
    if (key < 0 || key >= kSimKeyCount) {
        return 0;
    }
    return static_cast<std::uint16_t>(keys_[key].baseline);
}

std::uint16_t SignalModel::referenceCount(int key) const {
    if (key < 0 || key >= kSimKeyCount) {
        return 0;
    }
    return static_cast<std::uint16_t>(keys_[key].baseline + kDrift + kKeyProfiles[key].noise + 2);
}

std::array<std::uint16_t, kSimKeyCount> SignalModel::referenceCounts() const {
    std::array<std::uint16_t, kSimKeyCount> out{};
    for (int k = 0; k < kSimKeyCount; ++k) {
        out[k] = referenceCount(k);
    }
    return out;
}

std::optional<Touch> SignalModel::touchInSlot(std::int64_t slot) const {
    // The keys of one run of sixteen slots, shuffled (Fisher-Yates) by the run's hash.
    const std::int64_t run = slot / kSimKeyCount;
    std::array<int, kSimKeyCount> order{};
    for (int k = 0; k < kSimKeyCount; ++k) {
        order[k] = k;
    }
    for (int i = kSimKeyCount - 1; i > 0; --i) {
        const std::uint64_t h =
            hash(seed_, streamKey(kTouchOrder, static_cast<std::uint64_t>(run)), i);
        std::swap(order[i], order[uniform(h, 0, i)]);
    }
    const std::uint64_t h = hash(seed_, streamKey(kTouch, static_cast<std::uint64_t>(slot)));
    Touch touch;
    touch.key = order[slot % kSimKeyCount];
    touch.startMs = slot * kSlotMs + uniform(h, 0, static_cast<int>(kLatestTouchStartMs));
    touch.endMs = touch.startMs +
                  uniform(h >> 32, static_cast<int>(kMinTouchMs), static_cast<int>(kMaxTouchMs));
    touch.depth = kKeyProfiles[touch.key].depth;
    return touch;
}

std::optional<Touch> SignalModel::touchAt(std::int64_t nowMs) const {
    nowMs = std::max<std::int64_t>(nowMs, 0);
    const std::optional<Touch> touch = touchInSlot(nowMs / kSlotMs);
    // A touch begun in the quiet time is left out whole: no press starts half-way.
    if (touch && touch->startMs >= quietFirstMs_ && nowMs >= touch->startMs &&
        nowMs < touch->endMs) {
        return touch;
    }
    return std::nullopt;
}

std::uint8_t SignalModel::keyCode(std::int64_t nowMs) const {
    const std::optional<Touch> touch = touchAt(nowMs);
    return touch ? static_cast<std::uint8_t>(0x30 + touch->key) : 0;
}

std::uint16_t SignalModel::count(int key, std::int64_t nowMs) const {
    if (key < 0 || key >= kSimKeyCount) {
        return 0;
    }
    nowMs = std::max<std::int64_t>(nowMs, 0);
    const KeyShape& shape = keys_[key];
    const double angle = 2.0 * std::numbers::pi * static_cast<double>(nowMs) / shape.driftPeriodMs +
                         shape.driftPhase;
    // Rounded, so the drift steps between -1, 0 and +1; steps lie at least a
    // sixth of the period (40 s) apart, so a 15 s history sees at most one.
    const int drift = static_cast<int>(std::lround(kDrift * std::sin(angle)));
    const int amp = kKeyProfiles[key].noise;
    const int noise = uniform(hash(seed_, streamKey(kNoise, key), nowMs), -amp, amp);

    int value = shape.baseline + drift + noise;
    // A press is a step: every reading is either resting or fully pressed, as
    // the statistics assume, since a finger settles well within one 50 ms poll.
    const std::optional<Touch> touch = touchAt(nowMs);
    if (touch && touch->key == key) {
        value -= touch->depth;
    }
    return static_cast<std::uint16_t>(std::clamp(value, 0, 0xFFFF));
}

std::array<std::uint16_t, kSimKeyCount> SignalModel::counts(std::int64_t nowMs) const {
    std::array<std::uint16_t, kSimKeyCount> out{};
    for (int k = 0; k < kSimKeyCount; ++k) {
        out[k] = count(k, nowMs);
    }
    return out;
}

std::uint16_t SignalModel::minCount() const {
    return static_cast<std::uint16_t>(lowestBaseline() - kDrift - kMaxNoise - kMaxTouchDepth);
}

std::uint16_t SignalModel::maxCount() const {
    return static_cast<std::uint16_t>(highestBaseline() + kDrift + kMaxNoise);
}

}  // namespace keyscope::sim
