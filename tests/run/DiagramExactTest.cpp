// The exact curve of a sphere in the diagram run: its file, the particles and sizes it is
// refused for, and how it compares with the ray model's total.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <optional>

#include "numeric/Angles.h"
#include "mie/Mie.h"
#include "base/Errors.h"
#include "output/DataFiles.h"
#include "tests/run/RunSupport.h"
#include "tests/support/ReferenceFiles.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;

struct ExactRun : testing::WindowRun {
    TempFolder dir;
    std::optional<DiagramResult> result;

    ExactRun() { fields.CompareExact = true; }
    void calculate() { result.emplace(testing::Calculate(*this, dir.path())); }
    const std::vector<double>& mie() const { return result->mie; }
};

std::vector<std::string> Lines(const fs::path& file)
{
    const auto split = testing::SplitCrLf(ReadBytes(file));
    EXPECT_TRUE(split.ok) << file;
    return split.lines;
}

// The angle and intensity of a data line "%12.6f %12.6e".
struct Point {
    double angle = 0;
    double intensity = 0;
};

Point ParseLine(const std::string& line)
{
    Point p;
    p.angle = std::strtod(line.substr(0, 12).c_str(), nullptr);
    p.intensity = std::strtod(line.substr(13).c_str(), nullptr);
    return p;
}

TEST(DiagramExact, DefaultDropWritesTheGridAndFillsTheSeries)
{
    ExactRun run;
    run.calculate();
    EXPECT_TRUE(run.sink.messages.empty());

    const std::vector<std::string> lines = Lines(run.dir / kMieFileName);
    ASSERT_EQ(lines.size(), 1001u);
    EXPECT_EQ(lines[0], "# theta[deg.] Intensity");
    EXPECT_EQ(lines[1].substr(0, 12), " -180.000000");
    EXPECT_EQ(lines[1000].substr(0, 12), "  180.000000");
    for (std::size_t n = 1; n < lines.size(); ++n) {
        // "%12.6f %12.6e": 25 characters, a mantissa of 6 digits and a three-digit exponent.
        ASSERT_EQ(lines[n].size(), 25u) << n;
        EXPECT_EQ(lines[n][12], ' ') << n;
        EXPECT_EQ(lines[n][20], 'E') << lines[n];
    }
    // The grid's angles match the total file's, line by line.
    const std::vector<std::string> total = Lines(run.dir / "Orvane_t.dat");
    ASSERT_EQ(total.size(), lines.size());
    for (std::size_t n = 1; n < lines.size(); ++n)
        EXPECT_EQ(lines[n].substr(0, 12), total[n].substr(0, 12)) << n;

    const std::vector<double>& mie = run.mie();
    ASSERT_EQ(mie.size(), 1000u);
    for (std::size_t e = 0; e < mie.size(); ++e) {
        const Point p = ParseLine(lines[e + 1]);
        EXPECT_NEAR(ToDegrees(run.result->grid.ThetaGrid[e]), p.angle, 1e-6) << e;
        EXPECT_NEAR(mie[e], p.intensity, 1e-5 * mie[e]) << e;
    }
    // The forward lobe of a 50 µm drop dwarfs everything else; the grid's nearest angles
    // lie 0.18° off it, where it has already fallen by half.
    const auto peak = std::max_element(mie.begin(), mie.end());
    EXPECT_NEAR(std::fabs(ToDegrees(run.result->grid.ThetaGrid[static_cast<std::size_t>(peak - mie.begin())])), 0.18,
                0.01);
    EXPECT_GT(std::log10(*peak), 9.0);
}

TEST(DiagramExact, RunsWithTheRunsPolarisationIncidenceAndIndex)
{
    // Parallel light, 30° incidence, an absorbing drop, 37 angles: the file holds |S2|² of
    // each grid angle less the incidence, and the curve does not need the total.
    ExactRun run;
    run.fields.CbxPol = "0";
    run.fields.EdtIncAng = "30";
    run.fields.Edtmi = "0.01";
    run.fields.EdtRadius_a = run.fields.EdtRadius_b = run.fields.EdtRadius_c = "20";
    run.fields.LblEdtNumSca = "37";
    run.fields.ChBxTotalInt = false;
    run.calculate();
    EXPECT_TRUE(run.sink.messages.empty());
    EXPECT_FALSE(run.result->totalComputed);
    EXPECT_FALSE(run.mie().empty());

    const MieSphere drop(20.0, 0.6328, {1.333, 0.01});
    const std::vector<std::string> lines = Lines(run.dir / kMieFileName);
    ASSERT_EQ(lines.size(), 38u);
    for (std::size_t e = 0; e < 37; ++e) {
        const Point p = ParseLine(lines[e + 1]);
        const double theta = -180.0 + 10.0 * static_cast<double>(e);
        EXPECT_NEAR(p.angle, theta, 1e-6);
        const double expected = drop.Intensity((theta - 30.0) * kPi / 180.0, 0);
        EXPECT_NEAR(p.intensity, expected, 1e-5 * expected) << theta;
    }
}

TEST(DiagramExact, WithoutTheExactCurveTheDiagramGoesOnAsBefore)
{
    struct Case {
        const char* name;
        std::function<void(Fields&)> setup;
        std::vector<std::string> messages;  // each the start of the message shown
    };
    const std::vector<Case> cases = {
        {"option off", [](Fields& f) { f.CompareExact = false; }, {}},
        {"spheroid", [](Fields& f) { f.EdtRadius_c = "40"; }, {"Exact theory is available for spheres only."}},
        {"ellipsoid, b differs", [](Fields& f) { f.EdtRadius_b = "49.9"; },
         {"Exact theory is available for spheres only."}},
        // 2π·50/1e-5 ≈ 3·10⁷: far more terms than a diagram should wait for.
        {"size parameter too large", [](Fields& f) { f.EdtWl = "1e-5"; },
         {"Exact theory needs a size parameter 2*pi*radius/wavelength between 0.01 and 1000000 (it is 3141"}},
    };
    for (const Case& c : cases) {
        ExactRun run;
        run.fields.LblEdtNumSca = "100";
        c.setup(run.fields);
        run.calculate();
        ASSERT_EQ(run.sink.messages.size(), c.messages.size()) << c.name;
        for (std::size_t i = 0; i < c.messages.size(); ++i)
            EXPECT_EQ(run.sink.messages[i].rfind(c.messages[i], 0), 0u) << c.name << ": " << run.sink.messages[i];
        EXPECT_FALSE(fs::exists(run.dir / kMieFileName)) << c.name;
        EXPECT_TRUE(run.mie().empty()) << c.name;
        // The rest of the diagram is all there.
        EXPECT_TRUE(run.result->totalComputed) << c.name;
        EXPECT_EQ(Lines(run.dir / "Orvane_t.dat").size(), 101u) << c.name;
        EXPECT_TRUE(fs::exists(run.dir / "Orvane_4.dat")) << c.name;
    }
}

TEST(DiagramExact, AnExactFileThatCannotBeWrittenEndsTheRun)
{
    ExactRun run;
    fs::create_directory(run.dir / kMieFileName);
    EXPECT_THROW(run.calculate(), FileError);
    // The diagram's own files, written before it, went with the run.
    EXPECT_EQ(testing::Snapshot(run.dir.path()).size(), 1u);
}

TEST(DiagramExact, RayTotalFollowsTheExactCurveOnAverageOverTheSideAngles)
{
    // A loose physical check of the whole chain (rays, assembly, diffraction beside the
    // exact series), not of either side's digits. Between 20° and 120° the light is the
    // external reflection and the twice-refracted rays, where the ray model is at its best;
    // still the two curves differ point by point: the exact one carries a fine
    // interference ripple (about λ/2a wide) and the small share of what the rays leave out
    // (orders above 4, surface waves), and the total is interpolated from 200 rays.
    // Averaged over 100° the ripple washes out and the levels must agree. The runs agree
    // within 1 %; a factor of 2 leaves room for any change of ray count or assembly while
    // still catching a wrong normalisation of either side (x², 4 or π apart) or an exact
    // curve of the wrong size.
    ExactRun run;
    run.fields.ChBxDiff = true;
    run.calculate();
    ASSERT_TRUE(run.result->totalComputed);
    ASSERT_FALSE(run.mie().empty());

    const std::vector<std::string> total = Lines(run.dir / "Orvane_t.dat");
    const std::vector<std::string> exact = Lines(run.dir / kMieFileName);
    ASSERT_EQ(total.size(), exact.size());
    // Both sides of the forward direction: the pattern of a sphere at normal incidence is
    // symmetric, and each side must agree on its own.
    for (const double side : {1.0, -1.0}) {
        double sumTotal = 0, sumExact = 0;
        int count = 0;
        for (std::size_t n = 1; n < total.size(); ++n) {
            const Point t = ParseLine(total[n]);
            const Point m = ParseLine(exact[n]);
            const double angle = side * t.angle;
            if (angle < 20.0 || angle > 120.0)
                continue;
            sumTotal += t.intensity;
            sumExact += m.intensity;
            ++count;
        }
        ASSERT_GT(count, 250);
        const double ratio = sumTotal / sumExact;
        EXPECT_GT(ratio, 0.5) << side;
        EXPECT_LT(ratio, 2.0) << side;
    }
}

} // namespace
} // namespace orvane
