// The ray-tracing picture on a recording canvas and its EPS file, on the 518 x 391 area
// of a sphere of radius 50 µm drawn at half size (1.95 pixels per µm).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/Format.h"
#include "base/RunControl.h"
#include "raytrace/OrderPalette.h"
#include "raytrace/RecordingCanvas.h"
#include "run/FieldInputs.h"
#include "run/Jobs.h"
#include "tests/run/PictureTestSupport.h"

namespace orvane {
namespace {

using testing::ReadCrLfLines;
using testing::TempFolder;

// Screen colours of orders 0 to 4 (0x00BBGGRR): violet, red, blue, green, wine.
constexpr Color kViolet = 0xFF55DD, kRed = 0x0000FF, kBlue = 0xFF0000, kGreen = 0x008000, kWine = 0x442277;

// The header's 22 lines are checked on their own; the body follows them.
constexpr std::size_t kHeaderLines = 22;
// The frame block before the rays, the label block and trailer after them.
const std::vector<std::string> kFrame518 = {
    "0 0 0 sc",  "[12 6 3 6] 0 sd", "newpath 0 195 m", "517 195 l", "258 0 m", "258 390 l st", "[3] 0 sd",
    "1.000 1.000 scale ", "newpath 258 195 97 0 360 arc ", "st", "1.000 1.000 scale", "[] 0 sd",
};
const std::vector<std::string> kLabel518 = {
    "0 0 1 sc", "/Times-Roman ff 20.00 scf sf", "367 205 m", "gs (Symetric axis) show gr", "showpage", "%%Trailer",
};

// A screen line as text; far ends (outside the area) are named by their side.
std::string Describe(const RecordingCanvas::Line& line, int W)
{
    auto x = [W](std::int64_t v) { return v < 0 ? std::string("left") : v > W ? std::string("right") : std::to_string(v); };
    char color[16];
    std::snprintf(color, sizeof color, "0x%06X", static_cast<unsigned>(line.color));
    return x(line.x1) + " " + std::to_string(line.y1) + " - " + x(line.x2) + " " + std::to_string(line.y2) + " " + color;
}

// The picture as the window makes it: the fields read, the picture computed for the area,
// drawn on the canvas, then its EPS file written.
void DrawFromFields(Fields& fields, char separator, MessageSink& sink, RecordingCanvas& canvas,
                    const std::filesystem::path& folder)
{
    const PictureInputs inputs = ReadPictureInputs(fields, separator, sink);
    const Picture picture = ComputePicture(inputs, canvas.width(), canvas.height());
    DrawPicture(picture, canvas);
    WritePictureFile(picture, {folder, separator});
}

class RayPictureTest : public ::testing::Test {
protected:
    std::unique_ptr<Fields> fieldsOwner = std::make_unique<Fields>();
    Fields& f = *fieldsOwner;  // the window's defaults: sphere of 50 µm, 0.6328 µm, 1.333, size 0.5
    RecordingControl sink;
    TempFolder folder;
    char separator = '.';

    // A single ray at the height y0 (µm), through the Min/Max mode of the positions.
    void oneRayAt(const char* y0)
    {
        f.ChkBxMinMax = true;
        f.EdtAxisMin = y0;
        f.CbxNumRay = "1";
    }

    RecordingCanvas draw(int width = 518, int height = 391)
    {
        RecordingCanvas canvas(width, height);
        DrawFromFields(f, separator, sink, canvas, folder.path());
        return canvas;
    }

    std::vector<std::string> eps() const { return ReadCrLfLines(folder.path() / "Orvane.eps"); }

    // The lines between the frame block and the label block.
    std::vector<std::string> rayLines() const
    {
        const std::vector<std::string> all = eps();
        const std::size_t body = kHeaderLines + kFrame518.size();
        if (all.size() < body + kLabel518.size())
            return {"<file too short>"};
        return {all.begin() + body, all.end() - kLabel518.size()};
    }

    // The rays on screen (solid lines; the axes are dash-dot).
    static std::vector<std::string> screenRays(const RecordingCanvas& canvas)
    {
        std::vector<std::string> out;
        for (const auto& line : canvas.lines)
            if (line.style == PenStyle::Solid)
                out.push_back(Describe(line, canvas.width() - 1));
        return out;
    }
};

TEST_F(RayPictureTest, WithoutRays_TheFrameAloneIsDrawnAndWritten_ReplacingTheOldFile)
{
    std::ofstream(folder.path() / "Orvane.eps") << "an older picture\nwith lines that must go\n";
    f.CbxNumRay = "0";
    const RecordingCanvas canvas = draw();

    const std::vector<std::string> expectedCalls = {
        "brushColor 0xFFFFFF",   "fillRect 0 0 518 391", "fontColor 0xFF0000", "textOut 417 180 Symmetric axis",
        "penColor 0x000000",     "penStyle dashdot",     "moveTo 0 195",       "lineTo 517 195",
        "moveTo 258 0",          "lineTo 258 390",       "penStyle dot",       "penColor 0x000000",
        "ellipse 160 97 355 292",
    };
    EXPECT_EQ(canvas.calls, expectedCalls);

    const std::vector<std::string> lines = eps();
    ASSERT_EQ(lines.size(), kHeaderLines + kFrame518.size() + kLabel518.size());
    EXPECT_EQ(lines[0], "%!PS-Adobe-2.0 EPSF-2.0");
    EXPECT_EQ(lines[3], "%%BoundingBox: 0 0 517 390");
    EXPECT_EQ(rayLines(), std::vector<std::string>{});
    EXPECT_EQ(std::vector<std::string>(lines.begin() + kHeaderLines, lines.begin() + kHeaderLines + kFrame518.size()),
              kFrame518);
    EXPECT_EQ(std::vector<std::string>(lines.end() - kLabel518.size(), lines.end()), kLabel518);
}

struct OneRayCase {
    const char* name;
    const char* minP;
    const char* maxP;
    bool emergent;
    std::vector<std::string> screen;
    std::vector<std::string> eps;
};

TEST_F(RayPictureTest, OneRayThroughTheCentre_ScreenAndFileFollowTheOrders)
{
    // The ray at height 0 bounces between (161, 195) and (356, 195); every ray that leaves
    // runs horizontally out of the picture, to the right after odd orders.
    const OneRayCase cases[] = {
        {"orders 0 to 2",
         "0", "2", true,
         {"161 195 - left 195 0xFF55DD", "63 195 - 161 195 0xFF55DD", "161 195 - 356 195 0x0000FF",
          "356 195 - right 195 0x0000FF", "356 195 - 161 195 0xFF0000", "161 195 - left 195 0xFF0000"},
         {"0 1 0 sc", "161 195 m 0 195 l st", "0 1 1 sc", "63 195 m 161 195 l st", "1 0 0 sc",
          "161 195 m 356 195 l st", "356 195 m 517 195 l st", "0 0 1 sc", "356 195 m 161 195 l st",
          "161 195 m 0 195 l st"}},
        {"orders 0 to 4",
         "0", "4", true,
         {"161 195 - left 195 0xFF55DD", "63 195 - 161 195 0xFF55DD", "161 195 - 356 195 0x0000FF",
          "356 195 - right 195 0x0000FF", "356 195 - 161 195 0xFF0000", "161 195 - left 195 0xFF0000",
          "161 195 - 356 195 0x008000", "356 195 - right 195 0x008000", "356 195 - 161 195 0x442277",
          "161 195 - left 195 0x442277"},
         {"0 1 0 sc", "161 195 m 0 195 l st", "0 1 1 sc", "63 195 m 161 195 l st", "1 0 0 sc",
          "161 195 m 356 195 l st", "356 195 m 517 195 l st", "0 0 1 sc", "356 195 m 161 195 l st",
          "161 195 m 0 195 l st", "0 0.5 0 sc", "161 195 m 356 195 l st", "356 195 m 517 195 l st", "1 1 0 sc",
          "356 195 m 161 195 l st", "161 195 m 0 195 l st"}},
        {"MinP 1: no reflected ray",
         "1", "2", true,
         {"63 195 - 161 195 0xFF55DD", "161 195 - 356 195 0x0000FF", "356 195 - right 195 0x0000FF",
          "356 195 - 161 195 0xFF0000", "161 195 - left 195 0xFF0000"},
         {"0 1 0 sc", "0 1 1 sc", "63 195 m 161 195 l st", "1 0 0 sc", "161 195 m 356 195 l st",
          "356 195 m 517 195 l st", "0 0 1 sc", "356 195 m 161 195 l st", "161 195 m 0 195 l st"}},
        {"MinP 2: chords of every order, rays leaving from order 2",
         "2", "2", true,
         {"63 195 - 161 195 0xFF55DD", "161 195 - 356 195 0x0000FF", "356 195 - 161 195 0xFF0000",
          "161 195 - left 195 0xFF0000"},
         {"0 1 0 sc", "0 1 1 sc", "63 195 m 161 195 l st", "1 0 0 sc", "161 195 m 356 195 l st", "0 0 1 sc",
          "356 195 m 161 195 l st", "161 195 m 0 195 l st"}},
        {"emergent rays hidden",
         "0", "2", false,
         {"63 195 - 161 195 0xFF55DD", "161 195 - 356 195 0x0000FF", "356 195 - 161 195 0xFF0000"},
         {"0 1 0 sc", "0 1 1 sc", "63 195 m 161 195 l st", "1 0 0 sc", "161 195 m 356 195 l st", "0 0 1 sc",
          "356 195 m 161 195 l st"}},
        {"MaxP 0: no chord",
         "0", "0", true,
         {"161 195 - left 195 0xFF55DD", "63 195 - 161 195 0xFF55DD"},
         {"0 1 0 sc", "161 195 m 0 195 l st", "0 1 1 sc", "63 195 m 161 195 l st"}},
    };
    for (const OneRayCase& c : cases) {
        SCOPED_TRACE(c.name);
        oneRayAt("0");
        f.EdtMinp = c.minP;
        f.EdtMaxp = c.maxP;
        f.ChBxEmergRay = c.emergent;
        const RecordingCanvas canvas = draw();
        EXPECT_EQ(screenRays(canvas), c.screen);
        EXPECT_EQ(rayLines(), c.eps);
    }
}

TEST_F(RayPictureTest, ABubbleTotallyReflectsTheRayNearItsEdge)
{
    // Index 0.75 at 40 µm off the axis: the refracted wave would be evanescent.
    f.Edtmr = "0.75";
    oneRayAt("40");
    const RecordingCanvas canvas = draw();
    const std::vector<std::string> rays = screenRays(canvas);
    ASSERT_EQ(rays.size(), 2u);
    EXPECT_EQ(rays[1], "63 117 - 200 117 0xFF55DD");  // incident, to the entry point (−30, 40) µm
    const std::vector<std::string> block = rayLines();
    ASSERT_EQ(block.size(), 4u);
    EXPECT_EQ(block[0], "0 1 0 sc");
    EXPECT_EQ(block[1].substr(0, 10), "200 273 m ");  // reflected, from the entry point
    EXPECT_EQ(block[2], "0 1 1 sc");
    EXPECT_EQ(block[3], "63 273 m 200 273 l st");
}

TEST_F(RayPictureTest, RaysBesideTheParticleAreSkipped)
{
    // Min/Max mode places the first of two rays at −60 µm, beyond the grazing height 50.
    f.ChkBxMinMax = true;
    f.EdtAxisMin = "-60";
    f.EdtAxisMax = "0";
    f.CbxNumRay = "2";
    f.EdtMaxp = "2";
    const RecordingCanvas canvas = draw();
    EXPECT_EQ(screenRays(canvas).size(), 6u);
    for (const auto& line : canvas.lines) {
        if (line.style == PenStyle::Solid) {
            EXPECT_EQ(line.y2, 195) << "only the ray at height 0 is drawn";
        }
    }
    EXPECT_EQ(rayLines(), (std::vector<std::string>{"0 1 0 sc", "161 195 m 0 195 l st", "0 1 1 sc",
                                                    "63 195 m 161 195 l st", "1 0 0 sc", "161 195 m 356 195 l st",
                                                    "356 195 m 517 195 l st", "0 0 1 sc", "356 195 m 161 195 l st",
                                                    "161 195 m 0 195 l st"}));
}

TEST_F(RayPictureTest, HighOrders_EachInItsOwnColourOnScreen_NoColourCommandFrom10)
{
    // Order p on screen: the chart's colour of order p (the first ones as they always were);
    // in the file the colour table ends at order 9.
    struct Case {
        const char* maxP;
        int chords;
    };
    for (const Case c : {Case{"12", 12}, Case{"50", 50}, Case{"60", 50}}) {
        SCOPED_TRACE(c.maxP);
        oneRayAt("0");
        f.EdtMaxp = c.maxP;
        f.ChBxEmergRay = false;
        const RecordingCanvas canvas = draw();

        std::vector<Color> chordColors;
        for (const auto& line : canvas.lines)
            if (line.style == PenStyle::Solid && line.x1 != 63)
                chordColors.push_back(line.color);
        ASSERT_EQ(chordColors.size(), static_cast<std::size_t>(c.chords));
        for (int p = 1; p <= c.chords; ++p)
            EXPECT_EQ(chordColors[p - 1], kOrderPalette[static_cast<std::size_t>(p)]) << "order " << p;
        EXPECT_EQ(chordColors[0], kRed);
        EXPECT_EQ(chordColors[3], kWine);

        // Block: R1, R3, R4, then colour and chord for each order.
        const std::vector<std::string> block = rayLines();
        ASSERT_EQ(block.size(), 3u + 2u * c.chords);
        EXPECT_EQ(block[3 + 2 * 8], "0 1 1 sc");  // order 9
        for (int p = 10; p <= c.chords; ++p)
            EXPECT_EQ(block[3 + 2 * (p - 1)], "") << "order " << p;
    }
    EXPECT_EQ(sink.messages, std::vector<std::string>{"The max order p is limited to 50"});
}

TEST_F(RayPictureTest, TheLabelNamesTheAxisOfSymmetryOnlyForNormalIncidence)
{
    struct Case {
        const char* degrees;
        bool symmetric;
    };
    // 0.0001 rad is 0.00573°.
    for (const Case c : {Case{"0", true}, Case{"0.005", true}, Case{"-0.006", false}, Case{"30", false}}) {
        SCOPED_TRACE(c.degrees);
        f.EdtIncAng = c.degrees;
        f.CbxNumRay = "0";
        const RecordingCanvas canvas = draw();
        EXPECT_EQ(canvas.calls.at(3), c.symmetric ? "textOut 417 180 Symmetric axis" : "textOut 417 180 Reference axis");
        EXPECT_EQ(eps().at(eps().size() - 3), c.symmetric ? "gs (Symetric axis) show gr" : "gs (Reference axis) show gr");
    }
}

TEST_F(RayPictureTest, ObliqueRaysLeaveAtTheirOwnAngle_OnAWideArea)
{
    // The ray through the centre of a sphere is reflected straight back and leaves after
    // one chord undeviated: on an 800 x 500 area the screen and the file must show the
    // 30° of the incident light, not an angle squeezed by the area's aspect.
    const double theta = 30 * std::numbers::pi / 180;
    f.EdtIncAng = "30";
    oneRayAt("0");
    f.EdtMaxp = "1";
    const RecordingCanvas canvas = draw(800, 500);
    std::vector<RecordingCanvas::Line> rays;
    for (const auto& line : canvas.lines)
        if (line.style == PenStyle::Solid)
            rays.push_back(line);
    ASSERT_EQ(rays.size(), 4u);  // reflected, incident, chord, emergent

    // Far ends are measured from the picture centre (399.5, 249.5); y grows downwards.
    auto angleFromCentre = [](const RecordingCanvas::Line& l) { return std::atan2(249.5 - l.y2, l.x2 - 399.5); };
    EXPECT_NEAR(angleFromCentre(rays[0]), theta - std::numbers::pi, 1e-3);
    EXPECT_NEAR(angleFromCentre(rays[3]), theta, 1e-3);

    // In the file the same rays run from where they leave to the border of the frame.
    const std::vector<std::string> block = ReadCrLfLines(folder.path() / "Orvane.eps");
    auto fileAngle = [&block](std::size_t index) {
        long x1, y1, x2, y2;
        EXPECT_EQ(std::sscanf(block.at(index).c_str(), "%ld %ld m %ld %ld l st", &x1, &y1, &x2, &y2), 4) << block.at(index);
        return std::atan2(static_cast<double>(y2 - y1), static_cast<double>(x2 - x1));
    };
    const std::size_t body = kHeaderLines + 12;
    EXPECT_NEAR(fileAngle(body + 1), theta - std::numbers::pi, 0.01);  // R2, y upwards in the file
    EXPECT_NEAR(fileAngle(body + 6), theta, 0.01);                      // R5c of order 1
}

TEST_F(RayPictureTest, ACommaLocaleWritesCommasInTheScaleLines)
{
    separator = ',';
    f.Edtmr = "1,333";
    f.Edtmi = "0,0";
    f.EdtWl = "0,6328";
    f.LblEdtSizeEll = "0,5";
    f.EdtRadius_c = "25";
    f.CbxNumRay = "0";
    draw();
    const std::vector<std::string> lines = eps();
    EXPECT_EQ(lines.at(kHeaderLines + 7), "1,000 2,000 scale ");
    EXPECT_EQ(lines.at(kHeaderLines + 8), "newpath 258 97 48 0 360 arc ");
    EXPECT_EQ(lines.at(kHeaderLines + 10), "1,000 0,500 scale");
}

TEST_F(RayPictureTest, InputsThatCannotBeDrawn_EndTheDrawingBeforeAnythingIsTouched)
{
    struct Case {
        const char* what;
        std::string Fields::*field;
        const char* text;
    };
    const Case cases[] = {
        {"a wavelength that is no number", &Fields::EdtWl, "abc"},
        {"an ellipse too large for any coordinate", &Fields::LblEdtSizeEll, "1e300"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fields fields;
        fields.*c.field = c.text;
        RecordingCanvas canvas(518, 391);
        EXPECT_THROW(DrawFromFields(fields, '.', sink, canvas, folder.path()), OrvaneError);
        EXPECT_TRUE(canvas.calls.empty());
        EXPECT_FALSE(std::filesystem::exists(folder.path() / "Orvane.eps"));
    }
}

TEST_F(RayPictureTest, AnEpsFileThatCannotBeWritten_FailsWithTheWholePictureOnScreen)
{
    const RecordingCanvas whole = draw();
    TempFolder blocked;
    std::filesystem::create_directory(blocked.path() / "Orvane.eps");
    RecordingCanvas canvas(518, 391);
    EXPECT_THROW(DrawFromFields(f, '.', sink, canvas, blocked.path()), FileError);
    // The screen shows the whole picture; only the file is missing.
    EXPECT_EQ(canvas.calls, whole.calls);
    EXPECT_TRUE(std::filesystem::is_directory(blocked.path() / "Orvane.eps"));
}

} // namespace
} // namespace orvane
