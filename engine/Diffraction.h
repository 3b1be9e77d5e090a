// Fraunhofer diffraction by the particle's shadow: a real amplitude J1(u)/u around the incident
// direction, added to the real part of the summed ray amplitude.
#pragma once

#include "engine/AssembleOrders.h"
#include "engine/TraceRays.h"
#include "geometry/Particle.h"

namespace orvane {

// DiffAmp on the whole grid: IntensityNorm·J1(u)/u with u = |sin δ|·ShadowSizeParam, δ the
// plain difference between the grid angle and the incident angle, and 0 from |δ| = π/2 on.
// At δ = 0 the limit IntensityNorm/2.
void ComputeDiffraction(const RunParams& P, const DiagramNorm& norm, ScatteringGrid& grid);

} // namespace orvane
