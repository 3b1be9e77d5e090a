// The Airy sum near the primary rainbow: the choice of the rainbow ray and the ray window.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Airy.h"
#include "engine/Diagram.h"
#include "base/RunControl.h"

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

TEST(Airy, NoRainbowWithoutOrderTwo)
{
    const auto run = RunAiry(1.333, 1);
    EXPECT_FALSE(run->result->airy);
    EXPECT_EQ(run->control.messages, std::vector<std::string>{"No primary rainbow found among the order-2 rays."});
}

} // namespace
} // namespace orvane
