// Energy. The power a ray carries out in order p is its intensity times the solid angle its
// tube fills, I_p·|dΩ/dA|/k². Measured here with the solid angle that the directions of
// neighbouring rays actually span, it must equal the share of the incident power that the
// Fresnel factors and the absorption leave for that order; summed over orders 0..50 with
// the power absorbed on the chords and left inside, the incident power. That holds only if
// the curvature matrices, their laws at every interface and the tube's widths are right.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "numeric/Angles.h"
#include "trace3d/Rays3D.h"

namespace orvane {
namespace {

struct Direction {
    bool lit = false;
    Vec3 s;  // on the beam frame
};

Direction DirectionOf(const RayPath3D& ray, int p)
{
    const RayOrder3D& o = ray.orders[static_cast<std::size_t>(p)];
    return {o.lit, {o.dirParallel, o.dirPerpendicular, o.dirForward}};
}

// Neighbours at u ± h, u ± 2h and v ± h, v ± 2h (µm) of an incident point, for fourth-order
// differences.
constexpr double kStep = 2e-3;
constexpr double kSteps[4] = {-2.0, -1.0, 1.0, 2.0};
constexpr double kWeights[4] = {1.0, -8.0, 8.0, -1.0};

// The point and its eight neighbours, in the order MeasuredJacobian reads them.
void AddStencil(double u, double v, std::vector<PupilPoint>& points)
{
    points.push_back({u, v});
    for (const double step : kSteps) {
        points.push_back({u + step * kStep, v});
        points.push_back({u, v + step * kStep});
    }
}

// The oriented solid angle per unit pupil area of order p at a point, from the directions of
// its neighbours' rays (paths[1..8]); false where one of them does not leave in that order.
bool MeasuredJacobian(const RayPath3D* paths, int p, const Vec3& s, double& jacobian)
{
    Vec3 du, dv;
    for (int k = 0; k < 4; ++k) {
        const Direction a = DirectionOf(paths[1 + 2 * k], p);
        const Direction b = DirectionOf(paths[2 + 2 * k], p);
        if (!a.lit || !b.lit)
            return false;
        du = du + (kWeights[k] / (12.0 * kStep)) * a.s;
        dv = dv + (kWeights[k] / (12.0 * kStep)) * b.s;
    }
    jacobian = Dot(Cross(du, dv), s);
    return true;
}

TEST(Energy, EveryOrdersPowerFillsTheSolidAngleItsRaysSpan)
{
    struct Case {
        const char* name;
        double a, b, c, indexRe, indexIm, incDeg, tiltDeg;
    };
    const Case cases[] = {
        {"clear ellipsoid, tilted incidence", 40, 30, 25, 1.333, 0.0, 20, 35},
        {"absorbing ellipsoid, tilted incidence", 40, 30, 25, 1.333, 0.002, -30, 50},
        {"glass spheroid lit along its axis, tilted", 30, 30, 45, 1.5, 0.0, 0, 25},
    };
    for (const Case& c : cases) {
        Rays3DInputs in;
        in.RadiusA = c.a;
        in.RadiusB = c.b;
        in.RadiusC = c.c;
        in.IndexRe = c.indexRe;
        in.IndexIm = c.indexIm;
        in.IncAngle = ToRadians(c.incDeg);
        in.Tilt = ToRadians(c.tiltDeg);
        in.Jones = {Complex{1.0, 0.0}, Complex{0.3, 0.6}};
        in.MaxP = 50;
        const Pupil pupil = MakePupil(in);
        const double k = 2.0 * kPi / in.Wavelength;

        std::mt19937 random(7);
        std::uniform_real_distribution<double> uniform(-1.0, 1.0);
        const int rays = 40;
        std::vector<PupilPoint> points;
        while (points.size() < 9u * rays) {
            const double xi = uniform(random);
            const double eta = uniform(random);
            // The rim, where rays graze the surface, is left out.
            if (xi * xi + eta * eta > 0.85)
                continue;
            AddStencil(pupil.semiAxis1 * xi * pupil.axis1U - pupil.semiAxis2 * eta * pupil.axis1V,
                       pupil.semiAxis1 * xi * pupil.axis1V + pupil.semiAxis2 * eta * pupil.axis1U, points);
        }
        const std::vector<RayPath3D> paths = TraceIncidentPoints(in, points);
        int measured = 0;
        double worstOrder = 0.0;
        double worstBalance = 0.0;
        for (int n = 0; n < rays; ++n) {
            const RayPath3D* stencil = &paths[static_cast<std::size_t>(9 * n)];
            const RayPath3D& ray = stencil[0];
            ASSERT_TRUE(ray.hits && ray.enters) << c.name;

            // The Fresnel factors and the absorption share out the incident power exactly.
            double booked = ray.absorbed[0] + ray.inside[0];
            for (const RayOrder3D& o : ray.orders)
                booked += o.power[0];
            EXPECT_NEAR(booked, 1.0, 1e-12) << c.name;

            // Each order's tube, as its neighbours measure it.
            double balance = ray.absorbed[0] + ray.inside[0];
            for (int p = 0; p <= in.MaxP; ++p) {
                const RayOrder3D& o = ray.orders[static_cast<std::size_t>(p)];
                if (!o.lit)
                    continue;
                double jacobian = 0.0;
                const Vec3 s{o.dirParallel, o.dirPerpendicular, o.dirForward};
                if (!MeasuredJacobian(stencil, p, s, jacobian)) {
                    balance += o.power[0];  // a neighbour is totally reflected: too near the edge to measure
                    continue;
                }
                const double intensity = std::norm(o.ampTheta[0]) + std::norm(o.ampPhi[0]);
                const double power = intensity * std::fabs(jacobian) / (k * k);
                balance += power;
                ++measured;
                const std::string where = std::string(c.name) + ", p = " + std::to_string(p);
                // The tube's orientation: a mirror or a focal line turns it over.
                if (std::fabs(jacobian) > 1e-6 * std::fabs(o.jacobian)) {
                    EXPECT_EQ(jacobian > 0.0, o.jacobian > 0.0) << where;
                }
                // Beyond some thirty reflections the neighbours' differences lose digits;
                // such orders carry next to nothing, and their power is held below.
                if (o.power[0] > 1e-8) {
                    EXPECT_NEAR(jacobian / o.jacobian, 1.0, 1e-5) << where;
                }
                worstOrder = std::max(worstOrder, std::fabs(power - o.power[0]));
            }
            worstBalance = std::max(worstBalance, std::fabs(balance - 1.0));
        }
        EXPECT_LT(worstOrder, 1e-6) << c.name;
        EXPECT_LT(worstBalance, 1e-6) << c.name;
        EXPECT_GT(measured, rays * 8) << c.name;
    }
}

} // namespace
} // namespace orvane
