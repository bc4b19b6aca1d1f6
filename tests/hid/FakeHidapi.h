#pragma once
// A fake hidapi, linked in place of the real library under the HID module in
// tests and fuzzing: a bus of scripted devices. A device answers what is
// written to it through its board function, which queues input reports.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace keyscope::fakehid {

using Bytes = std::vector<std::uint8_t>;

struct Device {
    std::string path;
    unsigned short vendor = 0;
    unsigned short product = 0;
    Bytes descriptor;         // what sysfs would hold
    std::deque<Bytes> input;  // queued input reports; kFailedRead stands for a failed read
    std::function<void(Device&, const Bytes&)> board;  // gets each output report, without its id
    std::vector<Bytes> written;
    bool unplugged = false;
    int opens = 0;
    int closes = 0;
};

// An unnumbered 64-byte input and output report, as a board declares; or,
// with `bytes` other than 64, a device that is no board.
Bytes reportDescriptor(int bytes = 64);

// A board answering each request at once: byte 0 and byte 63 of the request
// echoed, `fill` in bytes 1 to 62.
void answerAtOnce(Device& device, const Bytes& request, std::uint8_t fill = 0x11);

// Unplugs every device of earlier tests (their handles fail from now on) and
// empties the bus.
void resetBus();
// Adds a device to the bus.
std::shared_ptr<Device> plug(std::string path, unsigned short vendor, unsigned short product,
                             Bytes descriptor = reportDescriptor());

// Queued as an input report, makes hid_read_timeout fail.
inline const Bytes kFailedRead{0xEE, 0xEE, 0xEE};

}  // namespace keyscope::fakehid
