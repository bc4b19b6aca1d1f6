// Cost of one poll's read cycle: a full serial buffer and a 16-bit HID pair.
#include <benchmark/benchmark.h>

#include "fakes/DeviceFakes.h"

namespace {

using keyscope::fakes::FakeBoard;

// 600 bytes of data frames, each carrying all sixteen keys and a key code.
std::vector<std::uint8_t> fullSerialBuffer() {
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < 600) {
        bytes.push_back(0xF1);
        bytes.push_back(17 * 3);
        for (int k = 0; k < 16; ++k) {
            bytes.insert(bytes.end(), {static_cast<std::uint8_t>(0x30 + k), 0x34, 0x02});
        }
        bytes.insert(bytes.end(), {0xF2, 0x01, 0x00, 0x00});
    }
    bytes.resize(600);
    return bytes;
}

void BM_ReadCycle_Serial600Bytes(benchmark::State& state) {
    FakeBoard f;
    if (!f.board->open(keyscope::kSelectorSerial)) {
        state.SkipWithError("the fake serial board did not open");
        return;
    }
    const auto bytes = fullSerialBuffer();
    for (auto _ : state) {
        f.serial->chunks.push_back(bytes);
        benchmark::DoNotOptimize(f.board->readCycle());
    }
}
BENCHMARK(BM_ReadCycle_Serial600Bytes);

void BM_ReadCycle_HidHalfPair(benchmark::State& state) {
    FakeBoard f;
    f.hid->answeringIds = {keyscope::kHidDeviceTyped};
    f.hid->max.push_back({true, keyscope::fakes::typedReport(0x55, {200})});
    f.hid->key.push_back({true, keyscope::fakes::typedReport(0x55, {10})});
    if (!f.board->open(keyscope::kSelectorHid)) {
        state.SkipWithError("the fake HID board did not open");
        return;
    }
    const auto first = keyscope::fakes::typedReport(0x85, {700, 701, 702, 703, 704, 705, 706, 707});
    const auto second =
        keyscope::fakes::typedReport(0xC5, {708, 709, 710, 711, 712, 713, 714, 715});
    for (auto _ : state) {
        f.hid->data.push_back({true, first});
        f.hid->data.push_back({true, second});
        benchmark::DoNotOptimize(f.board->readCycle());
        f.pauser.pauses.clear();
        f.journal.clear();
    }
}
BENCHMARK(BM_ReadCycle_HidHalfPair);

}  // namespace

BENCHMARK_MAIN();
