// The last steps of a diagram run: one file per order with the ray-by-ray angles and
// intensities, the total file on the angle grid, and the chart's series as data.
#pragma once

#include <filesystem>
#include <span>
#include <string>

#include "engine/Airy.h"
#include "engine/AssembleOrders.h"
#include "engine/DiagramRun.h"
#include "engine/RayTables.h"
#include "numeric/StagedFiles.h"
#include "run/Session.h"

namespace orvane {

inline constexpr const char* kTotalFileName = "Orvane_t.dat";
inline constexpr TColor kAiryColor = 0x707070;
inline constexpr TColor kTotalColor = 0x000000;
inline constexpr TColor kMieColor = 0x00008B;  // dark red

// The exact intensity of a sphere at the grid's angles (radians).
struct ExactCurve {
    std::span<const double> theta;
    std::span<const double> intensity;
};

// "Orvane_<p>.dat".
std::string OrderFileName(int p);

// Orvane_<p>.dat for p = orders.MinP..orders.MaxP, rays 0..NumIncRays-1 in ray order.
void WriteOrderFiles(StagedFiles& files, const Session& session, const TRayTables& T, int NumIncRays,
                     OrderRange orders);

// Orvane_t.dat: angle, total intensity and the summed ray amplitude at every grid angle.
void WriteTotalFile(StagedFiles& files, const std::filesystem::path& file, const TScatteringGrid& grid);

// The chart's series: one point series per computed order, the total (when computed), the
// Airy curve (when it was computed) and the exact curve (when it was computed); every series
// sorted by ascending angle.
DiagramResult BuildChartSeries(const TOrvaneState& state, const TRayTables& T, int NumIncRays, OrderRange orders,
                               const TScatteringGrid* total, const AiryCurve* airy,
                               const ExactCurve* exact = nullptr);

// log10(|I| + 1e-10): the chart's intensity axis.
double ChartIntensity(double intensity);

} // namespace orvane
