#include "sim/SerialFrames.h"

namespace keyscope::sim {

namespace {

void putTriplet(std::vector<std::uint8_t>& frame, std::uint8_t code, std::uint16_t value) {
    frame.push_back(code);
    frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(value >> 8));
}

// Fills in n and the trailing byte once the triplets are in place. The
// trailing byte is a sum of the triplet area; receivers skip it.
void finish(std::vector<std::uint8_t>& frame) {
    const std::size_t n = frame.size() - 2;
    frame[1] = static_cast<std::uint8_t>(n);
    std::uint8_t sum = 0;
    for (std::size_t i = 2; i < frame.size(); ++i) {
        sum = static_cast<std::uint8_t>(sum + frame[i]);
    }
    frame.push_back(sum);
}

}  // namespace

std::vector<std::uint8_t> referenceFrame(const SignalModel& model) {
    return referenceFrame(model.referenceCounts());
}

std::vector<std::uint8_t> dataFrame(const SignalModel& model, std::int64_t nowMs) {
    return dataFrame(model.counts(nowMs), model.keyCode(nowMs));
}

std::vector<std::uint8_t> referenceFrame(const std::array<std::uint16_t, kSimKeyCount>& counts) {
    std::vector<std::uint8_t> frame{kReferenceFrame, 0};
    for (int k = 0; k < kSimKeyCount; ++k) {
        putTriplet(frame, static_cast<std::uint8_t>(0x30 + k), counts[k]);
    }
    finish(frame);
    return frame;
}

std::vector<std::uint8_t> dataFrame(const std::array<std::uint16_t, kSimKeyCount>& counts,
                                    std::uint8_t keyCode) {
    std::vector<std::uint8_t> frame{kDataFrame, 0};
    putTriplet(frame, kKeyCodeTriplet, keyCode);
    for (int k = 0; k < kSimKeyCount; ++k) {
        putTriplet(frame, static_cast<std::uint8_t>(0x30 + k), counts[k]);
    }
    finish(frame);
    return frame;
}

}  // namespace keyscope::sim
