// Fraunhofer diffraction by the shadow: the J1(u)/u lobe, its scale, and its file.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/Angles.h"
#include "engine/Diffraction.h"
#include "numeric/Format.h"
#include "numeric/Numerics.h"
#include "tests/engine/TestSupport.h"

namespace orvane {
namespace {

TRunParams Particle(double b, double incidentDegrees)
{
    TRunParams P;
    P.RadiusA = 50;
    P.RadiusB = b;
    P.RadiusC = 30;
    P.WaveNumber = kTwoPi / 0.6328;
    P.IncAngle = incidentDegrees * kDegree;
    return P;
}

TScatteringGrid DiffractedGrid(const TRunParams& P, int count = 3601)
{
    TScatteringGrid grid(count);
    grid.ThetaGrid[(count - 1) / 2] = 0.0;  // the incident direction itself lies on the grid
    ComputeDiffraction(P, ComputeDiagramNorm(P), grid);
    return grid;
}

TEST(Diffraction, LobeAroundTheIncidentDirection)
{
    const TRunParams P = Particle(50, 0);
    const DiagramNorm norm = ComputeDiagramNorm(P);
    const TScatteringGrid grid = DiffractedGrid(P);
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
    const TScatteringGrid thin = DiffractedGrid(Particle(25, 30));
    const TScatteringGrid thick = DiffractedGrid(Particle(50, 30));
    for (int e = 0; e < thin.NumScaRays; ++e)
        ASSERT_EQ(thick.DiffAmp[e], 2 * thin.DiffAmp[e]) << e;
    // Oblique light: the lobe is centred on the incident direction, 30°.
    const auto peak = std::max_element(thin.DiffAmp.begin(), thin.DiffAmp.end()) - thin.DiffAmp.begin();
    EXPECT_NEAR(ToDegrees(thin.ThetaGrid[static_cast<std::size_t>(peak)]), 30.0, 0.1);
}

TEST(Diffraction, FileHoldsTheSquaredAmplitudeOrOnlyItsHeader)
{
    testing::TempFolder dir;
    const TScatteringGrid grid = DiffractedGrid(Particle(50, 0), 1001);
    StagedFiles files;
    WriteDiffractionFile(files, dir / "Orvane_d.dat", grid, true);
    files.commit();
    const auto lines = testing::SplitCrLf(testing::ReadBytes(dir / "Orvane_d.dat"));
    ASSERT_TRUE(lines.ok);
    ASSERT_EQ(lines.lines.size(), 1002u);
    EXPECT_EQ(lines.lines[0], "# theta[deg.] Intensity");
    EXPECT_EQ(lines.lines[1], " -180.000000 0.00000E+000");
    const double peak = grid.DiffAmp[500] * grid.DiffAmp[500];
    EXPECT_EQ(lines.lines[501], "    0.000000 " + Format("%12.6e", {peak}));

    WriteDiffractionFile(files, dir / "Orvane_d.dat", grid, false);
    files.commit();
    EXPECT_EQ(testing::ReadBytes(dir / "Orvane_d.dat"), "# theta[deg.] Intensity\r\n");
}

} // namespace
} // namespace orvane
