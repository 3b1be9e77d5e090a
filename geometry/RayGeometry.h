// Geometry of a ray in the plane of the ellipse z²/c² + x²/a² = 1, shared by the diagram
// engine and the ray-tracing picture. Vectors are (z component, x component); a direction
// angle is atan2(x, z). Each formula keeps its order of operations: the files depend on it.
#pragma once

#include <cmath>

#include "geometry/Particle.h"

namespace orvane {

struct Vec2 {
    double z = 0.0;
    double x = 0.0;
};

inline double Dot(const Vec2& u, const Vec2& v) { return u.z * v.z + u.x * v.x; }

// The unit tangent that goes with a unit normal n: (n_x, −n_z).
inline Vec2 TangentOf(const Vec2& n) { return {n.x, -n.z}; }

// Entry point of the incident ray that crosses the vertical axis at height d: the
// intersection of x = d + z·tan θi with the ellipse that the light meets first (smaller z).
// Requires d² < PosLimit2.
inline Vec2 EntryPoint(const RunParams& P, double d)
{
    const double S = std::sqrt(P.PosLimit2 - d * d);
    const double x0 = (d * P.RadiusA2 - S * P.RadiusA * P.RadiusC * P.TanIncAngle) / P.PosLimit2;
    const double z0 = (-d * P.TanIncAngle * P.RadiusC2 - S * P.RadiusA * P.RadiusC) / P.PosLimit2;
    return {z0, x0};
}

// Outward unit normal at the boundary point p: w = (a²·z, c²·x) / |w|.
inline Vec2 OutwardNormal(const RunParams& P, const Vec2& p)
{
    const double wz = P.RadiusA2 * p.z;
    const double wx = P.RadiusC2 * p.x;
    const double len = std::sqrt(wz * wz + wx * wx);
    return {wz / len, wx / len};
}

// Inward unit normal at the boundary point p: −w / |w|.
inline Vec2 InwardNormal(const RunParams& P, const Vec2& p)
{
    const double wz = P.RadiusA2 * p.z;
    const double wx = P.RadiusC2 * p.x;
    const double len = std::sqrt(wz * wz + wx * wx);
    return {-wz / len, -wx / len};
}

// A wave vector from its normal and tangential components: kn·n + kt·τ.
inline Vec2 Compose(double kn, const Vec2& n, double kt, const Vec2& tau)
{
    return {kn * n.z + kt * tau.z, kn * n.x + kt * tau.x};
}

// The second intersection of the line through the boundary point p with slope s = K_x/K_z.
inline Vec2 NextBoundaryPoint(const RunParams& P, const Vec2& p, double s)
{
    const double z = ((P.RadiusC2 * s * s - P.RadiusA2) * p.z - 2 * P.RadiusC2 * s * p.x) /
                     (P.RadiusC2 * s * s + P.RadiusA2);
    const double x = (z - p.z) * s + p.x;
    return {z, x};
}

// The same for a chord along the x axis (K_z = 0, no slope): the mirror point in x.
inline Vec2 NextBoundaryPointVertical(const Vec2& p) { return {p.z, -p.x}; }

} // namespace orvane
