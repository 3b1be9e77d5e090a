// The Airy sum near the primary rainbow: the choice of the rainbow ray, the ray window, and the
// 51 directions around the rainbow of a sphere and of an ellipse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Airy.h"
#include "engine/Diagram.h"
#include "base/RunControl.h"
#include "numeric/Angles.h"

namespace orvane {
namespace {

TEST(Airy, RainbowRayIsTheLastTrueTurningPoint)
{
    struct Case {
        const char* name;
        std::vector<double> angle;
        std::vector<double> intensity;  // empty: all 1
        int rainbow;
    };
    const std::vector<Case> cases = {
        {"one turn", {-2.0, -2.1, -2.2, -2.3, -2.25, -2.2, -2.1, -2.0, -1.9, -1.8}, {}, 3},
        {"the last turn wins", {-2.0, -2.1, -2.0, -1.9, -2.0, -2.1, -2.2, -2.3, -2.4, -2.5}, {}, 3},
        // Ray 5 did not emerge: its angle 0 is no turning point, and neither are its neighbours.
        {"gap ray", {-2.0, -2.1, -2.2, -2.3, -2.25, 0.0, -2.1, -2.0, -1.9, -1.8}, {1, 1, 1, 1, 1, 0, 1, 1, 1, 1}, 3},
        // Angles wrapping through ±180° turn only in appearance.
        {"wrap", {2.9, 3.0, 3.1, -3.1, -3.0, -2.9, -2.8, -2.7, -2.6, -2.5}, {}, -1},
        {"monotonic", {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0}, {}, -1},
        // Only rays 2..N-5 are candidates.
        {"too close to the end", {0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.6, 0.5, 0.4}, {}, -1},
    };
    for (const Case& c : cases) {
        std::vector<double> intensity = c.intensity;
        if (intensity.empty())
            intensity.assign(c.angle.size(), 1.0);
        EXPECT_EQ(FindRainbowRay(c.angle.data(), intensity.data(), static_cast<int>(c.angle.size())), c.rainbow)
            << c.name;
    }
}

struct AiryRun {
    RecordingControl control;
    std::optional<DiagramResult> result;
    const AiryCurve& curve() const { return *result->airy; }
};

std::unique_ptr<AiryRun> RunAiry(double index, int maxP)
{
    auto run = std::make_unique<AiryRun>();
    DiagramInputs in;
    in.particle.IndexRe = index;
    in.MaxP = maxP;
    in.NumIncRays = 1000;
    in.Airy = true;
    run->result.emplace(ComputeDiagram(in, run->control));
    return run;
}

TEST(Airy, WindowAroundTheRainbowRay)
{
    // Index 1.4: the whole window of 111 rays before and 71 after lies among the 1000 rays.
    const auto run = RunAiry(1.4, 2);
    ASSERT_TRUE(run->result->airy);
    EXPECT_TRUE(run->control.messages.empty());
    const AiryCurve& curve = run->curve();
    ASSERT_EQ(curve.rays.size(), 183u);
    // The rainbow ray itself sits at the origin of the reference line, with phase 0.
    const AiryRay& rainbow = curve.rays[111];
    EXPECT_NEAR(rainbow.v, 0.0, 1e-9);
    EXPECT_EQ(rainbow.psi, 0.0);
    EXPECT_EQ(rainbow.theta, curve.RainbowAngle);
    // The 51 directions run around the rainbow angle, the middle one on it.
    EXPECT_EQ(curve.angle[25], curve.RainbowAngle);
    EXPECT_NE(curve.angle[0], curve.angle[50]);
}

TEST(Airy, WindowClippedAtTheLastRay)
{
    // The water drop's rainbow ray is 929: the window's 71 rays after it would pass ray 999.
    const auto run = RunAiry(1.333, 2);
    ASSERT_TRUE(run->result->airy);
    EXPECT_EQ(run->curve().RainbowIndex, 929);
    EXPECT_EQ(run->curve().rays.size(), 182u);
}

// The span of the directions is the rainbow's geometry over the window: for a sphere, at any
// index, incidence, ray count and rule, to the bit the span between the window's end rays as
// they leave, as it always was.
TEST(Airy, SphereSpanIsThatOfTheWindowsEndRays)
{
    struct Case {
        double index, incidentDegrees;
        int rays;
        bool entryFresnel;
    };
    for (const Case& c : {Case{1.333, 0, 200, false}, Case{1.333, 30, 1000, true}, Case{1.2, -20, 500, false},
                          Case{1.5, 0, 777, true}, Case{1.8, 10, 2000, false}}) {
        DiagramInputs in;
        in.particle.IndexRe = c.index;
        in.particle.IncAngle = c.incidentDegrees * kDegree;
        in.MaxP = 2;
        in.NumIncRays = c.rays;
        in.EntryFresnel = c.entryFresnel;
        in.Airy = true;
        RecordingControl control;
        const DiagramResult result = ComputeDiagram(in, control);
        ASSERT_TRUE(result.airy) << c.index;
        const AiryCurve& curve = *result.airy;
        const int R = curve.RainbowIndex;
        const int first = std::max(R - c.rays / (kAiryDivisor - 5), 0);
        const int last = std::min(R + c.rays / kAiryDivisor, c.rays - 1);
        const double* angle = result.rays.tables->RayAngle[kAiryOrder].data();
        const double step = (angle[last] - angle[first]) / 50;
        for (int n = 0; n < kAiryDirections; ++n)
            ASSERT_EQ(curve.angle[static_cast<std::size_t>(n)], curve.RainbowAngle + (n - 25) * step)
                << c.index << " " << c.incidentDegrees << " " << c.rays << " direction " << n;
    }
}

std::unique_ptr<AiryRun> RunSpheroid(double bc, int rays, std::optional<PositionRange> range = std::nullopt)
{
    auto run = std::make_unique<AiryRun>();
    DiagramInputs in;
    in.particle.RadiusB = bc;
    in.particle.RadiusC = bc;
    in.MaxP = 2;
    in.NumIncRays = rays;
    in.range = range;
    in.Airy = true;
    run->result.emplace(ComputeDiagram(in, run->control));
    return run;
}

// a = 50 µm and b = c a little or much smaller: the window's end ray may leave far from the
// rainbow or not at all, yet every curve lies around its own rainbow, with about the sphere's
// span, and its brightest direction on the bright side, a degree or two from the rainbow ray as
// Airy's maximum is.
TEST(Airy, CurvesOfNearSpheresLieAroundTheirOwnRainbow)
{
    const auto sphere = RunSpheroid(50, 200);
    const double sphereSpan = std::fabs(sphere->curve().angle[50] - sphere->curve().angle[0]);
    for (const double bc : {49.9, 49.0, 45.0, 40.0}) {
        const auto run = RunSpheroid(bc, 200);
        ASSERT_TRUE(run->result->airy) << bc;
        const AiryCurve& curve = run->curve();
        const double* angle = run->result->rays.tables->RayAngle[kAiryOrder].data();
        const int R = curve.RainbowIndex;
        EXPECT_EQ(curve.angle[25], curve.RainbowAngle) << bc;
        // The sphere's span over a window that follows the particle's own rainbow ray.
        EXPECT_NEAR(std::fabs(curve.angle[50] - curve.angle[0]), sphereSpan, 0.05 * sphereSpan) << bc;
        const double brightSide = angle[R + 1] > angle[R] ? 1.0 : -1.0;
        const auto brightest = std::max_element(curve.intensity.begin(), curve.intensity.end()) - curve.intensity.begin();
        const double offset = brightSide * (curve.angle[static_cast<std::size_t>(brightest)] - curve.RainbowAngle);
        EXPECT_GT(offset, 0.0) << bc;
        // The most elongated section reflects some of its window's rays totally inside, whose
        // phase (the conjugate of exact theory's) leaves its curve two maxima 5° apart, the one
        // nearer the rainbow ray at 0.8 of the other: its brightest direction lies within the
        // curve's bright half.
        EXPECT_LT(offset, (bc == 40.0 ? 0.5 * sphereSpan : 2.5 * kDegree)) << bc;
    }
}

// With rays inside ±49 µm, where a = 50 and b = c = 49.9 µm send out the same rays (near the
// grazing edge one of them leaves a sphere and is totally reflected in the near-sphere, and the
// sum, which gives that ray's neighbour the wave front up to it, moves by up to a decade), the
// near-sphere's curve is the sphere's, direction by direction from its own rainbow, wherever
// the curve is within a decade of its peak.
TEST(Airy, NearSphereCurveIsTheSpheres)
{
    const auto sphere = RunSpheroid(50, 1000, PositionRange{-49, 49});
    const auto near = RunSpheroid(49.9, 1000, PositionRange{-49, 49});
    const AiryCurve& a = sphere->curve();
    const AiryCurve& b = near->curve();
    EXPECT_NEAR(b.angle[50] - b.angle[0], a.angle[50] - a.angle[0], 1e-12);
    const double peak = *std::max_element(a.intensity.begin(), a.intensity.end());
    int compared = 0;
    for (std::size_t n = 0; n < a.intensity.size(); ++n) {
        if (a.intensity[n] < 0.1 * peak)
            continue;
        ++compared;
        EXPECT_LT(std::fabs(std::log10(b.intensity[n] / a.intensity[n])), 0.01) << n;
    }
    EXPECT_GT(compared, 40);
}

TEST(Airy, NoRainbowWithoutOrderTwo)
{
    const auto run = RunAiry(1.333, 1);
    EXPECT_FALSE(run->result->airy);
    EXPECT_EQ(run->control.messages, std::vector<std::string>{"No primary rainbow found among the order-2 rays."});
}

} // namespace
} // namespace orvane
