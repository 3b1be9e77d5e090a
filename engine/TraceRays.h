// Complex ray propagation through the elliptical cross-section: for each incident ray, the
// external reflection (order 0) and every internal order up to MaxP, with Fresnel
// coefficients, wavefront curvatures, focal lines and absorption, into the ray tables.
#pragma once

#include "engine/RayTables.h"
#include "run/OrvaneState.h"

namespace orvane {

class CheckFile;

// The two scalars a diagram run fixes before its first ray.
struct DiagramNorm {
    // k times the half-width of the particle's shadow across the incident direction.
    double ShadowSizeParam = 0;
    // ShadowSizeParam·k·b: the scale of every intensity of the run.
    double IntensityNorm = 0;
};
DiagramNorm ComputeDiagramNorm(const TRunParams& P);

// Traces rays 0..P.NumIncRays-1 (at most 5000) at the heights RayPos[i] on the vertical axis,
// orders 0..min(MaxP, 50), into tables (zero-filled by the caller). Each interaction is
// recorded in check when it is given. A floating-point fault ends the run after the ray
// that raised it (EMathError).
void TraceRays(const TRunParams& P, const DiagramNorm& norm, const double* RayPos, TRayTables& tables,
               CheckFile* check);

} // namespace orvane
