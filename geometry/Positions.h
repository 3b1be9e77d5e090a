// The heights at which the parallel incident rays cross the vertical axis (z = 0): evenly
// across the particle's shadow, or evenly between two heights the user gives.
#pragma once

#include <optional>
#include <vector>

#include "geometry/Particle.h"

namespace orvane {

// The "Rays b/w Min and Max" mode: heights from Min to Max, in µm, taken as given.
struct PositionRange {
    double Min = -25.0;
    double Max = 25.0;
};

struct IncidentPositions {
    std::vector<double> heights;  // µm, ray i at heights[i]
    // Default mode: the outermost height, just inside the grazing heights. Range mode: the
    // spacing of the heights (0 for fewer than two rays).
    double PosHalfRange = 0;
};

// Just inside the two grazing heights, so that the outermost rays still meet the ellipse.
inline constexpr double kInsideGrazing = 0.99999999999999;

// The incident rays of a scattering diagram: n >= 2 of them (InputError "At least 2 incident
// rays are needed." otherwise). In the range mode every height must lie strictly between the
// grazing heights ±√PosLimit2: InputError "Ray positions must lie between -X and X µm." with X
// formatted "%.5f", before any height is used.
IncidentPositions DiagramPositions(const RunParams& P, int n, const std::optional<PositionRange>& range);

// The rays of the ray-tracing picture, any n >= 0: a single ray at 0 (default mode) or at Min;
// none for n <= 0. Heights beside the particle are allowed: the picture skips those rays.
IncidentPositions PicturePositions(const RunParams& P, int n, const std::optional<PositionRange>& range);

} // namespace orvane
