// The command line of orvane-batch: what each option sets, and the lines it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/BatchOptions.h"

namespace orvane {
namespace {

Fields FieldsFor(const std::vector<std::string>& args)
{
    Fields fields;
    ApplyBatchOptions(ParseBatchOptions(args), fields);
    return fields;
}

TEST(BatchOptions, NoOptionsKeepTheWindowDefaults)
{
    const BatchOptions options = ParseBatchOptions({});
    EXPECT_TRUE(options.dir.empty());
    EXPECT_FALSE(options.picture);
    EXPECT_EQ(FieldsFor({}).StrGrdPosit, Fields{}.StrGrdPosit);
    const Fields f = FieldsFor({});
    EXPECT_TRUE(f.ChBxTotalInt);
    EXPECT_FALSE(f.ChBxDiff || f.ChBxAiry || f.ChBxUniformRainbow || f.ChBxCheck || f.ChkBxMinMax || f.CompareExact ||
                 f.CompareDebye);
    EXPECT_FALSE(f.ChBxEntryFresnel || f.ChBxSharpDiff);
    EXPECT_FALSE(options.chartSize);
    EXPECT_EQ(f.CbxNumRay, "20");
    EXPECT_EQ(f.LblEdtSizeEll, "0.5");
    EXPECT_TRUE(f.ChBxEmergRay);
}

TEST(BatchOptions, EveryOptionSetsItsFieldOrBox)
{
    const std::vector<std::string> args = {"-C", "runs/a", "--no-total", "--diffraction", "--airy",
                                           "--uniform-rainbow", "--check", "--mie", "--debye", "--minmax", "-25",
                                           "2,5", "--picture", "700x500", "--rays", "12", "--ellipsoid-size", "0.7",
                                           "--no-emergent", "--png", "p.png", "--chart-png", "c.png",
                                           "--chart-size", "900x500", "--entry-fresnel", "--sharp-diffraction"};
    const BatchOptions options = ParseBatchOptions(args);
    EXPECT_EQ(options.dir, "runs/a");
    ASSERT_TRUE(options.picture);
    EXPECT_EQ(options.picture->width, 700);
    EXPECT_EQ(options.picture->height, 500);
    EXPECT_EQ(options.png, "p.png");
    EXPECT_EQ(options.chartPng, "c.png");
    ASSERT_TRUE(options.chartSize);
    EXPECT_EQ(options.chartSize->width, 900);
    EXPECT_EQ(options.chartSize->height, 500);

    const Fields f = FieldsFor(args);
    EXPECT_FALSE(f.ChBxTotalInt);
    EXPECT_TRUE(f.ChBxDiff);
    EXPECT_TRUE(f.ChBxAiry);
    EXPECT_TRUE(f.ChBxUniformRainbow);
    EXPECT_TRUE(f.ChBxCheck);
    EXPECT_TRUE(f.CompareExact);
    EXPECT_TRUE(f.CompareDebye);
    EXPECT_TRUE(f.ChBxEntryFresnel);
    EXPECT_TRUE(f.ChBxSharpDiff);
    EXPECT_TRUE(f.ChkBxMinMax);
    // The texts go into the fields as typed; their conversion is the run's business.
    EXPECT_EQ(f.EdtAxisMin, "-25");
    EXPECT_EQ(f.EdtAxisMax, "2,5");
    EXPECT_EQ(f.CbxNumRay, "12");
    EXPECT_EQ(f.LblEdtSizeEll, "0.7");
    EXPECT_FALSE(f.ChBxEmergRay);
    // The options never touch what Orvane.par sets.
    EXPECT_EQ(f.LblEdtNumRays, Fields{}.LblEdtNumRays);
    EXPECT_EQ(f.EdtMaxp, Fields{}.EdtMaxp);
}

TEST(BatchOptions, HelpAndVersion)
{
    EXPECT_TRUE(ParseBatchOptions({"-h"}).help);
    EXPECT_TRUE(ParseBatchOptions({"--help"}).help);
    EXPECT_TRUE(ParseBatchOptions({"--version"}).version);
    const std::string usage = BatchUsage();
    for (const char* option : {"--dir", "--no-total", "--diffraction", "--airy", "--uniform-rainbow", "--check",
                               "--minmax", "--picture", "--rays", "--ellipsoid-size", "--no-emergent", "--png",
                               "--chart-png", "--chart-size", "--mie", "--debye", "--entry-fresnel", "--sharp-diffraction",
                               "--version"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
}

TEST(BatchOptions, RefusesUnusableCommandLines)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"extra"},
        {"-C"},
        {"--dir", ""},
        {"--minmax", "-25"},
        {"--rays"},
        {"--picture", "700"},
        {"--picture", "x500"},
        {"--picture", "700x"},
        {"--picture", "0x500"},
        {"--picture", "700x-5"},
        {"--picture", "10001x10"},
        {"--picture", "7.5x10"},
        {"--png", "p.png"},  // a PNG of the picture needs the picture
        {"--chart-png", "c.png", "--chart-size", "900"},
        {"--chart-png", "c.png", "--chart-size", "0x500"},
        {"--chart-size", "900x500"},  // a size without the chart's PNG
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args)
            joined += "[" + a + "]";
        try {
            ParseBatchOptions(args);
            ADD_FAILURE() << "accepted " << joined;
        } catch (const UsageError& e) {
            EXPECT_FALSE(e.message.empty()) << joined;
        }
    }
}

} // namespace
} // namespace orvane
