#include "app/ChartSeries.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <span>

#include "numeric/Angles.h"
#include "base/Format.h"
#include "base/TwoThreads.h"
#include "raytrace/OrderPalette.h"

namespace orvane {

double ChartIntensity(double intensity) { return std::log10(std::fabs(intensity) + 1e-10); }

namespace {

constexpr Color kAiryColor = 0x707070;
constexpr Color kTotalColor = 0x000000;

// The chart keeps its points by ascending x; equal angles keep their order.
void SortByAngle(SeriesData& series)
{
    if (std::is_sorted(series.x.begin(), series.x.end()))
        return;  // the grid's curves: nothing to move
    std::vector<std::size_t> order(series.x.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return series.x[a] < series.x[b]; });
    std::vector<double> x(order.size()), y(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        x[i] = series.x[order[i]];
        y[i] = series.y[order[i]];
    }
    series.x = std::move(x);
    series.y = std::move(y);
}

// A series over angles in radians: shown, in degrees against the chart's log10 intensity.
// With skipZero, a point of intensity exactly 0 is left out: a ray that did not leave in
// this order (its table slot was never written), which would otherwise sit at (0°, -10).
void FillCurve(SeriesData& series, std::span<const double> angle, std::span<const double> intensity,
               bool skipZero = false)
{
    const std::size_t n = std::min(angle.size(), intensity.size());
    series.active = true;
    series.x.reserve(n);
    series.y.reserve(n);
    for (std::size_t e = 0; e < n; ++e) {
        if (skipZero && intensity[e] == 0.0)
            continue;
        series.x.push_back(ToDegrees(angle[e]));
        series.y.push_back(ChartIntensity(intensity[e]));
    }
    SortByAngle(series);
}

// Below this many points in all a second thread is not worth starting.
constexpr std::size_t kParallelChartPoints = 50000;

} // namespace

DiagramSeries BuildChartSeries(const DiagramResult& result)
{
    const DiagramInputs& in = result.inputs;
    DiagramSeries series;
    for (int p = 0; p <= kMaxOrder; ++p) {
        SeriesData& s = series.orders[static_cast<std::size_t>(p)];
        s.title = "p=" + IntToStr(p);
        s.color = kOrderPalette[static_cast<std::size_t>(p)];
        SeriesData& d = series.debye[static_cast<std::size_t>(p)];
        d.title = "Debye p=" + IntToStr(p);
        d.color = s.color;
    }
    series.legendVisible = in.MinP != in.MaxP;
    series.total.title = "Total";
    series.total.color = kTotalColor;
    series.airy.title = "Airy";
    series.airy.color = kAiryColor;
    series.mie.title = "Exact (Mie)";
    series.mie.color = kExactBandColor;

    // The curves to fill, the longest first; each is filled on its own, so that two threads
    // share them when there are many points.
    struct Curve {
        SeriesData* series;
        std::span<const double> angle;
        std::span<const double> intensity;
        bool skipZero;  // a ray's point only where it left
    };
    std::vector<Curve> curves;
    const ScatteringGrid& grid = result.grid;
    if (result.totalComputed)
        curves.push_back({&series.total, grid.ThetaGrid, grid.TotalIntensity, false});
    if (!result.mie.empty())
        curves.push_back({&series.mie, grid.ThetaGrid, result.mie, false});
    for (std::size_t k = 0; k < result.debye.size(); ++k)
        curves.push_back({&series.debye[static_cast<std::size_t>(in.MinP) + k], grid.ThetaGrid, result.debye[k], false});
    const auto rays = static_cast<std::size_t>(result.rays.count());
    for (int p = in.MinP; p <= in.MaxP; ++p) {
        const OrderRows rows = result.order(p);
        curves.push_back({&series.orders[static_cast<std::size_t>(p)], {rows.angle, rays}, {rows.intensity, rays}, true});
    }
    if (result.airy)
        curves.push_back({&series.airy, result.airy->angle, result.airy->intensity, false});
    std::size_t points = 0;
    for (const Curve& c : curves)
        points += c.angle.size();
    RunOnTwoThreads(
        curves.size(),
        [&](std::size_t i) { FillCurve(*curves[i].series, curves[i].angle, curves[i].intensity, curves[i].skipZero); },
        points >= kParallelChartPoints);
    return series;
}

} // namespace orvane
