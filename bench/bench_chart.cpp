// The scattering-diagram chart with the largest run the program makes: 51 orders of 5000
// points each, a total of 100000 angles and the 51-point Airy curve. Filling the series,
// redrawing the chart, and the whole offscreen rendering of orvane-batch --chart-png.
#include <cmath>

#include <QApplication>

#include <benchmark/benchmark.h>

#include "app/ChartRender.h"
#include "app/ScatteringChart.h"

namespace {

orvane::DiagramSeries LargestRun()
{
    constexpr int kRays = 5000;
    constexpr int kAngles = 100000;
    const orvane::TColor colours[] = {0x00FF00, 0x0000FF, 0xFF0000, 0x008000, 0x00FFFF, 0x000080,
                                      0x808000, 0x800080, 0x800000, 0xC0C0C0, 0x808080};
    orvane::DiagramSeries r;
    for (int p = 0; p <= orvane::kMaxOrder; ++p) {
        orvane::SeriesData& s = r.orders[static_cast<std::size_t>(p)];
        s.active = true;
        s.title = "p=" + std::to_string(p);
        s.color = p == 0 ? colours[0] : p <= 20 ? colours[(p - 1) % 10 + 1] : 0;
        s.x.resize(kRays);
        s.y.resize(kRays);
        // Each order sweeps part of the circle, intensities over several decades.
        for (int i = 0; i < kRays; ++i) {
            const double t = static_cast<double>(i) / (kRays - 1);
            s.x[static_cast<std::size_t>(i)] = -180.0 + 360.0 * t;
            s.y[static_cast<std::size_t>(i)] = -1.0 - 0.1 * p + 2.0 * std::sin(7.0 * t + p) * std::cos(31.0 * t);
        }
    }
    r.total.active = true;
    r.total.title = "Total";
    r.total.x.resize(kAngles);
    r.total.y.resize(kAngles);
    for (int e = 0; e < kAngles; ++e) {
        const double t = static_cast<double>(e) / (kAngles - 1);
        r.total.x[static_cast<std::size_t>(e)] = -180.0 + 360.0 * t;
        r.total.y[static_cast<std::size_t>(e)] = 1.5 * std::sin(400.0 * t) - 2.0 + std::cos(3.0 * t);
    }
    r.airy.active = true;
    r.airy.title = "Airy";
    r.airy.color = 0x707070;
    for (int n = 0; n < 51; ++n) {
        r.airy.x.push_back(-140.0 + 0.2 * n);
        r.airy.y.push_back(std::sin(0.3 * n));
    }
    r.legendVisible = true;
    return r;
}

const orvane::DiagramSeries& Run()
{
    static const orvane::DiagramSeries run = LargestRun();
    return run;
}

// Series filled, legend and axes set, no drawing.
void BM_ChartFill(benchmark::State& state)
{
    orvane::ScatteringChart chart;
    chart.resize(611, 372);
    for (auto _ : state)
        chart.loadDiagram(Run());
    state.SetItemsProcessed(state.iterations() * (51 * 5000 + 100000));
}
BENCHMARK(BM_ChartFill)->Unit(benchmark::kMillisecond);

// One redraw of the filled chart at the window's size (as after a zoom or a legend click).
void BM_ChartReplot(benchmark::State& state)
{
    orvane::ScatteringChart chart;
    chart.resize(611, 372);
    chart.loadDiagram(Run());
    for (auto _ : state)
        chart.replot(QCustomPlot::rpImmediateRefresh);
}
BENCHMARK(BM_ChartReplot)->Unit(benchmark::kMillisecond);

// What a diagram run costs the window after the computation: fill and redraw.
void BM_ChartFillAndReplot(benchmark::State& state)
{
    orvane::ScatteringChart chart;
    chart.resize(611, 372);
    for (auto _ : state)
        chart.setDiagram(Run());
}
BENCHMARK(BM_ChartFillAndReplot)->Unit(benchmark::kMillisecond);

// orvane-batch --chart-png: a chart made, filled and rendered to an image.
void BM_RenderChartImage(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(orvane::RenderChartImage(Run(), 800, 600));
}
BENCHMARK(BM_RenderChartImage)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Run();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
