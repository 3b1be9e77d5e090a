#include "engine/DiagramFiles.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>
#include <span>
#include <vector>

#include "engine/Angles.h"
#include "numeric/Format.h"
#include "numeric/FpGuard.h"
#include "numeric/TextFile.h"

namespace orvane {

std::string OrderFileName(int p) { return "Orvane_" + IntToStr(p) + ".dat"; }

void WriteOrderFiles(StagedFiles& files, const Session& session, const TRayTables& T, int NumIncRays,
                     OrderRange orders)
{
    std::string line;
    for (int p = orders.MinP; p <= orders.MaxP; ++p) {
        CheckFpFaults();
        const std::string name = OrderFileName(p);
        TextWriter out(files, session.file(name.c_str()));
        out.writeLine("# theta[deg.] Intensity");
        for (int i = 0; i < NumIncRays; ++i) {
            line.clear();
            FormatDataTo(line, "%12.6f %12.6e", {ToDegrees(T.RayAngle[p][i]), T.RayIntensity[p][i]});
            out.writeLine(line);
        }
        out.close();
    }
}

void WriteTotalFile(StagedFiles& files, const std::filesystem::path& file, const TScatteringGrid& grid)
{
    CheckFpFaults();
    TextWriter out(files, file);
    out.writeLine("# theta[deg.] Intensity   Amplitude_Re  Amplitude_Im");
    std::string line;
    for (std::size_t e = 0; e < grid.ThetaGrid.size(); ++e) {
        line.clear();
        FormatDataTo(line, "%12.6f %12.6e %12.6e %12.6e",
                 {ToDegrees(grid.ThetaGrid[e]), grid.TotalIntensity[e], grid.TotalAmpRe[e], grid.TotalAmpIm[e]});
        out.writeLine(line);
    }
    out.close();
}

double ChartIntensity(double intensity) { return std::log10(std::fabs(intensity) + 1e-10); }

namespace {

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
void FillCurve(SeriesData& series, std::span<const double> angle, std::span<const double> intensity)
{
    const std::size_t n = std::min(angle.size(), intensity.size());
    series.active = true;
    series.x.reserve(n);
    series.y.reserve(n);
    for (std::size_t e = 0; e < n; ++e) {
        series.x.push_back(ToDegrees(angle[e]));
        series.y.push_back(ChartIntensity(intensity[e]));
        CheckFinite(series.x.back());
        CheckFinite(series.y.back());
    }
    SortByAngle(series);
}

} // namespace

DiagramResult BuildChartSeries(const TOrvaneState& state, const TRayTables& T, int NumIncRays, OrderRange orders,
                               const TScatteringGrid* total, const AiryCurve* airy, const ExactCurve* exact)
{
    DiagramResult result;
    for (int p = 0; p <= kMaxOrder; ++p) {
        SeriesData& s = result.orders[static_cast<std::size_t>(p)];
        s.title = "p=" + IntToStr(p);
        s.color = state.OrderColor[static_cast<std::size_t>(p)];
    }
    result.legendVisible = orders.MinP != orders.MaxP;
    for (int p = orders.MinP; p <= orders.MaxP; ++p) {
        const auto rays = static_cast<std::size_t>(std::max(NumIncRays, 0));
        FillCurve(result.orders[static_cast<std::size_t>(p)], {T.RayAngle[p].data(), rays},
                  {T.RayIntensity[p].data(), rays});
    }

    result.total.title = "Total";
    result.total.color = kTotalColor;
    if (total)
        FillCurve(result.total, total->ThetaGrid, total->TotalIntensity);

    result.airy.title = "Airy";
    result.airy.color = kAiryColor;
    if (airy)
        FillCurve(result.airy, airy->angle, airy->intensity);

    result.mie.title = "Exact (Mie)";
    result.mie.color = kMieColor;
    if (exact)
        FillCurve(result.mie, exact->theta, exact->intensity);
    CheckFpFaults();
    return result;
}

} // namespace orvane
