// A diagram run at the largest size (5000 incident rays, MaxP 50, 100000 scattering angles,
// diffraction and Airy on, files to a temporary folder), whole and stage by stage, and how
// each stage grows when the rays or the grid angles are doubled.
//   Args: incident rays, grid angles.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/Airy.h"
#include "engine/AssembleOrders.h"
#include "engine/DiagramFiles.h"
#include "engine/DiagramRun.h"
#include "engine/Diffraction.h"
#include "engine/RayTables.h"
#include "engine/RunStart.h"
#include "engine/TraceRays.h"
#include "numeric/MessageSink.h"
#include "run/ReadInputs.h"

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

Fields LargestRun(int rays, int angles)
{
    Fields f;
    f.LblEdtNumRays = std::to_string(rays);
    f.EdtMaxp = "50";
    f.LblEdtNumSca = std::to_string(angles);
    f.ChBxDiff = true;
    f.ChBxAiry = true;
    return f;
}

// A run's state up to the end of the ray tracing.
struct Traced {
    TOrvaneState state;
    Fields fields;
    RecordingSink sink;
    DiagramNorm norm;
    RayTablesPtr tables;

    Traced(int rays, int angles) : fields(LargestRun(rays, angles))
    {
        ReadInputs(state, fields, sink);
        norm = ComputeDiagramNorm(state.P);
        state.P.NumIncRays = ReadIncidentRayCount(fields, sink);
        state.P.NumScaRays = ReadScatteringAngleCount(fields);
        SetIncidentPositions(state, fields);
        tables = MakeRayTables();
        TraceRays(state.P, norm, state.RayPos.data(), *tables, nullptr);
    }

    std::vector<OrderRows> rows() const
    {
        std::vector<OrderRows> r;
        for (int p = 0; p <= kMaxOrder; ++p)
            r.push_back({tables->RayAngle[p].data(), tables->RayIntensity[p].data(), tables->RayPhase[p].data()});
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
    for (auto _ : state) {
        TOrvaneState s;
        Fields f = LargestRun(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
        RecordingSink sink;
        Session session{s, f, sink, folder.path()};
        benchmark::DoNotOptimize(BtnCalcDiagClick(session));
    }
    SetCounters(state);
}

// Zero-filled tables and every ray through orders 0..50.
void BM_Trace(benchmark::State& state)
{
    Traced run(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        auto tables = MakeRayTables();
        TraceRays(run.state.P, run.norm, run.state.RayPos.data(), *tables, nullptr);
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
        TScatteringGrid grid(run.state.P.NumScaRays);
        AssembleOrders(rows, run.state.P.NumIncRays, grid, run.sink, static_cast<int>(state.range(2)));
        benchmark::DoNotOptimize(grid.TotalAmpRe[grid.NumScaRays / 2]);
    }
    SetCounters(state);
    state.counters["threads"] = static_cast<double>(state.range(2));
}

void BM_AiryDiffraction(benchmark::State& state)
{
    Traced run(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    run.state.P.AiryDivisor = kAiryDivisorValue;
    TScatteringGrid grid(run.state.P.NumScaRays);
    const int rainbow = FindRainbowRay(run.tables->RayAngle[2].data(), run.tables->RayIntensity[2].data(),
                                       run.state.P.NumIncRays);
    for (auto _ : state) {
        const AiryCurve curve = ComputeAiry(run.state.P, *run.tables, rainbow);
        ComputeDiffraction(run.state.P, run.norm, grid);
        ComputeTotalIntensity(grid);
        benchmark::DoNotOptimize(curve.intensity[25]);
    }
    SetCounters(state);
}

// The 51 order files, the total, the diffraction and the Airy file, and the chart's series.
void BM_Files(benchmark::State& state)
{
    BenchFolder folder;
    Traced run(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    run.state.P.AiryDivisor = kAiryDivisorValue;
    TScatteringGrid grid(run.state.P.NumScaRays);
    ComputeDiffraction(run.state.P, run.norm, grid);
    ComputeTotalIntensity(grid);
    const AiryCurve curve = ComputeAiry(run.state.P, *run.tables,
                                        FindRainbowRay(run.tables->RayAngle[2].data(),
                                                       run.tables->RayIntensity[2].data(), run.state.P.NumIncRays));
    Session session{run.state, run.fields, run.sink, folder.path()};
    const OrderRange orders{0, kMaxOrder};
    for (auto _ : state) {
        StagedFiles files;
        WriteAiryFile(files, session.file(kAiryFileName), run.state.P, curve);
        WriteDiffractionFile(files, session.file(kDiffractionFileName), grid, true);
        WriteOrderFiles(files, session, *run.tables, run.state.P.NumIncRays, orders);
        WriteTotalFile(files, session.file(kTotalFileName), grid);
        files.commit();
        benchmark::DoNotOptimize(BuildChartSeries(run.state, *run.tables, run.state.P.NumIncRays, orders, &grid, &curve));
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
BENCHMARK(BM_AiryDiffraction)->Apply(Sizes);
BENCHMARK(BM_Files)->Apply(Sizes);

} // namespace
} // namespace orvane

BENCHMARK_MAIN();
