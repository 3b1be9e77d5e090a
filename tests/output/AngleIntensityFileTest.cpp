// The one writer of every file of angles and intensities (the orders, the diffraction, the exact
// theory): its header, its lines, and the data it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "mie/Mie.h"
#include "base/Errors.h"
#include "base/TextFile.h"
#include "output/DataFiles.h"

namespace orvane {
namespace {

using Complex = std::complex<double>;
namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class AngleIntensityFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / (std::string("orvane_angles_") + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    static std::string ReadBytes(const fs::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    static void Write(const fs::path& file, const std::vector<double>& theta, const std::vector<double>& intensity)
    {
        TextWriter out(file);
        WriteAngleIntensityFile(out, theta, intensity, '.');
    }

    fs::path dir_;
};

TEST_F(AngleIntensityFile, WritesHeaderAndOneFormattedLinePerAngle)
{
    const std::vector<double> theta = MieThetaGrid(5);
    const std::vector<double> intensity = {0.0, 1234.5, 1e-10, 2.5e7, 1.0};
    const fs::path file = dir_ / "Orvane_Mie.dat";
    std::ofstream(file) << "an earlier file, longer than the new one........................................"
                           "..............................................................................";
    Write(file, theta, intensity);
    EXPECT_EQ(ReadBytes(file),
              "# theta[deg.] Intensity\r\n"
              " -180.000000 0.00000E+000\r\n"
              "  -90.000000 1.23450E+003\r\n"
              "    0.000000 1.00000E-010\r\n"
              "   90.000000 2.50000E+007\r\n"
              "  180.000000 1.00000E+000\r\n");
}

TEST_F(AngleIntensityFile, DefaultDropFileHoldsTheGridIntensities)
{
    const MieSphere drop(50.0, 0.6328, Complex(1.333, 0.0));
    const std::vector<double> theta = MieThetaGrid(1001);
    const std::vector<double> intensity = MieGridIntensity(drop, theta, 0.0, 1);
    const fs::path file = dir_ / "Orvane_Mie.dat";
    Write(file, theta, intensity);

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

TEST_F(AngleIntensityFile, RefusesToWriteFaultyData)
{
    const std::vector<double> theta = MieThetaGrid(3);
    const fs::path file = dir_ / "Orvane_Mie.dat";

    // A value that is not a number, or infinite, never reaches the file: nothing is written.
    for (const double fault : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        const std::vector<double> bad = {1.0, fault, 1.0};
        EXPECT_THROW(Write(file, theta, bad), MathError);
        EXPECT_EQ(ReadBytes(file), "# theta[deg.] Intensity\r\n");
    }

    // Angles and intensities of different lengths.
    EXPECT_THROW(Write(file, theta, std::vector<double>{1.0, 2.0}), InputError);

    // A folder where the file should be: the file cannot be created.
    const std::vector<double> good = {1.0, 2.0, 3.0};
    fs::create_directory(dir_ / "folder");
    EXPECT_THROW(Write(dir_ / "folder", theta, good), FileError);
}

} // namespace
} // namespace orvane
