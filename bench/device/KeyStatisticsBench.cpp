// One statistics pass as the Key Statistics window makes it: sixteen keys'
// sessions ten minutes long, their figures and margins over every reading.
#include <benchmark/benchmark.h>

#include "device/KeyStatistics.h"
#include "fakes/DeviceFakes.h"

namespace {

using namespace keyscope;

void BM_KeyStatistics_SixteenTenMinuteSessions(benchmark::State& state) {
    fakes::FakeBoard f;
    StatisticsSession session;
    session.restart(*f.board);
    // Resting counts with a little noise, every tenth reading pressed.
    for (int i = 0; i < 20 * 600; ++i) {
        for (int k = 0; k < kChannelCount; ++k)
            f.board->appendSample(k, i % 10 == 0 ? 900 : 1000 + i % 7, MaxRule::Raise);
        session.take(*f.board);
    }
    const TouchRule rule = touchRuleFor(kLinkIce, 30);
    for (auto _ : state) {
        for (int k = 0; k < kChannelCount; ++k) {
            // Not const: the benchmark library keeps a value from being optimised
            // away only through a modifiable reference.
            KeyFigures figures = session.key(k).touchStats(rule).figures();
            KeyMargins margins = session.key(k).margins(rule);
            benchmark::DoNotOptimize(figures);
            benchmark::DoNotOptimize(margins);
        }
    }
    state.SetItemsProcessed(state.iterations() * kChannelCount);
}
BENCHMARK(BM_KeyStatistics_SixteenTenMinuteSessions);

}  // namespace

BENCHMARK_MAIN();
