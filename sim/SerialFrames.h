#pragma once
// The byte frames a streaming board sends over its serial line:
//   marker (0xF0 reference / 0xF1 data), n, n bytes of (code, low, high)
//   triplets, one trailing check byte.
// Key triplets use code 0x30 + key; a 0xF2 triplet carries the key code.

#include <array>
#include <cstdint>
#include <vector>

#include "sim/SignalModel.h"

namespace keyscope::sim {

inline constexpr std::uint8_t kReferenceFrame = 0xF0;
inline constexpr std::uint8_t kDataFrame = 0xF1;
inline constexpr std::uint8_t kKeyCodeTriplet = 0xF2;

// 0xF0 frame with every key's reference count.
std::vector<std::uint8_t> referenceFrame(const SignalModel& model);
// 0xF1 frame with the key-code triplet first, so every count of the frame
// carries the code, then every key's count at nowMs.
std::vector<std::uint8_t> dataFrame(const SignalModel& model, std::int64_t nowMs);

// The same frames from given counts, as a replayed board sends them.
std::vector<std::uint8_t> referenceFrame(const std::array<std::uint16_t, kSimKeyCount>& counts);
std::vector<std::uint8_t> dataFrame(const std::array<std::uint16_t, kSimKeyCount>& counts,
                                    std::uint8_t keyCode);

}  // namespace keyscope::sim
