// Every turning point of an order gets the uniform field: the rainbows of a water drop's
// orders 2 to 5 from few rays and from many, in both polarisations, and the two different
// rainbows of a spheroid under either Fresnel rule. Where the run's rays are too sparse more
// are traced, with the run's own physics; a caustic that cannot be treated is named.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "engine/AssembleOrders.h"
#include "engine/Caustics.h"
#include "mie/Debye.h"
#include "numeric/Angles.h"
#include "base/RunControl.h"
#include "tests/engine/TracedRun.h"

namespace orvane {
namespace {

double Intensity(const ScatteringGrid& grid, int e) { return std::norm(Complex{grid.TotalAmpRe[e], grid.TotalAmpIm[e]}); }

int GridIndex(const ScatteringGrid& grid, double theta)
{
    return static_cast<int>(std::lround((theta + kPi) / grid.ThetaStep));
}

// The rainbow angle of order p of a sphere (Descartes): the ray whose deviation
// 2i − 2p·r + (p − 1)π is stationary has cos²i = (m² − 1)/(p² − 1); the scattering angle in
// [0, π] of that deviation.
double DescartesAngle(double m, int p)
{
    const double cosI = std::sqrt((m * m - 1) / (p * p - 1));
    const double i = std::acos(cosI);
    const double r = std::asin(std::sin(i) / m);
    const double deviation = std::fmod(2 * i - 2 * p * r + (p - 1) * kPi, kTwoPi);
    const double wrapped = deviation < 0 ? deviation + kTwoPi : deviation;
    return wrapped > kPi ? kTwoPi - wrapped : wrapped;
}

struct RainbowCase {
    const char* label;
    double a, bc;         // semi-axes [µm]: a vertical, b = c
    double incidenceDeg;
    int polar;
    int p;
    int rays;
    bool entryFresnel;
    std::vector<double> rainbowsDeg;  // the caustic angles of order p (empty: a sphere's ±Descartes angle)
    double maxDex = 0;                // a sphere's largest |Δlog10 I| against the Debye term p
    // Of those, the caustics the rays cannot describe: left to the plain rays with a message.
    std::vector<double> untreatedDeg = {};
};

std::ostream& operator<<(std::ostream& os, const RainbowCase& c) { return os << c.label; }

// The traced order, the tracer for more rays, and the total of that order alone on a grid of
// 3601 angles, plain and with the uniform field.
struct RainbowRun {
    std::unique_ptr<testing::TracedRun> run;
    std::unique_ptr<TracedCausticRays> more;
    std::vector<OrderRows> rows;
    ScatteringGrid plain{3601}, uniform{3601};
    RecordingControl sink;
    FoldSearch folds;

    explicit RainbowRun(const RainbowCase& c)
    {
        run = testing::Trace([&](DiagramInputs& f) {
            f.particle.RadiusA = c.a;
            f.particle.RadiusB = f.particle.RadiusC = c.bc;
            f.particle.IncAngle = ToRadians(c.incidenceDeg);
            f.particle.Polar = c.polar;
            f.MinP = f.MaxP = c.p;
            f.NumIncRays = c.rays;
            f.EntryFresnel = c.entryFresnel;
        });
        more = std::make_unique<TracedCausticRays>(run->P(), run->rays.norm, run->heights(), c.p,
                                                   c.entryFresnel ? FresnelRule::Entry : FresnelRule::Local,
                                                   run->control);
        const RayTables& T = run->T();
        rows = {{T.RayAngle[c.p].data(), T.RayIntensity[c.p].data(), T.RayPhase[c.p].data()}};
        folds = FindFolds(rows, c.rays, {}, more.get());
        AssembleOrders(rows, c.rays, plain, sink, 2, false, more.get());
        AssembleOrders(rows, c.rays, uniform, sink, 2, true, more.get());
    }
};

class EveryRainbow : public ::testing::TestWithParam<RainbowCase> {};

TEST_P(EveryRainbow, GetsTheUniformField)
{
    const RainbowCase& c = GetParam();
    const RainbowRun r(c);
    const bool sphere = c.rainbowsDeg.empty();
    std::vector<double> expected = c.rainbowsDeg;
    if (sphere)
        expected = {-ToDegrees(DescartesAngle(1.333, c.p)), ToDegrees(DescartesAngle(1.333, c.p))};

    // The turning points found are the rainbows, and every one of them is treated but those
    // the rays cannot describe, which one message names.
    EXPECT_TRUE(r.folds.untreated.empty());
    const auto untreated = [&](const Fold& f) {
        return std::any_of(c.untreatedDeg.begin(), c.untreatedDeg.end(),
                           [&](double u) { return std::fabs(ToDegrees(f.thetaC) - u) < 0.05; });
    };
    std::vector<UntreatedCaustic> left;
    for (const Fold& f : r.folds.folds)
        if (untreated(f))
            left.push_back({f.p, f.thetaC});
    ASSERT_EQ(left.size(), c.untreatedDeg.size());
    if (left.empty()) {
        EXPECT_TRUE(r.sink.messages.empty()) << (r.sink.messages.empty() ? "" : r.sink.messages.front());
    } else {
        ASSERT_EQ(r.sink.messages.size(), 1u);
        EXPECT_EQ(r.sink.messages.front(), UntreatedCausticsMessage(left));
    }
    std::vector<double> found;
    for (const Fold& f : r.folds.folds)
        found.push_back(ToDegrees(f.thetaC));
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t k = 0; k < found.size(); ++k)
        EXPECT_NEAR(found[k], expected[k], 0.05);

    for (const Fold& f : r.folds.folds) {
        if (untreated(f))
            continue;
        SCOPED_TRACE("rainbow at " + std::to_string(ToDegrees(f.thetaC)) + "°");
        const ScatteringGrid& grid = r.uniform;
        const auto at = [&](double offsetDeg) { return GridIndex(grid, f.thetaC + f.dir * ToRadians(offsetDeg)); };
        // The dark side, where no ray of the caustic arrives: the field decays like Ai.
        const double d1 = Intensity(grid, at(-0.3)), d2 = Intensity(grid, at(-0.6)), d3 = Intensity(grid, at(-0.9));
        EXPECT_GT(d1, d2);
        EXPECT_GT(d2, d3);
        EXPECT_GT(d3, 0.0);
        // The caustic is no spike: its intensity is a fair part of the first Airy lobe's peak
        // ((Ai(0)/Ai(−1.019))² ≈ 0.44 of it when the two rays are alike).
        double lobe = 0;
        for (int e = std::min(at(0), at(3)); e <= std::max(at(0), at(3)); ++e)
            lobe = std::max(lobe, Intensity(grid, e));
        const double ratio = Intensity(grid, at(0)) / lobe;
        EXPECT_GT(ratio, 0.15);
        EXPECT_LT(ratio, 0.95);
        if (!sphere)
            continue;

        // Against the exact Debye term p: the dark side, the caustic and the first lobe.
        std::vector<double> angles;
        for (double offset : {-1.5, -1.0, -0.5, 0.0, 0.5, 1.0, 1.5, 2.0, 3.0})
            angles.push_back(grid.ThetaGrid[static_cast<std::size_t>(at(offset))]);
        const DebyeSphere terms(c.a, 0.6328, Complex(1.333, 0.0));
        const std::vector<double> exact = DebyeGridIntensity(terms, angles, 0.0, c.polar, c.p, c.p)[0];
        for (std::size_t k = 0; k < angles.size(); ++k) {
            const double ours = Intensity(grid, GridIndex(grid, angles[k]));
            ASSERT_GT(ours, 0.0) << ToDegrees(angles[k]) << "°";
            EXPECT_LT(std::fabs(std::log10(ours / exact[k])), c.maxDex) << ToDegrees(angles[k]) << "°";
        }
    }
}

// The rainbows of a water drop (50 µm, 0.6328 µm) at the default 200 rays and at 5000, and the
// two of a water spheroid (a = 55, b = c = 45 µm) at 20°, order 2, under either Fresnel rule.
// Under the local rule the rays on one side of the spheroid's 135.90° rainbow reach the critical
// angle at their reflection inside 0.23° from it (ζ = 0.06 there): beyond, their phase is that
// of total reflection, and the rays describe no caustic.
const RainbowCase kRainbows[] = {
    {"drop_p2_perpendicular_200", 50, 50, 0, 1, 2, 200, false, {}, 0.05},
    {"drop_p3_perpendicular_200", 50, 50, 0, 1, 3, 200, false, {}, 0.05},
    {"drop_p4_perpendicular_200", 50, 50, 0, 1, 4, 200, false, {}, 0.12},
    {"drop_p5_perpendicular_200", 50, 50, 0, 1, 5, 200, false, {}, 0.2},
    {"drop_p2_parallel_200", 50, 50, 0, 0, 2, 200, false, {}, 0.05},
    {"drop_p3_parallel_200", 50, 50, 0, 0, 3, 200, false, {}, 0.05},
    {"drop_p4_parallel_200", 50, 50, 0, 0, 4, 200, false, {}, 0.12},
    {"drop_p5_parallel_200", 50, 50, 0, 0, 5, 200, false, {}, 0.2},
    {"drop_p2_perpendicular_5000", 50, 50, 0, 1, 2, 5000, false, {}, 0.05},
    {"drop_p3_perpendicular_5000", 50, 50, 0, 1, 3, 5000, false, {}, 0.05},
    {"drop_p4_perpendicular_5000", 50, 50, 0, 1, 4, 5000, false, {}, 0.12},
    {"drop_p5_perpendicular_5000", 50, 50, 0, 1, 5, 5000, false, {}, 0.2},
    {"drop_p2_parallel_5000", 50, 50, 0, 0, 2, 5000, false, {}, 0.05},
    {"drop_p3_parallel_5000", 50, 50, 0, 0, 3, 5000, false, {}, 0.05},
    {"drop_p4_parallel_5000", 50, 50, 0, 0, 4, 5000, false, {}, 0.12},
    {"drop_p5_parallel_5000", 50, 50, 0, 0, 5, 5000, false, {}, 0.2},
    {"spheroid_local_perpendicular", 55, 45, 20, 1, 2, 2000, false, {-113.70, 135.90}, 0, {135.90}},
    {"spheroid_local_parallel", 55, 45, 20, 0, 2, 2000, false, {-113.70, 135.90}, 0, {135.90}},
    {"spheroid_entry_perpendicular", 55, 45, 20, 1, 2, 2000, true, {-113.70, 135.90}},
    {"spheroid_entry_parallel", 55, 45, 20, 0, 2, 2000, true, {-113.70, 135.90}},
    {"spheroid_local_perpendicular_200", 55, 45, 20, 1, 2, 200, false, {-113.70, 135.90}, 0, {135.90}},
};

INSTANTIATE_TEST_SUITE_P(Rainbows, EveryRainbow, ::testing::ValuesIn(kRainbows),
                         [](const ::testing::TestParamInfo<RainbowCase>& info) { return info.param.label; });

// A CausticRays that counts what it is asked to trace.
class CountingRays final : public CausticRays {
public:
    explicit CountingRays(const CausticRays& inner) : inner_(inner) {}
    int orderNumber(int order) const override { return inner_.orderNumber(order); }
    double height(int ray) const override { return inner_.height(ray); }
    void trace(int order, const double* heights, int count, double* angle, double* intensity,
               double* phase) const override
    {
        traced += count;
        inner_.trace(order, heights, count, angle, intensity, phase);
    }
    mutable int traced = 0;

private:
    const CausticRays& inner_;
};

TEST(TracedCausticRays, TraceTheRunsOwnRaysBitForBit)
{
    // The rays traced for a caustic are the run's: the same particle, normalisation and
    // Fresnel rule, order MinP + index. At the run's own heights they are its rays exactly.
    for (const bool entry : {false, true}) {
        SCOPED_TRACE(entry ? "Fresnel at the entry" : "local Fresnel coefficients");
        const auto run = testing::Trace([&](DiagramInputs& f) {
            testing::ClearObliqueSpheroid(f);
            f.EntryFresnel = entry;
        });
        const TracedCausticRays more(run->P(), run->rays.norm, run->heights(), 2,
                                     entry ? FresnelRule::Entry : FresnelRule::Local, run->control);
        EXPECT_EQ(more.orderNumber(1), 3);
        const std::vector<double>& heights = run->heights();
        EXPECT_EQ(more.height(17), heights[17]);
        std::vector<double> angle(heights.size()), intensity(heights.size()), phase(heights.size());
        more.trace(1, heights.data(), static_cast<int>(heights.size()), angle.data(), intensity.data(),
                   phase.data());
        const RayTables& T = run->T();
        int emerged = 0;
        for (std::size_t i = 0; i < heights.size(); ++i) {
            EXPECT_EQ(angle[i], T.RayAngle[3][i]) << i;
            EXPECT_EQ(intensity[i], T.RayIntensity[3][i]) << i;
            EXPECT_EQ(phase[i], T.RayPhase[3][i]) << i;
            emerged += angle[i] != 0;
        }
        EXPECT_GT(emerged, 50);
    }
}

TEST(TracedCausticRays, StopWhenTheRunIsCancelled)
{
    class Cancelling final : public RunControl {
    public:
        bool cancelRequested() const override { return true; }

    protected:
        void display(const std::string&) override {}
    } control;
    const auto run = testing::Trace([](DiagramInputs& f) { f.MaxP = 2; });
    const TracedCausticRays more(run->P(), run->rays.norm, run->heights(), 2, FresnelRule::Local, control);
    std::vector<double> heights(100, 43.0), angle(100), intensity(100), phase(100);
    EXPECT_THROW(more.trace(0, heights.data(), 100, angle.data(), intensity.data(), phase.data()), Cancelled);
}

TEST(UniformRainbow, WithoutItNothingIsTracedAndNoBitChanges)
{
    const RainbowRun r({"drop", 50, 50, 0, 1, 3, 200, false, {}, 0});
    const CountingRays counting(*r.more);
    ScatteringGrid with(3601), without(3601);
    RecordingControl sink;
    AssembleOrders(r.rows, 200, with, sink, 2, false, &counting);
    AssembleOrders(r.rows, 200, without, sink, 2, false, nullptr);
    EXPECT_EQ(counting.traced, 0);
    EXPECT_EQ(with.TotalAmpRe, without.TotalAmpRe);
    EXPECT_EQ(with.TotalAmpIm, without.TotalAmpIm);
    EXPECT_TRUE(sink.messages.empty());

    // With it, the secondary rainbow's 200 rays are refined: a few hundred more, no more.
    ScatteringGrid uniform(3601);
    AssembleOrders(r.rows, 200, uniform, sink, 2, true, &counting);
    EXPECT_GT(counting.traced, 50);
    EXPECT_LT(counting.traced, 2000);
}

TEST(UniformRainbow, ACausticTheRaysCannotDescribeIsNamedAndKeepsItsRays)
{
    // The rays between 30 and 43.5 µm: order 2 turns at 43.04 µm, and the rays end half a
    // micrometre beyond, long before the bright side of the caustic is described.
    const auto run = testing::Trace([](DiagramInputs& f) {
        f.MinP = f.MaxP = 2;
        f.range = PositionRange{30.0, 43.5};
    });
    const TracedCausticRays more(run->P(), run->rays.norm, run->heights(), 2, FresnelRule::Local, run->control);
    const RayTables& T = run->T();
    const std::vector<OrderRows> rows = {{T.RayAngle[2].data(), T.RayIntensity[2].data(), T.RayPhase[2].data()}};
    ScatteringGrid plain(3601), uniform(3601);
    RecordingControl sink;
    AssembleOrders(rows, 200, plain, sink, 2, false, &more);
    ASSERT_TRUE(sink.messages.empty());
    AssembleOrders(rows, 200, uniform, sink, 2, true, &more);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0],
              "Uniform rainbow: the caustic of order 2 at -137.92° keeps its plain rays: the rays beyond the "
              "turning point end or change abruptly too close to it (at a grazing edge, a gap in the rays, another "
              "caustic or a step of their phase).");
    EXPECT_EQ(uniform.TotalAmpRe, plain.TotalAmpRe);
    EXPECT_EQ(uniform.TotalAmpIm, plain.TotalAmpIm);
}

TEST(UniformRainbow, TheMessageNamesMirrorImagesTogether)
{
    const std::vector<UntreatedCaustic> untreated = {
        {8, ToRadians(-64.05)}, {8, ToRadians(64.05)}, {9, ToRadians(19.45)}, {10, ToRadians(-102.8)}};
    EXPECT_EQ(UntreatedCausticsMessage(untreated),
              "Uniform rainbow: the caustics of order 8 at ±64.05°, order 9 at 19.45°, order 10 at -102.80° keep "
              "their plain rays: the rays beyond the turning point end or change abruptly too close to it (at a "
              "grazing edge, a gap in the rays, another caustic or a step of their phase).");
}

} // namespace
} // namespace orvane
