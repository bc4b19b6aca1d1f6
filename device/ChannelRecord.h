#pragma once
// One touch key's state and bounded reading history.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace keyscope {

inline constexpr int kChannelCount = 16;         // TK0..TK15, the fixed size of every array and row
inline constexpr std::size_t kMaxSamples = 300;  // 15 s of history at one reading per 50 ms

// One reading of one key.
struct KeySample {
    std::int32_t keyCode = 0;  // the connection's key code when the sample was appended
    std::int32_t value = 0;    // the count
    std::int32_t diff = 0;     // maxValue - value, after this reading's own maxValue update
    // Set by a serial reference frame (0xF0): the board's reference count, kept in the
    // history as every sample is, but no reading of the key; consumers that judge
    // readings (the SNR test) leave it out.
    bool reference = false;
};

// What a sample holds: a reading of the key, or the board's reference count.
enum class SampleKind { Reading, Reference };

// How a reading updates the key's reference (max) count.
enum class MaxRule {
    Raise,  // lift maxValue to the count when the count is greater
    Set,    // maxValue becomes the count
    Leave,  // maxValue is not touched
};

struct ChannelRecord {
    // Trigger percentage shared by all keys; owned by the bar graph, null until it binds this key.
    std::int32_t* percentRef = nullptr;
    std::uint8_t rawMode = 0;  // 1 = raw counts shown, 0 = difference from maxValue
    std::int32_t value = 0;
    std::int32_t keyValue = 0;  // only its low byte is ever written back to the board
    std::int32_t maxValue = 0;
    std::string name;               // "TK0".."TK15", fixed at construction
    std::deque<KeySample> samples;  // oldest first, never more than kMaxSamples
};

}  // namespace keyscope
