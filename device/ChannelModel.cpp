#include "device/ChannelModel.h"

#include <string>

namespace keyscope {

ChannelModel::ChannelModel() {
    for (int k = 0; k < kChannelCount; ++k) {
        channels_[k].name = "TK" + std::to_string(k);
    }
}

void ChannelModel::clearSamples() {
    for (ChannelRecord& record : channels_) {
        if (!record.samples.empty()) {
            record.samples.clear();
            record.value = 0;
            record.keyValue = 0;
            record.maxValue = 0;
        }
    }
}

}  // namespace keyscope
