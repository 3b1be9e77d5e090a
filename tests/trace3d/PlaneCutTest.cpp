// The plane of the ellipse is the 3-D model's cut: with no tilt, a ray that starts in the
// a–c plane stays in it, and order by order it has the direction, intensity and phase of the
// plane engine's ray from the same height, in either polarisation and under either Fresnel
// rule.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "base/RunControl.h"
#include "engine/Diagram.h"
#include "numeric/Angles.h"
#include "tests/trace3d/Rays3DSupport.h"
#include "trace3d/Rays3D.h"

namespace orvane {
namespace {

// The difference of two phases, brought into (−π, π].
double PhaseGap(double a, double b)
{
    const double d = std::remainder(a - b, kTwoPi);
    return d <= -kPi ? d + kTwoPi : d;
}

struct PlaneCase {
    const char* name;
    std::function<void(DiagramInputs&)> setup;
    bool entryRule = false;
    // Relative tolerance of the intensity and the direction, absolute one of the phase [rad].
    double tolerance = 1e-9;
    double phaseTolerance = 1e-7;
};

void Sphere(DiagramInputs& in)
{
    in.particle.RadiusA = in.particle.RadiusB = in.particle.RadiusC = 50;
}

TEST(PlaneCut, EveryOrderOfEveryRayIsThePlaneEnginesRay)
{
    const std::vector<PlaneCase> cases = {
        {"water sphere, perpendicular", [](DiagramInputs& in) { Sphere(in); }},
        {"water sphere, parallel, 20 degrees",
         [](DiagramInputs& in) {
             Sphere(in);
             in.particle.Polar = 0;
             in.particle.IncAngle = ToRadians(20);
         }},
        {"prolate spheroid across the beam, 20 degrees, perpendicular",
         [](DiagramInputs& in) {
             in.particle.RadiusA = 55;
             in.particle.RadiusB = in.particle.RadiusC = 45;
             in.particle.IncAngle = ToRadians(20);
         }},
        {"ellipsoid, index 1.45, -35 degrees, parallel",
         [](DiagramInputs& in) {
             in.particle.RadiusA = 40;
             in.particle.RadiusB = 30;
             in.particle.RadiusC = 25;
             in.particle.IndexRe = 1.45;
             in.particle.IncAngle = ToRadians(-35);
             in.particle.Polar = 0;
         }},
        {"oblate section, glass, 10 degrees, perpendicular",
         [](DiagramInputs& in) {
             in.particle.RadiusA = 30;
             in.particle.RadiusB = 50;
             in.particle.RadiusC = 45;
             in.particle.IndexRe = 1.5;
             in.particle.IncAngle = ToRadians(10);
         }},
        {"weakly absorbing ellipsoid, parallel",
         [](DiagramInputs& in) {
             in.particle.RadiusA = 45;
             in.particle.RadiusB = 50;
             in.particle.RadiusC = 40;
             in.particle.IndexIm = 1e-5;
             in.particle.Polar = 0;
         },
         // The plane engine refracts an absorbing particle's inner wave along Re √(M² − kt²),
         // these rays as a homogeneous wave of wave number k·m_r: directions (m_i/m_r)² apart,
         // which the Fresnel coefficients magnify near the critical angle.
         false, 1e-7, 1e-6},
        {"air bubble in water, perpendicular",
         [](DiagramInputs& in) {
             Sphere(in);
             in.particle.IndexRe = 0.75;
         }},
        {"circular section, b apart, entry rule, parallel",
         [](DiagramInputs& in) {
             in.particle.RadiusA = in.particle.RadiusC = 40;
             in.particle.RadiusB = 60;
             in.particle.IncAngle = ToRadians(15);
             in.particle.Polar = 0;
         },
         true},
        {"sphere, absorbing, entry rule, perpendicular",
         [](DiagramInputs& in) {
             Sphere(in);
             in.particle.IndexIm = 1e-5;
         },
         true, 1e-7, 1e-6},
    };
    for (const PlaneCase& c : cases) {
        DiagramInputs in;
        in.MaxP = 6;
        in.NumIncRays = 40;
        c.setup(in);
        in.EntryFresnel = c.entryRule;
        RecordingControl control;
        const TracedRays plane = TraceDiagramRays(in, control);
        const RayTables& T = *plane.tables;

        Rays3DInputs in3 = testing::From(in.particle, in.MaxP);
        in3.Fresnel = c.entryRule ? Rays3DFresnel::Entry : Rays3DFresnel::Local;
        const double cosInc = std::cos(in.particle.IncAngle);
        const BeamFrame beam = MakeBeamFrame(in3.IncAngle, in3.Tilt);
        int compared = 0;
        int projectedAcross = 0;
        // The outermost rays graze the ellipse to 1e-14: their cosines carry no digits to compare.
        for (int i = 1; i + 1 < plane.count(); ++i) {
            const RayPath3D ray = TraceIncidentPoint(in3, plane.positions.heights[i] * cosInc, 0.0);
            ASSERT_TRUE(ray.hits) << c.name << ", ray " << i;
            const double entryProjection = Dot(ray.points[0], beam.forward);
            for (int p = 0; p <= in.MaxP; ++p) {
                const RayOrder3D& o = ray.orders[static_cast<std::size_t>(p)];
                const std::string where = std::string(c.name) + ", ray " + std::to_string(i) + ", p = " + std::to_string(p);
                const double intensity = T.RayIntensity[p][i];
                ASSERT_EQ(o.lit, intensity > 0.0) << where;
                if (!o.lit)
                    continue;
                // In the plane: no part across it, and the plane engine's direction angle.
                EXPECT_NEAR(o.direction.y, 0.0, 1e-12) << where;
                EXPECT_NEAR(PhaseGap(std::atan2(o.direction.x, o.direction.z), T.RayAngle[p][i]), 0.0, c.tolerance)
                    << where;
                // A ray just inside the critical angle transmits only rounding, 1 − |r|² of
                // about 1e-16: the floor of the comparison.
                const double near = c.tolerance * intensity + 1e-12 * plane.norm.IntensityNorm;
                const double I = std::norm(o.ampTheta[0]) + std::norm(o.ampPhi[0]);
                EXPECT_NEAR(I, intensity, near) << where;
                // The plane engine's amplitude is the field along ŷ (perpendicular) or along
                // ŷ × ŝ (parallel): e_φ and e_θ on the side φ = 0, their opposites at φ = π.
                const double side = o.dirParallel >= 0.0 ? 1.0 : -1.0;
                const Complex a = side * (in.particle.Polar == 0 ? o.ampTheta[0] : o.ampPhi[0]);
                EXPECT_NEAR(std::norm(a), intensity, near) << where;
                // The plane engine measures the phase reference as the length |r·k̂| of the
                // projection, right where the entry point lies before the plane through the
                // centre across k̂ and the exit point beyond the one across ŝ (always on a
                // circle); elsewhere (edge rays of an oblique ellipse) its sign is lost there.
                const bool referenceAgrees = entryProjection <= 0.0 && Dot(o.point, o.direction) >= 0.0;
                if (referenceAgrees && intensity > 1e-9 * plane.norm.IntensityNorm) {
                    EXPECT_NEAR(PhaseGap(o.phase + std::arg(a), T.RayPhase[p][i]), 0.0, c.phaseTolerance) << where;
                }
                ++(referenceAgrees ? compared : projectedAcross);
            }
        }
        EXPECT_GT(compared, 100) << c.name;
        EXPECT_LT(projectedAcross, compared / 10) << c.name;
    }
}

// The axial ray of a sphere meets every interface at normal incidence, where the plane of
// incidence is undefined, and leaves straight back (order 0) and straight on (order 1), where
// the azimuth is: φ = 0 by convention, and the plane engine's ray all the same.
TEST(PlaneCut, TheAxialRayOfASphereIsThePlaneEnginesRay)
{
    DiagramInputs in;
    Sphere(in);
    in.MaxP = 4;
    in.NumIncRays = 201;  // ray 100 at height 0
    RecordingControl control;
    const TracedRays plane = TraceDiagramRays(in, control);
    const RayTables& T = *plane.tables;
    ASSERT_EQ(plane.positions.heights[100], 0.0);
    const RayPath3D ray = TraceIncidentPoint(testing::From(in.particle, in.MaxP), 0.0, 0.0);
    const double r = (1.0 - 1.333) / (1.0 + 1.333);
    const double kR = 2.0 * kPi / 0.6328 * 50.0;
    EXPECT_NEAR(T.RayIntensity[0][100], r * r * kR * kR / 4.0, 1e-9 * T.RayIntensity[0][100]);
    for (int p = 0; p <= in.MaxP; ++p) {
        const RayOrder3D& o = ray.orders[static_cast<std::size_t>(p)];
        ASSERT_TRUE(o.lit) << p;
        EXPECT_EQ(o.dirParallel, 0.0) << p;
        EXPECT_EQ(o.dirPerpendicular, 0.0) << p;
        EXPECT_EQ(std::fabs(o.dirForward), 1.0) << p;
        EXPECT_EQ(AnglesOf(o.dirParallel, o.dirPerpendicular, o.dirForward).phi, 0.0) << p;
        const double I = std::norm(o.ampTheta[0]) + std::norm(o.ampPhi[0]);
        EXPECT_NEAR(I, T.RayIntensity[p][100], 1e-9 * T.RayIntensity[p][100]) << p;
        // Perpendicular light (along e_⊥ = ŷ) stays along ŷ: e_φ at φ = 0.
        EXPECT_NEAR(std::norm(o.ampPhi[0]), I, 1e-12 * I) << p;
        EXPECT_NEAR(PhaseGap(o.phase + std::arg(o.ampPhi[0]), T.RayPhase[p][100]), 0.0, 1e-7) << p;
    }
}

} // namespace
} // namespace orvane
