// Fraunhofer diffraction by the shadow: the J1(u)/u lobe and its scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/Diffraction.h"
#include "numeric/Angles.h"
#include "numeric/Numerics.h"

namespace orvane {
namespace {

RunParams Particle(double b, double incidentDegrees)
{
    RunParams P;
    P.RadiusA = 50;
    P.RadiusB = b;
    P.RadiusC = 30;
    P.WaveNumber = kTwoPi / 0.6328;
    P.IncAngle = incidentDegrees * kDegree;
    return P;
}

ScatteringGrid DiffractedGrid(const RunParams& P, int count = 3601)
{
    ScatteringGrid grid(count);
    grid.ThetaGrid[(count - 1) / 2] = 0.0;  // the incident direction itself lies on the grid
    ComputeDiffraction(P, ComputeDiagramNorm(P), grid);
    return grid;
}

TEST(Diffraction, LobeAroundTheIncidentDirection)
{
    const RunParams P = Particle(50, 0);
    const DiagramNorm norm = ComputeDiagramNorm(P);
    const ScatteringGrid grid = DiffractedGrid(P);
    // The forward peak takes the limit of J1(u)/u, 1/2, instead of dividing 0 by 0.
    EXPECT_EQ(grid.DiffAmp[1800], norm.IntensityNorm / 2);
    // The shadow's half-width seen at 0° is the vertical radius a.
    EXPECT_DOUBLE_EQ(norm.ShadowSizeParam, P.WaveNumber * 50);
    EXPECT_DOUBLE_EQ(norm.IntensityNorm, P.WaveNumber * 50 * P.WaveNumber * 50);
    bool signChanged = false;
    double previousU = 0;
    for (int e = 0; e < grid.NumScaRays; ++e) {
        const double delta = grid.ThetaGrid[e] - P.IncAngle;
        const double u = std::fabs(std::sin(delta)) * norm.ShadowSizeParam;
        if (std::fabs(delta) >= kHalfPi) {
            EXPECT_EQ(grid.DiffAmp[e], 0.0) << e;
        } else if (u > 0) {
            EXPECT_DOUBLE_EQ(grid.DiffAmp[e], BesselJ1(u) / u * norm.IntensityNorm) << e;
        }
        // First dark ring where u reaches the first zero of J1.
        if (e > 1800 && !signChanged && grid.DiffAmp[e] < 0) {
            signChanged = true;
            EXPECT_LT(previousU, 3.8317);
            EXPECT_GT(u, 3.8317);
        }
        previousU = u;
    }
    EXPECT_TRUE(signChanged);
}

TEST(Diffraction, ScalesWithTheRadiusAcrossThePlane)
{
    const ScatteringGrid thin = DiffractedGrid(Particle(25, 30));
    const ScatteringGrid thick = DiffractedGrid(Particle(50, 30));
    for (int e = 0; e < thin.NumScaRays; ++e)
        ASSERT_EQ(thick.DiffAmp[e], 2 * thin.DiffAmp[e]) << e;
    // Oblique light: the lobe is centred on the incident direction, 30°.
    const auto peak = std::max_element(thin.DiffAmp.begin(), thin.DiffAmp.end()) - thin.DiffAmp.begin();
    EXPECT_NEAR(ToDegrees(thin.ThetaGrid[static_cast<std::size_t>(peak)]), 30.0, 0.1);
}

} // namespace
} // namespace orvane
