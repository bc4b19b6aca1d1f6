// Arbitrary memory images and target layouts must never crash the ICE image
// decoders, and no invalid 16-bit count of a measured key may become a count.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "device/IceImageDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    // Byte 0: the key count (also past 16); byte 1: the value width; byte 2: byte values.
    const keyscope::IceLayout layout{data[0], data[1]};
    const bool byteValues = data[2] & 1;
    keyscope::ChannelModel model;
    for (std::size_t at = 3; at < size; at += keyscope::kIceImageSize) {
        std::array<std::uint8_t, keyscope::kIceImageSize> image{};
        std::memcpy(image.data(), data + at,
                    std::min<std::size_t>(keyscope::kIceImageSize, size - at));
        keyscope::takeIceMaxValues(model, image, layout, byteValues);
        keyscope::takeIceKeyValues(model, image, layout);
        keyscope::takeIceCounts(model, image, layout);
        for (int k = 0; k < keyscope::kChannelCount; ++k) {
            const bool measured = static_cast<std::uint32_t>(k) < layout.channelCount;
            if (layout.valueWidth == 2 && measured && model[k].value > keyscope::kIceMaxValid) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
