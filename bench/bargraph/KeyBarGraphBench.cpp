// Cost of the bar graph's two drawing paths at the dashboard's sixteen-key size: the paint
// that every 50 ms poll triggers and the cache rebuild of a resize.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM names another.

#include <benchmark/benchmark.h>

#include <QApplication>

#include <array>
#include <string>

#include "device/ChannelRecord.h"
#include "views/bargraph/KeyBarGraph.h"

namespace {

using keyscope::ChannelRecord;
using keyscope::KeyBarGraph;

struct SixteenKeys {
    explicit SixteenKeys(std::uint8_t raw) {
        for (int i = 0; i < keyscope::kChannelCount; ++i) {
            records[i].name = "TK" + std::to_string(i);
            records[i].maxValue = 1150 + i;
            records[i].value = 1150 - 3 * i;
            graph.attachChannel(i, &records[i]);
        }
        graph.setRawMode(raw);
        for (int s = 0; s < keyscope::kChannelCount; ++s) {
            graph.setRange(s, raw ? 1200 : 100, raw ? 1100 : 0);
        }
        graph.setKeyCodeSource(&keyCode);
        graph.resize(1000, 640);
        graph.show();
        QApplication::processEvents();
    }
    // Moves every count a little, as a poll does, so each paint has fresh figures.
    void poll(int tick) {
        for (int i = 0; i < keyscope::kChannelCount; ++i) {
            records[i].value = 1150 - 3 * i - (tick + i) % 20;
        }
        keyCode = (tick / 20) % 2 ? 0x33 : 0;
    }

    std::array<ChannelRecord, keyscope::kChannelCount> records;
    std::int32_t keyCode = 0;
    KeyBarGraph graph;
};

void paintSixteenBars(benchmark::State& state, std::uint8_t raw) {
    SixteenKeys keys(raw);
    int tick = 0;
    for (auto _ : state) {
        keys.poll(++tick);
        keys.graph.repaint();  // synchronous paint event into the window's backing store
    }
}

// The same frame drawn into a fresh image, without the window system.
void BM_RenderFrameRaw(benchmark::State& state) {
    SixteenKeys keys(1);
    int tick = 0;
    for (auto _ : state) {
        keys.poll(++tick);
        benchmark::DoNotOptimize(keys.graph.renderFrame());
    }
}

void BM_PaintSixteenBarsRaw(benchmark::State& state) {
    paintSixteenBars(state, 1);
}
void BM_PaintSixteenBarsDifference(benchmark::State& state) {
    paintSixteenBars(state, 0);
}

void BM_Resize(benchmark::State& state) {
    SixteenKeys keys(1);
    int height = 640;
    for (auto _ : state) {
        height = height == 640 ? 641 : 640;
        keys.graph.resize(1000, height);  // the resize event rebuilds the caches at once
    }
    if (keys.graph.layout().height != height) {
        state.SkipWithError("resize did not reach the control synchronously");
    }
}

BENCHMARK(BM_PaintSixteenBarsRaw)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_PaintSixteenBarsDifference)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_RenderFrameRaw)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Resize)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
