// Debye terms against Mie theory and physics, their angle-grid interface and the inputs the
// module refuses. (Term-by-term values against an independent evaluation are in
// test_debye_reference.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "mie/Debye.h"
#include "mie/Mie.h"
#include "base/Errors.h"

namespace orvane {
namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;

std::vector<double> Degrees(std::initializer_list<double> values)
{
    std::vector<double> theta;
    for (double v : values)
        theta.push_back(v * kDeg);
    return theta;
}

// Σ of orders 0..pmax, the remainder above pmax and the diffraction at every angle.
std::vector<MieAmplitude> WholeSeries(const DebyeSphere& sphere, std::span<const double> theta, int pmax)
{
    const DebyeAmplitudes s = sphere.S1S2(theta, DebyeTerms{0, pmax, true, true});
    std::vector<MieAmplitude> sum(theta.size());
    for (std::size_t e = 0; e < theta.size(); ++e) {
        sum[e] = {s.diffraction[e].S1 + s.remainder[e].S1, s.diffraction[e].S2 + s.remainder[e].S2};
        for (const std::vector<MieAmplitude>& order : s.orders) {
            sum[e].S1 += order[e].S1;
            sum[e].S2 += order[e].S2;
        }
    }
    return sum;
}

bool FpFaultRaised() { return std::fetestexcept(FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW) != 0; }

// The terms are a decomposition of Mie's coefficients: per partial wave, diffraction + orders
// 0..P + the remainder above P gives a_n and b_n, for a short series (P = 4, where the
// remainder carries most of the light near the edge) and a long one (P = 50). The amplitude
// functions then sum to MieSphere's. Cases whose R11 stays below 1 in size: for some absorbing
// indices |R11| exceeds 1 at a few partial waves, the series of orders diverges there, and the
// closed-form remainder cancels terms far larger than the coefficient.
TEST(DebyeSeries, TermsAddUpToMie)
{
    struct Case {
        double x;
        Complex m;
    };
    const Case cases[] = {
        {1.0, {1.333, 0.0}},     {30.0, {1.333, 0.0}},    {496.459, {1.333, 0.0}},
        {300.0, {1.5, 0.0}},     {1000.0, {1.333, 0.001}}, {200.0, {1.5, 0.01}},
        {500.0, {0.75, 0.0}},    {50.0, {0.75, 0.0}},     {400.0, {1.2, 0.5}},
    };
    const std::vector<double> theta = Degrees({0.0, 5.0, 30.0, 60.0, 90.0, 120.0, 138.0, 165.0, 180.0});
    for (const Case& c : cases) {
        const DebyeSphere sphere = DebyeSphere::FromSizeParameter(c.x, c.m);
        const MieSphere mie = MieSphere::FromSizeParameter(c.x, c.m);
        ASSERT_EQ(sphere.NumTerms(), mie.NumTerms());
        for (int pmax : {4, kDebyeMaxOrder}) {
            for (int n = 1; n <= sphere.NumTerms(); ++n) {
                DebyeCoefficients sum = sphere.Diffraction(n);
                const DebyeCoefficients rest = sphere.Remainder(pmax, n);
                sum.a += rest.a;
                sum.b += rest.b;
                for (int p = 0; p <= pmax; ++p) {
                    const DebyeCoefficients t = sphere.Term(p, n);
                    sum.a += t.a;
                    sum.b += t.b;
                }
                ASSERT_LT(std::abs(sum.a - mie.A(n)), 1e-12) << c.x << " " << c.m << " P=" << pmax << " a_" << n;
                ASSERT_LT(std::abs(sum.b - mie.B(n)), 1e-12) << c.x << " " << c.m << " P=" << pmax << " b_" << n;
            }
            const std::vector<MieAmplitude> series = WholeSeries(sphere, theta, pmax);
            double peak = 0.0;
            for (double t : theta)
                peak = std::max(peak, std::abs(mie.S1S2(t).S1));
            for (std::size_t e = 0; e < theta.size(); ++e) {
                const MieAmplitude s = mie.S1S2(theta[e]);
                EXPECT_LT(std::abs(series[e].S1 - s.S1), 1e-11 * peak) << c.x << " " << c.m << " at " << theta[e];
                EXPECT_LT(std::abs(series[e].S2 - s.S2), 1e-11 * peak) << c.x << " " << c.m << " at " << theta[e];
            }
        }
    }
}

// The largest spheres the module takes: the Riccati functions of a bubble (evanescent inside
// past n = 0.75·x) and of an absorbing sphere run far outside the range of doubles, and so
// does R11^(p-1); the bubble's reflection divides two such numbers. Nothing may overflow or
// turn into a NaN, and the series still sums to Mie.
TEST(DebyeSeries, LargestSpheresStayFiniteAndSumToMie)
{
    const std::vector<double> theta = Degrees({0.0, 20.0, 60.0, 100.0, 138.0, 180.0});
    for (Complex m : {Complex(1.333, 0.0), Complex(0.75, 0.0), Complex(1.5, 0.01)}) {
        std::feclearexcept(FE_ALL_EXCEPT);
        const DebyeSphere sphere = DebyeSphere::FromSizeParameter(kDebyeMaxSizeParameter, m);
        const std::vector<MieAmplitude> series = WholeSeries(sphere, theta, 4);
        const DebyeAmplitudes high = sphere.S1S2(theta, DebyeTerms{48, 50, false, false, true});
        EXPECT_FALSE(FpFaultRaised()) << m;
        const MieSphere mie = MieSphere::FromSizeParameter(kDebyeMaxSizeParameter, m);
        for (std::size_t e = 0; e < theta.size(); ++e) {
            const MieAmplitude s = mie.S1S2(theta[e]);
            EXPECT_LT(std::abs(series[e].S1 - s.S1), 1e-9 * std::abs(s.S1)) << m << " at " << theta[e];
            EXPECT_LT(std::abs(series[e].S2 - s.S2), 1e-9 * std::abs(s.S2)) << m << " at " << theta[e];
            for (const std::vector<MieAmplitude>& order : high.orders)
                EXPECT_TRUE(std::isfinite(std::norm(order[e].S1)) && std::isfinite(std::norm(order[e].S2)));
            EXPECT_TRUE(std::isfinite(std::norm(high.reflection[e].S1))
                        && std::isfinite(std::norm(high.reflection[e].S2)));
        }
    }
}

// Extremes of index and size: every order, the diffraction, the remainder and the reflection
// stay finite and raise no floating-point fault (tiny spheres, a strongly absorbing one whose
// inner waves fall by e^(-2·10^5), an index of exactly 1, a bubble just below 1, a very dense
// sphere, a large absorbing bubble).
TEST(DebyeSeries, ExtremeInputsRaiseNoFault)
{
    struct Case {
        double x;
        Complex m;
    };
    const Case cases[] = {
        {kDebyeMinSizeParameter, {1.333, 0.0}}, {kDebyeMinSizeParameter, {0.75, 0.1}},
        {0.5, {1.5, 2.0}},                      {1.0e5, {1.5, 2.0}},
        {3000.0, {1.0, 0.0}},                   {3000.0, {0.999, 0.0}},
        {3000.0, {10.0, 0.0}},                  {20000.0, {0.5, 0.001}},
    };
    const std::vector<double> theta = Degrees({0.0, 45.0, 90.0, 180.0});
    for (const Case& c : cases) {
        std::feclearexcept(FE_ALL_EXCEPT);
        const DebyeSphere sphere = DebyeSphere::FromSizeParameter(c.x, c.m);
        const DebyeAmplitudes s = sphere.S1S2(theta, DebyeTerms{0, kDebyeMaxOrder, true, true, true});
        EXPECT_FALSE(FpFaultRaised()) << c.x << " " << c.m;
        std::vector<const std::vector<MieAmplitude>*> all = {&s.diffraction, &s.remainder, &s.reflection};
        for (const std::vector<MieAmplitude>& order : s.orders)
            all.push_back(&order);
        for (const std::vector<MieAmplitude>* term : all)
            for (const MieAmplitude& a : *term)
                ASSERT_TRUE(std::isfinite(std::norm(a.S1)) && std::isfinite(std::norm(a.S2))) << c.x << " " << c.m;
    }
}

// Independent of any series code: away from the forward peak, order 0 of a large sphere is
// reflection off its outside, |S|² = |r|²·x²/4 with the Fresnel coefficients at the
// incidence i = (π - θ)/2 (averaged over 2° to smooth the wave fringes), and a bubble
// reflects totally (|r| = 1) at the scattering angles below 2·acos(m).
TEST(DebyePhysics, OrderZeroIsFresnelReflection)
{
    const double x = 1.0e4;
    struct Case {
        double m;
        double thetaDeg;
    };
    const Case cases[] = {{1.333, 40.0}, {1.333, 90.0}, {1.333, 150.0}, {0.75, 30.0}, {0.75, 60.0}, {0.75, 130.0}};
    for (const Case& c : cases) {
        const DebyeSphere sphere = DebyeSphere::FromSizeParameter(x, Complex(c.m, 0.0));
        std::vector<double> theta;
        for (int k = -100; k <= 100; ++k)
            theta.push_back((c.thetaDeg + 0.01 * k) * kDeg);
        const DebyeAmplitudes s = sphere.S1S2(theta, DebyeTerms{0, 0});
        double perpendicular = 0.0, parallel = 0.0;
        for (const MieAmplitude& a : s.orders[0]) {
            perpendicular += std::norm(a.S1) / double(theta.size());
            parallel += std::norm(a.S2) / double(theta.size());
        }
        const double i = (kPi - c.thetaDeg * kDeg) / 2.0;
        const double sinT2 = std::sin(i) * std::sin(i) / (c.m * c.m);
        double rPerp = 1.0, rPar = 1.0;  // total reflection
        if (sinT2 < 1.0) {
            const double cosT = std::sqrt(1.0 - sinT2);
            rPerp = (std::cos(i) - c.m * cosT) / (std::cos(i) + c.m * cosT);
            rPar = (c.m * std::cos(i) - cosT) / (c.m * std::cos(i) + cosT);
        }
        const double scale = x * x / 4.0;
        EXPECT_NEAR(perpendicular / (rPerp * rPerp * scale), 1.0, 0.01) << c.m << " at " << c.thetaDeg;
        EXPECT_NEAR(parallel / (rPar * rPar * scale), 1.0, 0.01) << c.m << " at " << c.thetaDeg;
    }
}

// A bubble's reflection beyond the critical angle: term 0 alone carries the conjugate phase
// of total reflection, the reflection term the physical one, φ_r = -2·atan(√(sin²i - m²)/cos i)
// (perpendicular) and -2·atan(√(sin²i - m²)/(m²·cos i)) (parallel), so that their quotient
// turns by 2·φ_r; both reflect all the light, |S|² = x²/4. For a sphere denser than its
// medium nothing is evanescent and the reflection is term 0 to the last bit.
TEST(DebyePhysics, BubbleReflectionHasThePhysicalPhase)
{
    const double x = 1.0e4;
    const double m = 0.75;
    const DebyeSphere bubble = DebyeSphere::FromSizeParameter(x, Complex(m, 0.0));
    for (double thetaDeg : {40.0, 55.0, 70.0}) {
        std::vector<double> theta;
        for (int k = -50; k <= 50; ++k)
            theta.push_back((thetaDeg + 0.01 * k) * kDeg);
        const DebyeAmplitudes s = bubble.S1S2(theta, DebyeTerms{0, 0, false, false, true});
        Complex turnPerp = 0.0, turnPar = 0.0;
        double intensity = 0.0;
        for (std::size_t e = 0; e < theta.size(); ++e) {
            turnPerp += s.reflection[e].S1 / s.orders[0][e].S1;
            turnPar += s.reflection[e].S2 / s.orders[0][e].S2;
            intensity += std::norm(s.reflection[e].S1) / double(theta.size());
        }
        const double i = (kPi - thetaDeg * kDeg) / 2.0;
        const double root = std::sqrt(std::sin(i) * std::sin(i) - m * m);
        const double phiPerp = -2.0 * std::atan(root / std::cos(i));
        const double phiPar = -2.0 * std::atan(root / (m * m * std::cos(i)));
        EXPECT_LT(std::abs(std::arg(turnPerp * std::polar(1.0, -2.0 * phiPerp))), 2.0 * kDeg) << thetaDeg;
        EXPECT_LT(std::abs(std::arg(turnPar * std::polar(1.0, -2.0 * phiPar))), 2.0 * kDeg) << thetaDeg;
        EXPECT_NEAR(intensity / (x * x / 4.0), 1.0, 0.01) << thetaDeg;
    }

    const DebyeSphere drop = DebyeSphere::FromSizeParameter(300.0, Complex(1.333, 0.001));
    const std::vector<double> theta = Degrees({0.0, 30.0, 90.0, 160.0});
    const DebyeAmplitudes s = drop.S1S2(theta, DebyeTerms{0, 0, false, false, true});
    for (std::size_t e = 0; e < theta.size(); ++e) {
        EXPECT_EQ(s.reflection[e].S1, s.orders[0][e].S1);
        EXPECT_EQ(s.reflection[e].S2, s.orders[0][e].S2);
    }
}

// One pass over the orders serves every one of them: asking for an order alone, within a
// range, or among more orders than one pass of the sums holds gives the same bits; the
// remainder above pmax is the sum of the higher orders and their remainder.
TEST(DebyeGrid, OrdersAgreeWhateverTheRangeAskedFor)
{
    const DebyeSphere sphere = DebyeSphere::FromSizeParameter(150.0, Complex(1.333, 0.0005));
    const std::vector<double> theta = Degrees({0.0, 10.0, 70.0, 100.0, 139.0, 170.0, 180.0});
    const DebyeAmplitudes all = sphere.S1S2(theta, DebyeTerms{0, kDebyeMaxOrder, true, true});
    ASSERT_EQ(all.pmin, 0);
    ASSERT_EQ(all.orders.size(), std::size_t(kDebyeMaxOrder + 1));
    for (int p : {0, 1, 7, 8, 9, 23, kDebyeMaxOrder}) {
        const DebyeAmplitudes one = sphere.S1S2(theta, DebyeTerms{p, p});
        ASSERT_EQ(one.orders.size(), 1u);
        EXPECT_TRUE(one.diffraction.empty() && one.remainder.empty());
        for (std::size_t e = 0; e < theta.size(); ++e) {
            EXPECT_EQ(one.orders[0][e].S1, all.orders[p][e].S1) << p;
            EXPECT_EQ(one.orders[0][e].S2, all.orders[p][e].S2) << p;
        }
    }
    const DebyeAmplitudes part = sphere.S1S2(theta, DebyeTerms{3, 12, true, true});
    ASSERT_EQ(part.pmin, 3);
    ASSERT_EQ(part.orders.size(), 10u);
    for (std::size_t e = 0; e < theta.size(); ++e) {
        EXPECT_EQ(part.orders[9][e].S1, all.orders[12][e].S1);
        EXPECT_EQ(part.diffraction[e].S2, all.diffraction[e].S2);
        Complex higher = all.remainder[e].S1;
        for (int p = 13; p <= kDebyeMaxOrder; ++p)
            higher += all.orders[p][e].S1;
        EXPECT_LT(std::abs(part.remainder[e].S1 - higher), 1e-12 * std::abs(higher) + 1e-12);
    }
}

// The grid intensities are |S1|² (polar != 0) or |S2|² (polar == 0) of each order at the
// scattering angle θ_e - incAngle, the same bits as the amplitudes one angle at a time (the
// grid computes four angles together; 721 = 4·180 + 1 leaves one alone).
TEST(DebyeGrid, IntensityIsTheAmplitudeAtTheScatteringAngle)
{
    const DebyeSphere drop(50.0, 0.6328, Complex(1.333, 0.0));
    const std::vector<double> theta = MieThetaGrid(721);
    const double incAngle = 0.3;
    const std::vector<std::vector<double>> perpendicular = DebyeGridIntensity(drop, theta, incAngle, 1, 1, 3);
    const std::vector<std::vector<double>> parallel = DebyeGridIntensity(drop, theta, incAngle, 0, 1, 3);
    EXPECT_EQ(DebyeGridIntensity(drop, theta, incAngle, -2, 1, 3), perpendicular);
    ASSERT_EQ(perpendicular.size(), 3u);
    for (std::size_t e = 0; e < theta.size(); ++e) {
        const double scattering[] = {theta[e] - incAngle};
        const DebyeAmplitudes s = drop.S1S2(scattering, DebyeTerms{1, 3});
        for (int p = 1; p <= 3; ++p) {
            ASSERT_EQ(perpendicular[p - 1].size(), theta.size());
            ASSERT_EQ(perpendicular[p - 1][e], std::norm(s.orders[p - 1][0].S1)) << p << " " << e;
            ASSERT_EQ(parallel[p - 1][e], std::norm(s.orders[p - 1][0].S2)) << p << " " << e;
        }
    }
    // The pattern depends on the scattering angle only through its size: θ and -θ agree.
    const double pair[] = {0.7, -0.7};
    const DebyeAmplitudes s = drop.S1S2(pair, DebyeTerms{2, 2});
    EXPECT_EQ(s.orders[0][0].S1, s.orders[0][1].S1);
    EXPECT_EQ(s.orders[0][0].S2, s.orders[0][1].S2);
}

TEST(DebyeInputs, RefusesWhatItCannotCompute)
{
    const Complex water(1.333, 0.0);
    EXPECT_THROW(DebyeSphere(0.0, 0.6328, water), InputError);
    EXPECT_THROW(DebyeSphere(-1.0, 0.6328, water), InputError);
    EXPECT_THROW(DebyeSphere(50.0, 0.0, water), InputError);
    EXPECT_THROW(DebyeSphere(50.0, std::nan(""), water), InputError);
    EXPECT_THROW(DebyeSphere(50.0, 0.6328, Complex(0.0, 0.0)), InputError);
    EXPECT_THROW(DebyeSphere(50.0, 0.6328, Complex(1.333, -0.01)), InputError);
    EXPECT_THROW(DebyeSphere(50.0, 0.6328, Complex(1.333, std::nan(""))), InputError);
    EXPECT_THROW(DebyeSphere::FromSizeParameter(0.005, water), InputError);
    // 1e5 is taken, 2e5 is not: its message names the limits and the value.
    EXPECT_NO_THROW(DebyeSphere::FromSizeParameter(kDebyeMaxSizeParameter, Complex(1.5, 0.0)));
    try {
        DebyeSphere(20000.0, 0.6328, water);
        ADD_FAILURE() << "a size parameter of 2e5 was accepted";
    } catch (const InputError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("between 0.01 and 100000"), std::string::npos) << message;
        EXPECT_NE(message.find("198"), std::string::npos) << message;
    }

    const DebyeSphere sphere = DebyeSphere::FromSizeParameter(20.0, water);
    const double theta[] = {1.0};
    for (auto [pmin, pmax] : {std::pair{-1, 2}, {3, 2}, {0, kDebyeMaxOrder + 1}}) {
        EXPECT_THROW(sphere.S1S2(theta, DebyeTerms{pmin, pmax}), InputError) << pmin << " " << pmax;
        EXPECT_THROW(DebyeGridIntensity(sphere, theta, 0.0, 1, pmin, pmax), InputError) << pmin << " " << pmax;
    }
    for (auto [p, n] : {std::pair{-1, 1}, {kDebyeMaxOrder + 1, 1}, {0, 0}, {0, sphere.NumTerms() + 1}}) {
        EXPECT_THROW(sphere.Term(p, n), InputError) << p << " " << n;
        EXPECT_THROW(sphere.Remainder(p, n), InputError) << p << " " << n;
    }
    EXPECT_THROW(sphere.Diffraction(0), InputError);
    EXPECT_THROW(sphere.Reflection(sphere.NumTerms() + 1), InputError);
}

} // namespace
} // namespace orvane
