// Mie results against the physics they must obey: the optical theorem, conservation of
// energy, the limit of large spheres (forward diffraction peak, external reflection by
// the Fresnel laws), and the symmetry of the pattern; and the inputs the module refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>

#include "mie/Mie.h"
#include "base/Errors.h"
#include "base/FpGuard.h"

namespace orvane {
namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.141592653589793;

TEST(MiePhysics, OpticalTheoremAndEnergy)
{
    struct Case {
        double x;
        Complex m;
    };
    const Case cases[] = {
        {0.1, {1.333, 0.0}},  {5.2128, {1.55, 0.0}},  {500.0, {1.333, 0.0}},
        {500.0, {1.333, 0.01}}, {5000.0, {1.333, 0.0}}, {5000.0, {1.5, 1.0}},
        {50000.0, {1.333, 0.0}},
    };
    for (const Case& c : cases) {
        const MieSphere sphere = MieSphere::FromSizeParameter(c.x, c.m);
        const MieAmplitude forward = sphere.S1S2(0.0);
        const double x2 = c.x * c.x;
        // Extinction from the forward amplitude; both polarisations agree in the forward direction.
        EXPECT_NEAR(4.0 * forward.S1.real() / x2, sphere.Qext(), 1e-12 * sphere.Qext()) << c.x;
        EXPECT_NEAR(std::abs(forward.S1 - forward.S2), 0.0, 1e-12 * std::abs(forward.S1)) << c.x;
        // Backwards the two amplitudes are opposite.
        const MieAmplitude back = sphere.S1S2(kPi);
        EXPECT_NEAR(std::abs(back.S1 + back.S2), 0.0, 1e-9 * std::abs(back.S1)) << c.x;
        if (c.m.imag() == 0.0)
            EXPECT_NEAR(sphere.Qsca(), sphere.Qext(), 1e-12 * sphere.Qext()) << c.x;
        else
            EXPECT_LT(sphere.Qsca(), sphere.Qext()) << c.x;
    }
}

TEST(MiePhysics, ForwardPeakTendsToHalfXSquared)
{
    // |S(0)| = x²/2·(1 + O(x^(-2/3))): extinction tends to twice the geometric cross-section.
    double previous = 1.0;
    for (double x : {10.0, 100.0, 1000.0, 10000.0, 100000.0}) {
        const MieSphere sphere = MieSphere::FromSizeParameter(x, Complex(1.333, 0.0));
        const double deviation = std::abs(std::abs(sphere.S1S2(0.0).S1) / (x * x / 2.0) - 1.0);
        EXPECT_LT(deviation, 2.0 * std::pow(x, -2.0 / 3.0)) << x;
        EXPECT_LT(deviation, previous) << x;
        previous = deviation;
    }
    EXPECT_LT(previous, 1e-3);
}

// Fresnel reflectances of the interface vacuum -> m at the angle of incidence i.
double ReflectancePerpendicular(double i, Complex m)
{
    const Complex w = std::sqrt(m * m - std::sin(i) * std::sin(i));
    return std::norm((std::cos(i) - w) / (std::cos(i) + w));
}

double ReflectanceParallel(double i, Complex m)
{
    const Complex w = std::sqrt(m * m - std::sin(i) * std::sin(i));
    const Complex m2c = m * m * std::cos(i);
    return std::norm((m2c - w) / (m2c + w));
}

TEST(MiePhysics, AbsorbingSphereScattersByExternalReflection)
{
    // x = 5000 and m_im = 0.01: every ray that enters loses a factor e^(-130) or more on
    // its way through, so away from the forward lobe only the external reflection is left,
    // with |S1|²/(x²/4) = |r⊥|² and |S2|²/(x²/4) = |r∥|² at the angle of incidence
    // i = (π - θ)/2. The exact pattern carries fast ripples (the reflection beating with the
    // diffraction tail and the edge waves, period about 0.05°), so both sides are averaged
    // alike: the midpoint rule with 200 points over θ ± 0.5°, Mie intensities on one side,
    // Fresnel reflectances of the same angles on the other.
    const double x = 5000.0;
    const Complex m(1.333, 0.01);
    const MieSphere sphere = MieSphere::FromSizeParameter(x, m);
    const double halfWindow = 0.5 * kPi / 180.0;
    const int samples = 200;
    for (int degrees = 40; degrees <= 179; degrees += 3) {
        const double centre = degrees * kPi / 180.0;
        double mie1 = 0.0, mie2 = 0.0, fresnel1 = 0.0, fresnel2 = 0.0;
        for (int k = 0; k < samples; ++k) {
            const double theta = centre - halfWindow + 2.0 * halfWindow * (k + 0.5) / samples;
            const MieAmplitude s = sphere.S1S2(theta);
            mie1 += std::norm(s.S1) / (x * x / 4.0);
            mie2 += std::norm(s.S2) / (x * x / 4.0);
            const double incidence = (kPi - theta) / 2.0;
            fresnel1 += ReflectancePerpendicular(incidence, m);
            fresnel2 += ReflectanceParallel(incidence, m);
        }
        // The worst difference seen is 1.1e-5 (perpendicular, at 40°).
        EXPECT_NEAR(mie1 / samples, fresnel1 / samples, 1e-4) << degrees << " deg, perpendicular";
        EXPECT_NEAR(mie2 / samples, fresnel2 / samples, 1e-4) << degrees << " deg, parallel";
    }
}

TEST(MiePhysics, PlusAndMinusThetaAreTheSameDirection)
{
    const MieSphere sphere = MieSphere::FromSizeParameter(496.4, Complex(1.333, 0.0));
    for (double theta : {0.0, 1e-6, 0.3, 2.4, 3.0, kPi}) {
        const MieAmplitude plus = sphere.S1S2(theta);
        const MieAmplitude minus = sphere.S1S2(-theta);
        EXPECT_EQ(plus.S1, minus.S1) << theta;
        EXPECT_EQ(plus.S2, minus.S2) << theta;
    }
}

TEST(MiePhysics, NoFloatingPointFaultOverTheRange)
{
    // The run ends on any division by zero, invalid operation or overflow raised before a
    // file is written: none may come from the exact theory, at either end of the range of
    // sizes, for transparent, absorbing and metal-like spheres.
    const double sizes[] = {kMieMinSizeParameter, 0.1, 5.0, 496.5, 100000.0};
    const Complex indices[] = {{1.333, 0.0}, {1.0, 0.0}, {1.333, 0.01}, {0.2, 3.5}, {1.5, 10.0}};
    for (double x : sizes) {
        for (Complex m : indices) {
            ClearFpFaults();
            const MieSphere sphere = MieSphere::FromSizeParameter(x, m);
            for (double theta : {0.0, 1.0, 2.4, kPi}) {
                const MieAmplitude s = sphere.S1S2(theta);
                EXPECT_TRUE(std::isfinite(std::norm(s.S1)) && std::isfinite(std::norm(s.S2)));
            }
            EXPECT_TRUE(std::isfinite(sphere.Qext() + sphere.Qsca() + sphere.Qback()));
            EXPECT_NO_THROW(CheckFpFaults()) << "x = " << x << ", m = " << m;
        }
    }
}

TEST(MiePhysics, RefusesInputsItCannotHandle)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        double radius, wavelength;
        Complex m;
    };
    const Case cases[] = {
        {"zero radius", 0.0, 0.6328, {1.333, 0.0}},
        {"negative radius", -50.0, 0.6328, {1.333, 0.0}},
        {"NaN radius", nan, 0.6328, {1.333, 0.0}},
        {"zero wavelength", 50.0, 0.0, {1.333, 0.0}},
        {"infinite wavelength", 50.0, inf, {1.333, 0.0}},
        {"zero real index", 50.0, 0.6328, {0.0, 0.0}},
        {"negative real index", 50.0, 0.6328, {-1.333, 0.0}},
        {"gain medium", 50.0, 0.6328, {1.333, -0.01}},
        {"NaN imaginary index", 50.0, 0.6328, {1.333, nan}},
        {"size parameter below 0.01", 0.001, 0.6328, {1.333, 0.0}},
        {"size parameter above 1e6", 200000.0, 0.6328, {1.333, 0.0}},
    };
    for (const Case& c : cases)
        EXPECT_THROW(MieSphere(c.radius, c.wavelength, c.m), InputError) << c.what;
    EXPECT_THROW(MieSphere::FromSizeParameter(nan, Complex(1.333, 0.0)), InputError);
    // The ends of the range are accepted.
    EXPECT_NO_THROW(MieSphere::FromSizeParameter(kMieMinSizeParameter, Complex(1.333, 0.0)));
    EXPECT_EQ(MieSphere::FromSizeParameter(kMieMinSizeParameter, Complex(1.333, 0.0)).NumTerms(), 2);
}

} // namespace
} // namespace orvane
