// One statistics pass as the Key Statistics window makes it: sixteen full
// 300-sample histories, each key read where it lies.
#include <benchmark/benchmark.h>

#include "device/KeyStatistics.h"
#include "fakes/DeviceFakes.h"

namespace {

using namespace keyscope;

void BM_KeyStatistics_SixteenFullHistories(benchmark::State& state) {
    fakes::FakeBoard f;
    // Resting counts with a little noise, every tenth reading pressed.
    for (std::size_t i = 0; i < kMaxSamples; ++i)
        for (int k = 0; k < kChannelCount; ++k)
            f.board->appendSample(k, i % 10 == 0 ? 900 : 1000 + static_cast<int>(i % 7),
                                  MaxRule::Raise);
    const TouchRule rule = touchRuleFor(kLinkIce, 30);
    for (auto _ : state) {
        for (int k = 0; k < kChannelCount; ++k) {
            // Not const: the benchmark library keeps a value from being optimised
            // away only through a modifiable reference.
            KeyFigures figures = touchStats(f.board->getChannel(k)->samples, k, rule).figures();
            benchmark::DoNotOptimize(figures);
        }
    }
    state.SetItemsProcessed(state.iterations() * kChannelCount *
                            static_cast<std::int64_t>(kMaxSamples));
}
BENCHMARK(BM_KeyStatistics_SixteenFullHistories);

}  // namespace

BENCHMARK_MAIN();
