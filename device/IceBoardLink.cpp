#include "device/IceBoardLink.h"

#include <cstring>

#include "device/IceImageDecoder.h"

namespace keyscope {

namespace {
IceLayout layoutOf(const IceTarget& target) {
    return IceLayout{target.channelCount, target.valueWidth};
}
}  // namespace

std::optional<LinkKind> IceBoardLink::open(std::uint32_t selector) {
    if (!ice_.openIceLink(selector)) {
        context_.failure = ice_.lastFailure();
        return std::nullopt;
    }
    return LinkKind::Ice;
}

bool IceBoardLink::readImage(std::uint8_t* image) {
    std::memset(image, 0, kIceImageSize);
    const auto length = static_cast<std::uint16_t>(target_.channelCount * target_.valueWidth);
    return ice_.readIceBlock(image, static_cast<std::uint16_t>(target_.address), length,
                             target_.iramSpace) != 0;
}

bool IceBoardLink::readCycle() {
    std::uint8_t image[kIceImageSize];
    if (!readImage(image)) {
        return false;
    }
    takeIceCounts(context_.model, image, layoutOf(target_));
    return true;
}

bool IceBoardLink::readKeyValues(std::uint8_t* /*report*/) {
    std::uint8_t image[kIceImageSize];
    if (readImage(image)) {
        takeIceKeyValues(context_.model, image, layoutOf(target_));
    }
    return true;
}

bool IceBoardLink::readMaxValues() {
    std::uint8_t image[kIceImageSize];
    if (readImage(image)) {
        takeIceMaxValues(context_.model, image, layoutOf(target_), context_.byteValues != 0);
    }
    return true;
}

}  // namespace keyscope
