#pragma once
// The target memory image an ICE board delivers, taken into the channel model.

#include <cstdint>
#include <span>

#include "device/ChannelModel.h"

namespace keyscope {

inline constexpr int kIceImageSize = 65;  // the values start at byte 1
inline constexpr std::int32_t kIceMaxValid = 2047;

using IceImageBytes = std::span<const std::uint8_t, kIceImageSize>;

// Where the target program keeps its values.
struct IceLayout {
    std::uint32_t channelCount = 0;  // keys the target measures, at most 16
    std::uint32_t valueWidth = 0;    // 2: 16-bit values high byte first; else one byte
};

// Key `key`'s value in the image.
std::int32_t iceValue(IceImageBytes image, const IceLayout& layout, int key);
// False when a 16-bit value of a measured key is above kIceMaxValid.
bool iceImageValid(IceImageBytes image, const IceLayout& layout);

// The read cycle: every key's count, rule raise; an invalid 16-bit value of a
// measured key counts as 0.
void takeIceCounts(ChannelModel& model, IceImageBytes image, const IceLayout& layout);
// Every key value, or none when the image is invalid.
void takeIceKeyValues(ChannelModel& model, IceImageBytes image, const IceLayout& layout);
// Byte values set the references alone; 16-bit values of a valid image become
// counts and references at once (samples with diff 0), an invalid image gives none.
void takeIceMaxValues(ChannelModel& model, IceImageBytes image, const IceLayout& layout,
                      bool byteValues);

}  // namespace keyscope
