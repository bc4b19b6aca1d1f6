// Arbitrary bytes as a recording file must be refused or replayed, never crash.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sim/Recording.h"
#include "sim/ReplaySignal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace keyscope::sim;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    RecordingLoad load = parseRecording(text, "fuzz.csv");
    if (!load.recording) {
        return 0;
    }
    (void)checkRecordingFits(*load.recording, 255, "bytes");
    // The first byte picks the speed and the looping, so both are explored.
    const double speed = 0.25 + static_cast<double>(size > 0 ? data[0] % 64 : 0) / 4.0;
    ReplaySignal replay(std::move(*load.recording), speed, size > 0 && (data[0] & 0x80) != 0);
    for (int poll = 0; poll < 64; ++poll) {
        replay.advance();
        if (replay.counts()[0] > replay.referenceCounts()[0]) {
            __builtin_trap();  // the reference is the largest count of the file
        }
    }
    return 0;
}
