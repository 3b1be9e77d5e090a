#include "raytrace/PictureRay.h"

#include <cmath>

namespace orvane {

std::optional<PictureRay> TracePictureRay(const RunParams& P, double y0, int maxP)
{
    // The incident line x = y0 + z·tan θi misses the ellipse beyond the grazing heights.
    const double D = P.PosLimit2 - y0 * y0;
    if (D < 0)
        return std::nullopt;

    PictureRay ray;
    ray.start = {-2 * P.RadiusC, y0 - 2 * P.RadiusC * P.TanIncAngle};

    // Entry point and the local basis there: inward normal and its tangent.
    Vec2 point = EntryPoint(P, y0);
    ray.points[0] = point;
    Vec2 N = InwardNormal(P, point);
    Vec2 T = TangentOf(N);

    // Incident wave vector split into its normal and tangential parts; the reflected ray
    // reverses the normal part.
    const Vec2 K = {P.WaveNumber * std::cos(P.IncAngle), P.WaveNumber * std::sin(P.IncAngle)};
    double Kn = Dot(K, N);
    double Kt = Dot(K, T);
    ray.reflected = Compose(-Kn, N, Kt, T);

    // Refraction with the real index keeps the tangential part; the ray enters only while
    // the normal part inside is real.
    const double kIn2 = P.InnerWaveNumber * P.InnerWaveNumber;
    if (!(kIn2 - Kt * Kt > 0))
        return ray;
    ray.refracted = true;
    Vec2 Q = Compose(std::sqrt(kIn2 - Kt * Kt), N, Kt, T);
    double s = Q.z != 0 ? Q.x / Q.z : 0.0;

    const double k2 = P.WaveNumber * P.WaveNumber;
    ray.chords = maxP < 0 ? 0 : (maxP > kMaxOrder ? kMaxOrder : maxP);
    for (int p = 1; p <= ray.chords; ++p) {
        // Along the chord to the far side of the outline; a chord parallel to the x axis
        // has no slope and ends at the mirror point.
        const Vec2 next = Q.z != 0 ? NextBoundaryPoint(P, point, s) : NextBoundaryPointVertical(point);

        // Internal reflection in the local basis of the outward normal.
        N = OutwardNormal(P, next);
        T = TangentOf(N);
        Kn = Dot(Q, N);
        Kt = Dot(Q, T);
        Q = Compose(-Kn, N, Kt, T);
        if (Q.z != 0)
            s = Q.x / Q.z;

        // The part that leaves keeps the tangential component; none under total reflection.
        ray.points[p] = next;
        ray.leaves[p] = std::fabs(Kt) <= P.WaveNumber;
        if (ray.leaves[p])
            ray.emergent[p] = Compose(std::sqrt(k2 - Kt * Kt), N, Kt, T);
        point = next;
    }
    return ray;
}

} // namespace orvane
