#include "device/PlainHidLink.h"

#include "device/HidReportDecoder.h"

namespace keyscope {

bool PlainHidLink::read(std::uint8_t* report) {
    if (module().read(kReportSize, report)) {
        return true;
    }
    failed();
    return false;
}

bool PlainHidLink::readCycle() {
    std::uint8_t report[kReportSize] = {};
    if (!read(report)) {
        return false;
    }
    takePlainCounts(context_.model, report);
    return true;
}

bool PlainHidLink::readKeyValues(std::uint8_t* report) {
    if (!read(report)) {
        return false;
    }
    takeByteValues(context_.model, HidReportBytes(report, kReportSize), &ChannelRecord::keyValue);
    return true;
}

bool PlainHidLink::readMaxValues() {
    std::uint8_t report[kReportSize] = {};
    if (!read(report)) {
        return false;
    }
    takeByteValues(context_.model, HidReportBytes(report, kReportSize), &ChannelRecord::maxValue);
    return true;
}

}  // namespace keyscope
