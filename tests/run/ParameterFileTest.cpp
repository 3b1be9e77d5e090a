// Reading "Orvane.par" and showing its values in the fields.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/Format.h"
#include "run/Fields.h"
#include "run/ParameterFile.h"
#include "tests/support/TestFiles.h"

namespace orvane {
namespace {

using testing::TempFolder;
using namespace std::string_literals;

// Every value the file can carry, for comparing a whole read at once.
struct FileValues {
    double RadiusA, RadiusB, RadiusC, Wavelength, IndexRe, IndexIm, IncAngle;
    int Polar, MinP, MaxP, NumIncRays, NumScaRays, ParReserved;
};

void ExpectValues(const ParameterFileValues& p, const FileValues& v, const std::string& id)
{
    EXPECT_EQ(p.RadiusA, v.RadiusA) << id;
    EXPECT_EQ(p.RadiusB, v.RadiusB) << id;
    EXPECT_EQ(p.RadiusC, v.RadiusC) << id;
    EXPECT_EQ(p.Wavelength, v.Wavelength) << id;
    EXPECT_EQ(p.IndexRe, v.IndexRe) << id;
    EXPECT_EQ(p.IndexIm, v.IndexIm) << id;
    EXPECT_EQ(p.IncAngleDegrees, v.IncAngle) << id;
    EXPECT_EQ(p.Polar, v.Polar) << id;
    EXPECT_EQ(p.MinP, v.MinP) << id;
    EXPECT_EQ(p.MaxP, v.MaxP) << id;
    EXPECT_EQ(p.NumIncRays, v.NumIncRays) << id;
    EXPECT_EQ(p.NumScaRays, v.NumScaRays) << id;
    EXPECT_EQ(p.Reserved, v.ParReserved) << id;
}

const char* const kDefaultFile = "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 4\r\n200 1000\r\n0\r\n";

TEST(ParameterFile, DefaultFileFillsTheFieldsAsTheWindowShowsThem)
{
    TempFolder dir;
    const ParameterFileValues p = ReadParameterFile(dir.write("Orvane.par", kDefaultFile));
    ExpectValues(p, {50, 50, 50, 0.6328, 1.333, 0, 0, 1, 0, 4, 200, 1000, 0}, "default");

    Fields f;
    f.CbxNumRay = "7";
    f.LblEdtSizeEll = "0.9";
    WriteParametersToFields(p, f);
    const std::vector<std::string> shown = {f.EdtRadius_a, f.EdtRadius_b, f.EdtRadius_c, f.EdtWl,
                                            f.Edtmr,       f.Edtmi,       f.EdtIncAng,   f.CbxPol,
                                            f.EdtMinp,     f.EdtMaxp,     f.LblEdtNumRays, f.LblEdtNumSca};
    const std::vector<std::string> expected = {"50", "50", "50", "0.6328", "1.333", "0",
                                               "0",  "1",  "0",  "4",      "200",   "1000"};
    EXPECT_EQ(shown, expected);
    // The fields the file does not cover keep their texts.
    EXPECT_EQ(f.CbxNumRay, "7");
    EXPECT_EQ(f.LblEdtSizeEll, "0.9");
    EXPECT_EQ(f.EdtAxisMin, "-25");
    EXPECT_EQ(f.EdtAxisMax, "25");
}

TEST(ParameterFile, ShippedFilesLoad)
{
    // The file installed for the window, and the one of the oblique, absorbing spheroid.
    ParameterFileValues p = ReadParameterFile(std::filesystem::path(ORVANE_REFERENCE_DIR) / "../../docs/Orvane.par");
    ExpectValues(p, {50, 50, 50, 0.6328, 1.333, 0, 0, 1, 0, 4, 200, 1000, 0}, "docs");

    p = ReadParameterFile(std::filesystem::path(ORVANE_REFERENCE_DIR) / "spheroid/Orvane.par");
    ExpectValues(p, {40, 30, 25, 0.5893, 1.45, 0.001, 20, 0, 0, 5, 600, 1800, 3}, "spheroid");
    Fields f;
    WriteParametersToFields(p, f);
    EXPECT_EQ(f.Edtmi, "0.001");
    EXPECT_EQ(f.EdtIncAng, "20");  // still degrees
    EXPECT_EQ(f.CbxPol, "0");
}

TEST(ParameterFile, LayoutRules)
{
    struct Case {
        const char* id;
        std::string text;
        FileValues expected;
    };
    const Case cases[] = {
        {"exponent and LF line ends", "5E1 50 50\n0.6328\n1.333 0.0\n0 1\n0 4\n200 1000\n0\n",
         {50, 50, 50, 0.6328, 1.333, 0, 0, 1, 0, 4, 200, 1000, 0}},
        {"words after the radii",
         "50 50 50 radii a b c in micrometres\r\n0.6328 wavelength\r\n1.333 0.0\r\n0 1\r\n0 4\r\n200 1000\r\n0\r\n",
         {50, 50, 50, 0.6328, 1.333, 0, 0, 1, 0, 4, 200, 1000, 0}},
        {"extra values skipped with the rest of the line",
         "40 30 25 99 98\r\n0.5893 7\r\n1.45 0.001 5\r\n20 0 1\r\n0 5 6\r\n600 1800 2\r\n3 4\r\n",
         {40, 30, 25, 0.5893, 1.45, 0.001, 20, 0, 0, 5, 600, 1800, 3}},
        {"six lines: the last value reads 0", "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 4\r\n200 1000\r\n",
         {50, 50, 50, 0.6328, 1.333, 0, 0, 1, 0, 4, 200, 1000, 0}},
        {"file ends after the radii", "40 30 25", {40, 30, 25, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"empty file", "", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Line 1 holds two values: the third comes from line 2, whose rest is skipped, and
        // every later value moves up one line.
        {"short line takes from the next", "40 30\r\n25 0.5\r\n0.5893\r\n1.45 0.001\r\n20 0\r\n0 5\r\n600 1800\r\n3\r\n",
         {40, 30, 25, 0.5893, 1.45, 0.001, 20, 0, 0, 5, 600, 1800, 3}},
        {"blank lines, tabs, a lone CR and NUL bytes separate numbers",
         "\r\n\t40\t30\r25\r\n\r\n0.5893\r\n1.45\0 0.001\r\n20 0\r\n0 5\r\n600 1800\r\n3\r\n"s,
         {40, 30, 25, 0.5893, 1.45, 0.001, 20, 0, 0, 5, 600, 1800, 3}},
        {"signs, hexadecimal integers and a 64-character real",
         "-1.5e+1 2 3\r\n"
         "0000000000000000000000000000000000000000000000000000000000000050\r\n"
         "1.333 -0.01\r\n-30.5 $1\r\n$0A $32\r\n-200 1000\r\n-4\r\n",
         {-15, 2, 3, 50, 1.333, -0.01, -30.5, 1, 10, 50, -200, 1000, -4}},
    };
    TempFolder dir;
    for (const Case& c : cases) {
        ExpectValues(ReadParameterFile(dir.write("Orvane.par", c.text)), c.expected, c.id);
    }
}

TEST(ParameterFile, BadFilesRaiseInOutErrorNamingTheFile)
{
    struct Case {
        const char* id;
        std::string text;
    };
    const std::string longReal = "0." + std::string(67, '0') + "5";  // 70 characters
    const std::string longInteger = std::string(32, '0') + "4";     // 33 characters
    const Case cases[] = {
        {"polarisation written 1.0", "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1.0\r\n0 4\r\n200 1000\r\n0\r\n"},
        {"decimal comma", "50 50 50\r\n0,6328\r\n1.333 0.0\r\n0 1\r\n0 4\r\n200 1000\r\n0\r\n"},
        {"word where a radius belongs", "50 fifty 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 4\r\n200 1000\r\n0\r\n"},
        {"70-character real", "50 50 " + longReal + "\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 4\r\n200 1000\r\n0\r\n"},
        {"33-character integer", "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 " + longInteger + "\r\n200 1000\r\n0\r\n"},
        {"micro sign glued to a number", "50\xB5m 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 4\r\n200 1000\r\n0\r\n"},
        {"binary bytes", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe"s},
        {"integer overflow", "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 4\r\n200 99999999999\r\n0\r\n"},
        {"real out of range", "50 50 50\r\n1e999\r\n1.333 0.0\r\n0 1\r\n0 4\r\n200 1000\r\n0\r\n"},
        {"bad value on the last line", "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 4\r\n200 1000\r\nx\r\n"},
    };
    TempFolder dir;
    for (const Case& c : cases) {
        try {
            ReadParameterFile(dir.write("Orvane.par", c.text));
            ADD_FAILURE() << c.id << ": read without an error";
        } catch (const FileError& e) {
            EXPECT_NE(std::string(e.what()).find("Orvane.par"), std::string::npos) << c.id << ": " << e.what();
        }
    }
}

TEST(ParameterFile, MissingFileOrFolderInItsPlace)
{
    TempFolder dir;
    EXPECT_THROW(ReadParameterFile(dir.path() / "Orvane.par"), FileError);
    std::filesystem::create_directory(dir.path() / "Orvane.par");
    try {
        ReadParameterFile(dir.path() / "Orvane.par");
        ADD_FAILURE() << "a folder read as a parameter file";
    } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find("Orvane.par"), std::string::npos) << e.what();
    }
}

TEST(ParameterFile, PointInTheFileWhateverTheLocale)
{
    // On a locale with a decimal comma the file still uses a point, and the fields show
    // the comma the user types.
    TempFolder dir;
    const ParameterFileValues p = ReadParameterFile(dir.write("Orvane.par", kDefaultFile));
    Fields f;
    WriteParametersToFields(p, f, ',');
    EXPECT_EQ(p.Wavelength, 0.6328);
    EXPECT_EQ(f.EdtWl, "0,6328");
    EXPECT_EQ(f.Edtmr, "1,333");
}

// Saved fields open again as the same numbers: the reals that print differently in the
// window's short form, extremes, a comma-separator window, negative values.
TEST(ParameterFile, SavedFieldsReadBackExactly)
{
    struct Case {
        const char* id;
        char separator;
        std::vector<std::string> texts;  // a, b, c, wl, m re, m im, angle, pol, min p, max p, rays, angles
    };
    const std::vector<Case> cases = {
        {"defaults", '.', {"50", "50", "50", "0.6328", "1.333", "0.0", "0", "1", "0", "4", "200", "1000"}},
        {"full precision", '.',
         {"0.30000000000000004", "49.9999999999995", "1e-300", "6.02214076E23", "1.3330000000000002",
          "0.000000001", "-12.5", "0", "2", "50", "5000", "100000"}},
        {"comma window", ',', {"12,5", "7", "0,1", "0,55", "1,5", "0,01", "-30,25", "0", "0", "7", "100", "360"}},
    };
    for (const Case& c : cases) {
        Fields typed;
        typed.EdtRadius_a = c.texts[0];
        typed.EdtRadius_b = c.texts[1];
        typed.EdtRadius_c = c.texts[2];
        typed.EdtWl = c.texts[3];
        typed.Edtmr = c.texts[4];
        typed.Edtmi = c.texts[5];
        typed.EdtIncAng = c.texts[6];
        typed.CbxPol = c.texts[7];
        typed.EdtMinp = c.texts[8];
        typed.EdtMaxp = c.texts[9];
        typed.LblEdtNumRays = c.texts[10];
        typed.LblEdtNumSca = c.texts[11];

        TempFolder dir;
        const ParameterFileValues saved = ReadParametersFromFields(typed, c.separator);
        WriteParameterFile(saved, dir / "saved.par");
        const ParameterFileValues opened = ReadParameterFile(dir / "saved.par");
        ExpectValues(opened,
                     {StrToFloat(c.texts[0], c.separator), StrToFloat(c.texts[1], c.separator),
                      StrToFloat(c.texts[2], c.separator), StrToFloat(c.texts[3], c.separator),
                      StrToFloat(c.texts[4], c.separator), StrToFloat(c.texts[5], c.separator),
                      StrToFloat(c.texts[6], c.separator), StrToInt(c.texts[7]), StrToInt(c.texts[8]),
                      StrToInt(c.texts[9]), StrToInt(c.texts[10]), StrToInt(c.texts[11]), 0},
                     c.id);

        // Shown again in the window, the fields read as they would after typing the same numbers.
        Fields shown;
        WriteParametersToFields(opened, shown, c.separator);
        EXPECT_EQ(shown.EdtRadius_b, FloatToStr(StrToFloat(c.texts[1], c.separator), c.separator)) << c.id;
        EXPECT_EQ(shown.EdtIncAng, FloatToStr(StrToFloat(c.texts[6], c.separator), c.separator)) << c.id;
        EXPECT_EQ(shown.LblEdtNumSca, c.texts[11]) << c.id;
    }
}

TEST(ParameterFile, SavedDefaultsAreTheShippedLayout)
{
    TempFolder dir;
    WriteParameterFile(ReadParametersFromFields(Fields{}), dir / "Orvane.par");
    std::ifstream in(dir / "Orvane.par", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "50 50 50\r\n0.6328\r\n1.333 0\r\n0 1\r\n0 4\r\n200 1000\r\n0\r\n");
}

// A field that is no number, or a folder that cannot take the file: an error that names the
// text or the file, and the file that was there is left as it was.
TEST(ParameterFile, FailedSaveLeavesTheOldFile)
{
    TempFolder dir;
    const auto file = dir.write("Orvane.par", kDefaultFile);

    Fields bad;
    bad.EdtMaxp = "4.5";
    try {
        WriteParameterFile(ReadParametersFromFields(bad), file);
        ADD_FAILURE() << "no error for a decimal order";
    } catch (const ConversionError& e) {
        EXPECT_NE(std::string(e.what()).find("'4.5'"), std::string::npos) << e.what();
    }

    std::filesystem::create_directory(dir / "taken.par");
    EXPECT_THROW(WriteParameterFile(ReadParametersFromFields(Fields{}), dir / "taken.par"), FileError);
    EXPECT_THROW(WriteParameterFile(ReadParametersFromFields(Fields{}), dir / "no-such-folder" / "x.par"), FileError);

    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, kDefaultFile);
}

} // namespace
} // namespace orvane
