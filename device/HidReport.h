#pragma once
// Byte layout of the board's 64-byte HID reports, shared by the board
// connection and the simulated board.

#include <cstdint>

namespace keyscope::report {

inline constexpr int kSize = 64;
inline constexpr int kFirstKey =
    1;  // bytes 1..16: one byte per key, or eight 16-bit values low byte first
inline constexpr int kTrigger = 17;
inline constexpr int kKeyCode = 18;
inline constexpr int kPreScale = 19;
inline constexpr int kTktmr = 20;
inline constexpr int kType = 22;  // typed boards only

inline constexpr std::uint8_t kTypeBytes = 0x55;       // sixteen 8-bit counts
inline constexpr std::uint8_t kTypeFirstHalf = 0x85;   // TK0..TK7 as 16-bit values
inline constexpr std::uint8_t kTypeSecondHalf = 0xC5;  // TK8..TK15 as 16-bit values

inline constexpr int kDeviceTyped = 292;  // 0x124: typed reports
inline constexpr int kDevicePlain = 296;  // 0x128: plain reports

}  // namespace keyscope::report
