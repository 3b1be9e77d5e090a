// The per-order ray tables of a diagram run: for every order p = 0..50 and incident ray
// i = 0..5000, the direction, intensity and phase of the ray that leaves the particle,
// the point where it leaves and its wave vector. A cell that the run does not write stays 0:
// the assembly and the Airy sum read a zero intensity and a zero angle as "did not emerge".
#pragma once

#include <array>
#include <memory>

#include "geometry/Limits.h"

namespace orvane {

// One table, indexed [order p][ray i].
using RayTable = std::array<std::array<double, kRaySlots>, kOrderCount>;

struct RayTables {
    RayTable RayAngle;      // direction angle of the outgoing wave vector [rad]
    RayTable RayIntensity;  // intensity, in the units of the squared amplitude functions
    RayTable RayPhase;      // phase [rad]
    RayTable RayX, RayZ;    // entry point (p = 0) or exit point (p >= 1) [µm]
    RayTable RayKx, RayKz;  // emergent wave vector (p >= 1) [1/µm]
};

struct RayTablesDeleter {
    void operator()(RayTables* tables) const;
};
using RayTablesPtr = std::unique_ptr<RayTables, RayTablesDeleter>;

// About 14.3 MB, zero-filled: one per run, released with the pointer. The zeros come from
// the system's fresh pages, so a small run maps only the pages it writes; a run that will
// write much of every table (NumIncRays rays in orderCount orders) takes them in 2 MB pages.
RayTablesPtr MakeRayTables(int NumIncRays = 0, int orderCount = 0);

} // namespace orvane
