// The geometric path of one ray of the picture: entry point, reflected ray, the chords
// of orders 1..MaxP by refraction with the real index and internal reflection, and the
// ray that can leave at the end of each chord. Positions in µm in the particle frame
// (z across, x up), directions as wave vectors (1/µm).
#pragma once

#include <array>
#include <optional>

#include "geometry/Limits.h"
#include "geometry/RayGeometry.h"

namespace orvane {

struct PictureRay {
    Vec2 start;       // where the incident ray is drawn from, two radii c left of the centre
    Vec2 reflected;   // wave vector of the ray reflected at the entry point
    // Whether the refracted ray exists (Kt² < k_in² at the entry point).
    bool refracted = false;
    // points[0] is the entry point; with refraction points[p] ends the chord of order p.
    int chords = 0;
    std::array<Vec2, kOrderCount> points{};
    // At the end of chord p: whether a ray can leave (|Kt| <= k) and its wave vector.
    std::array<bool, kOrderCount> leaves{};
    std::array<Vec2, kOrderCount> emergent{};
};

// Follows the ray that crosses the vertical axis at height y0 (µm) through up to maxP
// chords (0..50). A height outside the two grazing heights (PosLimit2 − y0² < 0) has no
// entry point: no path.
std::optional<PictureRay> TracePictureRay(const RunParams& P, double y0, int maxP);

} // namespace orvane
