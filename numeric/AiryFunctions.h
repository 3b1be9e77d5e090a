// The Airy function Ai and its derivative Ai′ of a real argument, for the uniform field at a
// caustic. Values come from Boost.Math at the nodes of a fixed table, once per process; between
// nodes the Airy equation y″ = x·y gives every derivative, and a short Taylor sum about the
// nearest node carries the value there to double precision. A call costs a few dozen
// multiplications, raises no floating-point flag, and gives the same bits on every thread.
#pragma once

namespace orvane {

struct AiryValue {
    double ai = 0;       // Ai(x)
    double aiPrime = 0;  // Ai′(x)
};

// The arguments the table covers: |x| <= kAiryLimit.
inline constexpr double kAiryLimit = 32.0;

// Ai(x) and Ai′(x) for |x| <= kAiryLimit (a larger |x| is taken as ±kAiryLimit).
AiryValue AiryAi(double x);

} // namespace orvane
