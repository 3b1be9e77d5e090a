// The exact intensity on the diagram's angle grid and the file "Orvane_Mie.dat".
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "mie/Mie.h"
#include "numeric/Errors.h"
#include "numeric/FpGuard.h"

namespace orvane {
namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.141592653589793;
namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class MieFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("orvane_mie_") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ClearFpFaults();
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string ReadBytes(const fs::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path dir_;
};

TEST(MieGrid, ThetaGridSpansMinusPiToPi)
{
    const std::vector<double> theta = MieThetaGrid(1001);
    ASSERT_EQ(theta.size(), 1001u);
    EXPECT_EQ(theta.front(), -kPi);
    EXPECT_NEAR(theta.back(), kPi, 1e-15);
    EXPECT_NEAR(theta[500], 0.0, 1e-15);
    EXPECT_NEAR(theta[1] - theta[0], 2.0 * kPi / 1000.0, 1e-15);
    EXPECT_EQ(MieThetaGrid(2), (std::vector<double>{-kPi, kPi}));
    for (int n : {1, 0, -5})
        EXPECT_THROW(MieThetaGrid(n), EInputError) << n;
}

TEST(MieGrid, PolarisationSymmetryAndIncidenceShift)
{
    // The default water drop: radius 50 µm, wavelength 0.6328 µm, x = 496.5.
    const MieSphere drop(50.0, 0.6328, Complex(1.333, 0.0));
    const int n = 721;  // 0.5° steps
    const std::vector<double> theta = MieThetaGrid(n);
    const double step = theta[1] - theta[0];

    const std::vector<double> perpendicular = MieGridIntensity(drop, theta, 0.0, 1);
    const std::vector<double> parallel = MieGridIntensity(drop, theta, 0.0, 0);
    // Any Polar other than 0 is perpendicular: |S1|²; Polar 0 is parallel: |S2|².
    EXPECT_EQ(MieGridIntensity(drop, theta, 0.0, -3), perpendicular);
    // The grid computes four angles at a time (721 = 4·180 + 1: the last one alone); every
    // point must be the single-angle value to the last bit.
    for (int e = 0; e < n; ++e) {
        const MieAmplitude s = drop.S1S2(theta[e]);
        EXPECT_EQ(perpendicular[e], std::norm(s.S1)) << e;
        EXPECT_EQ(parallel[e], std::norm(s.S2)) << e;
    }
    // The two agree forwards only.
    EXPECT_NEAR(parallel[360] / perpendicular[360], 1.0, 1e-12);
    EXPECT_NE(parallel, perpendicular);

    // θ and -θ: grid points mirrored about 0 carry the same intensity (their angles agree
    // to rounding only).
    for (int e = 0; e < n; ++e)
        EXPECT_NEAR(perpendicular[e], perpendicular[n - 1 - e], 1e-9 * perpendicular[e]) << e;

    // Incidence from 10 steps above the axis shifts the pattern by 10 points; the points
    // that fall below -π continue from +π.
    const int k = 10;
    const std::vector<double> shifted = MieGridIntensity(drop, theta, k * step, 1);
    for (int e = 0; e < n; ++e) {
        const int source = e >= k ? e - k : n - 1 - k + e;
        EXPECT_NEAR(shifted[e], perpendicular[source], 1e-9 * perpendicular[source]) << e;
    }
}

TEST_F(MieFileTest, WritesHeaderAndOneFormattedLinePerAngle)
{
    const std::vector<double> theta = MieThetaGrid(5);
    const std::vector<double> intensity = {0.0, 1234.5, 1e-10, 2.5e7, 1.0};
    const fs::path file = dir_ / kMieFileName;
    std::ofstream(file) << "an earlier file, longer than the new one........................................"
                           "..............................................................................";
    StagedFiles files;
    WriteMieFile(files, file, theta, intensity);
    files.commit();
    EXPECT_EQ(ReadBytes(file),
              "# theta[deg.] Intensity\r\n"
              " -180.000000 0.00000E+000\r\n"
              "  -90.000000 1.23450E+003\r\n"
              "    0.000000 1.00000E-010\r\n"
              "   90.000000 2.50000E+007\r\n"
              "  180.000000 1.00000E+000\r\n");
}

TEST_F(MieFileTest, DefaultDropFileHoldsTheGridIntensities)
{
    const MieSphere drop(50.0, 0.6328, Complex(1.333, 0.0));
    const std::vector<double> theta = MieThetaGrid(1001);
    const std::vector<double> intensity = MieGridIntensity(drop, theta, 0.0, 1);
    const fs::path file = dir_ / kMieFileName;
    StagedFiles files;
    WriteMieFile(files, file, theta, intensity);
    files.commit();

    std::ifstream in(file, std::ios::binary);
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line))
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 1002u);
    // Forward peak, grid index 500: x⁴/4 within a few per cent at x = 496.5 (the
    // extinction is 2.03, not 2), written with 6 digits.
    const std::string& forward = lines[1 + 500];
    EXPECT_EQ(forward.substr(0, 12), "    0.000000");
    const double written = std::stod(forward.substr(13));
    EXPECT_NEAR(written, intensity[500], 1e-5 * intensity[500]);
    EXPECT_NEAR(written / std::pow(drop.SizeParameter(), 4), 0.25, 0.02);
}

TEST_F(MieFileTest, RefusesToWriteFaultyData)
{
    const std::vector<double> theta = MieThetaGrid(3);
    const fs::path file = dir_ / kMieFileName;
    StagedFiles files;

    // A value that is not a number never reaches the file; nothing is created.
    const std::vector<double> bad = {1.0, std::numeric_limits<double>::quiet_NaN(), 1.0};
    EXPECT_THROW(WriteMieFile(files, file, theta, bad), EMathError);
    EXPECT_FALSE(fs::exists(file));

    // A floating-point fault raised earlier in the run ends it here as well.
    const std::vector<double> good = {1.0, 2.0, 3.0};
    std::feraiseexcept(FE_OVERFLOW);
    EXPECT_THROW(WriteMieFile(files, file, theta, good), EMathError);
    EXPECT_FALSE(fs::exists(file));

    // Angles and intensities of different lengths.
    EXPECT_THROW(WriteMieFile(files, file, theta, std::vector<double>{1.0, 2.0}), EInputError);

    // A folder where the file should be: the file cannot be created.
    fs::create_directory(file);
    EXPECT_THROW(WriteMieFile(files, file, theta, good), EInOutError);
}

} // namespace
} // namespace orvane
