// The yardstick every speed goal is measured against, in the same run as the work: 64 million
// libm sincos calls on one core, on phases like the assembly's (100 rad upwards in steps of
// 0.0015), as many calls as the largest diagram run has grid contributions.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>

namespace orvane {

inline void BM_SinCosYardstick(benchmark::State& state)
{
    for (auto _ : state) {
        double acc = 0.0;
        double x = 100.0;
        for (long i = 0; i < 64'000'000L; ++i) {
            double s, c;
            ::sincos(x, &s, &c);
            acc += s + c;
            x += 0.0015;
        }
        benchmark::DoNotOptimize(acc);
    }
}

} // namespace orvane
