// A traced set of rays for the engine tests: the fields of a run, read as the diagram run
// reads them, then the positions and TraceRays, without the later stages.
#pragma once

#include <functional>
#include <memory>

#include "engine/RayTables.h"
#include "engine/RunStart.h"
#include "engine/TraceRays.h"
#include "numeric/FpGuard.h"
#include "numeric/MessageSink.h"
#include "run/ReadInputs.h"

namespace orvane::testing {

struct TracedRun {
    TOrvaneState state;
    Fields fields;
    RecordingSink sink;
    DiagramNorm norm;
    RayTablesPtr tables = MakeRayTables();

    const TRunParams& P() const { return state.P; }
    const TRayTables& T() const { return *tables; }
};

// The 50 µm water sphere of the window's defaults, perpendicular polarisation, with the
// changes that setup makes to the fields; traced with check when it is given.
inline std::unique_ptr<TracedRun> Trace(const std::function<void(Fields&)>& setup, CheckFile* check = nullptr)
{
    auto run = std::make_unique<TracedRun>();
    setup(run->fields);
    ClearFpFaults();
    ReadInputs(run->state, run->fields, run->sink);
    run->norm = ComputeDiagramNorm(run->state.P);
    run->state.P.NumIncRays = ReadIncidentRayCount(run->fields, run->sink);
    SetIncidentPositions(run->state, run->fields);
    TraceRays(run->state.P, run->norm, run->state.RayPos.data(), *run->tables, check);
    return run;
}

} // namespace orvane::testing
