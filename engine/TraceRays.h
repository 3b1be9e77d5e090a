// Complex ray propagation through the elliptical cross-section: for each incident ray, the
// external reflection (order 0) and every internal order up to MaxP, with Fresnel
// coefficients, wavefront curvatures, focal lines and absorption, into the ray tables.
//
// A ray goes through three kinds of step: the entry (reflection of order 0 and refraction
// into the particle), then for each order a chord to the next boundary point, where part of
// the wave may leave (the exit of that order) and the rest is reflected inside. An observer
// can follow every interaction as it happens (the check file is one).
//
// Phase convention: a ray's phase falls along its path (k per µm outside, m_r·k inside), so
// the complex amplitude √I·exp(iφ) that a ray adds to the diagram is −i·conj(S) of exact
// theory's scattering amplitude S in the exp(−iωt) convention (Mie's, the Debye series').
// Every complex Fresnel quotient therefore enters a ray as its conjugate: at the entry
// (refraction and total reflection), at every exit and every internal reflection, under either
// Fresnel rule. A real quotient keeps its phase (0 or ±π) as it is.
#pragma once

#include "engine/RayTables.h"
#include "geometry/Particle.h"
#include "geometry/RayGeometry.h"
#include "numeric/Complex.h"

namespace orvane {

class RunControl;

// The two scalars a diagram run fixes before its first ray.
struct DiagramNorm {
    // k times the half-width of the particle's shadow across the incident direction.
    double ShadowSizeParam = 0;
    // ShadowSizeParam·k·b: the scale of every intensity of the run.
    double IntensityNorm = 0;
};
DiagramNorm ComputeDiagramNorm(const RunParams& P);

// What happened at the entry point of one ray (order 0 and the refraction).
struct EntryEvent {
    int ray = 0;
    Vec2 point;                  // entry point [µm]
    double cosI = 0;             // |kn/k|, cosine of the angle of incidence
    double phase = 0;            // the reference phase Φ of the incident path [rad]
    double reflectedAngle = 0;   // direction of order 0 [rad]
    double kappa1 = 0, kappa2 = 0;  // curvatures of the surface seen from outside [1/µm]
    double Ci1 = 0, Ci2 = 0;     // curvatures of the incident wave
    double Cr1 = 0, Cr2 = 0;     // curvatures of the reflected wave
    bool refracted = false;      // the ray enters the particle
    double slope = 0;            // of the refracted ray, K_x/K_z (refracted only)
    double C1 = 0, C2 = 0;       // curvatures of the refracted wave (refracted only)
    Complex r;                  // reflection coefficient at the entry as the ray uses it (|r| = 1 when not refracted)
};

// What happened at the boundary point that ends the chord of order p: the arriving wave, its
// exit (when it can leave) and its reflection inside.
struct InteractionEvent {
    int ray = 0;
    int p = 0;
    Vec2 point;                  // the boundary point [µm]
    double slope = 0;            // of the internally reflected ray
    double phase = 0;            // path phase Φ after the chord [rad]
    double kappa1 = 0, kappa2 = 0;  // curvatures of the surface seen from inside [1/µm]
    double R1 = 0, R2 = 0;       // radii of the arriving wavefront [µm]
    bool leaves = false;         // order p leaves the particle here
    double E1 = 0, E2 = 0;       // curvatures of the emergent wave (leaves only)
    Complex r;                  // coefficient of the reflection inside, as the ray uses it
    double C1 = 0, C2 = 0;       // curvatures of the internally reflected wave
};

// Which Fresnel coefficient serves an exit and the internal reflection at that point.
enum class FresnelRule {
    // The coefficient of the point itself, from the tangential part of the wave arriving
    // there; a total internal reflection carries its own phase.
    Local,
    // The entry point's refracted normal component reused at every exit, and every internal
    // reflection given the entry's reflection phase less π (a total one 1 + 0i): exact for a
    // sphere only, kept for comparison with earlier results.
    Entry,
};

// Follows the rays as they are traced, one ray after the other: the entry, then each order.
class TraceObserver {
public:
    virtual ~TraceObserver() = default;
    virtual void entered(const EntryEvent& event) = 0;
    virtual void interacted(const InteractionEvent& event) = 0;
};

// Traces the rays at heights[0..count-1] (count <= 5000) on the vertical axis, orders 0..MaxP
// (<= 50), into tables (zero-filled by the caller). The observer, when given, sees every
// interaction. A floating-point fault ends the run after the ray that raised it (MathError);
// the control is asked to stop every few rays and told the progress.
void TraceRays(const RunParams& P, const DiagramNorm& norm, const double* heights, int count, int MaxP,
               RayTables& tables, TraceObserver* observer, RunControl& control,
               FresnelRule rule = FresnelRule::Local);

} // namespace orvane
