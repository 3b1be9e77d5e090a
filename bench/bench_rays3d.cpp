// 3-D rays over the pupil: 1000 × 1000 incident rays on an oblique water ellipsoid, tilted
// light, traced to order 10 and handed on band by band to a sink that keeps only a sum per
// order, as a caller that takes the orders one at a time; beside it the yardstick the goal is
// measured against (at most 0.5 times its time). Peak memory of the process is reported.
//   Args: rays a side, threads, incident states (1: a Jones vector, 2: the amplitude matrix).
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <array>

#include "base/RunControl.h"
#include "bench/SinCosYardstick.h"
#include "numeric/Angles.h"
#include "trace3d/Rays3D.h"

namespace orvane {
namespace {

// The power of every order, summed over the pupil.
struct OrderPower : Rays3DSink {
    std::array<double, kMaxOrder3D + 1> power{};
    void accept(const OrderBlock& block) override
    {
        double sum = 0.0;
        for (std::size_t r = 0; r < block.size(); ++r)
            sum += std::norm(block.ampTheta[0][r]) + std::norm(block.ampPhi[0][r]);
        power[static_cast<std::size_t>(block.p)] += sum;
    }
};

Rays3DInputs BenchParticle(int states)
{
    Rays3DInputs in;
    in.RadiusA = 55;
    in.RadiusB = 45;
    in.RadiusC = 50;
    in.IncAngle = ToRadians(20);
    in.Tilt = ToRadians(15);
    in.Jones = JonesVector::Linear(ToRadians(30));
    in.BothStates = states == 2;
    in.MaxP = 10;
    return in;
}

double PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_Rays3D(benchmark::State& state)
{
    const int n = static_cast<int>(state.range(0));
    const Rays3DInputs in = BenchParticle(static_cast<int>(state.range(2)));
    RecordingControl control;
    for (auto _ : state) {
        OrderPower sink;
        TracePupil(in, n, sink, control, static_cast<int>(state.range(1)));
        benchmark::DoNotOptimize(sink.power[2]);
    }
    state.counters["rays"] = static_cast<double>(n) * n;
    state.counters["threads"] = static_cast<double>(state.range(1));
    state.counters["states"] = static_cast<double>(state.range(2));
    state.counters["peak_MB"] = PeakMegabytes();
}

BENCHMARK(BM_Rays3D)
    ->Args({1000, 2, 1})
    ->Args({1000, 1, 1})
    ->Args({1000, 2, 2})
    ->Args({2000, 2, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_SinCosYardstick)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace orvane

BENCHMARK_MAIN();
