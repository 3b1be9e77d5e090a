#include "numeric/AiryFunctions.h"

#include <array>
#include <cfenv>
#include <cmath>

#include <boost/math/special_functions/airy.hpp>

namespace orvane {

namespace {

// Nodes x_j = -kAiryLimit + j/16: the Taylor step is at most 1/32, where 22 terms of the
// series reach the last bit even at |x| = 32.
constexpr int kNodesPerUnit = 16;
constexpr int kNodeCount = 2 * static_cast<int>(kAiryLimit) * kNodesPerUnit + 1;
constexpr int kTaylorTerms = 22;

// 1/(n + 1), n = 0..kTaylorTerms-1.
constexpr std::array<double, kTaylorTerms> kReciprocals = [] {
    std::array<double, kTaylorTerms> r{};
    for (int n = 0; n < kTaylorTerms; ++n)
        r[static_cast<std::size_t>(n)] = 1.0 / (n + 1);
    return r;
}();

struct AiryTable {
    std::array<double, kNodeCount> ai{};
    std::array<double, kNodeCount> aiPrime{};
};

AiryTable BuildTable()
{
    // Boost works in plain double here (no long double), and its internal series may overflow
    // harmlessly on the way: the caller's floating-point flags are kept as they were.
    using Policy = boost::math::policies::policy<boost::math::policies::promote_double<false>>;
    std::fenv_t saved;
    std::feholdexcept(&saved);
    AiryTable table;
    for (int j = 0; j < kNodeCount; ++j) {
        const double x = -kAiryLimit + static_cast<double>(j) / kNodesPerUnit;
        table.ai[static_cast<std::size_t>(j)] = boost::math::airy_ai(x, Policy());
        table.aiPrime[static_cast<std::size_t>(j)] = boost::math::airy_ai_prime(x, Policy());
    }
    std::fesetenv(&saved);
    return table;
}

const AiryTable& Table()
{
    static const AiryTable table = BuildTable();
    return table;
}

} // namespace

AiryValue AiryAi(double x)
{
    const AiryTable& table = Table();
    const double clamped = x < -kAiryLimit ? -kAiryLimit : (x > kAiryLimit ? kAiryLimit : x);
    const int j = static_cast<int>(std::floor((clamped + kAiryLimit) * kNodesPerUnit + 0.5));
    const double x0 = -kAiryLimit + static_cast<double>(j) / kNodesPerUnit;
    const double delta = clamped - x0;

    // Derivatives at the node from y″ = x·y: d[n+2] = x0·d[n] + n·d[n-1].
    std::array<double, kTaylorTerms + 1> d{};
    d[0] = table.ai[static_cast<std::size_t>(j)];
    d[1] = table.aiPrime[static_cast<std::size_t>(j)];
    d[2] = x0 * d[0];
    for (int n = 1; n + 2 <= kTaylorTerms; ++n)
        d[static_cast<std::size_t>(n + 2)] = x0 * d[static_cast<std::size_t>(n)] + n * d[static_cast<std::size_t>(n - 1)];

    // Both sums in rising powers of delta.
    AiryValue value;
    double power = 1.0;  // delta^n / n!
    for (int n = 0; n < kTaylorTerms; ++n) {
        value.ai += d[static_cast<std::size_t>(n)] * power;
        value.aiPrime += d[static_cast<std::size_t>(n + 1)] * power;
        power = power * delta * kReciprocals[static_cast<std::size_t>(n)];
    }
    return value;
}

} // namespace orvane
