#include "device/IceImageDecoder.h"

namespace keyscope {

namespace {

// Measured keys whose values the validity rule covers.
int measuredKeys(const IceLayout& layout) {
    return layout.channelCount < kChannelCount ? static_cast<int>(layout.channelCount)
                                               : kChannelCount;
}

}  // namespace

std::int32_t iceValue(IceImageBytes image, const IceLayout& layout, int key) {
    if (layout.valueWidth == 2) {
        return (image[2 * key + 1] << 8) | image[2 * key + 2];
    }
    return image[key + 1];
}

bool iceImageValid(IceImageBytes image, const IceLayout& layout) {
    for (int k = 0; k < measuredKeys(layout); ++k) {
        if (iceValue(image, layout, k) > kIceMaxValid) {
            return false;
        }
    }
    return true;
}

void takeIceCounts(ChannelModel& model, IceImageBytes image, const IceLayout& layout) {
    const int measured = measuredKeys(layout);
    for (int k = 0; k < kChannelCount; ++k) {
        const std::int32_t value = iceValue(image, layout, k);
        const bool invalid = layout.valueWidth == 2 && k < measured && value > kIceMaxValid;
        model.appendSample(k, invalid ? 0 : value, MaxRule::Raise);
    }
}

void takeIceKeyValues(ChannelModel& model, IceImageBytes image, const IceLayout& layout) {
    if (!iceImageValid(image, layout)) {
        return;
    }
    for (int k = 0; k < kChannelCount; ++k) {
        model[k].keyValue = iceValue(image, layout, k);
    }
}

void takeIceMaxValues(ChannelModel& model, IceImageBytes image, const IceLayout& layout,
                      bool byteValues) {
    if (byteValues) {
        for (int k = 0; k < kChannelCount; ++k) {
            model[k].maxValue = image[k + 1];
        }
    } else if (iceImageValid(image, layout)) {
        for (int k = 0; k < kChannelCount; ++k) {
            model.appendSample(k, iceValue(image, layout, k), MaxRule::Set);
        }
    }
}

}  // namespace keyscope
