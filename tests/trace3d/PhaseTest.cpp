// The phase reference. A ray's far-field phase is its path phase at the exit point r plus
// k·ŝ·r, measured from the planes through the centre: signed, so that, as the ray moves, the
// phase turns with the direction by k·dŝ·r (stationary phase: the far field of a wavefront
// turned by dŝ about a point r off the centre). The rays of every order must keep to that,
// whichever side of the centre they enter or leave.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "numeric/Angles.h"
#include "trace3d/Rays3D.h"

namespace orvane {
namespace {

TEST(PhaseReference, TurnsWithTheDirectionByTheExitPointsOffset)
{
    struct Case {
        const char* name;
        double a, b, c, incDeg, tiltDeg;
    };
    // Elongated ellipsoids lit obliquely: many entry points lie beyond the plane through the
    // centre across k̂, many exit points behind the one across ŝ.
    const Case cases[] = {
        {"long along a, oblique", 60, 20, 15, -35, 20},
        {"flat across c, tilted", 15, 40, 55, 50, -40},
        {"sphere", 30, 30, 30, 10, 10},
    };
    for (const Case& c : cases) {
        Rays3DInputs in;
        in.RadiusA = c.a;
        in.RadiusB = c.b;
        in.RadiusC = c.c;
        in.IndexRe = 1.4;
        in.IncAngle = ToRadians(c.incDeg);
        in.Tilt = ToRadians(c.tiltDeg);
        in.MaxP = 4;
        const Pupil pupil = MakePupil(in);
        const BeamFrame beam = MakeBeamFrame(in.IncAngle, in.Tilt);
        const double k = 2.0 * kPi / in.Wavelength;
        std::mt19937 random(3);
        std::uniform_real_distribution<double> uniform(-0.9, 0.9);
        int compared = 0, entryBeyond = 0, exitBehind = 0;
        for (int n = 0; n < 60; ++n) {
            const double xi = uniform(random), eta = uniform(random);
            if (xi * xi + eta * eta > 0.8)
                continue;
            const double u = pupil.semiAxis1 * xi * pupil.axis1U - pupil.semiAxis2 * eta * pupil.axis1V;
            const double v = pupil.semiAxis1 * xi * pupil.axis1V + pupil.semiAxis2 * eta * pupil.axis1U;
            const double h = 1e-3;  // µm
            const RayPath3D mid = TraceIncidentPoint(in, u, v);
            entryBeyond += Dot(mid.points[0], beam.forward) > 0.0 ? 1 : 0;
            for (const auto& [du, dv] : {std::pair{h, 0.0}, std::pair{0.0, h}}) {
                const RayPath3D before = TraceIncidentPoint(in, u - du, v - dv);
                const RayPath3D after = TraceIncidentPoint(in, u + du, v + dv);
                for (int p = 0; p <= in.MaxP; ++p) {
                    const RayOrder3D& o = mid.orders[static_cast<std::size_t>(p)];
                    const RayOrder3D& b = before.orders[static_cast<std::size_t>(p)];
                    const RayOrder3D& a = after.orders[static_cast<std::size_t>(p)];
                    if (!(o.lit && a.lit && b.lit))
                        continue;
                    exitBehind += Dot(o.point, o.direction) < 0.0 ? 1 : 0;
                    const double turned = k * Dot(a.direction - b.direction, o.point);
                    const std::string where = std::string(c.name) + ", p = " + std::to_string(p);
                    EXPECT_NEAR(a.phase - b.phase, turned, 1e-6 + 1e-6 * std::fabs(turned)) << where;
                    ++compared;
                }
            }
        }
        EXPECT_GT(compared, 100) << c.name;
        if (c.a != c.b) {
            EXPECT_GT(entryBeyond, 0) << c.name;
            EXPECT_GT(exitBehind, 0) << c.name;
        }
    }
}

} // namespace
} // namespace orvane
