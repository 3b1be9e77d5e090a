// Exact (Mie) theory for a water drop, m = 1.333, λ = 0.6328 µm: the coefficients and the
// intensity on a grid of 1000 scattering angles, as a diagram run with 1000 grid points
// asks for them. The cost grows with the size parameter x (n_max ≈ x terms per angle).
#include <benchmark/benchmark.h>

#include <complex>
#include <vector>

#include "mie/Debye.h"
#include "mie/Mie.h"

namespace {

constexpr double kWavelength = 0.6328;  // µm
const std::complex<double> kWater(1.333, 0.0);

// range(0): radius in µm. 50 µm is the default drop (x ≈ 496), 5000 µm a 5 mm drop (x ≈ 49 650).
void BM_MieDropOnGrid(benchmark::State& state)
{
    const double radius = double(state.range(0));
    const std::vector<double> theta = orvane::MieThetaGrid(1000);
    for (auto _ : state) {
        const orvane::MieSphere drop(radius, kWavelength, kWater);
        std::vector<double> intensity = orvane::MieGridIntensity(drop, theta, 0.0, 1);
        benchmark::DoNotOptimize(intensity.data());
    }
    state.counters["x"] = orvane::MieSphere(radius, kWavelength, kWater).SizeParameter();
}
BENCHMARK(BM_MieDropOnGrid)->Arg(50)->Arg(5000)->Unit(benchmark::kMillisecond);

// The coefficients alone (continued fraction, recurrences, efficiencies).
void BM_MieCoefficients(benchmark::State& state)
{
    const double radius = double(state.range(0));
    for (auto _ : state) {
        const orvane::MieSphere drop(radius, kWavelength, kWater);
        benchmark::DoNotOptimize(drop.Qext());
    }
}
BENCHMARK(BM_MieCoefficients)->Arg(50)->Arg(5000)->Unit(benchmark::kMillisecond);

// Debye terms of orders 0 to 4 of the same drop on 1000 angles, as a run comparing ray
// orders 0-4 with the exact terms asks for them: the Fresnel coefficients of every
// partial wave, then the five series sharing one pass of the angular functions.
// 50 µm: x ≈ 496 (target under 20 ms); 500 µm: x ≈ 4965 (target under 200 ms).
void BM_DebyeOrdersOnGrid(benchmark::State& state)
{
    const double radius = double(state.range(0));
    const std::vector<double> theta = orvane::MieThetaGrid(1000);
    for (auto _ : state) {
        const orvane::DebyeSphere drop(radius, kWavelength, kWater);
        std::vector<std::vector<double>> intensity = orvane::DebyeGridIntensity(drop, theta, 0.0, 1, 0, 4);
        benchmark::DoNotOptimize(intensity.data());
    }
    state.counters["x"] = orvane::DebyeSphere(radius, kWavelength, kWater).SizeParameter();
}
BENCHMARK(BM_DebyeOrdersOnGrid)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

// The Fresnel coefficients of the partial waves alone.
void BM_DebyeCoefficients(benchmark::State& state)
{
    const double radius = double(state.range(0));
    for (auto _ : state) {
        const orvane::DebyeSphere drop(radius, kWavelength, kWater);
        benchmark::DoNotOptimize(drop.NumTerms());
    }
}
BENCHMARK(BM_DebyeCoefficients)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
