// Complex ray propagation: the sphere's closed-form figures, total reflection at the entry and
// at an exit, absorption, polarisation, and the cells a run must leave at zero.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/Angles.h"
#include "engine/CheckFile.h"
#include "numeric/TextFile.h"
#include "tests/engine/TestSupport.h"
#include "tests/engine/TracedRun.h"

namespace orvane {
namespace {

using testing::Trace;

// The 50 µm water sphere with 201 rays: ray 100 is the central one.
void Sphere201(Fields& f)
{
    f.LblEdtNumRays = "201";
    f.EdtMaxp = "3";
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
    const TRayTables& T = run->T();
    const double k = run->P().WaveNumber;
    ASSERT_NEAR(run->state.RayPos[100], 0.0, 1e-12);

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
    const TRayTables& T = run->T();
    const double k = run->P().WaveNumber;
    const double scale = k * k * 50 * 50 / 4;
    for (int i = 0; i < 201; ++i) {
        // Exact but for the incident wave's finite radius of 1e14 µm, which shows (1e-6) only
        // at grazing incidence.
        const double r = PerpendicularReflection(1.333, std::fabs(run->state.RayPos[i]) / 50);
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
    const auto run = Trace([](Fields& f) {
        f.Edtmr = "0.75";
        f.LblEdtNumRays = "201";
        f.EdtMaxp = "3";
    });
    const TRayTables& T = run->T();
    const double k = run->P().WaveNumber;
    int total = 0;
    for (int i = 0; i < 201; ++i) {
        // sin i = |d|/R against the index 0.75; the rays within rounding of 37.5 µm are left aside.
        const double d = std::fabs(run->state.RayPos[i]);
        if (d < 37.5 - 1e-6) {
            EXPECT_GT(T.RayIntensity[1][i], 0.0) << "ray " << i;
            continue;
        }
        if (d < 37.5)
            continue;
        ++total;
        EXPECT_NEAR(T.RayIntensity[0][i], k * k * 50 * 50 / 4, 1e-5 * k * k * 50 * 50) << "ray " << i;
        for (int p = 1; p <= kMaxOrder; ++p)
            for (const TRayTable* table :
                 {&T.RayAngle, &T.RayIntensity, &T.RayPhase, &T.RayX, &T.RayZ, &T.RayKx, &T.RayKz})
                ASSERT_EQ((*table)[p][i], 0.0) << "ray " << i << " order " << p;
    }
    EXPECT_GT(total, 40);
}

TEST(TraceRays, CellsTheRunDoesNotReachStayZero)
{
    const auto run = Trace([](Fields& f) {
        f.EdtMaxp = "0";
        f.LblEdtNumRays = "150";
    });
    const TRayTables& T = run->T();
    for (const TRayTable* table : {&T.RayAngle, &T.RayIntensity, &T.RayPhase, &T.RayX, &T.RayZ, &T.RayKx, &T.RayKz})
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

TEST(TraceRays, AnyNonZeroPolarisationIsPerpendicular)
{
    auto withPolar = [](const char* polar) {
        return Trace([polar](Fields& f) {
            f.CbxPol = polar;
            f.EdtIncAng = "20";
            f.EdtRadius_c = "30";
        });
    };
    const auto one = withPolar("1");
    const auto two = withPolar("2");
    const auto parallel = withPolar("0");
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
    const auto absorbing = Trace([](Fields& f) {
        Sphere201(f);
        f.Edtmi = "0.0005";
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

// A spheroid seen at 20° in parallel polarisation: some orders are totally reflected at
// their exit point.
void ObliqueSpheroid(Fields& f)
{
    f.EdtRadius_a = "40";
    f.EdtRadius_b = "30";
    f.EdtRadius_c = "25";
    f.Edtmr = "1.45";
    f.EdtIncAng = "20";
    f.CbxPol = "0";
    f.EdtMaxp = "5";
    f.LblEdtNumRays = "120";
    f.ChBxCheck = true;
}

std::vector<std::string> FileLines(const std::filesystem::path& file)
{
    const testing::CrLfLines lines = testing::SplitCrLf(testing::ReadBytes(file));
    EXPECT_TRUE(lines.ok);
    return lines.lines;
}

TEST(TraceRays, TotalReflectionAtAnExitRecordsOnlyTheExitPointAndGoesOn)
{
    testing::TempFolder dir;
    StagedFiles files;
    CheckFile check(files, dir / "Orvane_raw.dat");
    const auto run = Trace(ObliqueSpheroid, &check);
    check.close();
    files.commit();
    const TRayTables& T = run->T();
    const std::vector<std::string> lines = FileLines(dir / "Orvane_raw.dat");

    int found = 0;
    for (int i = 0; i < 120; ++i)
        for (int p = 1; p < 5; ++p) {
            if (T.RayIntensity[p][i] != 0 || T.RayX[p][i] == 0)
                continue;
            ++found;
            EXPECT_EQ(T.RayAngle[p][i], 0.0);
            EXPECT_EQ(T.RayPhase[p][i], 0.0);
            EXPECT_EQ(T.RayKx[p][i], 0.0);
            EXPECT_EQ(T.RayKz[p][i], 0.0);
            EXPECT_NE(T.RayX[p + 1][i], 0.0) << "order " << p + 1 << " of ray " << i << " is still traced";
        }
    ASSERT_GT(found, 0);

    // In the check file, such an order's record has 8 lines: no emergent wave, r = 1 + 0i.
    int shortRecords = 0;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        if (lines[n].rfind(" Order p : ", 0) != 0)
            continue;
        std::size_t end = n + 1;
        while (end < lines.size() && lines[end].rfind(" Order p : ", 0) != 0 && lines[end] != " ")
            ++end;
        ASSERT_TRUE(end - n == 8 || end - n == 9) << "record at line " << n + 1;
        if (end - n == 8) {
            ++shortRecords;
            EXPECT_EQ(lines[n + 6], " Reflection coefficient :   1.000000000E+000 +   0.000000000E+000i");
        }
    }
    EXPECT_EQ(shortRecords, found + [&] {
        int order5 = 0;  // the last traced order has its record too
        for (int i = 0; i < 120; ++i)
            order5 += T.RayIntensity[5][i] == 0 && T.RayX[5][i] != 0;
        return order5;
    }());
}

TEST(TraceRays, CheckFileRecordsABubbleRayByRay)
{
    // Three rays of a bubble: the outer two are totally reflected at the entry, the central
    // one enters and leaves in orders 1 and 2.
    testing::TempFolder dir;
    StagedFiles files;
    CheckFile check(files, dir / "Orvane_raw.dat");
    Trace(
        [](Fields& f) {
            f.Edtmr = "0.75";
            f.LblEdtNumRays = "3";
            f.EdtMaxp = "2";
            f.ChBxCheck = true;
        },
        &check);
    check.close();
    files.commit();
    const std::vector<std::string> lines = FileLines(dir / "Orvane_raw.dat");
    ASSERT_EQ(lines.size(), 10u + 1 + (12 + 2 * 9) + 1 + 10);
    EXPECT_EQ(testing::ReadBytes(dir / "Orvane_raw.dat").substr(0, 14), "Ray n\xB0:   0 \r\n");
    EXPECT_EQ(lines[7], " Curvature radii incident wave  :   1.000000000E+014   1.000000000E+014");
    EXPECT_EQ(lines[9], " Reflection coefficient :   1.000000000E+000 +   0.000000000E+000i");
    EXPECT_EQ(lines[10], " ");
    EXPECT_EQ(lines[11], "Ray n\xB0:   1 ");
    EXPECT_EQ(lines[12], " Incident point (x,z):        0.000      -50.000");
    EXPECT_EQ(lines[13], " Incident angle [deg]:      0.00000");
    EXPECT_EQ(lines[15], "Order p :   0 ");
    EXPECT_EQ(lines[16], " Reflexion angle/z axis [deg.]:  180.0000000000");
    EXPECT_EQ(lines[23], " Order p :   1 ");
    EXPECT_EQ(lines[24], " Incident point (x,z):        0.000       50.000");
    EXPECT_EQ(lines[32], " Order p :   2 ");
    EXPECT_EQ(lines[42], "Ray n\xB0:   2 ");
}

TEST(TraceRays, HeadOnIncidenceInTheCheckFileNeverLeavesTheArcCosineDomain)
{
    // A water sphere at 10° with 201 rays has a ray met head-on, where |kn/k| can come out
    // one unit in the last place above 1.
    testing::TempFolder dir;
    StagedFiles files;
    CheckFile check(files, dir / "Orvane_raw.dat");
    EXPECT_NO_THROW(Trace(
        [](Fields& f) {
            f.EdtIncAng = "10";
            f.LblEdtNumRays = "201";
            f.ChBxCheck = true;
        },
        &check));
}

} // namespace
} // namespace orvane
