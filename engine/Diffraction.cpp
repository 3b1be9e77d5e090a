#include "engine/Diffraction.h"

#include <cmath>

#include "numeric/Angles.h"
#include "numeric/Numerics.h"

namespace orvane {

double DiffractionEdgeWidth(const RunParams& P, const DiagramNorm& norm)
{
    // k·ρ = k·(a·c)²/H³ = x·(a·c/H²)² with x = k·H; a·c/H² is 1 for a sphere, exactly when a = c.
    const double H = norm.ShadowSizeParam / P.WaveNumber;
    const double flattening = P.RadiusA == P.RadiusC ? 1.0 : P.RadiusA * P.RadiusC / (H * H);
    return std::cbrt(norm.ShadowSizeParam * flattening * flattening / 2);
}

namespace {

// J1(u)/u with its limit 1/2 at u = 0.
double DiscLaw(double u) { return u == 0 ? 0.5 : BesselJ1(u) / u; }

// ln 2^53: where the edge's factor exp(−(σδ)²/4) falls below it, the amplitude is below the
// rounding of the forward peak, and taken as 0 (the exact term has sunk into its own rounding
// long before).
constexpr double kBelowRounding = 36.7368005696771;

} // namespace

void ComputeDiffraction(const RunParams& P, const DiagramNorm& norm, ScatteringGrid& grid, DiffractionEdge edge)
{
    grid.DiffInQuadrature = edge == DiffractionEdge::Smooth;
    if (edge == DiffractionEdge::Sharp) {
        for (std::size_t e = 0; e < grid.ThetaGrid.size(); ++e) {
            const double delta = grid.ThetaGrid[e] - P.IncAngle;
            const double u = std::fabs(std::sin(delta)) * norm.ShadowSizeParam;
            grid.DiffAmp[e] = std::fabs(delta) < kHalfPi ? DiscLaw(u) * norm.IntensityNorm : 0.0;
        }
        return;
    }
    const double sigma = DiffractionEdgeWidth(P, norm);
    for (std::size_t e = 0; e < grid.ThetaGrid.size(); ++e) {
        // Grid angles lie in [−π, π] and the incident angle within ±π/2: one turn at most.
        double delta = std::fabs(grid.ThetaGrid[e] - P.IncAngle);
        if (delta > kPi)
            delta = kTwoPi - delta;
        const double blur = sigma * delta / 2;
        const double fade = blur * blur;
        grid.DiffAmp[e] =
            fade < kBelowRounding ? DiscLaw(norm.ShadowSizeParam * delta) * std::exp(-fade) * norm.IntensityNorm : 0.0;
    }
}

} // namespace orvane
