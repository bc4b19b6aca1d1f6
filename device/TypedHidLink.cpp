#include "device/TypedHidLink.h"

#include <cstring>

#include "device/HidReportDecoder.h"

namespace keyscope {

bool TypedHidLink::readCycle() {
    for (int firstHalves = 0;; ++firstHalves) {
        context_.model.setKeyCode(0);
        std::uint8_t report[kReportSize] = {};
        if (!module().readData(report)) {
            if (firstHalves > 0) {
                return true;
            }
            failed();
            return false;
        }
        const TypedReport kind = takeTypedCounts(context_.model, report);
        if (kind == TypedReport::Bytes) {
            context_.byteValues = 1;
        }
        if (kind != TypedReport::FirstHalf) {
            return true;
        }
        context_.byteValues = 0;
        if (firstHalves + 1 >= kMaxChainedFirstHalves) {
            return false;
        }
        context_.pauser.pause(10);
    }
}

bool TypedHidLink::readKeyValues(std::uint8_t* report) {
    return readValues(&HidModule::readKey, &ChannelRecord::keyValue, report, 0) ==
           ValuesRead::Taken;
}

bool TypedHidLink::readMaxValues() {
    std::uint8_t report[kReportSize] = {};
    return readValues(&HidModule::readMax, &ChannelRecord::maxValue, report, 0) ==
           ValuesRead::Taken;
}

bool TypedHidLink::readWithRetry(Read read, std::uint8_t* report) {
    if ((module().*read)(report)) {
        return true;
    }
    context_.pauser.pause(100);
    // The failed call may have written part of a report; the retry starts clean.
    std::memset(report, 0, kReportSize);
    return (module().*read)(report);
}

TypedHidLink::ValuesRead TypedHidLink::readValues(Read read, std::int32_t ChannelRecord::*field,
                                                  std::uint8_t* report, int depth) {
    if (!readWithRetry(read, report)) {
        failed();
        return ValuesRead::Failed;
    }
    const HidReportBytes bytes(report, kReportSize);
    if (takeTypedValues(context_.model, bytes, field) == TypedReport::FirstHalf) {
        if (depth + 1 >= kMaxChainedFirstHalves) {
            return ValuesRead::EndlessHalves;
        }
        // The second half comes from a fresh read of the same kind; its
        // result does not decide this one, unless the chain never ends.
        context_.pauser.pause(10);
        std::uint8_t second[kReportSize] = {};
        if (readValues(read, field, second, depth + 1) == ValuesRead::EndlessHalves) {
            return ValuesRead::EndlessHalves;
        }
    }
    return ValuesRead::Taken;
}

}  // namespace keyscope
