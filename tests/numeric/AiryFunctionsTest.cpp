// Ai and Ai′ against values computed independently (mpmath, 40 digits), on the table's nodes
// and between them, out to the ends of the table, and without a floating-point flag.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>

#include "numeric/AiryFunctions.h"

namespace orvane {
namespace {

// First in this file: the first call builds the table, and Boost's series overflow on the
// way; none of that may reach the caller's flags, which end a diagram run.
TEST(AiryAi, RaisesNoFloatingPointFlag)
{
    std::feclearexcept(FE_ALL_EXCEPT);
    double sum = 0;
    for (int i = -3200; i <= 3200; ++i) {
        const AiryValue v = AiryAi(i / 100.0);
        sum += v.ai + v.aiPrime;
    }
    EXPECT_TRUE(std::isfinite(sum));
    EXPECT_FALSE(std::fetestexcept(FE_OVERFLOW | FE_INVALID | FE_DIVBYZERO));
}

TEST(AiryAi, MatchesHighPrecisionValues)
{
    struct Case {
        double x, ai, aiPrime;
    };
    // mpmath.airyai(x) and airyai(x, 1) at 40 digits, for the exact doubles x. Ai(0) and Ai′(0)
    // are also Abramowitz and Stegun 10.4.4 and 10.4.5; −2.338107410459767 is the first zero.
    const Case cases[] = {
        {-31.7, 0.090569014109897001299, -1.2370868175570797771},
        {-20.03, -0.20152560119283547225, 0.77922578553148691851},
        {-10.3, -0.23210801885482974854, 0.67749282954091108013},
        {-5.0, 0.35076100902411431979, 0.32719281855444313679},
        {-2.338107410459767, 2.7433193406662829996e-17, 0.70121082272069136249},
        {-1.1, 0.53381051043050215571, 0.046029154710607917776},
        {0.0, 0.35502805388781723926, -0.25881940379280679841},
        {0.37, 0.26186243249162815262, -0.23881480691818037971},
        {1.9, 0.040594420031529502034, -0.060436781785756547},
        {4.41, 0.00040124428388313082096, -0.00086402574148278004268},
        {10.7, 1.1430557040066216763e-11, -3.765282086865294036e-11},
        {25.3, 1.7974736470589613804e-38, -9.0588070097762870665e-38},
        {31.9, 8.1135991353828448239e-54, -4.5889044308823645228e-53},
    };
    for (const Case& c : cases) {
        const AiryValue v = AiryAi(c.x);
        // Relative to the value, or, where Ai oscillates, to the size of its swing.
        const double swing = c.x < 0 ? 0.5 : 0.0;
        EXPECT_NEAR(v.ai, c.ai, 2e-14 * std::max(std::fabs(c.ai), swing)) << "Ai(" << c.x << ")";
        EXPECT_NEAR(v.aiPrime, c.aiPrime, 2e-14 * std::max(std::fabs(c.aiPrime), swing)) << "Ai'(" << c.x << ")";
    }
}

} // namespace
} // namespace orvane
