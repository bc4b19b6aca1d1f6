// One refresh of the Key Statistics window as a poll brings it, ten minutes into
// a session: every key takes a reading, the figures are recomputed over all
// the session's readings and the window repaints (offscreen). At two refreshes
// a second, the CPU share is twice this time per second.
#include <benchmark/benchmark.h>

#include "dashboard/KeyStatisticsWindow.h"
#include "fakes/DeviceFakes.h"

namespace {

using namespace keyscope;

void BM_KeyStatisticsWindow_RefreshAndPaint(benchmark::State& state) {
    fakes::FakeBoard f;
    if (!f.board->open(kSelectorSerial)) {
        state.SkipWithError("the fake serial board did not open");
        return;
    }
    int reading = 0;
    auto poll = [&] {
        for (int k = 0; k < kChannelCount; ++k)
            f.board->appendSample(k, reading % 25 == 0 ? 900 : 1000 + (reading * 7 + k) % 11,
                                  MaxRule::Leave);
        ++reading;
    };
    KeyStatisticsWindow window(*f.board, f.messages, 30);
    std::vector<int> all(kChannelCount);
    for (int k = 0; k < kChannelCount; ++k)
        all[static_cast<std::size_t>(k)] = k;
    window.setShownKeys(all);
    window.show();
    for (int i = 0; i < 20 * 600; ++i) {  // ten minutes of polls
        poll();
        window.pollDone();
    }
    window.repaint();
    for (auto _ : state) {
        poll();
        window.pollDone();
        window.refresh();
        window.repaint();
    }
}
BENCHMARK(BM_KeyStatisticsWindow_RefreshAndPaint)->Unit(benchmark::kMicrosecond);

}  // namespace
