// Arbitrary bytes on the serial line must never crash the frame walk.
#include <cstddef>
#include <cstdint>

#include "fakes/DeviceFakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    keyscope::fakes::FakeBoard f;
    if (f.board->open(keyscope::kSelectorSerial) != 1) {
        return 0;
    }
    // Split into reads of at most 600 bytes, as the port delivers them.
    for (std::size_t at = 0; at < size; at += 600) {
        const std::size_t n = size - at < 600 ? size - at : 600;
        f.serial->chunks.emplace_back(data + at, data + at + n);
    }
    while (!f.serial->chunks.empty()) {
        f.board->readCycle();
    }
    return 0;
}
