// The HID module over a fake hidapi fed arbitrary device bytes: a report
// descriptor, then the input reports the device sends. Identification and the
// answer framing must never crash, whatever a device says.
#include <cstddef>
#include <cstdint>
#include <deque>

#include "hid/FakeHidapi.h"
#include "hid/keyscope_hid.h"

using namespace keyscope::fakehid;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    // Byte 0: the descriptor's length; then the descriptor; then reports, each
    // a length byte (bit 7: echo the request's code and tag, as a board does) and its bytes.
    const std::size_t descriptorSize = std::min<std::size_t>(data[0], size - 1);
    resetBus();
    auto device = plug("/dev/hidraw0", 0x04d8, 292, Bytes(data + 1, data + 1 + descriptorSize));
    std::deque<std::pair<bool, Bytes>> reports;
    for (std::size_t at = 1 + descriptorSize; at < size;) {
        const std::size_t length = std::min<std::size_t>(data[at] & 0x7F, size - at - 1);
        reports.emplace_back((data[at] & 0x80) != 0, Bytes(data + at + 1, data + at + 1 + length));
        at += 1 + length;
    }
    device->board = [&reports](Device& d, const Bytes& request) {
        if (reports.empty()) {
            return;
        }
        auto [echo, report] = reports.front();
        reports.pop_front();
        if (echo && report.size() == 64) {
            report[0] = request.at(0);
            report[63] = request.at(1);
        }
        d.input.push_back(report);
    };
    unsigned char report[64] = {};
    if (vnHidOpen(292, 0, 0) == 0) {
        while (!reports.empty() && vnHidReadData(report) != 1) {
        }
        vnHidReadMax(report);
        vnHidReadKey(report);
        vnHidWrite(report);
    }
    return 0;
}
