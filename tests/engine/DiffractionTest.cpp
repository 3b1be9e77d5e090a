// Diffraction by the shadow: the sharp edge's J1(u)/u lobe, the smooth edge against the exact
// diffraction term of a sphere, the penumbra of an ellipse, and how the total takes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/RunControl.h"
#include "engine/Diagram.h"
#include "engine/Diffraction.h"
#include "mie/Debye.h"
#include "numeric/Angles.h"
#include "numeric/Numerics.h"

namespace orvane {
namespace {

RunParams Particle(double a, double b, double c, double incidentDegrees)
{
    ParticleInputs in;
    in.RadiusA = a;
    in.RadiusB = b;
    in.RadiusC = c;
    in.IncAngle = incidentDegrees * kDegree;
    return MakeRunParams(in);
}

ScatteringGrid DiffractedGrid(const RunParams& P, DiffractionEdge edge, int count = 3601)
{
    ScatteringGrid grid(count);
    grid.ThetaGrid[(count - 1) / 2] = 0.0;  // the incident direction itself lies on the grid
    ComputeDiffraction(P, ComputeDiagramNorm(P), grid, edge);
    return grid;
}

TEST(Diffraction, SharpEdgeLobeAroundTheIncidentDirection)
{
    const RunParams P = Particle(50, 50, 30, 0);
    const DiagramNorm norm = ComputeDiagramNorm(P);
    const ScatteringGrid grid = DiffractedGrid(P, DiffractionEdge::Sharp);
    EXPECT_FALSE(grid.DiffInQuadrature);
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
    for (const DiffractionEdge edge : {DiffractionEdge::Smooth, DiffractionEdge::Sharp}) {
        const ScatteringGrid thin = DiffractedGrid(Particle(50, 25, 30, 30), edge);
        const ScatteringGrid thick = DiffractedGrid(Particle(50, 50, 30, 30), edge);
        for (int e = 0; e < thin.NumScaRays; ++e)
            ASSERT_EQ(thick.DiffAmp[e], 2 * thin.DiffAmp[e]) << e;
        // Oblique light: the lobe is centred on the incident direction, 30°.
        const auto peak = std::max_element(thin.DiffAmp.begin(), thin.DiffAmp.end()) - thin.DiffAmp.begin();
        EXPECT_NEAR(ToDegrees(thin.ThetaGrid[static_cast<std::size_t>(peak)]), 30.0, 0.1);
    }
}

// The smooth edge is the diffraction term of the Debye series, whose partial waves carry the
// erfc edge: band by band out to 25° its amplitude within 2 % of the term's largest in the
// band, beyond within 1e-5 of the forward peak; from 60° on, where the sharp edge still rings,
// it has faded a thousandfold below it.
TEST(Diffraction, SmoothEdgeIsTheExactDiffractionTermOfASphere)
{
    for (const double radius : {25.0, 50.0, 200.0}) {
        const RunParams P = Particle(radius, radius, radius, 0);
        const DiagramNorm norm = ComputeDiagramNorm(P);
        const ScatteringGrid smooth = DiffractedGrid(P, DiffractionEdge::Smooth, 14401);
        const ScatteringGrid sharp = DiffractedGrid(P, DiffractionEdge::Sharp, 14401);
        EXPECT_TRUE(smooth.DiffInQuadrature);
        EXPECT_EQ(smooth.DiffAmp[7200], norm.IntensityNorm / 2) << radius;

        std::vector<double> theta;
        for (int e = 7200; e < smooth.NumScaRays; e += 4)
            theta.push_back(smooth.ThetaGrid[static_cast<std::size_t>(e)]);
        DebyeTerms terms;
        terms.diffraction = true;
        const DebyeAmplitudes exact =
            DebyeSphere(radius, P.Wavelength, Complex(P.IndexRe, 0)).S1S2(theta, terms);

        for (double band = 0; band < 25; band += 5) {
            double largest = 0, worst = 0;
            for (std::size_t j = 0; j < theta.size(); ++j) {
                if (ToDegrees(theta[j]) < band || ToDegrees(theta[j]) >= band + 5)
                    continue;
                const double S = exact.diffraction[j].S1.real();
                largest = std::max(largest, std::fabs(S));
                worst = std::max(worst, std::fabs(smooth.DiffAmp[7200 + 4 * j] - S));
            }
            EXPECT_LT(worst, 0.02 * largest) << radius << " µm, " << band << "°";
        }
        double smoothBeyond = 0, sharpBeyond = 0;
        for (std::size_t j = 0; j < theta.size(); ++j) {
            if (ToDegrees(theta[j]) < 25)
                continue;
            EXPECT_LT(std::fabs(smooth.DiffAmp[7200 + 4 * j] - exact.diffraction[j].S1.real()),
                      1e-5 * norm.IntensityNorm);
            if (ToDegrees(theta[j]) < 60)
                continue;
            smoothBeyond = std::max(smoothBeyond, std::fabs(smooth.DiffAmp[7200 + 4 * j]));
            sharpBeyond = std::max(sharpBeyond, std::fabs(sharp.DiffAmp[7200 + 4 * j]));
        }
        EXPECT_LT(smoothBeyond, 1e-3 * sharpBeyond) << radius;
    }
}

// The penumbra of an ellipse belongs to the curvature of its section where an incident ray
// grazes it: from the ellipse's parametric form, (a, c) = (50, 25) at 0° has ρ = c²/a, and
// at 30° the point where the tangent runs along the light.
TEST(Diffraction, EdgeWidthFollowsTheCurvatureWhereTheLightGrazes)
{
    struct Case {
        double a, c, incidentDegrees;
    };
    for (const Case& c : {Case{50, 50, 0}, Case{50, 50, 40}, Case{50, 25, 0}, Case{50, 25, 30}, Case{20, 60, -70}}) {
        const RunParams P = Particle(c.a, 10, c.c, c.incidentDegrees);
        const double ti = c.incidentDegrees * kDegree;
        // Point (z, x) = (c·cos t, a·sin t) with tangent (−c·sin t, a·cos t) along (cos θi, sin θi).
        const double t = std::atan2(-c.a * std::cos(ti), c.c * std::sin(ti));
        const double rho = std::pow(c.a * c.a * std::cos(t) * std::cos(t) + c.c * c.c * std::sin(t) * std::sin(t), 1.5)
                           / (c.a * c.c);
        EXPECT_NEAR(DiffractionEdgeWidth(P, ComputeDiagramNorm(P)), std::cbrt(P.WaveNumber * rho / 2), 1e-12)
            << c.a << " " << c.c << " " << c.incidentDegrees;
    }
    // A sphere: the Debye series' own σ = (x/2)^(1/3), to the bit.
    const RunParams sphere = Particle(50, 50, 50, 0);
    EXPECT_EQ(DiffractionEdgeWidth(sphere, ComputeDiagramNorm(sphere)),
              std::cbrt(ComputeDiagramNorm(sphere).ShadowSizeParam / 2));
}

// The ray amplitudes are −i·conj(S) of Mie's S; the diffraction's S is real, so it joins them
// as −i·S. Between 1° and 10° the default drop's forward light is its diffraction beating with
// the light refracted and reflected near the rim: against exact theory the total in
// quadrature comes out much closer than the same amplitude on the real part.
TEST(Diffraction, JoinsTheRaysInQuadrature)
{
    DiagramInputs in;
    in.NumIncRays = 1000;
    in.NumScaRays = 36001;
    in.Diffraction = true;
    in.ExactMie = true;
    RecordingControl control;
    const DiagramResult result = ComputeDiagram(in, control);
    const ScatteringGrid& grid = result.grid;
    ASSERT_EQ(result.mie.size(), static_cast<std::size_t>(grid.NumScaRays));
    std::vector<double> quadrature, realPart;
    for (int e = 0; e < grid.NumScaRays; ++e) {
        const double angle = std::fabs(ToDegrees(grid.ThetaGrid[e]));
        if (angle < 1 || angle > 10)
            continue;
        const double re = grid.TotalAmpRe[e], im = grid.TotalAmpIm[e], D = grid.DiffAmp[e];
        const double onRealPart = (re + D) * (re + D) + im * im;
        EXPECT_EQ(grid.TotalIntensity[e], re * re + (im - D) * (im - D));
        quadrature.push_back(std::fabs(std::log10(grid.TotalIntensity[e] / result.mie[e])));
        realPart.push_back(std::fabs(std::log10(onRealPart / result.mie[e])));
    }
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    EXPECT_LT(median(quadrature), 0.1);
    EXPECT_GT(median(realPart), 1.5 * median(quadrature));
}

} // namespace
} // namespace orvane
