#include "device/SerialFrameDecoder.h"

namespace keyscope {

namespace {

constexpr std::uint8_t kFrameReference = 0xF0;
constexpr std::uint8_t kFrameData = 0xF1;
constexpr std::uint8_t kTripletKeyCode = 0xF2;
constexpr std::uint8_t kTripletFirstKey = 0x30;  // '0' names TK0, '?' TK15
constexpr std::uint8_t kTripletLastKey = kTripletFirstKey + kChannelCount - 1;
constexpr std::size_t kTripletSize = 3;

}  // namespace

void takeSerialFrames(ChannelModel& model, std::span<const std::uint8_t> bytes) {
    const std::size_t received = bytes.size();
    std::size_t i = 0;
    while (i < received) {
        const std::uint8_t marker = bytes[i];
        if (marker != kFrameReference && marker != kFrameData) {
            ++i;
            continue;
        }
        // A length byte that did not arrive counts as 0, as the zeroed read buffer gives it.
        const std::size_t n = i + 1 < received ? bytes[i + 1] : 0;
        const bool reference = marker == kFrameReference;
        const MaxRule rule = reference ? MaxRule::Set : MaxRule::Leave;
        const SampleKind kind = reference ? SampleKind::Reference : SampleKind::Reading;
        model.setKeyCode(0);
        for (std::size_t offset = 0; offset < n; offset += kTripletSize) {
            const std::size_t at = i + 2 + offset;
            if (at + kTripletSize > received) {
                break;  // only triplets that arrived whole are taken
            }
            const std::uint8_t code = bytes[at];
            if (code >= kTripletFirstKey && code <= kTripletLastKey) {
                model.appendSample(code - kTripletFirstKey, bytes[at + 1] | (bytes[at + 2] << 8),
                                   rule, kind);
            } else if (code == kTripletKeyCode) {
                model.setKeyCode(bytes[at + 1] != 0 ? 1 : 0);
            }
        }
        i += 2 + n + 1;  // marker, length, triplet area, one byte skipped unread
    }
}

}  // namespace keyscope
