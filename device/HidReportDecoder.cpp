#include "device/HidReportDecoder.h"

namespace keyscope {

namespace {

constexpr int kHalfKeys = kChannelCount / 2;

TypedReport kindOf(HidReportBytes report) {
    switch (report[report::kType]) {
        case report::kTypeBytes:
            return TypedReport::Bytes;
        case report::kTypeFirstHalf:
            return TypedReport::FirstHalf;
        case report::kTypeSecondHalf:
            return TypedReport::SecondHalf;
        default:
            return TypedReport::Unknown;
    }
}

// 16-bit value j (0..7) of a typed report half, low byte first.
std::int32_t halfValue(HidReportBytes report, int j) {
    return report[report::kFirstKey + 2 * j] | (report[report::kFirstKey + 1 + 2 * j] << 8);
}

int firstKeyOf(TypedReport half) {
    return half == TypedReport::FirstHalf ? 0 : kHalfKeys;
}

void appendBytes(ChannelModel& model, HidReportBytes report) {
    for (int k = 0; k < kChannelCount; ++k) {
        model.appendSample(k, report[report::kFirstKey + k], MaxRule::Raise);
    }
}

}  // namespace

void takePlainCounts(ChannelModel& model, HidReportBytes report) {
    model.setKeyCode(report[report::kKeyCode]);
    if (report[report::kFirstKey] != 0) {
        appendBytes(model, report);
    }
}

TypedReport takeTypedCounts(ChannelModel& model, HidReportBytes report) {
    model.setKeyCode(report[report::kKeyCode]);
    const TypedReport kind = kindOf(report);
    if (kind == TypedReport::Bytes) {
        appendBytes(model, report);
    } else if (kind != TypedReport::Unknown) {
        const int first = firstKeyOf(kind);
        for (int j = 0; j < kHalfKeys; ++j) {
            model.appendSample(first + j, halfValue(report, j), MaxRule::Leave);
        }
    }
    return kind;
}

void takeByteValues(ChannelModel& model, HidReportBytes report,
                    std::int32_t ChannelRecord::*field) {
    for (int k = 0; k < kChannelCount; ++k) {
        model[k].*field = report[report::kFirstKey + k];
    }
}

TypedReport takeTypedValues(ChannelModel& model, HidReportBytes report,
                            std::int32_t ChannelRecord::*field) {
    const TypedReport kind = kindOf(report);
    if (kind == TypedReport::Bytes) {
        takeByteValues(model, report, field);
    } else if (kind != TypedReport::Unknown) {
        const int first = firstKeyOf(kind);
        for (int j = 0; j < kHalfKeys; ++j) {
            model[first + j].*field = halfValue(report, j);
        }
    }
    return kind;
}

}  // namespace keyscope
