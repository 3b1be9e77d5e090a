// A diagram run at the largest size (5000 incident rays, MaxP 50, 100000 scattering angles,
// diffraction and Airy on, files to a temporary folder), whole and stage by stage, and how
// each stage grows when the rays or the grid angles are doubled; beside them the yardstick
// the whole run is measured against (README, "Speed and memory").
//   Args: incident rays, grid angles.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/Airy.h"
#include "engine/AssembleOrders.h"
#include "engine/Diagram.h"
#include "engine/Diffraction.h"
#include "base/RunControl.h"
#include "numeric/SinCos.h"
#include "output/DataFiles.h"
#include "output/OutputFiles.h"
#include "run/Jobs.h"
#include "bench/SinCosYardstick.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

class BenchFolder {
public:
    BenchFolder() : path_(fs::temp_directory_path() / ("orvane-bench-" + std::to_string(std::random_device{}())))
    {
        fs::create_directories(path_);
    }
    ~BenchFolder()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

DiagramInputs LargestRun(int rays, int angles)
{
    DiagramInputs in;
    in.NumIncRays = rays;
    in.MaxP = 50;
    in.NumScaRays = angles;
    in.Diffraction = true;
    in.Airy = true;
    return in;
}

// A run's state up to the end of the ray tracing.
struct Traced {
    DiagramInputs inputs;
    RecordingControl control;
    TracedRays rays;

    Traced(int count, int angles) : inputs(LargestRun(count, angles)), rays(TraceDiagramRays(inputs, control)) {}

    std::vector<OrderRows> rows() const
    {
        std::vector<OrderRows> r;
        for (int p = 0; p <= kMaxOrder; ++p)
            r.push_back({rays.tables->RayAngle[p].data(), rays.tables->RayIntensity[p].data(),
                         rays.tables->RayPhase[p].data()});
        return r;
    }
};

void SetCounters(benchmark::State& state)
{
    state.counters["rays"] = static_cast<double>(state.range(0));
    state.counters["angles"] = static_cast<double>(state.range(1));
}

void BM_WholeRun(benchmark::State& state)
{
    BenchFolder folder;
    const DiagramInputs inputs = LargestRun(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        RecordingControl control;
        benchmark::DoNotOptimize(RunDiagram(inputs, false, {folder.path(), '.'}, control));
    }
    SetCounters(state);
}

// Zero-filled tables and every ray through orders 0..50.
void BM_Trace(benchmark::State& state)
{
    Traced run(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto tables = MakeRayTables(run.rays.count(), kOrderCount);
        TraceRays(run.rays.params, run.rays.norm, run.rays.positions.heights.data(), run.rays.count(), 50, *tables,
                  nullptr, run.control);
        benchmark::DoNotOptimize(tables->RayPhase[50][0]);
    }
    SetCounters(state);
}

// All 51 orders onto the grid; range(2): threads.
void BM_Assemble(benchmark::State& state)
{
    Traced run(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const std::vector<OrderRows> rows = run.rows();
    for (auto _ : state) {
        ScatteringGrid grid(run.inputs.NumScaRays);
        AssembleOrders(rows, run.rays.count(), grid, run.control, static_cast<int>(state.range(2)));
        benchmark::DoNotOptimize(grid.TotalAmpRe[grid.NumScaRays / 2]);
    }
    SetCounters(state);
    state.counters["threads"] = static_cast<double>(state.range(2));
    state.counters["sincos_lanes"] = SinCosLanes();
}

// The same with "Uniform rainbow": near every caustic its uniform field in place of its two
// branches.
void BM_AssembleUniformRainbow(benchmark::State& state)
{
    Traced run(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const std::vector<OrderRows> rows = run.rows();
    for (auto _ : state) {
        ScatteringGrid grid(run.inputs.NumScaRays);
        AssembleOrders(rows, run.rays.count(), grid, run.control, static_cast<int>(state.range(2)), true);
        benchmark::DoNotOptimize(grid.TotalAmpRe[grid.NumScaRays / 2]);
    }
    SetCounters(state);
    state.counters["threads"] = static_cast<double>(state.range(2));
}

void BM_AiryDiffraction(benchmark::State& state)
{
    Traced run(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    ScatteringGrid grid(run.inputs.NumScaRays);
    const RayTables& T = *run.rays.tables;
    const int rainbow = FindRainbowRay(T.RayAngle[2].data(), T.RayIntensity[2].data(), run.rays.count());
    for (auto _ : state) {
        const AiryCurve curve = ComputeAiry(run.rays.params, T, run.rays.positions.heights.data(), rainbow, run.rays.count());
        ComputeDiffraction(run.rays.params, run.rays.norm, grid);
        ComputeTotalIntensity(grid);
        benchmark::DoNotOptimize(curve.intensity[25]);
    }
    SetCounters(state);
}

// The 51 order files, the total, the diffraction and the Airy file.
void BM_Files(benchmark::State& state)
{
    BenchFolder folder;
    RecordingControl control;
    const DiagramResult result =
        ComputeDiagram(LargestRun(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))), control);
    for (auto _ : state) {
        OutputFiles files(folder.path());
        WriteDiagramFiles(result, files, '.');
        files.commit();
    }
    SetCounters(state);
}

void Sizes(benchmark::internal::Benchmark* b)
{
    b->Args({5000, 100000})->Args({2500, 100000})->Args({5000, 50000});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_WholeRun)->Apply(Sizes)->Args({200, 1000})->UseRealTime();
BENCHMARK(BM_Trace)->Apply(Sizes);
BENCHMARK(BM_Assemble)
    ->Args({5000, 100000, 2})
    ->Args({2500, 100000, 2})
    ->Args({5000, 50000, 2})
    ->Args({5000, 100000, 1})
    ->Args({2500, 100000, 1})
    ->Args({5000, 50000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_AssembleUniformRainbow)
    ->Args({5000, 100000, 2})
    ->Args({5000, 100000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_AiryDiffraction)->Apply(Sizes);
// The whole run is to take at most 0.45 times as long as the yardstick.
BENCHMARK(BM_SinCosYardstick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Files)->Apply(Sizes);

} // namespace
} // namespace orvane

BENCHMARK_MAIN();
