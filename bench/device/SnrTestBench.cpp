// One poll's update of the SNR test: a reading of each of sixteen keys in the
// touch phase, judged by the count rule, presses and releases in turn so that
// both the settling and the counted readings run.
#include <benchmark/benchmark.h>

#include <array>

#include "device/SnrTest.h"

namespace {

using namespace keyscope;

// A test in its touch phase, after a quiet phase of counts 1000..1006.
void beginTouchPhase(SnrTest& test, const SnrSettings& settings) {
    std::array<int, kChannelCount> keys{};
    for (int k = 0; k < kChannelCount; ++k)
        keys[k] = k;
    if (!test.start(settings, KeyCodeKind::AnyKey, keys, 0))
        return;
    for (int i = 0; i < 100; ++i)
        for (int k = 0; k < kChannelCount; ++k)
            test.feed(k, KeySample{0, 1000 + i % 7, 10}, 0);
    test.advance(settings.quietMs);
    test.beginTouch(settings.quietMs);
}

void BM_SnrTest_OneUpdateOfSixteenKeys(benchmark::State& state) {
    SnrSettings settings;
    settings.touchedReadings = kMaxTouchedReadings;
    settings.touchTimeoutMs = kMaxTouchTimeoutMs;
    SnrTest test;
    long poll = 0;
    for (auto _ : state) {
        if (test.phase() != SnrPhase::Touch) {  // every key has its readings: again
            state.PauseTiming();
            beginTouchPhase(test, settings);
            state.ResumeTiming();
        }
        // Five pressed polls, then five resting.
        const bool pressed = poll++ % 10 < 5;
        const KeySample sample{pressed ? 1 : 0, pressed ? 900 : 1003, pressed ? 110 : 7};
        for (int k = 0; k < kChannelCount; ++k)
            test.feed(k, sample, settings.quietMs + 1);
    }
    state.SetItemsProcessed(state.iterations() * kChannelCount);
}
BENCHMARK(BM_SnrTest_OneUpdateOfSixteenKeys);

}  // namespace

BENCHMARK_MAIN();
