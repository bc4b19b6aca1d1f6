// One paint of a full chart: 300 samples at 400 x 300, readout shown.
// Target: under 1 ms median.

#include <cmath>

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>

#include "views/timebar/TimeBarChart.h"

namespace {

using keyscope::ChannelRecord;
using keyscope::KeySample;
using keyscope::TimeBarChart;

struct FullChart {
    std::int32_t trigger = 40;
    ChannelRecord record;
    TimeBarChart chart;

    explicit FullChart(bool raw) {
        record.name = "TK3";
        record.percentRef = &trigger;
        record.rawMode = raw ? 1 : 0;
        record.maxValue = 1200;
        record.value = 1180;
        // A touch in the middle and a little noise, so every trace has corners.
        for (int i = 0; i < 300; ++i) {
            const bool touched = i > 100 && i < 160;
            const int value = 1180 - (touched ? 60 : 0) + static_cast<int>(3 * std::sin(i * 0.3));
            record.samples.push_back(KeySample{touched ? 0x31 : 0, value, 1200 - value});
        }
        chart.setChannel(&record);
        chart.resize(400, 300);
        QMouseEvent move(QEvent::MouseMove, QPointF(200, 100), QPointF(200, 100), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&chart, &move);
        chart.composeFrame();
    }
};

// The paint itself: compose the frame from the cached background.
void BM_ChartComposeFrame(benchmark::State& state) {
    FullChart full(state.range(0) != 0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(full.chart.composeFrame().constBits());
    }
}
BENCHMARK(BM_ChartComposeFrame)->Arg(0)->Arg(1)->ArgName("raw")->Unit(benchmark::kMicrosecond);

// The whole paint event, including the copy to the target surface.
void BM_ChartPaintEvent(benchmark::State& state) {
    FullChart full(false);
    QImage target(400, 300, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        full.chart.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_ChartPaintEvent)->Unit(benchmark::kMicrosecond);

// The per-resize work, for comparison: layout and background.
void BM_ChartResize(benchmark::State& state) {
    FullChart full(false);
    int step = 0;
    for (auto _ : state) {
        full.chart.resize(400 + (step++ & 1), 300);
        benchmark::DoNotOptimize(full.chart.composeFrame().constBits());
    }
}
BENCHMARK(BM_ChartResize)->Unit(benchmark::kMicrosecond);

}  // namespace
