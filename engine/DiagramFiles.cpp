#include "engine/DiagramFiles.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>
#include <utility>
#include <span>
#include <string_view>
#include <vector>

#include "engine/Angles.h"
#include "numeric/Format.h"
#include "numeric/FpGuard.h"
#include "numeric/OrderedLines.h"
#include "numeric/TextFile.h"
#include "numeric/TwoThreads.h"

namespace orvane {

std::string OrderFileName(int p) { return "Orvane_" + IntToStr(p) + ".dat"; }

void WriteOrderFiles(const Session& session, const TRayTables& T, int NumIncRays, OrderRange orders)
{
    if (orders.MaxP < orders.MinP)
        return;
    // All the files as one run of lines, a header and a line per ray for each order, so that
    // the formatting flows on from file to file; each file is created as its first lines come.
    const auto rays = static_cast<std::size_t>(std::max(NumIncRays, 0));
    const std::size_t perFile = rays + 1;
    const auto files = static_cast<std::size_t>(orders.MaxP - orders.MinP + 1);
    std::vector<std::size_t> fileStarts;
    for (std::size_t f = 0; f < files; ++f)
        fileStarts.push_back(f * perFile);
    std::optional<TextWriter> out;
    FormatLinesInOrder(
        files * perFile, fileStarts,
        [&](std::size_t i, std::string& line) {
            const int p = orders.MinP + static_cast<int>(i / perFile);
            const std::size_t ray = i % perFile;
            if (ray == 0)
                line = "# theta[deg.] Intensity";
            else
                FormatTo(line, "%12.6f %12.6e", {ToDegrees(T.RayAngle[p][ray - 1]), T.RayIntensity[p][ray - 1]});
        },
        [&](std::size_t first, std::string_view lines) {
            if (first % perFile == 0) {
                if (out)
                    out->close();
                CheckFpFaults();
                const int p = orders.MinP + static_cast<int>(first / perFile);
                out.emplace(session.file(OrderFileName(p).c_str()));
            }
            out->writeLines(lines);
        });
    if (out)
        out->close();
}

void WriteTotalFile(const std::filesystem::path& file, const TScatteringGrid& grid)
{
    CheckFpFaults();
    TextWriter out(file);
    out.writeLine("# theta[deg.] Intensity   Amplitude_Re  Amplitude_Im");
    WriteLinesInOrder(out, grid.ThetaGrid.size(), [&](std::size_t e, std::string& line) {
        FormatTo(line, "%12.6f %12.6e %12.6e %12.6e",
                 {ToDegrees(grid.ThetaGrid[e]), grid.TotalIntensity[e], grid.TotalAmpRe[e], grid.TotalAmpIm[e]});
    });
    out.close();
}

double ChartIntensity(double intensity) { return std::log10(std::fabs(intensity) + 1e-10); }

namespace {

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
void FillCurve(SeriesData& series, std::span<const double> angle, std::span<const double> intensity)
{
    const std::size_t n = std::min(angle.size(), intensity.size());
    series.active = true;
    series.x.reserve(n);
    series.y.reserve(n);
    for (std::size_t e = 0; e < n; ++e) {
        series.x.push_back(ToDegrees(angle[e]));
        series.y.push_back(ChartIntensity(intensity[e]));
    }
    SortByAngle(series);
}

// Below this many points in all a second thread is not worth starting.
constexpr std::size_t kParallelChartPoints = 50000;

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
    result.total.title = "Total";
    result.total.color = kTotalColor;
    result.airy.title = "Airy";
    result.airy.color = kAiryColor;
    result.mie.title = "Exact (Mie)";
    result.mie.color = kMieColor;

    // The curves to fill, the longest first; each is filled on its own, so two threads share
    // them when there are many points.
    struct Curve {
        SeriesData* series;
        std::span<const double> angle;
        std::span<const double> intensity;
    };
    std::vector<Curve> curves;
    if (total)
        curves.push_back({&result.total, total->ThetaGrid, total->TotalIntensity});
    if (exact)
        curves.push_back({&result.mie, exact->theta, exact->intensity});
    const auto rays = static_cast<std::size_t>(std::max(NumIncRays, 0));
    for (int p = orders.MinP; p <= orders.MaxP; ++p)
        curves.push_back({&result.orders[static_cast<std::size_t>(p)], {T.RayAngle[p].data(), rays},
                          {T.RayIntensity[p].data(), rays}});
    if (airy)
        curves.push_back({&result.airy, airy->angle, airy->intensity});
    std::size_t points = 0;
    for (const Curve& c : curves)
        points += c.angle.size();
    RunOnTwoThreads(
        curves.size(), [&](std::size_t i) { FillCurve(*curves[i].series, curves[i].angle, curves[i].intensity); },
        points >= kParallelChartPoints);
    CheckFpFaults();
    return result;
}

} // namespace orvane
