// The scattering-diagram chart with the largest run the program makes: 51 orders of 5000
// points each, a total of 100000 angles and the 51-point Airy curve (and, in the Debye
// cases, a Debye line of 100000 angles for every order). Filling the series, redrawing the
// chart, and the whole offscreen rendering of orvane-batch --chart-png.
#include <cmath>

#include <QApplication>

#include <benchmark/benchmark.h>

#include "app/ChartRender.h"
#include "app/ScatteringChart.h"
#include "raytrace/OrderPalette.h"

namespace {

constexpr int kAngles = 100000;

orvane::DiagramSeries LargestRun(bool debye)
{
    constexpr int kRays = 5000;
    orvane::DiagramSeries r;
    for (int p = 0; p <= orvane::kMaxOrder; ++p) {
        orvane::SeriesData& s = r.orders[static_cast<std::size_t>(p)];
        s.active = true;
        s.title = "p=" + std::to_string(p);
        s.color = orvane::kOrderPalette[static_cast<std::size_t>(p)];
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
    if (debye) {
        for (int p = 0; p <= orvane::kMaxOrder; ++p) {
            orvane::SeriesData& s = r.debye[static_cast<std::size_t>(p)];
            s.active = true;
            s.title = "Debye p=" + std::to_string(p);
            s.color = orvane::kOrderPalette[static_cast<std::size_t>(p)];
            s.x = r.total.x;
            s.y.resize(kAngles);
            for (int e = 0; e < kAngles; ++e) {
                const double t = static_cast<double>(e) / (kAngles - 1);
                s.y[static_cast<std::size_t>(e)] = -1.2 - 0.1 * p + 2.0 * std::sin(7.0 * t + p) * std::cos(31.0 * t);
            }
        }
    }
    r.legendVisible = true;
    return r;
}

const orvane::DiagramSeries& Run()
{
    static const orvane::DiagramSeries run = LargestRun(false);
    return run;
}

const orvane::DiagramSeries& RunWithDebyeLines()
{
    static const orvane::DiagramSeries run = LargestRun(true);
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

// The same with a Debye line of 100000 angles for each of the 51 orders.
void BM_ChartFillWithDebyeLines(benchmark::State& state)
{
    orvane::ScatteringChart chart;
    chart.resize(611, 372);
    for (auto _ : state)
        chart.loadDiagram(RunWithDebyeLines());
    state.SetItemsProcessed(state.iterations() * (51 * 5000 + 100000 + 51 * kAngles));
}
BENCHMARK(BM_ChartFillWithDebyeLines)->Unit(benchmark::kMillisecond);

void BM_ChartReplotWithDebyeLines(benchmark::State& state)
{
    orvane::ScatteringChart chart;
    chart.resize(611, 372);
    chart.loadDiagram(RunWithDebyeLines());
    for (auto _ : state)
        chart.replot(QCustomPlot::rpImmediateRefresh);
}
BENCHMARK(BM_ChartReplotWithDebyeLines)->Unit(benchmark::kMillisecond);

// The hover read-out's look-up of the point under the pointer, in the middle of the plot.
void BM_ChartPointUnderPointer(benchmark::State& state)
{
    orvane::ScatteringChart chart;
    chart.resize(611, 372);
    chart.setDiagram(state.range(0) != 0 ? RunWithDebyeLines() : Run());
    const QPointF centre = chart.axisRect()->rect().center();
    int index = -1;
    for (auto _ : state)
        benchmark::DoNotOptimize(chart.seriesAt(centre, &index));
}
BENCHMARK(BM_ChartPointUnderPointer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

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
    RunWithDebyeLines();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
