#include "app/ChartSeries.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <span>

#include "geometry/Angles.h"
#include "numeric/Format.h"
#include "raytrace/OrderPalette.h"

namespace orvane {

double ChartIntensity(double intensity) { return std::log10(std::fabs(intensity) + 1e-10); }

namespace {

constexpr TColor kAiryColor = 0x707070;
constexpr TColor kTotalColor = 0x000000;
constexpr TColor kMieColor = 0x00008B;  // dark red

// The chart keeps its points by ascending x; equal angles keep their order.
void SortByAngle(SeriesData& series)
{
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
    const auto rays = static_cast<std::size_t>(result.rays.count());
    for (int p = in.MinP; p <= in.MaxP; ++p) {
        const OrderRows rows = result.order(p);
        FillCurve(series.orders[static_cast<std::size_t>(p)], {rows.angle, rays}, {rows.intensity, rays}, true);
    }
    for (std::size_t k = 0; k < result.debye.size(); ++k)
        FillCurve(series.debye[static_cast<std::size_t>(in.MinP) + k], result.grid.ThetaGrid, result.debye[k]);

    series.total.title = "Total";
    series.total.color = kTotalColor;
    if (result.totalComputed)
        FillCurve(series.total, result.grid.ThetaGrid, result.grid.TotalIntensity);

    series.airy.title = "Airy";
    series.airy.color = kAiryColor;
    if (result.airy)
        FillCurve(series.airy, result.airy->angle, result.airy->intensity);

    series.mie.title = "Exact (Mie)";
    series.mie.color = kMieColor;
    if (!result.mie.empty())
        FillCurve(series.mie, result.grid.ThetaGrid, result.mie);
    return series;
}

} // namespace orvane
