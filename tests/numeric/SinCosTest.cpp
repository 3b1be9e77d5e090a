#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "numeric/SinCos.h"

namespace orvane {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::uint64_t Bits(double x)
{
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Distance in units in the last place between two finite doubles of the same sign.
std::uint64_t UlpsApart(double a, double b)
{
    const std::uint64_t x = Bits(a) & ~(1ull << 63);
    const std::uint64_t y = Bits(b) & ~(1ull << 63);
    if (std::signbit(a) != std::signbit(b))
        return x + y;  // straddling zero
    return x > y ? x - y : y - x;
}

// Phases of every kind: the assembly's (1e2..1e5 rad), both signs and every magnitude from
// subnormal to the largest double (beyond 1e14 the argument reduction takes another path),
// near multiples of π/2 where reduction loses most, and exact zeros.
std::vector<double> ManyPhases()
{
    std::mt19937_64 random(13);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> x;
    for (int i = 0; i < 20000; ++i)
        x.push_back(100.0 + (1e5 - 100.0) * unit(random));
    for (int i = 0; i < 20000; ++i) {
        const double magnitude = std::pow(10.0, -310.0 + 618.0 * unit(random));
        x.push_back(i % 2 ? magnitude : -magnitude);
    }
    for (int k = 1; k < 2000; k += 7) {
        const double near = k * 1.5707963267948966;
        x.push_back(near);
        x.push_back(std::nextafter(near, 0.0));
        x.push_back(-std::nextafter(near, kInf));
    }
    for (double v : {0.0, -0.0, 1e14, -1e14, 1e15, 1e22, 1e300, std::numeric_limits<double>::max(),
                     std::numeric_limits<double>::denorm_min()})
        x.push_back(v);
    x.push_back(0.5);  // an odd count: every width has a tail
    return x;
}

TEST(SinCos, EveryLaneCountGivesTheSameBitsOnWholeArraysAndTheirTails)
{
    const std::vector<double> x = ManyPhases();
    std::vector<double> s1(x.size()), c1(x.size());
    SinCosWithLanes(1, x.data(), s1.data(), c1.data(), x.size());
    const std::vector<int> widths = SinCosLaneCounts();
    ASSERT_GE(widths.size(), 1u);
    for (int lanes : widths) {
        // Whole array, then runs of every length 1..17 from odd offsets: each tail shorter
        // than the lane count goes through the packed call too.
        std::vector<double> s(x.size(), -9.0), c(x.size(), -9.0);
        SinCosWithLanes(lanes, x.data(), s.data(), c.data(), x.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            ASSERT_EQ(Bits(s1[i]), Bits(s[i])) << lanes << " lanes, sin(" << x[i] << ")";
            ASSERT_EQ(Bits(c1[i]), Bits(c[i])) << lanes << " lanes, cos(" << x[i] << ")";
        }
        std::size_t at = 1;
        for (std::size_t n = 1; n <= 17; ++n, at += n + 3) {
            std::vector<double> sp(n + 1, -9.0), cp(n + 1, -9.0);
            SinCosWithLanes(lanes, x.data() + at, sp.data(), cp.data(), n);
            for (std::size_t i = 0; i < n; ++i) {
                ASSERT_EQ(Bits(s1[at + i]), Bits(sp[i])) << lanes << " lanes, run of " << n << ", item " << i;
                ASSERT_EQ(Bits(c1[at + i]), Bits(cp[i])) << lanes << " lanes, run of " << n << ", item " << i;
            }
            EXPECT_EQ(sp[n], -9.0) << "written past the end of a run of " << n;
            EXPECT_EQ(cp[n], -9.0) << "written past the end of a run of " << n;
        }
    }
    // What the run uses is one of them.
    std::vector<double> s(x.size()), c(x.size());
    SinCos(x.data(), s.data(), c.data(), x.size());
    EXPECT_EQ(0, std::memcmp(s.data(), s1.data(), x.size() * sizeof(double)));
    EXPECT_EQ(0, std::memcmp(c.data(), c1.data(), x.size() * sizeof(double)));
}

TEST(SinCos, WithinOneUnitInTheLastPlaceOfTheRoundedValues)
{
    // long double sin and cos, rounded to double, stand for the correctly rounded values.
    const std::vector<double> x = ManyPhases();
    std::vector<double> s(x.size()), c(x.size());
    SinCos(x.data(), s.data(), c.data(), x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const long double xl = x[i];
        EXPECT_LE(UlpsApart(s[i], static_cast<double>(std::sin(xl))), 1u) << "sin(" << x[i] << ")";
        EXPECT_LE(UlpsApart(c[i], static_cast<double>(std::cos(xl))), 1u) << "cos(" << x[i] << ")";
    }
}

TEST(SinCos, AddPolarAddsEachAmplitudeTimesCosineAndSineToItsOwnElement)
{
    // Runs of every length from odd offsets, as the assembly's grid pieces come: every
    // element must get exactly a·c and a·s added, none beside the run.
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> value(-3.0, 3.0);
    std::vector<double> a(64), c(64), s(64), re0(64), im0(64);
    for (std::size_t i = 0; i < 64; ++i) {
        a[i] = std::fabs(value(random));
        c[i] = value(random);
        s[i] = value(random);
        re0[i] = value(random) * 1e3;
        im0[i] = value(random) * 1e-3;
    }
    for (std::size_t n = 0; n <= 40; ++n) {
        for (std::size_t at : {std::size_t{0}, std::size_t{3}, std::size_t{9}}) {
            std::vector<double> re = re0, im = im0;
            AddPolar(a.data() + at, c.data() + at, s.data() + at, re.data() + at, im.data() + at, n);
            for (std::size_t i = 0; i < 64; ++i) {
                const bool inRun = i >= at && i < at + n;
                ASSERT_EQ(Bits(inRun ? re0[i] + a[i] * c[i] : re0[i]), Bits(re[i])) << "run of " << n << " at " << at;
                ASSERT_EQ(Bits(inRun ? im0[i] + a[i] * s[i] : im0[i]), Bits(im[i])) << "run of " << n << " at " << at;
            }
        }
    }
}

TEST(SinCos, RaisesTheInvalidFlagForAnInfinitePhaseOnlyAndKeepsTheOthers)
{
    // A run ends with a message when a fault flag is raised: no flag may come from a
    // finite phase (huge or not) or a NaN, and flags raised before must stay.
    struct Case {
        std::vector<double> phases;
        int raisedBefore;
        int expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases = {
        {{1.0, 2.0, 3.0, 250.0, 1e5}, 0, 0},
        {{1e14, -1e15, 1e300, std::numeric_limits<double>::max(), 5.0}, 0, 0},
        {{nan, 1.0, nan}, 0, 0},
        {{1e16, 2.0, 3.0}, FE_OVERFLOW, FE_OVERFLOW},
        {{1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, kInf}, 0, FE_INVALID},
        {{-kInf}, FE_DIVBYZERO, FE_DIVBYZERO | FE_INVALID},
    };
    constexpr int kFaults = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;
    for (int lanes : SinCosLaneCounts()) {
        for (std::size_t k = 0; k < cases.size(); ++k) {
            const Case& t = cases[k];
            std::vector<double> s(t.phases.size()), c(t.phases.size());
            std::feclearexcept(kFaults);
            if (t.raisedBefore)
                std::feraiseexcept(t.raisedBefore);
            SinCosWithLanes(lanes, t.phases.data(), s.data(), c.data(), t.phases.size());
            EXPECT_EQ(std::fetestexcept(kFaults), t.expected) << "case " << k << ", " << lanes << " lanes";
        }
    }
    std::feclearexcept(kFaults);
}

} // namespace
} // namespace orvane
