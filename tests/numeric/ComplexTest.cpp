#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "numeric/Complex.h"

namespace orvane {
namespace {

// Compares both parts, including the sign of a zero imaginary part: the phase of a
// negative real Fresnel coefficient depends on it.
void ExpectSame(const Complex& expected, const Complex& got, const char* id)
{
    EXPECT_DOUBLE_EQ(expected.real(), got.real()) << id;
    EXPECT_DOUBLE_EQ(expected.imag(), got.imag()) << id;
    if (expected.imag() == 0.0) {
        EXPECT_EQ(std::signbit(expected.imag()), std::signbit(got.imag())) << id << ": sign of the zero imaginary part";
    }
}

TEST(Complex, SqrtTakesThePrincipalRootWithTheSignRulesOfTheImaginaryPart)
{
    struct Case {
        const char* id;
        Complex z;
        Complex root;
    };
    const Case cases[] = {
        {"3+4i", {3, 4}, {2, 1}},
        {"3-4i", {3, -4}, {2, -1}},
        {"-4+0i", {-4, 0}, {0, 2}},
        {"-4-0i: a negative zero counts as zero", {-4, -0.0}, {0, 2}},
        {"4+0i gives -0", {4, 0}, {2, -0.0}},
        {"4-0i", {4, -0.0}, {2, -0.0}},
        {"0+0i", {0, 0}, {0, -0.0}},
        {"-3-4i", {-3, -4}, {1, -2}},
        {"0+2i", {0, 2}, {1, 1}},
        {"square of a real refractive index", {1.333 * 1.333, 0}, {1.333, -0.0}},
    };
    for (const Case& c : cases) {
        const Complex w = PrincipalSqrt(c.z);
        ExpectSame(c.root, w, c.id);
        EXPECT_GE(w.real(), 0.0) << c.id;
    }
}

TEST(Complex, AbsScalesByTheLargerComponent)
{
    struct Case {
        const char* id;
        Complex z;
        double modulus;
    };
    const Case cases[] = {
        {"3+4i exactly 5", {3, 4}, 5.0},
        {"4+3i", {4, 3}, 5.0},
        {"0+7i", {0, 7}, 7.0},
        {"-2+0i", {-2, 0}, 2.0},
        {"-0-5i", {-0.0, -5}, 5.0},
        {"huge: no overflow", {1e300, 1e300}, 1.4142135623730951e300},
        {"tiny: no underflow to 0", {3e-300, 4e-300}, 5e-300},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(c.modulus, Modulus(c.z)) << c.id;
    EXPECT_EQ(5.0, Modulus({3, 4}));
}

TEST(Complex, DivisionUsesSmithsMethodWithEqualMagnitudesInTheFirstBranch)
{
    struct Case {
        const char* id;
        Complex u, v, quotient;
    };
    const Case cases[] = {
        {"1 / i, second branch", {1, 0}, {0, 1}, {0, -1}},
        {"(1+i)/(1+i)", {1, 1}, {1, 1}, {1, 0}},
        // Equal magnitudes: the first branch gives +0, the second would give -0.
        {"(1-i)/(1-i)", {1, -1}, {1, -1}, {1, 0.0}},
        {"(2+3i)/(4-5i)", {2, 3}, {4, -5}, {-7.0 / 41.0, 22.0 / 41.0}},
        {"divisor near the top of the range", {1, 0}, {1e300, 1e300}, {0.5e-300, -0.5e-300}},
        {"both near the top of the range", {1e300, 1e300}, {1e300, 1e300}, {1, 0}},
    };
    for (const Case& c : cases) {
        ExpectSame(c.quotient, SmithQuotient(c.u, c.v), c.id);
    }
}

TEST(Complex, NegativeRealReflectionCoefficientHasPhasePlusPi)
{
    // r = (1 - m) / (1 + m) for a real index: the -0 of the square root's imaginary part
    // carries through the difference and the quotient to a phase of +pi.
    const Complex m = PrincipalSqrt({1.333 * 1.333, 0.0});
    const Complex numerator = Complex{1.0, 0.0} - m;
    const Complex denominator{1.0 + m.real(), 0.0 + m.imag()};
    const Complex r = SmithQuotient(numerator, denominator);
    EXPECT_LT(r.real(), 0.0);
    EXPECT_DOUBLE_EQ(std::acos(-1.0), std::atan2(r.imag(), r.real()));
}

TEST(Complex, SquareAndDifference)
{
    ExpectSame({-3, 4}, Square({1, 2}), "(1+2i)^2");
    ExpectSame({3, -2}, Complex{5, 1} - Complex{2, 3}, "(5+i)-(2+3i)");
}

} // namespace
} // namespace orvane
