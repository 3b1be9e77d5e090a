// Airy theory near the primary rainbow: the order-2 rays around the rainbow ray are laid on a
// reference line through the centre, perpendicular to the rainbow ray, with their amplitude and
// phase there, and their far fields are summed for 51 directions around the rainbow angle.
#pragma once

#include <array>
#include <vector>

#include "engine/RayTables.h"
#include "engine/TraceRays.h"
#include "geometry/Particle.h"

namespace orvane {

inline constexpr int kAiryOrder = 2;
inline constexpr int kAiryDirections = 51;
// Sets the window of rays around the rainbow ray: NumIncRays div (AiryDivisor − 5) rays before
// it, NumIncRays div AiryDivisor after it.
inline constexpr int kAiryDivisor = 14;

// The rainbow ray of an order: the last ray i in 2..NumIncRays-5 where the angle turns back,
// with the rays i-1, i, i+1 all emerged and neither angle step crossing ±π. -1 if none.
int FindRainbowRay(const double* angle, const double* intensity, int NumIncRays);

// One window ray on the reference line.
struct AiryRay {
    double v = 0;      // position on the reference line [µm]
    double psi = 0;    // phase there, relative to the rainbow ray [rad]
    double A = 0;      // amplitude, √intensity
    double theta = 0;  // direction [rad]
    double r = 0;      // distance of the ray's line from the centre [µm]
};

struct AiryCurve {
    int RainbowIndex = -1;
    double RainbowAngle = 0;      // [rad]
    double RainbowPhase = 0;      // [rad]
    double RainbowAmplitude = 0;
    std::vector<AiryRay> rays;    // the window rays kept, by increasing ray index
    std::array<double, kAiryDirections> angle{};      // [rad]
    std::array<double, kAiryDirections> intensity{};
};

// The wave sum around the rainbow ray R (from FindRainbowRay) over the window of rays
// first = R − NumIncRays div (AiryDivisor − 5) .. last = R + NumIncRays div AiryDivisor, clipped
// to the traced rays 0..NumIncRays−1; a window ray that did not emerge in order 2, or one
// perpendicular to the rainbow ray, takes no part. Each ray enters with its share of the wave
// front, A·√|Δθ·Δv|, and the squared sum is scaled by k/2π so that the curve carries the
// diagram's normalisation.
// The 51 directions are centred on the rainbow ray's angle, 1/50 of the span apart. The span
// comes from the geometry of the rainbow, not from where the window's end rays happen to
// leave an ellipse (far from the rainbow, or not at all): it is the angle between the two
// directions in which the window's end rays leave, in order 2, the sphere of the particle's
// index that casts the particle's shadow (radius the shadow's half-width; heights scaled by
// the ratio of the grazing heights, and for a bubble held within the impact parameters that
// enter it), traced like every ray of the run. A sphere is its own such sphere.
AiryCurve ComputeAiry(const RunParams& P, const RayTables& T, const double* heights, int R, int NumIncRays,
                      FresnelRule rule = FresnelRule::Local);

} // namespace orvane
