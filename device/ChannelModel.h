#pragma once
// The sixteen channel records and the key code their samples carry: what the
// report decoders write into, and the board connection hands out.

#include <array>
#include <cstdint>

#include "device/ChannelRecord.h"

namespace keyscope {

class ChannelModel {
  public:
    ChannelModel();

    // Record 0..15; callers check the index.
    ChannelRecord& operator[](int index) { return channels_[index]; }
    const ChannelRecord& operator[](int index) const { return channels_[index]; }

    std::int32_t keyCode() const { return keyCode_; }
    const std::int32_t* keyCodeAddress() const { return &keyCode_; }
    // Samples appended from now on carry this code.
    void setKeyCode(std::int32_t code) { keyCode_ = code; }
    std::uint64_t appendedSamples() const { return appendedSamples_; }
    // Samples appended to one channel (0..15) since construction; with the history's
    // size it tells a reader which of them are new, however many a read cycle took.
    std::uint64_t appendedSamples(int channel) const { return appendedTo_[channel]; }

    // Stores the count, updates maxValue by the rule, appends a sample (dropping
    // the oldest beyond kMaxSamples). Inline: every decoded count passes here.
    void appendSample(int channel, std::int32_t value, MaxRule rule,
                      SampleKind kind = SampleKind::Reading) {
        ChannelRecord& record = channels_[channel];
        record.value = value;
        if (rule == MaxRule::Set || (rule == MaxRule::Raise && value > record.maxValue)) {
            record.maxValue = value;
        }
        if (record.samples.size() >= kMaxSamples) {
            record.samples.pop_front();
        }
        record.samples.push_back(
            KeySample{keyCode_, value, record.maxValue - value, kind == SampleKind::Reference});
        ++appendedSamples_;
        ++appendedTo_[channel];
    }
    // Empties every history; a channel that had samples gets value, keyValue and maxValue 0.
    // The counts of appended samples go on.
    void clearSamples();

  private:
    std::array<ChannelRecord, kChannelCount> channels_;
    std::int32_t keyCode_ = 0;
    std::uint64_t appendedSamples_ = 0;
    std::array<std::uint64_t, kChannelCount> appendedTo_{};
};

}  // namespace keyscope
