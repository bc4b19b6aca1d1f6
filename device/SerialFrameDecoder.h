#pragma once
// The board's serial frames, taken into the channel model.

#include <cstdint>
#include <span>

#include "device/ChannelModel.h"

namespace keyscope {

// Walks one read's bytes: every frame's whole triplets append key counts (rule
// set in a reference frame, whose samples are marked as references; leave in a
// data frame) or set the key code; bytes outside frames are skipped.
void takeSerialFrames(ChannelModel& model, std::span<const std::uint8_t> bytes);

}  // namespace keyscope
