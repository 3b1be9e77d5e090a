// The exact intensity on the diagram's angle grid.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "mie/Mie.h"
#include "base/Errors.h"

namespace orvane {
namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.141592653589793;

TEST(MieGrid, ThetaGridSpansMinusPiToPi)
{
    const std::vector<double> theta = MieThetaGrid(1001);
    ASSERT_EQ(theta.size(), 1001u);
    EXPECT_EQ(theta.front(), -kPi);
    EXPECT_NEAR(theta.back(), kPi, 1e-15);
    EXPECT_NEAR(theta[500], 0.0, 1e-15);
    EXPECT_NEAR(theta[1] - theta[0], 2.0 * kPi / 1000.0, 1e-15);
    EXPECT_EQ(MieThetaGrid(2), (std::vector<double>{-kPi, kPi}));
    for (int n : {1, 0, -5})
        EXPECT_THROW(MieThetaGrid(n), InputError) << n;
}

TEST(MieGrid, PolarisationSymmetryAndIncidenceShift)
{
    // The default water drop: radius 50 µm, wavelength 0.6328 µm, x = 496.5.
    const MieSphere drop(50.0, 0.6328, Complex(1.333, 0.0));
    const int n = 721;  // 0.5° steps
    const std::vector<double> theta = MieThetaGrid(n);
    const double step = theta[1] - theta[0];

    const std::vector<double> perpendicular = MieGridIntensity(drop, theta, 0.0, 1);
    const std::vector<double> parallel = MieGridIntensity(drop, theta, 0.0, 0);
    // Any Polar other than 0 is perpendicular: |S1|²; Polar 0 is parallel: |S2|².
    EXPECT_EQ(MieGridIntensity(drop, theta, 0.0, -3), perpendicular);
    // The grid computes four angles at a time (721 = 4·180 + 1: the last one alone); every
    // point must be the single-angle value to the last bit.
    for (int e = 0; e < n; ++e) {
        const MieAmplitude s = drop.S1S2(theta[e]);
        EXPECT_EQ(perpendicular[e], std::norm(s.S1)) << e;
        EXPECT_EQ(parallel[e], std::norm(s.S2)) << e;
    }
    // The two agree forwards only.
    EXPECT_NEAR(parallel[360] / perpendicular[360], 1.0, 1e-12);
    EXPECT_NE(parallel, perpendicular);

    // θ and -θ: grid points mirrored about 0 carry the same intensity (their angles agree
    // to rounding only).
    for (int e = 0; e < n; ++e)
        EXPECT_NEAR(perpendicular[e], perpendicular[n - 1 - e], 1e-9 * perpendicular[e]) << e;

    // Incidence from 10 steps above the axis shifts the pattern by 10 points; the points
    // that fall below -π continue from +π.
    const int k = 10;
    const std::vector<double> shifted = MieGridIntensity(drop, theta, k * step, 1);
    for (int e = 0; e < n; ++e) {
        const int source = e >= k ? e - k : n - 1 - k + e;
        EXPECT_NEAR(shifted[e], perpendicular[source], 1e-9 * perpendicular[source]) << e;
    }
}

} // namespace
} // namespace orvane
