#pragma once
// The start-up command line that names an ICE target: chip code, address,
// key count, "IRAM", value width, and optionally the window to notify on close
// and the trigger percentage. Fields are cut at every single space.

#include <cstdint>
#include <string_view>

namespace keyscope {

struct ChipInfo {
    std::uint32_t selector = 0;  // ICE chip selector
    std::uint32_t maxKeys = 16;  // largest key count the chip allows
};

// Exact, case-sensitive; an unknown code gives selector 0 with 16 keys.
ChipInfo chipInfo(std::string_view chipCode);

struct TargetCommandLine {
    int fieldCount = 0;  // fewer than 4 means no target
    std::uint32_t selector = 0;
    std::uint32_t address = 0;
    std::uint32_t channelCount = 0;  // already limited to 16 and to the chip's maximum
    std::uint32_t iramSpace = 0;
    std::uint32_t valueWidth = 1;
    std::uint64_t notifyWindow = 0;
    std::uint32_t notifyMessage = 0;
    std::uint32_t notifyParam = 0;
    std::int32_t icePercent = 0;

    bool namesTarget() const { return fieldCount >= 4; }
};

TargetCommandLine parseTargetCommandLine(std::string_view line);

}  // namespace keyscope
