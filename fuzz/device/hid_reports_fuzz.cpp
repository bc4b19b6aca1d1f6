// Arbitrary 64-byte reports from either kind of HID board must never crash
// the report handling of any operation.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fakes/DeviceFakes.h"

using keyscope::fakes::FakeBoard;
using keyscope::fakes::ScriptedHid;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    FakeBoard f;
    // The first byte picks the board kind; the rest is cut into reports.
    f.hid->answeringIds = {data[0] & 1 ? keyscope::kHidDeviceTyped : keyscope::kHidDevicePlain};
    for (std::size_t at = 1; at < size; at += keyscope::kReportSize) {
        ScriptedHid::Answer answer;
        std::memcpy(answer.report.data(), data + at,
                    std::min<std::size_t>(keyscope::kReportSize, size - at));
        for (auto* queue : {&f.hid->plain, &f.hid->data, &f.hid->max, &f.hid->key}) {
            queue->push_back(answer);
        }
    }
    if (f.board->open(keyscope::kSelectorHid) == 1) {
        while (!f.hid->data.empty() && !f.hid->plain.empty() && f.board->readCycle() == 1) {
        }
        f.board->readKeyValues();
        f.board->readMaxValues();
        f.board->writeKeyValues();
    }
    return 0;
}
