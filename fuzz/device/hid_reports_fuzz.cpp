// Arbitrary 64-byte reports must never crash any HID report decoder, and a
// report appends at most one sample per key.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "device/HidReportDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    keyscope::ChannelModel model;
    for (std::size_t at = 0; at < size; at += keyscope::report::kSize) {
        std::array<std::uint8_t, keyscope::report::kSize> report{};
        std::memcpy(report.data(), data + at,
                    std::min<std::size_t>(keyscope::report::kSize, size - at));
        const std::uint64_t before = model.appendedSamples();
        keyscope::takePlainCounts(model, report);
        (void)keyscope::takeTypedCounts(model, report);
        if (model.appendedSamples() - before > 2 * keyscope::kChannelCount) {
            __builtin_trap();
        }
        keyscope::takeByteValues(model, report, &keyscope::ChannelRecord::maxValue);
        (void)keyscope::takeTypedValues(model, report, &keyscope::ChannelRecord::keyValue);
    }
    return 0;
}
