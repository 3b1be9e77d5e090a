// The uniform field at a caustic: the two rays' sum far from it, the Airy integral of a
// canonical fold on both sides of it, bits unchanged away from every caustic and on any
// number of threads, and a water drop's primary rainbow against the exact Debye term.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "engine/AssembleOrders.h"
#include "engine/Caustics.h"
#include "engine/UniformCaustic.h"
#include "numeric/Angles.h"
#include "numeric/AiryFunctions.h"
#include "base/RunControl.h"
#include "tests/engine/TracedRun.h"

namespace orvane {
namespace {


Complex At(const ScatteringGrid& grid, int e) { return {grid.TotalAmpRe[e], grid.TotalAmpIm[e]}; }

TEST(UniformPairField, FarFromTheCausticIsTheTwoRaysSum)
{
    // ξ = (φa − φb + π/2)/2 is the two rays' phase distance from the caustic. The uniform field
    // approaches their sum like 1/ξ (Airy's asymptotic corrections), within 1e-3 from ξ = 120.
    struct Case {
        double Aa, Ab, mean;
    };
    const Case cases[] = {{1.0, 1.0, 0.3}, {2.0, 0.5, -1234.5}, {0.3, 1.7, 86671.5}, {1.0, 0.0, 2.0}};
    for (const Case& c : cases) {
        for (double xi : {5.0, 20.0, 60.0, 120.0}) {
            const double phiA = c.mean + xi - kHalfPi / 2;
            const double phiB = c.mean - xi + kHalfPi / 2;
            const Complex rays = c.Aa * std::polar(1.0, phiA) + c.Ab * std::polar(1.0, phiB);
            const Complex uniform = UniformPairField(c.Aa, phiA, c.Ab, phiB);
            const double gap = std::abs(uniform - rays) / (c.Aa + c.Ab);
            EXPECT_LT(gap, 0.12 / xi) << "xi " << xi << ", amplitudes " << c.Aa << " " << c.Ab;
            if (xi >= 120) {
                EXPECT_LT(gap, 1e-3);
            }
        }
    }
}

TEST(UniformPairField, StaysFiniteOnTheCaustic)
{
    // Two rays whose amplitudes grow like ζ^{−1/4} towards the caustic, as they do at a fold:
    // their uniform field tends to 2√π·Ai(0) while each ray alone diverges.
    for (double xi : {1e-9, 1e-6, 1e-4}) {
        const double zeta = std::pow(1.5 * xi, 2.0 / 3.0);
        const double A = std::pow(zeta, -0.25);
        const Complex u = UniformPairField(A, 0.0, A, kHalfPi - 2 * xi);
        EXPECT_NEAR(std::abs(u), 2 * std::sqrt(kPi) * 0.35502805388781724, 5e-3) << "xi " << xi;
    }
}

// A canonical fold: rays t = −4..4 leave at θ = θc ± t²/κ with amplitude (1 + βt)·√(π/|t|)
// and phase λ·(θ − θc) + (2/3)t³ ∓ π/4, the stationary points of
// ∫ (1 + βt)·exp(−i(t³/3 − x·t)) dt with x = κ·|θ − θc|. Their exact field is
// 2π·(Ai(−x) + iβ·Ai′(−x))·e^{iλ(θ − θc)}, on the bright side (x > 0) and the dark side alike.
struct Fold {
    static constexpr int kRays = 401;
    static constexpr double kKappa = 40.0;
    static constexpr double kBeta = 0.1;
    static constexpr double kLambda = 300.0;
    static constexpr double kThetaC = 1.0;
    std::vector<double> angle, intensity, phase;
    double side = 1;  // +1: the bright side at larger angles

    Fold(double brightSide, bool reversed) : side(brightSide)
    {
        for (int i = 0; i < kRays; ++i) {
            const int k = reversed ? kRays - 1 - i : i;
            const double t = (k - 200 - 0.37) * 0.02;
            const double theta = kThetaC + side * t * t / kKappa;
            angle.push_back(theta);
            const double amplitude = (1 + kBeta * t) * std::sqrt(kPi / std::fabs(t));
            intensity.push_back(amplitude * amplitude);
            phase.push_back(kLambda * (theta - kThetaC) + 2.0 / 3.0 * t * t * t - (t > 0 ? 1 : -1) * kPi / 4);
        }
    }

    double X(double theta) const { return kKappa * side * (theta - kThetaC); }

    Complex Exact(double theta) const
    {
        const AiryValue airy = AiryAi(-X(theta));
        return 2 * kPi * Complex(airy.ai, kBeta * airy.aiPrime) * std::polar(1.0, kLambda * (theta - kThetaC));
    }

    ScatteringGrid Assemble(bool uniform) const
    {
        ScatteringGrid grid(7201);
        RecordingControl sink;
        AssembleOrders({{angle.data(), intensity.data(), phase.data()}}, kRays, grid, sink, 2, uniform);
        EXPECT_TRUE(sink.messages.empty());
        return grid;
    }
};

TEST(UniformCaustic, CanonicalFoldGivesTheAiryIntegralOnBothSides)
{
    // Both orientations of the fold, and the rays listed either way.
    for (double side : {1.0, -1.0}) {
        for (bool reversed : {false, true}) {
            SCOPED_TRACE(std::string("bright side ") + (side > 0 ? "up" : "down") + (reversed ? ", reversed" : ""));
            const Fold fold(side, reversed);
            const ScatteringGrid uniform = fold.Assemble(true);
            const ScatteringGrid plain = fold.Assemble(false);
            const double peak = std::abs(fold.Exact(Fold::kThetaC + side * 1.0188 / Fold::kKappa));
            double worstBright = 0, worstDark = 0;
            int dark = 0;
            for (int e = 0; e < uniform.NumScaRays; ++e) {
                const double theta = uniform.ThetaGrid[e];
                const double x = fold.X(theta);
                if (x < -6 || x > 12)
                    continue;
                const Complex exact = fold.Exact(theta);
                if (x > 0) {
                    worstBright = std::max(worstBright, std::abs(At(uniform, e) - exact) / peak);
                } else {
                    // Decaying like Ai, by seven orders of magnitude down to x = −6.
                    worstDark = std::max(worstDark, std::abs(At(uniform, e) - exact) / std::abs(exact));
                    EXPECT_EQ(At(plain, e), 0.0);  // no ray arrives there
                    ++dark;
                }
            }
            EXPECT_GT(dark, 100);
            EXPECT_LT(worstBright, 3e-3);
            EXPECT_LT(worstDark, 1e-3);
        }
    }
}

TEST(UniformCaustic, FarFromTheCausticTheGridKeepsItsBits)
{
    // Beyond the caustic's zone the plain sum of the rays stands, to the last bit.
    const Fold fold(1.0, false);
    const ScatteringGrid uniform = fold.Assemble(true);
    const ScatteringGrid plain = fold.Assemble(false);
    int kept = 0, changed = 0;
    for (int e = 0; e < uniform.NumScaRays; ++e) {
        const double x = fold.X(uniform.ThetaGrid[e]);
        if (x > 8.5 || x < -10.5) {
            EXPECT_EQ(At(uniform, e), At(plain, e)) << "x " << x;
            kept += x > 0;
        } else if (x > -5 && At(uniform, e) != At(plain, e)) {
            ++changed;
        }
    }
    EXPECT_GT(kept, 100);
    EXPECT_GT(changed, 100);
}

std::vector<OrderRows> Rows(const testing::TracedRun& run, int minP, int maxP)
{
    std::vector<OrderRows> rows;
    for (int p = minP; p <= maxP; ++p)
        rows.push_back({run.T().RayAngle[p].data(), run.T().RayIntensity[p].data(), run.T().RayPhase[p].data()});
    return rows;
}

// The run's tracer for more rays of orders minP.. of a traced run.
TracedCausticRays MoreRays(testing::TracedRun& run, int minP)
{
    return TracedCausticRays(run.P(), run.rays.norm, run.heights(), minP, FresnelRule::Local, run.control);
}

TEST(UniformCaustic, OrdersWithoutATurningPointAndAnglesFarFromOneKeepTheirBits)
{
    // The 50 µm drop: orders 0 and 1 turn nowhere; orders 2 and 3 have their rainbows near
    // ±137.9° and ±129.1°, whose zones stay within 105°..160°. With the window's 200 rays the
    // secondary rainbow is traced again more densely; with 1000 the run's rays suffice.
    for (const int rays : {200, 1000}) {
        const auto run = testing::Trace([&](DiagramInputs& f) {
            f.NumIncRays = rays;
            f.MaxP = 3;
        });
        const TracedCausticRays more = MoreRays(*run, 0);
        RecordingControl sink;
        for (auto [minP, maxP] : {std::pair{0, 1}, std::pair{0, 3}}) {
            ScatteringGrid plain(3601), uniform(3601);
            AssembleOrders(Rows(*run, minP, maxP), rays, plain, sink, 2, false);
            AssembleOrders(Rows(*run, minP, maxP), rays, uniform, sink, 2, true, rays == 200 ? &more : nullptr);
            int changed = 0;
            for (int e = 0; e < plain.NumScaRays; ++e) {
                const double degrees = std::fabs(ToDegrees(plain.ThetaGrid[e]));
                if (maxP < 2 || degrees < 105 || degrees > 160) {
                    EXPECT_EQ(At(uniform, e), At(plain, e))
                        << rays << " rays, orders " << minP << ".." << maxP << ", " << degrees << "°";
                } else {
                    changed += At(uniform, e) != At(plain, e);
                }
            }
            if (maxP >= 2) {
                EXPECT_GT(changed, 500);
            }
        }
        EXPECT_TRUE(sink.messages.empty());
    }
}

TEST(UniformCaustic, ThreadsDoNotChangeTheField)
{
    // Orders 0 to 10 from the window's 200 rays: the caustics of orders 3 and up are traced
    // again before the grid is shared out; one thread or two, the same bits.
    const auto run = testing::Trace([](DiagramInputs& f) { f.MaxP = 10; });
    const TracedCausticRays more = MoreRays(*run, 0);
    RecordingControl sink;
    ScatteringGrid one(120001), two(120001);
    AssembleOrders(Rows(*run, 0, 10), 200, one, sink, 1, true, &more);
    AssembleOrders(Rows(*run, 0, 10), 200, two, sink, 2, true, &more);
    EXPECT_EQ(one.TotalAmpRe, two.TotalAmpRe);
    EXPECT_EQ(one.TotalAmpIm, two.TotalAmpIm);
}

// |S1|² and |S2|² of the exact Debye term p = 2 for the 50 µm water drop at 0.6328 µm, at grid
// angles e of a 3601-angle grid (0.1° apart), from tests/engine/make_rainbow_table.py.
struct DebyeValue {
    int e;
    double s1, s2;
};
constexpr DebyeValue kDebyeP2[] = {
    {350, 5.129679e+04, 5.904926e+03},  // 145.0°
    {355, 1.392733e+04, 1.764935e+04},  // 144.5°
    {360, 2.771324e+03, 2.061441e+04},  // 144.0°
    {365, 3.936319e+04, 1.147577e+04},  // 143.5°
    {370, 7.336883e+04, 4.312812e+03},  // 143.0°
    {375, 6.151294e+04, 7.261616e+03},  // 142.5°
    {380, 2.121149e+04, 1.450303e+04},  // 142.0°
    {385, 4.655625e+02, 1.751971e+04},  // 141.5°
    {390, 2.295673e+04, 1.467720e+04},  // 141.0°
    {395, 7.240643e+04, 9.855656e+03},  // 140.5°
    {400, 1.163225e+05, 6.751551e+03},  // 140.0°
    {405, 1.335148e+05, 6.017147e+03},  // 139.5°
    {410, 1.228418e+05, 6.277841e+03},  // 139.0°
    {415, 9.577200e+04, 6.200067e+03},  // 138.5°
    {420, 6.534176e+04, 5.360218e+03},  // 138.0°
    {425, 3.983184e+04, 4.028043e+03},  // 137.5°
    {430, 2.201455e+04, 2.668936e+03},  // 137.0°
    {435, 1.115404e+04, 1.585537e+03},  // 136.5°
    {440, 5.224658e+03, 8.531951e+02},  // 136.0°
    {445, 2.277359e+03, 4.198942e+02},  // 135.5°
    {450, 9.291697e+02, 1.915033e+02},  // 135.0°
    {455, 3.566052e+02, 8.124919e+01},  // 134.5°
    {460, 1.291540e+02, 3.206086e+01},  // 134.0°
    {465, 4.431311e+01, 1.197934e+01},  // 133.5°
    {470, 1.446896e+01, 4.246419e+00},  // 133.0°
    {475, 4.495443e+00, 1.393660e+00},  // 132.5°
    {480, 1.332258e+00, 4.438654e-01},  // 132.0°
    {485, 3.804574e-01, 1.389566e-01},  // 131.5°
    {490, 1.036217e-01, 3.739381e-02},  // 131.0°
    {495, 2.686000e-02, 1.053352e-02},  // 130.5°
    {500, 6.948808e-03, 3.349527e-03},  // 130.0°
};

TEST(UniformCaustic, PrimaryRainbowOfADropFollowsTheExactDebyeTerm)
{
    // Order 2 alone, from the window's 200 rays and those traced near the rainbow: through the
    // bright fringes, the rainbow and seven orders of magnitude down the dark band, both
    // polarisations. In parallel polarisation one ray family passes through Brewster's angle
    // 0.8° from the rainbow.
    for (const int polar : {1, 0}) {
        SCOPED_TRACE("polarisation " + std::to_string(polar));
        const auto run = testing::Trace([&](DiagramInputs& f) {
            f.particle.Polar = polar;
            f.MaxP = 2;
        });
        const TracedCausticRays more = MoreRays(*run, 2);
        RecordingControl sink;
        ScatteringGrid grid(3601);
        AssembleOrders(Rows(*run, 2, 2), 200, grid, sink, 2, true, &more);
        EXPECT_TRUE(sink.messages.empty());
        std::vector<double> errors;
        for (const DebyeValue& d : kDebyeP2) {
            const double exact = polar == 1 ? d.s1 : d.s2;
            for (int e : {d.e, grid.NumScaRays - 1 - d.e}) {
                const double ours = std::norm(At(grid, e));
                ASSERT_GT(ours, 0.0) << "grid angle " << e;
                errors.push_back(std::fabs(std::log10(ours / exact)));
                EXPECT_LT(errors.back(), 0.12) << ToDegrees(grid.ThetaGrid[e]) << "°";
            }
        }
        std::nth_element(errors.begin(), errors.begin() + errors.size() / 2, errors.end());
        EXPECT_LT(errors[errors.size() / 2], 0.03);
    }
}

} // namespace
} // namespace orvane
