// The EPS file's pieces: the header, the segment line with its clipping, the colour of
// an order.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/TextFile.h"
#include "output/EpsFile.h"
#include "tests/run/PictureTestSupport.h"

namespace orvane {
namespace {

using testing::ReadCrLfLines;
using testing::TempFolder;

TEST(EpsHeader, WritesTheProlog_AndTheColourCommands)
{
    TempFolder folder;
    const auto file = folder.path() / "Orvane.eps";
    Picture picture;
    picture.W = 517;
    picture.H = 390;
    picture.RadiusA = picture.RadiusC = 50;
    TextWriter out(file);
    WriteEpsFile(picture, out, '.');
    std::vector<std::string> lines = ReadCrLfLines(file);
    ASSERT_GE(lines.size(), 22u);
    lines.resize(22);

    const std::vector<std::string> expected = {
        "%!PS-Adobe-2.0 EPSF-2.0",
        "%%Creator: Software: Orvane",
        "%%Title: Orvane.eps",
        "%%BoundingBox: 0 0 517 390",
        "%%EndComments",
        "%%BeginProlog",
        "/gr {grestore} def ",
        "/gs {gsave} def ",
        "/m {moveto} def ",
        "/l {lineto} def",
        "/st {stroke} def ",
        "/sc {setrgbcolor} def",
        "/np {newpath} def",
        "/cp {closepath} def",
        "/sd {setdash} def",
        "/ff {findfont} def",
        "/sf {setfont} def",
        "/scf {scalefont} def",
        "%%EndProlog",
        "1 setlinecap",
        "1 setlinewidth",
        "1 1 scale",
    };
    EXPECT_EQ(lines, expected);

    const EpsColorTable& colors = EpsColors();
    const std::vector<std::string> commands(colors.begin(), colors.begin() + 11);
    EXPECT_EQ(commands, (std::vector<std::string>{"0 0 0 sc", "0 1 0 sc", "1 0 0 sc", "0 0 1 sc", "0 0.5 0 sc",
                                                  "1 1 0 sc", "0.5 0 0 sc", "0 0 0 sc", "0 0 0 sc", "0 0 0 sc",
                                                  "0 1 1 sc"}));
    for (int i = 11; i < kOrderCount; ++i)
        EXPECT_EQ(colors[i], "") << "index " << i;
}

struct SegmentCase {
    const char* what;
    double x1, y1, x2, y2;
    const char* line;
};

TEST(EpsSegment, ClipsTheEndOnly_FirstAcrossThenUpOrDown)
{
    // A 518 x 391 area: W = 517, H = 390. The file's y runs upwards: H − y.
    const SegmentCase cases[] = {
        {"inside", 161, 195, 356, 195, "161 195 m 356 195 l st"},
        {"truncated toward zero", 63.9, 100.7, 161.2, -0.0, "63 289 m 161 390 l st"},
        {"start left of the frame kept, truncated toward zero", -10.7, 195, 161, 195, "-10 195 m 161 195 l st"},
        {"end right", 356, 195, 10000, 195, "356 195 m 517 195 l st"},
        {"end left", 161, 195, -9751, 195, "161 195 m 0 195 l st"},
        // Onto x = 0 at y = −100, still above: then onto y = 0 along the same line.
        {"end left and above", 100, 100, -100, -300, "100 290 m 50 390 l st"},
        {"end right, then inside vertically", 500, 300, 600, 500, "500 90 m 517 56 l st"},
        // With the start outside, the order tells: across first (onto x = W at y = −33), then
        // up along the same line, which lands right of the frame.
        {"start above, end right then above", 500, -50, 600, 50, "500 440 m 550 390 l st"},
        {"end below", 258, 195, 268, 1000, "258 195 m 260 0 l st"},
        {"end exactly on the corner", 100, 100, 517, 390, "100 290 m 517 0 l st"},
        {"end exactly on the origin", 100, 100, 0, 0, "100 290 m 0 390 l st"},
        // Parallel to the border it lies beyond: it never meets it, the end stays.
        {"vertical, left of the frame", -20, 10, -20, 50, "-20 380 m -20 340 l st"},
        {"horizontal, above the frame", 10, -5, 600, -5, "10 395 m 517 395 l st"},
    };
    for (const SegmentCase& c : cases)
        EXPECT_EQ(EpsSegment(517, 390, c.x1, c.y1, c.x2, c.y2), c.line) << c.what;
}

TEST(EpsSegment, APointWithoutA64BitInteger_IsAFloatingPointError)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(EpsSegment(517, 390, nan, 0, 10, 10), MathError);
    EXPECT_THROW(EpsSegment(517, 390, 1e19, 0, 10, 10), MathError);
    EXPECT_THROW(EpsSegment(517, 390, 10, -1e300, 10, 10), MathError);
    // A far end is clipped first, so its size does not matter.
    EXPECT_EQ(EpsSegment(517, 390, 10, 10, 1e300, 10), "10 380 m 517 380 l st");
}

TEST(EpsOrderColor, OrdersTenAndUpHaveNoCommand)
{
    const std::pair<int, const char*> cases[] = {
        {0, "0 1 0 sc"}, {1, "1 0 0 sc"}, {2, "0 0 1 sc"}, {9, "0 1 1 sc"}, {10, ""}, {49, ""}, {50, ""},
    };
    for (const auto& [p, command] : cases)
        EXPECT_EQ(EpsOrderColor(p), command) << "order " << p;
}

} // namespace
} // namespace orvane
