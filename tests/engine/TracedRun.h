// A traced set of rays for the engine tests: the typed inputs of a diagram, traced through
// every order without the later stages.
#pragma once

#include <functional>
#include <memory>

#include "engine/Diagram.h"
#include "numeric/RunControl.h"

namespace orvane::testing {

struct TracedRun {
    RecordingControl control;
    TracedRays rays;

    const TRunParams& P() const { return rays.params; }
    const TRayTables& T() const { return *rays.tables; }
    const std::vector<double>& heights() const { return rays.positions.heights; }
};

// The 50 µm water sphere of the window's defaults, perpendicular polarisation, with the
// changes that setup makes to the inputs; traced with the observer when it is given.
inline std::unique_ptr<TracedRun> Trace(const std::function<void(DiagramInputs&)>& setup,
                                        TraceObserver* observer = nullptr)
{
    auto run = std::make_unique<TracedRun>();
    DiagramInputs inputs;
    setup(inputs);
    run->rays = TraceDiagramRays(inputs, run->control, observer);
    return run;
}

} // namespace orvane::testing
