// Interpolation of one branch onto the angle grid: 5000 rays onto 100000 angles, the
// largest branch a run makes. The interval of each angle is located, not searched for
// among all rays, so this takes milliseconds.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "numeric/MessageSink.h"
#include "numeric/Numerics.h"

namespace {

void BM_LagrangeInterpolate(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const int m = static_cast<int>(state.range(1));
    const double pi = std::acos(-1.0);
    std::vector<double> xi(n), yi(n), zi(n), x(m), y(m), z(m), work(3 * n);
    for (int i = 0; i < n; ++i) {
        xi[i] = pi - std::acos(1.0 - 2.0 * (i + 0.5) / n);  // decreasing, like a branch's angles
        yi[i] = std::exp(-xi[i]);
        zi[i] = 100.0 * xi[i];
    }
    for (int j = 0; j < m; ++j)
        x[j] = -pi + j * (2.0 * pi / (m - 1));
    orvane::RecordingSink sink;
    for (auto _ : state) {
        orvane::LagrangeInterpolate(xi.data(), yi.data(), zi.data(), x.data(), y.data(), z.data(), n, m, work.data(), sink);
        benchmark::DoNotOptimize(y.data());
        sink.messages.clear();
    }
}
BENCHMARK(BM_LagrangeInterpolate)->Args({5000, 100000})->Args({200, 1000})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
