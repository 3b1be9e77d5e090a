// The Airy sum near the primary rainbow: the choice of the rainbow ray, the ray window and the
// file's shape.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Airy.h"
#include "engine/Angles.h"
#include "engine/DiagramRun.h"
#include "numeric/MessageSink.h"
#include "tests/engine/TestSupport.h"

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
    testing::TempFolder dir;
    RecordingSink sink;
    DiagramResult result;
    std::vector<std::string> lines;
};

std::unique_ptr<AiryRun> RunAiry(const char* index, const char* maxP)
{
    auto run = std::make_unique<AiryRun>();
    TOrvaneState state;
    Fields fields;
    fields.Edtmr = index;
    fields.EdtMaxp = maxP;
    fields.LblEdtNumRays = "1000";
    fields.ChBxAiry = true;
    Session session{state, fields, run->sink, run->dir.path()};
    run->result = BtnCalcDiagClick(session);
    if (std::filesystem::exists(run->dir / "Orvane_Airy.dat")) {
        const auto split = testing::SplitCrLf(testing::ReadBytes(run->dir / "Orvane_Airy.dat"));
        EXPECT_TRUE(split.ok);
        run->lines = split.lines;
    }
    return run;
}

TEST(Airy, WindowAroundTheRainbowRay)
{
    // Index 1.4: the whole window of 111 rays before and 71 after lies among the 1000 rays.
    const auto run = RunAiry("1.4", "2");
    ASSERT_EQ(run->lines.size(), 7u + 183 + 51);
    EXPECT_TRUE(run->sink.messages.empty());
    EXPECT_EQ(run->lines[3], "# Order p = 2");
    EXPECT_EQ(run->lines[4], "");
    EXPECT_EQ(run->lines[6], "#    v       phase      amplitude    theta[deg.]     r");
    // The rainbow ray itself, line 7 + 111, sits at the origin of the reference line.
    const std::string rainbow = run->lines[7 + 111];
    EXPECT_EQ(rainbow.substr(0, 22), "    0.0000     0.0000 ") << rainbow;
    // The 51 directions run around the rainbow angle, the middle one on it.
    const std::string header = run->lines[5];
    const std::string rainbowAngle = header.substr(header.find(',') + 1, 13);
    EXPECT_EQ(run->lines[7 + 183 + 25].substr(0, 12), rainbowAngle.substr(1));
    ASSERT_TRUE(run->result.airy.active);
    EXPECT_EQ(run->result.airy.x.size(), 51u);
}

TEST(Airy, WindowClippedAtTheLastRay)
{
    // The water drop's rainbow ray is 929: the window's 71 rays after it would pass ray 999.
    const auto run = RunAiry("1.333", "2");
    ASSERT_EQ(run->lines.size(), 7u + 182 + 51);
    EXPECT_EQ(run->lines[5].substr(0, 21), "# Rainbow angle: 929,");
}

TEST(Airy, NoRainbowWithoutOrderTwo)
{
    const auto run = RunAiry("1.333", "1");
    EXPECT_TRUE(run->lines.empty());
    EXPECT_FALSE(std::filesystem::exists(run->dir / "Orvane_Airy.dat"));
    EXPECT_EQ(run->sink.messages, std::vector<std::string>{"No primary rainbow found among the order-2 rays."});
    EXPECT_FALSE(run->result.airy.active);
    EXPECT_TRUE(run->result.airy.x.empty());
}

} // namespace
} // namespace orvane
