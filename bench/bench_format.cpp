// Formatting speed: the data files write millions of numbers with "%12.6e". The same
// 1,000,000 doubles go through FormatTo and through C snprintf side by side; the two
// outputs differ in form (exponent digits, precision rule), not in the work done.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "base/Format.h"

namespace {

constexpr int kCount = 1000000;

// Magnitudes like those of a run's intensities and amplitudes: 1e-12 .. 1e8, both signs.
const std::vector<double>& Values()
{
    static const std::vector<double> values = [] {
        std::mt19937_64 rng(20240611);
        std::uniform_real_distribution<double> exponent(-12.0, 8.0);
        std::uniform_real_distribution<double> mantissa(1.0, 10.0);
        std::vector<double> v(kCount);
        for (int i = 0; i < kCount; ++i)
            v[i] = (i % 3 == 0 ? -1.0 : 1.0) * mantissa(rng) * std::pow(10.0, static_cast<int>(exponent(rng)));
        return v;
    }();
    return values;
}

void BM_FormatTo_e(benchmark::State& state)
{
    const auto& values = Values();
    std::string line;
    line.reserve(64);
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const double v : values) {
            line.clear();
            orvane::FormatTo(line, "%12.6e", {v});
            bytes += line.size();
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_FormatTo_e)->Unit(benchmark::kMillisecond);

void BM_snprintf_e(benchmark::State& state)
{
    const auto& values = Values();
    char line[64];
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (const double v : values)
            bytes += static_cast<std::size_t>(std::snprintf(line, sizeof line, "%12.6e", v));
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_snprintf_e)->Unit(benchmark::kMillisecond);

// A whole line of the total file: four numbers per call.
void BM_FormatTo_totalLine(benchmark::State& state)
{
    const auto& values = Values();
    std::string line;
    line.reserve(64);
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (int i = 0; i + 3 < kCount; i += 4) {
            line.clear();
            orvane::FormatTo(line, "%12.6f %12.6e %12.6e %12.6e", {values[i] * 1e-6, values[i + 1], values[i + 2], values[i + 3]});
            bytes += line.size();
        }
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_FormatTo_totalLine)->Unit(benchmark::kMillisecond);

void BM_snprintf_totalLine(benchmark::State& state)
{
    const auto& values = Values();
    char line[96];
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (int i = 0; i + 3 < kCount; i += 4)
            bytes += static_cast<std::size_t>(std::snprintf(line, sizeof line, "%12.6f %12.6e %12.6e %12.6e", values[i] * 1e-6,
                                                            values[i + 1], values[i + 2], values[i + 3]));
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_snprintf_totalLine)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
