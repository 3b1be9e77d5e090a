// The check file: every interaction of every ray, line by line, as the rays are traced.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "numeric/Angles.h"
#include "base/TextFile.h"
#include "output/CheckFile.h"
#include "tests/support/ReferenceFiles.h"
#include "tests/engine/TracedRun.h"

namespace orvane {
namespace {

using testing::ClearObliqueSpheroid;
using testing::Trace;

std::vector<std::string> FileLines(const std::filesystem::path& file)
{
    const testing::CrLfLines lines = testing::SplitCrLf(testing::ReadBytes(file));
    EXPECT_TRUE(lines.ok);
    return lines.lines;
}

// The coefficient of a line " Reflection coefficient : %18.10e + %18.10ei".
std::complex<double> Coefficient(const std::string& line)
{
    const std::string head = " Reflection coefficient : ";
    EXPECT_EQ(line.substr(0, head.size()), head);
    EXPECT_EQ(line.size(), head.size() + 18 + 3 + 18 + 1) << line;
    EXPECT_EQ(line.substr(head.size() + 18, 3), " + ");
    return {std::strtod(line.substr(head.size(), 18).c_str(), nullptr),
            std::strtod(line.substr(head.size() + 21, 18).c_str(), nullptr)};
}

TEST(CheckFile, TotalReflectionAtAnExitRecordsOnlyTheExitPointAndGoesOn)
{
    testing::TempFolder dir;
    TextWriter out(dir / "Orvane_raw.dat");
    CheckFileWriter check(out, '.');
    const auto run = Trace(ClearObliqueSpheroid, &check);
    out.close();
    const RayTables& T = run->T();
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

    // In the check file, such an order's record has 8 lines: no emergent wave, and the
    // coefficient of the total reflection, |r| = 1 with its phase.
    int shortRecords = 0;
    double largestPhase = 0;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        if (lines[n].rfind(" Order p : ", 0) != 0)
            continue;
        std::size_t end = n + 1;
        while (end < lines.size() && lines[end].rfind(" Order p : ", 0) != 0 && lines[end] != " ")
            ++end;
        ASSERT_TRUE(end - n == 8 || end - n == 9) << "record at line " << n + 1;
        if (end - n == 8) {
            ++shortRecords;
            const std::complex<double> r = Coefficient(lines[n + 6]);
            EXPECT_NEAR(std::abs(r), 1.0, 2e-10) << "line " << n + 7;
            largestPhase = std::max(largestPhase, std::fabs(std::arg(r)));
        }
    }
    EXPECT_EQ(shortRecords, found + [&] {
        int order5 = 0;  // the last traced order has its record too
        for (int i = 0; i < 120; ++i)
            order5 += T.RayIntensity[5][i] == 0 && T.RayX[5][i] != 0;
        return order5;
    }());
    EXPECT_GT(largestPhase, 1.0);
}

TEST(CheckFile, CheckFileRecordsABubbleRayByRay)
{
    // Three rays of a bubble: the outer two are totally reflected at the entry (at grazing
    // incidence, r close to −1 with the phase just short of π), the central one enters and
    // leaves in orders 1 and 2.
    testing::TempFolder dir;
    TextWriter out(dir / "Orvane_raw.dat");
    CheckFileWriter check(out, '.');
    Trace(
        [](DiagramInputs& f) {
            f.particle.IndexRe = 0.75;
            f.NumIncRays = 3;
            f.MaxP = 2;
        },
        &check);
    out.close();
    const std::vector<std::string> lines = FileLines(dir / "Orvane_raw.dat");
    ASSERT_EQ(lines.size(), 10u + 1 + (12 + 2 * 9) + 1 + 10);
    EXPECT_EQ(testing::ReadBytes(dir / "Orvane_raw.dat").substr(0, 14), "Ray n\xB0:   0 \r\n");
    EXPECT_EQ(lines[7], " Curvature radii incident wave  :   1.000000000E+014   1.000000000E+014");
    const std::complex<double> grazing = Coefficient(lines[9]);
    EXPECT_EQ(grazing.real(), -1.0);
    EXPECT_GT(grazing.imag(), 0.0);
    EXPECT_LT(grazing.imag(), 1e-6);
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

TEST(CheckFile, HeadOnIncidenceInTheCheckFileNeverLeavesTheArcCosineDomain)
{
    // A water sphere at 10° with 201 rays has a ray met head-on, where |kn/k| can come out
    // one unit in the last place above 1.
    testing::TempFolder dir;
    TextWriter out(dir / "Orvane_raw.dat");
    CheckFileWriter check(out, '.');
    EXPECT_NO_THROW(Trace(
        [](DiagramInputs& f) {
            f.particle.IncAngle = ToRadians(10);
            f.NumIncRays = 201;
        },
        &check));
}

} // namespace
} // namespace orvane
