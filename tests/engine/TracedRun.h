// A traced set of rays for the engine tests: the typed inputs of a diagram, traced through
// every order without the later stages.
#pragma once

#include <functional>
#include <memory>

#include "engine/Diagram.h"
#include "numeric/Angles.h"
#include "base/RunControl.h"

namespace orvane::testing {

struct TracedRun {
    RecordingControl control;
    TracedRays rays;

    const RunParams& P() const { return rays.params; }
    const RayTables& T() const { return *rays.tables; }
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

// A clear spheroid (40, 30, 25 µm, index 1.45) met at 20° in parallel polarisation, orders
// 0 to 5 from 120 rays: many of its rays are totally reflected inside, some at the point where
// the same order would leave.
inline void ClearObliqueSpheroid(DiagramInputs& f)
{
    f.particle.RadiusA = 40;
    f.particle.RadiusB = 30;
    f.particle.RadiusC = 25;
    f.particle.IndexRe = 1.45;
    f.particle.IncAngle = ToRadians(20);
    f.particle.Polar = 0;
    f.MaxP = 5;
    f.NumIncRays = 120;
}

} // namespace orvane::testing
