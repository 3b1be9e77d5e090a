#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "numeric/Complex.h"

namespace orvane {
namespace {

// Compares both parts, including the sign of a zero imaginary part: the phase of a
// negative real Fresnel coefficient depends on it.
void ExpectSame(const TComplex& expected, const TComplex& got, const char* id)
{
    EXPECT_DOUBLE_EQ(expected.Re, got.Re) << id;
    EXPECT_DOUBLE_EQ(expected.Im, got.Im) << id;
    if (expected.Im == 0.0) {
        EXPECT_EQ(std::signbit(expected.Im), std::signbit(got.Im)) << id << ": sign of the zero imaginary part";
    }
}

TEST(Complex, SqrtTakesThePrincipalRootWithTheSignRulesOfTheImaginaryPart)
{
    struct Case {
        const char* id;
        TComplex z;
        TComplex root;
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
        TComplex w{99, 99};
        CSqrt(c.z, w);
        ExpectSame(c.root, w, c.id);
        EXPECT_GE(w.Re, 0.0) << c.id;
    }
}

TEST(Complex, AbsScalesByTheLargerComponent)
{
    struct Case {
        const char* id;
        TComplex z;
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
        EXPECT_DOUBLE_EQ(c.modulus, CAbs(c.z)) << c.id;
    EXPECT_EQ(5.0, CAbs({3, 4}));
}

TEST(Complex, DivisionUsesSmithsMethodWithEqualMagnitudesInTheFirstBranch)
{
    struct Case {
        const char* id;
        TComplex u, v, quotient;
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
        TComplex w;
        CDiv(c.u, c.v, w);
        ExpectSame(c.quotient, w, c.id);
    }
}

TEST(Complex, NegativeRealReflectionCoefficientHasPhasePlusPi)
{
    // r = (1 - m) / (1 + m) for a real index: the -0 of the square root's imaginary part
    // carries through the difference and the quotient to a phase of +pi.
    TComplex m2{1.333 * 1.333, 0.0};
    TComplex m;
    CSqrt(m2, m);
    const TComplex one{1.0, 0.0};
    TComplex numerator;
    CSub(one, m, numerator);
    const TComplex denominator{1.0 + m.Re, 0.0 + m.Im};
    TComplex r;
    CDiv(numerator, denominator, r);
    EXPECT_LT(r.Re, 0.0);
    EXPECT_DOUBLE_EQ(std::acos(-1.0), std::atan2(r.Im, r.Re));
}

TEST(Complex, SquareAndDifference)
{
    TComplex w;
    CSqr({1, 2}, w);
    ExpectSame({-3, 4}, w, "(1+2i)^2");
    CSub({5, 1}, {2, 3}, w);
    ExpectSame({3, -2}, w, "(5+i)-(2+3i)");
}

TEST(Complex, ResultMayBeOneOfTheOperands)
{
    TComplex z{3, 4};
    CSqrt(z, z);
    ExpectSame({2, 1}, z, "sqrt in place");
    TComplex u{2, 3};
    CDiv(u, {4, -5}, u);
    ExpectSame({-7.0 / 41.0, 22.0 / 41.0}, u, "division in place");
    TComplex s{1, 2};
    CSqr(s, s);
    ExpectSame({-3, 4}, s, "square in place");
}

} // namespace
} // namespace orvane
