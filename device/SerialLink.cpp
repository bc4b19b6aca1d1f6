#include "device/SerialLink.h"

#include <algorithm>
#include <span>

#include "device/SerialFrameDecoder.h"

namespace keyscope {

namespace {
constexpr int kSerialReadSize = 600;
}  // namespace

std::optional<LinkKind> SerialLink::open(std::uint32_t /*selector*/) {
    const SerialSettings fallback;
    if (!port_.openPort(settings_ ? *settings_ : fallback)) {
        context_.failure = port_.lastFailure();
        return std::nullopt;
    }
    return LinkKind::Serial;
}

bool SerialLink::readCycle() {
    // One byte more than is asked for: the port ends what it received with a zero.
    std::uint8_t buffer[kSerialReadSize + 1] = {};
    std::size_t received = 0;
    if (port_.readPort(buffer, kSerialReadSize, received)) {
        takeSerialFrames(context_.model,
                         std::span(buffer, std::min<std::size_t>(received, kSerialReadSize)));
    }
    return true;
}

}  // namespace keyscope
