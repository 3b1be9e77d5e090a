// The window's texts read into the typed inputs of the picture and the diagram: conversions in
// the window's order, the limits and their messages, the derived quantities, the positions the
// grid lists, and the two handlers of the position grid.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "numeric/Angles.h"
#include "base/Errors.h"
#include "base/Format.h"
#include "base/RunControl.h"
#include "run/FieldInputs.h"

namespace orvane {
namespace {

constexpr double kPiNumbers = std::numbers::pi;

class FieldInputsTest : public ::testing::Test {
protected:
    // The fields hold 5002 grid rows: keep them off the stack.
    std::unique_ptr<Fields> fieldsOwner = std::make_unique<Fields>();
    Fields& f = *fieldsOwner;
    RecordingControl sink;
    char separator = '.';

    const std::string& row(int r) const { return f.StrGrdPosit.cell(r); }
    PictureInputs read() { return ReadPictureInputs(f, separator, sink); }
    IncidentPositions positions(const PictureInputs& in) const
    {
        return PicturePositions(MakeRunParams(in.particle), in.NumRays, in.range);
    }
};

TEST_F(FieldInputsTest, DefaultFieldsGiveTheDefaultParticleAndPositions)
{
    const PictureInputs in = read();
    EXPECT_TRUE(sink.messages.empty());
    const ParticleInputs& p = in.particle;
    EXPECT_EQ(p.RadiusA, 50);
    EXPECT_EQ(p.RadiusB, 50);
    EXPECT_EQ(p.RadiusC, 50);
    EXPECT_EQ(p.IndexRe, 1.333);
    EXPECT_EQ(p.IndexIm, 0);
    EXPECT_EQ(p.Wavelength, 0.6328);
    EXPECT_EQ(in.MinP, 0);
    EXPECT_EQ(in.MaxP, 4);
    EXPECT_EQ(in.NumRays, 20);
    EXPECT_EQ(p.IncAngle, 0);
    EXPECT_EQ(p.Polar, 1);
    EXPECT_EQ(in.EllipsoidSize, 0.5);
    EXPECT_TRUE(in.ShowEmergent);
    EXPECT_FALSE(in.range);

    const RunParams P = MakeRunParams(p);
    EXPECT_EQ(P.RadiusA2, 2500);
    EXPECT_EQ(P.RadiusB2, 2500);
    EXPECT_EQ(P.RadiusC2, 2500);
    EXPECT_EQ(P.AspectTerm, 0);
    EXPECT_EQ(P.WaveNumber, 2 * kPiNumbers / 0.6328);
    EXPECT_EQ(P.InnerWaveNumber, 1.333 * (2 * kPiNumbers / 0.6328));
    EXPECT_EQ(P.ShadowProduct, 2500);
    EXPECT_EQ(P.TanIncAngle, 0);
    EXPECT_EQ(P.PosLimit2, 2500);

    const IncidentPositions pos = positions(in);
    EXPECT_EQ(FloatToStr(pos.PosHalfRange), "49.9999999999995");
    ASSERT_EQ(pos.heights.size(), 20u);
    EXPECT_EQ(pos.heights[0], -pos.PosHalfRange);
    EXPECT_EQ(pos.heights[19], pos.PosHalfRange);
    for (int i = 0; i < 20; ++i)
        EXPECT_NEAR(pos.heights[static_cast<std::size_t>(i)] + pos.heights[static_cast<std::size_t>(19 - i)], 0, 1e-12)
            << i;

    EXPECT_EQ(row(0), "Max:  50.00000");
    EXPECT_EQ(row(1), " -50.00000");
    EXPECT_EQ(row(2), " -44.73684");
    EXPECT_EQ(row(10), "  -2.63158");
    EXPECT_EQ(row(11), "   2.63158");
    EXPECT_EQ(row(20), "  50.00000");
    EXPECT_EQ(row(21), "");
}

TEST_F(FieldInputsTest, DiagramReadsItsPageAndTheExactTick)
{
    EXPECT_FALSE(ReadDiagramInputs(f, '.', sink).EntryFresnel);
    EXPECT_FALSE(ReadDiagramInputs(f, '.', sink).SharpDiffraction);
    f.LblEdtNumRays = "300";
    f.LblEdtNumSca = "2000";
    f.ChBxDiff = true;
    f.ChBxAiry = true;
    f.ChBxTotalInt = false;
    f.CompareExact = true;
    f.ChBxEntryFresnel = true;
    f.ChBxSharpDiff = true;
    f.EdtIncAng = "10";
    f.ChkBxMinMax = true;
    f.EdtAxisMin = "-20";
    f.EdtAxisMax = "30";
    const DiagramInputs in = ReadDiagramInputs(f, '.', sink);
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(in.NumIncRays, 300);
    EXPECT_EQ(in.NumScaRays, 2000);
    EXPECT_TRUE(in.Diffraction);
    EXPECT_TRUE(in.Airy);
    EXPECT_FALSE(in.TotalIntensity);
    EXPECT_TRUE(in.ExactMie);
    EXPECT_TRUE(in.EntryFresnel);
    EXPECT_TRUE(in.SharpDiffraction);
    // Degrees to radians with one rounding, the same wherever an angle comes in.
    EXPECT_EQ(in.particle.IncAngle, 10 * 0.017453292519943295);
    ASSERT_TRUE(in.range);
    EXPECT_EQ(in.range->Min, -20);
    EXPECT_EQ(in.range->Max, 30);
    // The grid lists the picture's rays, as at the start of every computation.
    EXPECT_EQ(row(1), "-20");
}

TEST_F(FieldInputsTest, ObliqueIncidenceOnAFlattenedEllipse)
{
    f.EdtRadius_c = "25";
    f.EdtIncAng = "30";
    const RunParams P = MakeRunParams(read().particle);
    const double angle = 30 * (kPiNumbers / 180);
    EXPECT_EQ(P.IncAngle, angle);
    EXPECT_EQ(P.AspectTerm, 3);
    EXPECT_EQ(P.TanIncAngle, std::tan(angle));
    EXPECT_NEAR(P.PosLimit2, 2708.333333333333, 1e-9);
    EXPECT_NEAR(P.ShadowProduct, std::sqrt(12.5 * 12.5 + 1875.0) * 50, 1e-9);
    EXPECT_EQ(row(0), "Max:  52.04165");
    EXPECT_EQ(row(20), "  52.04165");
}

TEST_F(FieldInputsTest, GridClickShowsTheShortestFormPulledInsideTheBounds)
{
    read();
    f.StrGrdPosit.setCell(5, "typed by the user");  // regenerated before it is read
    StrGrdPositClick(f, separator, sink);
    EXPECT_EQ(row(0), "Max:  50.00000");
    EXPECT_EQ(row(1), "-49.9999999999995");
    EXPECT_EQ(row(2), "-44.73684");
    EXPECT_EQ(row(5), "-28.94737");
    EXPECT_EQ(row(20), "49.9999999999995");
    EXPECT_EQ(row(21), "");
}

TEST_F(FieldInputsTest, RayCountChangeClearsTheRowsBeyondTheLastRay)
{
    f.CbxNumRay = "24";
    read();
    EXPECT_EQ(row(24), "  50.00000");
    f.CbxNumRay = "20";
    CbxNumRayChange(f, separator, sink);
    EXPECT_EQ(row(20), "  50.00000");
    for (int r = 21; r <= 24; ++r)
        EXPECT_EQ(row(r), "") << r;

    // Fewer than one ray: every position row goes, the header stays.
    for (const char* count : {"0", "-5"}) {
        f.CbxNumRay = count;
        CbxNumRayChange(f, separator, sink);
        EXPECT_EQ(row(0), "Max:  50.00000") << count;
        for (int r = 1; r <= 24; ++r)
            EXPECT_EQ(row(r), "") << count << " row " << r;
    }

    // Rows past the visible ones are not the handler's to clear.
    f.CbxNumRay = "30";
    read();
    f.CbxNumRay = "28";
    CbxNumRayChange(f, separator, sink);
    EXPECT_FALSE(row(24).empty());
    EXPECT_FALSE(row(30).empty());
}

TEST_F(FieldInputsTest, MinMaxModeSpreadsRaysBetweenTheEnteredEnds)
{
    f.ChkBxMinMax = true;
    f.CbxNumRay = "3";
    f.StrGrdPosit.setCell(0, "header");
    PictureInputs in = read();
    EXPECT_EQ(row(0), "header");  // not rewritten in this mode
    EXPECT_EQ(row(1), "-25");
    EXPECT_EQ(row(2), "0");
    EXPECT_EQ(row(3), "25");
    IncidentPositions pos = positions(in);
    EXPECT_EQ(pos.heights, (std::vector<double>{-25, 0, 25}));
    EXPECT_EQ(pos.PosHalfRange, 25);  // the spacing

    // Outside the ellipse and in falling order: taken as entered.
    f.EdtAxisMin = "100";
    f.EdtAxisMax = "0";
    in = read();
    EXPECT_EQ(row(1), "100");
    EXPECT_EQ(row(2), "50");
    EXPECT_EQ(row(3), "0");
    EXPECT_EQ(positions(in).PosHalfRange, -50);
}

TEST_F(FieldInputsTest, MinMaxGridClickKeepsPositionsBetweenMinAndMax)
{
    // The spacing (50) is no bound for positions running from 0 to 100.
    f.ChkBxMinMax = true;
    f.CbxNumRay = "3";
    f.EdtAxisMin = "0";
    f.EdtAxisMax = "100";
    StrGrdPositClick(f, separator, sink);
    EXPECT_EQ(row(1), "0");
    EXPECT_EQ(row(2), "50");
    EXPECT_EQ(row(3), "100");

    f.EdtAxisMin = "100";
    f.EdtAxisMax = "0";
    StrGrdPositClick(f, separator, sink);
    EXPECT_EQ(row(1), "100");
    EXPECT_EQ(row(3), "0");

    // Rounding put the last position (1 - 1 = 0) above Max: it is pulled back to Max.
    f.EdtAxisMin = "-1";
    f.EdtAxisMax = "-1e-20";
    f.CbxNumRay = "4";
    read();
    EXPECT_EQ(row(4), "0");
    StrGrdPositClick(f, separator, sink);
    EXPECT_EQ(row(1), "-1");
    EXPECT_EQ(row(4), "-1E-20");
}

TEST_F(FieldInputsTest, OneRayAndNoRay)
{
    f.CbxNumRay = "1";
    EXPECT_EQ(positions(read()).heights, std::vector<double>{0.0});
    EXPECT_EQ(row(1), "   0.00000");
    EXPECT_EQ(row(2), "");

    f.ChkBxMinMax = true;
    EXPECT_EQ(positions(read()).heights, std::vector<double>{-25.0});
    EXPECT_EQ(row(1), "-25");

    f.ChkBxMinMax = false;
    f.CbxNumRay = "0";
    f.StrGrdPosit.setCell(1, "");
    const IncidentPositions none = positions(read());
    EXPECT_TRUE(none.heights.empty());
    EXPECT_EQ(FloatToStr(none.PosHalfRange), "49.9999999999995");
    EXPECT_EQ(row(0), "Max:  50.00000");
    EXPECT_EQ(row(1), "");
}

TEST_F(FieldInputsTest, LimitsOfTheTables)
{
    struct Case {
        const char* id;
        const char* minP;
        const char* maxP;
        const char* rays;
        int usedMinP, usedMaxP, usedRays;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"at the limits", "0", "50", "5000", 0, 50, 5000, {}},
        {"order above", "0", "51", "20", 0, 50, 20, {"The max order p is limited to 50"}},
        {"rays above", "0", "4", "5001", 0, 4, 5000, {"The number of rays must be less than 5000"}},
        {"both above, in reading order", "2", "2147483647", "100000", 2, 50, 5000,
         {"The max order p is limited to 50", "The number of rays must be less than 5000"}},
        {"negative lowest order", "-3", "4", "20", 0, 4, 20, {}},
    };
    for (const Case& c : cases) {
        f.EdtMinp = c.minP;
        f.EdtMaxp = c.maxP;
        f.CbxNumRay = c.rays;
        sink.messages.clear();
        const PictureInputs in = read();
        EXPECT_EQ(in.MinP, c.usedMinP) << c.id;
        EXPECT_EQ(in.MaxP, c.usedMaxP) << c.id;
        EXPECT_EQ(in.NumRays, c.usedRays) << c.id;
        EXPECT_EQ(sink.messages, c.messages) << c.id;
        EXPECT_EQ(f.EdtMaxp, c.maxP) << c.id;  // the field keeps what was typed
        EXPECT_EQ(f.CbxNumRay, c.rays) << c.id;
    }

    // The largest count fills rows 1..5000 and runs from -PosHalfRange to +PosHalfRange;
    // one more ray adds nothing.
    for (const char* rays : {"5000", "5001"}) {
        f.CbxNumRay = rays;
        CbxNumRayChange(f, separator, sink);
        EXPECT_EQ(row(5000), "  50.00000") << rays;
        EXPECT_EQ(row(5001), "") << rays;
    }
}

TEST_F(FieldInputsTest, AConversionErrorTakesNothingOver)
{
    read();
    const std::string header = row(0);
    const std::string first = row(1);
    f.EdtRadius_a = "40";
    f.EdtRadius_c = "30";
    f.EdtWl = "green";
    try {
        read();
        FAIL() << "a word read as a wavelength";
    } catch (const ConversionError& e) {
        EXPECT_NE(std::string(e.what()).find("green"), std::string::npos) << e.what();
    }
    EXPECT_EQ(row(0), header);
    EXPECT_EQ(row(1), first);
}

TEST_F(FieldInputsTest, EveryFieldIsConverted)
{
    // An empty text or a fraction where an integer belongs fails in each field.
    struct Case {
        const char* id;
        std::string Fields::*field;
        const char* text;
    };
    const Case cases[] = {
        {"radius a", &Fields::EdtRadius_a, ""},        {"radius b", &Fields::EdtRadius_b, "5O"},
        {"radius c", &Fields::EdtRadius_c, "50 µm"},   {"index re", &Fields::Edtmr, "1.333i"},
        {"index im", &Fields::Edtmi, "-"},             {"min p", &Fields::EdtMinp, "0.5"},
        {"max p", &Fields::EdtMaxp, "4.0"},            {"rays", &Fields::CbxNumRay, "twenty"},
        {"angle", &Fields::EdtIncAng, "30°"},          {"polarisation", &Fields::CbxPol, "1.0"},
        {"size", &Fields::LblEdtSizeEll, "0,5"},       {"incident rays", &Fields::LblEdtNumRays, "many"},
        {"angles", &Fields::LblEdtNumSca, "1.5"},
    };
    for (const Case& c : cases) {
        auto fields = std::make_unique<Fields>();
        (*fields).*c.field = c.text;
        EXPECT_THROW(ReadDiagramInputs(*fields, '.', sink), ConversionError) << c.id;
    }
    auto minMax = std::make_unique<Fields>();
    minMax->ChkBxMinMax = true;
    minMax->EdtAxisMax = "top";
    EXPECT_THROW(ReadPictureInputs(*minMax, '.', sink), ConversionError);
    minMax->ChkBxMinMax = false;  // the axis fields are read only in their mode
    EXPECT_NO_THROW(ReadPictureInputs(*minMax, '.', sink));
}

TEST_F(FieldInputsTest, ParticleAndWaveMustBePhysical)
{
    struct Case {
        std::string Fields::*field;
        const char* text;
        const char* message;  // empty: accepted
    };
    const Case cases[] = {
        {&Fields::EdtRadius_a, "0", "Radius a must be positive."},
        {&Fields::EdtRadius_b, "-50", "Radius b must be positive."},
        {&Fields::EdtRadius_c, "0", "Radius c must be positive."},
        {&Fields::EdtRadius_c, "-0", "Radius c must be positive."},
        {&Fields::EdtWl, "0", "Wavelength must be positive."},
        {&Fields::EdtWl, "-0.6328", "Wavelength must be positive."},
        {&Fields::Edtmr, "0", "Refractive index (real part) must be positive."},
        {&Fields::Edtmr, "-1.333", "Refractive index (real part) must be positive."},
        {&Fields::EdtIncAng, "90", "The incident angle must lie between -90 and 90 degrees."},
        {&Fields::EdtIncAng, "-90", "The incident angle must lie between -90 and 90 degrees."},
        {&Fields::EdtIncAng, "180", "The incident angle must lie between -90 and 90 degrees."},
        {&Fields::EdtIncAng, "89.999", ""},
        {&Fields::EdtIncAng, "-89.999", ""},
        {&Fields::Edtmi, "-0.5", ""},
        {&Fields::Edtmr, "0.75", ""},  // a bubble
        {&Fields::EdtRadius_b, "1E-3", ""},
    };
    for (const Case& c : cases) {
        auto fields = std::make_unique<Fields>();
        (*fields).*c.field = c.text;
        fields->EdtMaxp = "60";
        sink.messages.clear();
        if (*c.message == '\0') {
            EXPECT_NO_THROW(ReadPictureInputs(*fields, '.', sink)) << c.text;
            continue;
        }
        const std::string header = fields->StrGrdPosit.cell(0);
        try {
            ReadPictureInputs(*fields, '.', sink);
            ADD_FAILURE() << c.text << " accepted";
        } catch (const InputError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        // Checked after all conversions and messages, before anything is derived or listed.
        EXPECT_EQ(sink.messages.size(), 1u) << c.text;
        EXPECT_EQ(fields->StrGrdPosit.cell(0), header) << c.text;
    }

    // A conversion error later in the fields comes first.
    auto both = std::make_unique<Fields>();
    both->EdtRadius_a = "0";
    both->LblEdtSizeEll = "big";
    EXPECT_THROW(ReadPictureInputs(*both, '.', sink), ConversionError);
}

TEST_F(FieldInputsTest, OverflowIsAnErrorAndTheGridKeepsItsRows)
{
    read();
    const std::string firstRow = row(1);

    f.EdtRadius_a = "1e200";  // its square overflows
    EXPECT_THROW(read(), MathError);
    EXPECT_EQ(row(1), firstRow);

    f.EdtRadius_a = "50";
    f.ChkBxMinMax = true;
    f.EdtAxisMin = "-1.5e308";
    f.EdtAxisMax = "1.5e308";  // Max - Min overflows
    EXPECT_THROW(read(), MathError);
    EXPECT_EQ(row(1), firstRow);
}

TEST_F(FieldInputsTest, DecimalCommaLocale)
{
    separator = ',';
    f.EdtWl = "0,6328";
    f.Edtmr = "1,333";
    f.Edtmi = "0,0";
    f.LblEdtSizeEll = "0,5";
    EXPECT_EQ(read().particle.Wavelength, 0.6328);
    EXPECT_EQ(row(0), "Max:  50,00000");
    EXPECT_EQ(row(2), " -44,73684");
    StrGrdPositClick(f, separator, sink);
    EXPECT_EQ(row(1), "-49,9999999999995");
    EXPECT_EQ(row(2), "-44,73684");
}

} // namespace
} // namespace orvane
