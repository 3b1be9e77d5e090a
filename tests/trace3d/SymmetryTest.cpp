// Symmetries. An ellipsoid's mirror planes and a spheroid's axis of revolution map a lit
// particle onto itself: the mirrored or turned incident wave must give the mirrored or turned
// rays, each with the same intensity and phase.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "numeric/Angles.h"
#include "trace3d/Rays3D.h"

namespace orvane {
namespace {

Rays3DInputs Ellipsoid(double a, double b, double c, double incDeg, double tiltDeg, JonesVector jones)
{
    Rays3DInputs in;
    in.RadiusA = a;
    in.RadiusB = b;
    in.RadiusC = c;
    in.IndexRe = 1.45;
    in.IndexIm = 0.001;
    in.IncAngle = ToRadians(incDeg);
    in.Tilt = ToRadians(tiltDeg);
    in.Jones = jones;
    in.MaxP = 8;
    return in;
}

// How the second ray set follows from the first: its incident point, and the signs of its
// beam-frame direction components and amplitudes (or the quarter turn about k̂).
struct Image {
    double u = 1, v = 1;        // signs of (u, v) ... or, with quarterTurn, (u', v') = (−v, u)
    double dirPar = 1, dirPerp = 1;
    double ampTheta = 1, ampPhi = 1;
    bool quarterTurn = false;
};

void ExpectImage(const Rays3DInputs& first, const Rays3DInputs& second, const Image& image, const char* name)
{
    const Pupil pupil = MakePupil(first);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> uniform(-0.95, 0.95);
    int compared = 0;
    for (int n = 0; n < 30; ++n) {
        const double u = pupil.semiAxis1 * uniform(random) * 0.7;
        const double v = pupil.semiAxis2 * uniform(random) * 0.7;
        const RayPath3D one = TraceIncidentPoint(first, u, v);
        const RayPath3D two = image.quarterTurn ? TraceIncidentPoint(second, -v, u)
                                                : TraceIncidentPoint(second, image.u * u, image.v * v);
        ASSERT_EQ(one.hits, two.hits) << name;
        for (std::size_t p = 0; p < one.orders.size(); ++p) {
            const RayOrder3D& a = one.orders[p];
            const RayOrder3D& b = two.orders[p];
            const std::string where = std::string(name) + ", p = " + std::to_string(p);
            ASSERT_EQ(a.lit, b.lit) << where;
            if (!a.lit)
                continue;
            const double scale = std::sqrt(std::norm(a.ampTheta[0]) + std::norm(a.ampPhi[0]));
            if (image.quarterTurn) {
                EXPECT_NEAR(b.dirParallel, -a.dirPerpendicular, 1e-12) << where;
                EXPECT_NEAR(b.dirPerpendicular, a.dirParallel, 1e-12) << where;
            } else {
                EXPECT_NEAR(b.dirParallel, image.dirPar * a.dirParallel, 1e-12) << where;
                EXPECT_NEAR(b.dirPerpendicular, image.dirPerp * a.dirPerpendicular, 1e-12) << where;
            }
            EXPECT_NEAR(b.dirForward, a.dirForward, 1e-12) << where;
            EXPECT_LT(std::abs(b.ampTheta[0] - image.ampTheta * a.ampTheta[0]), 1e-9 * scale) << where;
            EXPECT_LT(std::abs(b.ampPhi[0] - image.ampPhi * a.ampPhi[0]), 1e-9 * scale) << where;
            EXPECT_NEAR(b.phase, a.phase, 1e-9 * std::fabs(a.phase) + 1e-9) << where;
            EXPECT_NEAR(b.jacobian, a.jacobian, 1e-9 * std::fabs(a.jacobian)) << where;
            ++compared;
        }
    }
    EXPECT_GT(compared, 100) << name;
}

TEST(Symmetry, MirrorPlanesOfTheEllipsoidMirrorTheRays)
{
    const JonesVector jones{Complex{0.8, 0.1}, Complex{0.3, -0.5}};
    const JonesVector yMirrored{jones.parallel, -jones.perpendicular};
    const JonesVector xMirrored{-jones.parallel, jones.perpendicular};
    // y → −y: tilt ↔ −tilt; e_⊥ turns over, so v, the part across the a–c plane of the
    // direction, the incident E_⊥ and A_φ change sign.
    ExpectImage(Ellipsoid(40, 30, 25, 20, 35, jones), Ellipsoid(40, 30, 25, 20, -35, yMirrored),
                {1, -1, 1, -1, 1, -1}, "tilt mirrored");
    // x → −x: incidence ↔ −incidence; e_∥ turns over, so u, the part along e_∥ of the
    // direction, the incident E_∥ and A_φ change sign.
    ExpectImage(Ellipsoid(40, 30, 25, 20, 35, jones), Ellipsoid(40, 30, 25, -20, 35, xMirrored),
                {-1, 1, -1, 1, 1, -1}, "incidence mirrored");
    ExpectImage(Ellipsoid(35, 50, 45, -40, 10, jones), Ellipsoid(35, 50, 45, 40, 10, xMirrored),
                {-1, 1, -1, 1, 1, -1}, "incidence mirrored, oblate section");
}

TEST(Symmetry, TurningASpheroidAndItsLightTogetherChangesNoRay)
{
    const JonesVector jones{Complex{0.6, 0.0}, Complex{0.2, 0.7}};
    // Axis of revolution along y: a turn about it adds to the incident angle and turns the
    // beam frame with the particle; every ray is the same on it.
    ExpectImage(Ellipsoid(40, 55, 40, 0, 30, jones), Ellipsoid(40, 55, 40, 50, 30, jones), {}, "turned about b");
    ExpectImage(Ellipsoid(40, 25, 40, -10, -60, jones), Ellipsoid(40, 25, 40, 35, -60, jones), {},
                "oblate, turned about b");
    // Axis along z: a quarter turn about it takes the light at 30° in the a–c plane to light
    // tilted by 30° towards b. The beam frame turns by a quarter about k̂: e_∥ becomes e_⊥ and
    // e_⊥ becomes −e_∥, so the incident point (u, v) goes to (−v, u), the incident state
    // (E_∥, E_⊥) to (−E_⊥, E_∥) and every azimuth by 90°, while A_θ and A_φ stay.
    const JonesVector turned{-jones.perpendicular, jones.parallel};
    Image quarter;
    quarter.quarterTurn = true;
    ExpectImage(Ellipsoid(40, 40, 55, 30, 0, jones), Ellipsoid(40, 40, 55, 0, 30, turned), quarter,
                "quarter turn about c");
}

} // namespace
} // namespace orvane
