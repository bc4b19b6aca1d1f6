#pragma once
// A fake hidapi, linked in place of the real library under the HID module in
// tests and fuzzing: a bus of scripted devices. A device answers each output
// report through its board function, which queues input reports.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace keyscope::fakehid {

using Bytes = std::vector<std::uint8_t>;

// Queued as an input report, makes hid_read_timeout fail.
inline const Bytes kFailedRead{0xEE, 0xEE, 0xEE};

struct Device {
    std::string path;
    unsigned short vendor = 0, product = 0;
    Bytes descriptor;  // what sysfs holds
    std::deque<Bytes> input;
    std::function<void(Device&, const Bytes&)> board;  // gets each output report, without its id
    std::vector<Bytes> written;
    bool unplugged = false;
    int opens = 0, closes = 0;
};

// Unnumbered input and output reports of `bytes` bytes: 64 for a board.
inline Bytes reportDescriptor(int bytes = 64) {
    const auto n = static_cast<std::uint8_t>(bytes);  // vendor page, application collection,
    return {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08,  // 8-bit fields:
            0x95, n,    0x09, 0x01, 0x81, 0x02, 0x95, n,    0x09,
            0x01, 0x91, 0x02, 0xC0};  // in, out
}
// Queues the answer a board gives: the request's code and tag echoed, `fill` between.
inline void answerAtOnce(Device& device, const Bytes& request, std::uint8_t fill = 0x11) {
    Bytes answer(64, fill);
    answer[0] = request.at(0);
    answer[63] = request.at(1);
    device.input.push_back(answer);
}
// Unplugs every device (handles still held fail from now on) and empties the bus.
void resetBus();
std::shared_ptr<Device> plug(std::string path, unsigned short vendor, unsigned short product,
                             Bytes descriptor = reportDescriptor());

}  // namespace keyscope::fakehid
