// Vectors of the particle frame: x along the semi-axis a (vertical in the plane of the
// ellipse), y along b (perpendicular to that plane), z along c (horizontal). Every product is
// written out in one fixed order, so that a ray comes out with the same bits whichever
// compiler, vector width or thread traces it.
#pragma once

#include <cmath>

namespace orvane {

struct Vec3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

inline Vec3 operator+(const Vec3& u, const Vec3& v) { return {u.x + v.x, u.y + v.y, u.z + v.z}; }
inline Vec3 operator-(const Vec3& u, const Vec3& v) { return {u.x - v.x, u.y - v.y, u.z - v.z}; }
inline Vec3 operator*(double a, const Vec3& v) { return {a * v.x, a * v.y, a * v.z}; }
inline Vec3 operator-(const Vec3& v) { return {-v.x, -v.y, -v.z}; }

inline double Dot(const Vec3& u, const Vec3& v) { return u.x * v.x + u.y * v.y + u.z * v.z; }

inline Vec3 Cross(const Vec3& u, const Vec3& v)
{
    return {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
}

inline double Norm(const Vec3& v) { return std::sqrt(Dot(v, v)); }

inline Vec3 Normalised(const Vec3& v) { return (1.0 / Norm(v)) * v; }

// a·u + b·v.
inline Vec3 Combine(double a, const Vec3& u, double b, const Vec3& v)
{
    return {a * u.x + b * v.x, a * u.y + b * v.y, a * u.z + b * v.z};
}

} // namespace orvane
