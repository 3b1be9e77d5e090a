// Interpolation of one branch onto the angle grid: 5000 rays onto 100000 angles, the
// largest branch a run makes. The interval of each angle is located, not searched for
// among all rays, so this takes milliseconds.
//   BM_LagrangeInterpolate: the whole grid, half of it outside the rays' range.
//   BM_LagrangeSection: only the grid angles inside the range, as a diagram run asks;
//     range(2) pieces, filled one after the other as the threads of a run fill them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "base/MessageSink.h"
#include "numeric/Numerics.h"

namespace {

const double kPi = std::acos(-1.0);

struct Branch {
    std::vector<double> xi, yi, zi;
    explicit Branch(int n) : xi(n), yi(n), zi(n)
    {
        for (int i = 0; i < n; ++i) {
            xi[i] = kPi - std::acos(1.0 - 2.0 * (i + 0.5) / n);  // decreasing, like a branch's angles
            yi[i] = std::exp(-xi[i]);
            zi[i] = 100.0 * xi[i];
        }
    }
};

void BM_LagrangeInterpolate(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const int m = static_cast<int>(state.range(1));
    const Branch b(n);
    std::vector<double> x(m), y(m), z(m), work(3 * n);
    for (int j = 0; j < m; ++j)
        x[j] = -kPi + j * (2.0 * kPi / (m - 1));
    orvane::RecordingSink sink;
    for (auto _ : state) {
        orvane::LagrangeInterpolate(b.xi.data(), b.yi.data(), b.zi.data(), x.data(), y.data(), z.data(), n, m,
                                    work.data(), sink);
        benchmark::DoNotOptimize(y.data());
        sink.messages.clear();
    }
    state.SetItemsProcessed(state.iterations() * m);
}
BENCHMARK(BM_LagrangeInterpolate)->Args({5000, 100000})->Args({200, 1000})->Unit(benchmark::kMillisecond);

void BM_LagrangeSection(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const int grid = static_cast<int>(state.range(1));
    const int pieces = static_cast<int>(state.range(2));
    const Branch b(n);
    // The grid angles strictly inside the rays' range.
    const double h = 2.0 * kPi / (grid - 1);
    std::vector<double> x;
    for (int j = 0; j < grid; ++j) {
        const double t = -kPi + j * h;
        if (t > b.xi[n - 1] && t < b.xi[0])
            x.push_back(t);
    }
    const int m = static_cast<int>(x.size());
    std::vector<double> y(m), z(m), work(3 * n);
    orvane::RecordingSink sink;
    for (auto _ : state) {
        const orvane::LagrangePlan plan =
            orvane::PrepareLagrange(b.xi.data(), b.yi.data(), b.zi.data(), x.data(), n, m, work.data(), sink);
        for (int p = 0; p < pieces; ++p) {
            const int j0 = static_cast<int>(static_cast<long long>(m) * p / pieces);
            const int j1 = static_cast<int>(static_cast<long long>(m) * (p + 1) / pieces);
            orvane::EvaluateLagrange(plan, j0, j1, y.data() + j0, z.data() + j0);
        }
        benchmark::DoNotOptimize(y.data());
    }
    state.SetItemsProcessed(state.iterations() * m);
}
BENCHMARK(BM_LagrangeSection)->Args({5000, 100000, 1})->Args({5000, 100000, 100})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
