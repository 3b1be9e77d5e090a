// Energy of the ray tubes: a clear particle absorbs nothing, so the power that leaves it in all
// orders together is the power that fell on it, ray by ray. The power of one emergent ray is
// its intensity per solid angle times the solid angle its tube fills per unit of incident
// cross-section; that solid angle comes from a plain three-dimensional ray tracer written here
// (vector Snell's law on the ellipsoid, no wavefronts), by central differences in the height
// of the ray and in its offset out of the plane.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <optional>
#include <string>

#include "numeric/Angles.h"
#include "tests/engine/TracedRun.h"

namespace orvane {
namespace {

using testing::Trace;
using V3 = std::array<double, 3>;  // (z, x, y): the plane of the ellipse, then across it

double Dot(const V3& u, const V3& v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; }
V3 Along(const V3& p, double t, const V3& u) { return {p[0] + t * u[0], p[1] + t * u[1], p[2] + t * u[2]}; }
V3 Scaled(double s, const V3& u) { return {s * u[0], s * u[1], s * u[2]}; }
V3 Sum(const V3& u, const V3& v) { return {u[0] + v[0], u[1] + v[1], u[2] + v[2]}; }

struct Ellipsoid {
    double a, b, c;  // along x, y, z [µm]

    V3 OutwardNormal(const V3& p) const
    {
        const V3 w{p[0] / (c * c), p[1] / (a * a), p[2] / (b * b)};
        return Scaled(1 / std::sqrt(Dot(w, w)), w);
    }
    // The parameter t at which p + t·u meets the surface: the nearer crossing from outside, the
    // far one from a point of the surface.
    double Meet(const V3& p, const V3& u, bool fromOutside) const
    {
        const double A = u[0] * u[0] / (c * c) + u[1] * u[1] / (a * a) + u[2] * u[2] / (b * b);
        const double B = 2 * (p[0] * u[0] / (c * c) + p[1] * u[1] / (a * a) + p[2] * u[2] / (b * b));
        if (!fromOutside)
            return -B / A;
        const double C = p[0] * p[0] / (c * c) + p[1] * p[1] / (a * a) + p[2] * p[2] / (b * b) - 1;
        return (-B - std::sqrt(B * B - 4 * A * C)) / (2 * A);
    }
};

// Refraction of the unit direction u at the unit normal N that faces the arriving wave, from
// index 1 to index 1/eta; nothing when the wave is totally reflected.
std::optional<V3> Refract(const V3& u, const V3& N, double eta)
{
    const double cosI = -Dot(u, N);
    const double sin2T = eta * eta * (1 - cosI * cosI);
    if (sin2T >= 1)
        return std::nullopt;
    return Sum(Scaled(eta, u), Scaled(eta * cosI - std::sqrt(1 - sin2T), N));
}

V3 Reflect(const V3& u, const V3& n) { return Sum(u, Scaled(-2 * Dot(u, n), n)); }

// Fresnel's power reflectance of a clear interface, from the cosines of the two angles and the
// index ratio n2/n1 (1 beyond the critical angle).
double PowerReflectance(double cosI, double ratio, int polar)
{
    const double sin2T = (1 - cosI * cosI) / (ratio * ratio);
    if (sin2T >= 1)
        return 1;
    const double cosT = std::sqrt(1 - sin2T);
    const double r = polar ? (cosI - ratio * cosT) / (cosI + ratio * cosT) : (ratio * cosI - cosT) / (ratio * cosI + cosT);
    return r * r;
}

struct Particle {
    Ellipsoid shape;
    double m;
    double incidence;  // [rad]
};

// The ray that crosses the vertical axis at height h, offset by y across the plane: the
// direction in which it leaves in order p, if it does.
std::optional<V3> Emergent(const Particle& P, double h, double y, int p)
{
    const V3 u0{std::cos(P.incidence), std::sin(P.incidence), 0};
    const V3 start = Along(V3{0, h, y}, -1000, u0);
    V3 point = Along(start, P.shape.Meet(start, u0, true), u0);
    V3 n = P.shape.OutwardNormal(point);
    if (p == 0)
        return Reflect(u0, n);
    std::optional<V3> u = Refract(u0, n, 1 / P.m);
    if (!u)
        return std::nullopt;
    for (int j = 1; j <= p; ++j) {
        point = Along(point, P.shape.Meet(point, *u, false), *u);
        n = P.shape.OutwardNormal(point);
        if (j == p)
            return Refract(*u, Scaled(-1, n), P.m);
        u = Reflect(*u, n);
    }
    return std::nullopt;
}

// The share of the power of the ray at height h still inside after orders 0..maxP have left.
double PowerLeftInside(const Particle& P, double h, int maxP, int polar)
{
    const V3 u0{std::cos(P.incidence), std::sin(P.incidence), 0};
    const V3 start = Along(V3{0, h, 0}, -1000, u0);
    V3 point = Along(start, P.shape.Meet(start, u0, true), u0);
    V3 n = P.shape.OutwardNormal(point);
    double inside = 1 - PowerReflectance(-Dot(u0, n), P.m, polar);
    std::optional<V3> u = Refract(u0, n, 1 / P.m);
    for (int j = 1; u && j <= maxP; ++j) {
        point = Along(point, P.shape.Meet(point, *u, false), *u);
        n = P.shape.OutwardNormal(point);
        inside *= PowerReflectance(Dot(*u, n), 1 / P.m, polar);
        u = Reflect(*u, n);
    }
    return inside;
}

TEST(RayTubeEnergy, ClearEllipsoidSendsOutThePowerThatFellOnItRayByRay)
{
    constexpr int kOrders = 50;
    constexpr double kDelta = 1e-4;  // µm, the step of the central differences
    struct Case {
        const char* name;
        Particle particle;
    };
    const Case cases[] = {
        {"ellipsoid 50/45/40, head-on", {{50, 45, 40}, 1.333, 0}},
        {"ellipsoid 50/45/40, 30 degrees", {{50, 45, 40}, 1.333, ToRadians(30)}},
        {"prolate 30/25/25, glass, 50 degrees", {{30, 25, 25}, 1.5, ToRadians(50)}},
        {"oblate 40/50/50, 20 degrees", {{40, 50, 50}, 1.333, ToRadians(20)}},
    };
    for (const Case& c : cases) {
        for (const int polar : {1, 0}) {
            SCOPED_TRACE(std::string(c.name) + (polar ? ", perpendicular" : ", parallel"));
            const Particle& P = c.particle;
            const double grazing =
                std::sqrt(P.shape.a * P.shape.a + P.shape.c * P.shape.c * std::tan(P.incidence) * std::tan(P.incidence));
            int checked = 0;
            for (int j = 0; j < 41; ++j) {
                const double h = (-0.97 + 1.94 * j / 40.0) * grazing + 0.0123;
                if (PowerLeftInside(P, h, kOrders, polar) > 1e-9)
                    continue;  // caught inside by total reflection, or too long to empty
                // Three rays of the program at h − δ, h, h + δ: the middle one is the ray.
                const auto run = Trace([&](DiagramInputs& f) {
                    f.particle.RadiusA = P.shape.a;
                    f.particle.RadiusB = P.shape.b;
                    f.particle.RadiusC = P.shape.c;
                    f.particle.IndexRe = P.m;
                    f.particle.IncAngle = P.incidence;
                    f.particle.Polar = polar;
                    f.MaxP = kOrders;
                    f.NumIncRays = 3;
                    f.range = PositionRange{h - kDelta, h + kDelta};
                });
                const RayTables& T = run->T();
                const double k = run->P().WaveNumber;
                double power = 0;
                for (int p = 0; p <= kOrders; ++p) {
                    const auto below = Emergent(P, h - kDelta, 0, p), above = Emergent(P, h + kDelta, 0, p);
                    const auto left = Emergent(P, h, -kDelta, p), right = Emergent(P, h, kDelta, p);
                    const bool leaves = below && above && left && right;
                    ASSERT_EQ(leaves, T.RayIntensity[p][1] > 0) << "height " << h << " order " << p;
                    if (!leaves)
                        continue;
                    const auto middle = Emergent(P, h, 0, p);
                    EXPECT_NEAR(std::atan2((*middle)[1], (*middle)[0]), T.RayAngle[p][1], 1e-9) << "order " << p;
                    // Incident cross-section: the height step seen across the incident
                    // direction, times the offset; the solid angle: the two angle steps.
                    const double dTheta = std::remainder(std::atan2((*above)[1], (*above)[0]) -
                                                             std::atan2((*below)[1], (*below)[0]),
                                                         kTwoPi);
                    const double dPsi = std::asin((*right)[2]) - std::asin((*left)[2]);
                    const double solidAngle = std::fabs(dTheta * dPsi);
                    const double area = (2 * kDelta * std::cos(P.incidence)) * (2 * kDelta);
                    power += T.RayIntensity[p][1] / (k * k) * solidAngle / area;
                }
                EXPECT_NEAR(power, 1.0, 1e-6) << "height " << h;
                ++checked;
            }
            EXPECT_GT(checked, 25);
        }
    }
}

} // namespace
} // namespace orvane
