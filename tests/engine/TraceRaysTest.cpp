// Complex ray propagation: the sphere's closed-form figures, total reflection at the entry and
// at an exit, absorption, polarisation, and the cells a run must leave at zero.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "numeric/Angles.h"
#include "tests/engine/TracedRun.h"

namespace orvane {
namespace {

using testing::Trace;

// The 50 µm water sphere with 201 rays: ray 100 is the central one.
void Sphere201(DiagramInputs& f)
{
    f.NumIncRays = 201;
    f.MaxP = 3;
}

double PerpendicularReflection(double m, double sinI)
{
    const double cosI = std::sqrt(1 - sinI * sinI);
    const double cosT = std::sqrt(m * m - sinI * sinI);
    return (cosI - cosT) / (cosI + cosT);
}

TEST(TraceRays, CentralRayOfASphereHasTheClosedFormValues)
{
    const auto run = Trace(Sphere201);
    const RayTables& T = run->T();
    const double k = run->P().WaveNumber;
    ASSERT_NEAR(run->heights()[100], 0.0, 1e-12);

    EXPECT_NEAR(T.RayX[0][100], 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(T.RayZ[0][100], -50.0);
    // Straight back: +π exactly, not −π (the zeros of the tangential part keep their signs).
    EXPECT_EQ(T.RayAngle[0][100], kPi);
    const double r = (1 - 1.333) / (1 + 1.333);
    EXPECT_NEAR(T.RayIntensity[0][100], r * r * k * k * 50 * 50 / 4, 1e-9 * 1255.35);
    EXPECT_NEAR(T.RayIntensity[0][100], 1255.35, 0.005);
    EXPECT_NEAR(T.RayPhase[0][100], 2 * k * 50 + kPi, 1e-9);
    EXPECT_NEAR(T.RayPhase[0][100], 996.06, 0.005);

    EXPECT_NEAR(T.RayX[1][100], 0.0, 1e-12);
    EXPECT_DOUBLE_EQ(T.RayZ[1][100], 50.0);
    EXPECT_EQ(T.RayAngle[1][100], 0.0);
    EXPECT_DOUBLE_EQ(T.RayKz[1][100], k);
    EXPECT_NEAR(T.RayKx[1][100], 0.0, 1e-12);
}

TEST(TraceRays, SphereReflectionIsFresnelTimesTheGeometricFactorForEveryRay)
{
    const auto run = Trace(Sphere201);
    const RayTables& T = run->T();
    const double k = run->P().WaveNumber;
    const double scale = k * k * 50 * 50 / 4;
    for (int i = 0; i < 201; ++i) {
        // Exact but for the incident wave's finite radius of 1e14 µm, which shows (1e-6) only
        // at grazing incidence.
        const double r = PerpendicularReflection(1.333, std::fabs(run->heights()[i]) / 50);
        EXPECT_NEAR(T.RayIntensity[0][i], r * r * scale, 1e-5 * r * r * scale) << "ray " << i;
    }
    // The outermost rays graze the sphere: reflected almost entirely, almost straight on.
    EXPECT_NEAR(T.RayIntensity[0][0], 61618.0, 1.0);
    EXPECT_NEAR(T.RayAngle[0][0], 0.0, 1e-6);
    EXPECT_NEAR(T.RayAngle[0][200], 0.0, 1e-6);

    double smallest = 360;
    for (int i = 0; i < 201; ++i)
        smallest = std::min(smallest, std::fabs(ToDegrees(T.RayAngle[2][i])));
    EXPECT_NEAR(smallest, 137.92, 0.02);  // the primary rainbow
}

TEST(TraceRays, BubbleReflectsTotallyBeyondTheCriticalHeight)
{
    const auto run = Trace([](DiagramInputs& f) {
        f.particle.IndexRe = 0.75;
        f.NumIncRays = 201;
        f.MaxP = 3;
    });
    const RayTables& T = run->T();
    const double k = run->P().WaveNumber;
    int total = 0;
    for (int i = 0; i < 201; ++i) {
        // sin i = |d|/R against the index 0.75; the rays within rounding of 37.5 µm are left aside.
        const double d = std::fabs(run->heights()[i]);
        if (d < 37.5 - 1e-6) {
            EXPECT_GT(T.RayIntensity[1][i], 0.0) << "ray " << i;
            continue;
        }
        if (d < 37.5)
            continue;
        ++total;
        EXPECT_NEAR(T.RayIntensity[0][i], k * k * 50 * 50 / 4, 1e-5 * k * k * 50 * 50) << "ray " << i;
        for (int p = 1; p <= kMaxOrder; ++p)
            for (const RayTable* table :
                 {&T.RayAngle, &T.RayIntensity, &T.RayPhase, &T.RayX, &T.RayZ, &T.RayKx, &T.RayKz})
                ASSERT_EQ((*table)[p][i], 0.0) << "ray " << i << " order " << p;
    }
    EXPECT_GT(total, 40);
}

TEST(TraceRays, CellsTheRunDoesNotReachStayZero)
{
    const auto run = Trace([](DiagramInputs& f) {
        f.MaxP = 0;
        f.NumIncRays = 150;
    });
    const RayTables& T = run->T();
    for (const RayTable* table : {&T.RayAngle, &T.RayIntensity, &T.RayPhase, &T.RayX, &T.RayZ, &T.RayKx, &T.RayKz})
        for (int p = 0; p <= kMaxOrder; ++p) {
            for (int i = 0; i < kRaySlots; ++i) {
                const bool written = p == 0 && i < 150 && table != &T.RayKx && table != &T.RayKz;
                if (!written) {
                    ASSERT_EQ((*table)[p][i], 0.0) << "order " << p << " ray " << i;
                }
            }
        }
    EXPECT_GT(T.RayIntensity[0][149], 0.0);
}

TEST(TraceRays, RaysSharedBetweenTwoThreadsFillTheTablesOfOneRayAfterTheOther)
{
    // A large run without an observer traces its rays on two threads; with one (here one
    // that keeps nothing) it traces them in order. Every cell must come out the same.
    const auto fields = [](DiagramInputs& f) {
        f.NumIncRays = 1000;
        f.MaxP = 25;
        f.particle.IndexRe = 1.5;
    };
    struct Discarded final : TraceObserver {
        void entered(const EntryEvent&) override {}
        void interacted(const InteractionEvent&) override {}
    } discarded;
    const auto shared = Trace(fields);
    const auto inOrder = Trace(fields, &discarded);
    EXPECT_EQ(0, std::memcmp(&shared->T(), &inOrder->T(), sizeof(RayTables)));
    EXPECT_GT(shared->T().RayIntensity[25][500], 0.0);
}

TEST(TraceRays, AnyNonZeroPolarisationIsPerpendicular)
{
    auto withPolar = [](int polar) {
        return Trace([polar](DiagramInputs& f) {
            f.particle.Polar = polar;
            f.particle.IncAngle = ToRadians(20);
            f.particle.RadiusC = 30;
        });
    };
    const auto one = withPolar(1);
    const auto two = withPolar(2);
    const auto parallel = withPolar(0);
    for (int p = 0; p <= 4; ++p)
        for (int i = 0; i < 200; ++i)
            ASSERT_EQ(one->T().RayIntensity[p][i], two->T().RayIntensity[p][i]) << p << " " << i;
    // Parallel polarisation differs wherever the incidence is oblique.
    EXPECT_NE(one->T().RayIntensity[0][50], parallel->T().RayIntensity[0][50]);
}

TEST(TraceRays, AbsorptionFollowsBeerLambertAlongTheChord)
{
    // Central ray of the sphere at normal incidence: one chord of 2R inside. Against the
    // clear sphere, order 1 loses exp(−2·k·m_i·2R) of its intensity, and the entry and exit
    // transmissions change with the complex index, (1 − |r|²)² with r = (1 − m)/(1 + m).
    const auto clear = Trace(Sphere201);
    const auto absorbing = Trace([](DiagramInputs& f) {
        Sphere201(f);
        f.particle.IndexIm = 0.0005;
    });
    const double k = clear->P().WaveNumber;
    const double mr = 1.333, mi = 0.0005;
    const double r0 = (1 - mr) / (1 + mr);
    const double rm2 = ((1 - mr) * (1 - mr) + mi * mi) / ((1 + mr) * (1 + mr) + mi * mi);
    const double transmission = ((1 - rm2) / (1 - r0 * r0)) * ((1 - rm2) / (1 - r0 * r0));
    const double expected = std::exp(-2 * k * mi * 2 * 50) * transmission;
    EXPECT_NEAR(absorbing->T().RayIntensity[1][100] / clear->T().RayIntensity[1][100], expected, 1e-9 * expected);
    // Order 2 crosses twice and is reflected once inside, with the complex |r| there.
    const double expected2 = std::exp(-2 * k * mi * 4 * 50) * transmission * (rm2 / (r0 * r0));
    EXPECT_NEAR(absorbing->T().RayIntensity[2][100] / clear->T().RayIntensity[2][100], expected2, 1e-9 * expected2);
}

} // namespace
} // namespace orvane
