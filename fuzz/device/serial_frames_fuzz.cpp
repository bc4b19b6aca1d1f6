// Arbitrary bytes on the serial line must never crash the frame walk, nor let
// a history grow past its bound or a key code be anything but 0 or 1.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "device/SerialFrameDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    keyscope::ChannelModel model;
    // Cut into reads of at most 600 bytes, as the port delivers them.
    const std::span<const std::uint8_t> bytes(data, size);
    for (std::size_t at = 0; at < size; at += 600) {
        keyscope::takeSerialFrames(model, bytes.subspan(at, std::min<std::size_t>(600, size - at)));
        if (model.keyCode() != 0 && model.keyCode() != 1) {
            __builtin_trap();
        }
    }
    for (int k = 0; k < keyscope::kChannelCount; ++k) {
        if (model[k].samples.size() > keyscope::kMaxSamples) {
            __builtin_trap();
        }
    }
    return 0;
}
