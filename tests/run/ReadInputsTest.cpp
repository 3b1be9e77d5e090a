// Taking the fields over into the run parameters, the ray positions of the picture and
// the two handlers of the position grid.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "numeric/Errors.h"
#include "numeric/Format.h"
#include "numeric/MessageSink.h"
#include "run/Fields.h"
#include "run/ReadInputs.h"

namespace orvane {
namespace {

constexpr double kPi = std::numbers::pi;

class ReadInputsTest : public ::testing::Test {
protected:
    // The state is large (5001 positions, 5002 grid rows): keep it off the stack.
    std::unique_ptr<TOrvaneState> stateOwner = std::make_unique<TOrvaneState>();
    std::unique_ptr<Fields> fieldsOwner = std::make_unique<Fields>();
    TOrvaneState& state = *stateOwner;
    TRunParams& p = state.P;
    Fields& f = *fieldsOwner;
    RecordingSink sink;

    const std::string& row(int r) const { return f.StrGrdPosit.cell(r); }
    void read() { ReadInputs(state, f, sink); }
};

TEST_F(ReadInputsTest, DefaultFieldsGiveTheDefaultParticleAndPositions)
{
    read();
    EXPECT_TRUE(sink.messages.empty());

    EXPECT_EQ(p.RadiusA, 50);
    EXPECT_EQ(p.RadiusB, 50);
    EXPECT_EQ(p.RadiusC, 50);
    EXPECT_EQ(p.IndexRe, 1.333);
    EXPECT_EQ(p.IndexIm, 0);
    EXPECT_EQ(p.Wavelength, 0.6328);
    EXPECT_EQ(p.MinP, 0);
    EXPECT_EQ(p.MaxP, 4);
    EXPECT_EQ(p.NumRays, 20);
    EXPECT_EQ(p.IncAngle, 0);
    EXPECT_EQ(p.Polar, 1);
    EXPECT_EQ(p.EllipsoidSize, 0.5);

    EXPECT_EQ(p.RadiusA2, 2500);
    EXPECT_EQ(p.RadiusB2, 2500);
    EXPECT_EQ(p.RadiusC2, 2500);
    EXPECT_EQ(p.AspectTerm, 0);
    EXPECT_EQ(p.WaveNumber, 2 * kPi / 0.6328);
    EXPECT_EQ(p.InnerWaveNumber, 1.333 * (2 * kPi / 0.6328));
    EXPECT_EQ(p.ShadowProduct, 2500);
    EXPECT_EQ(p.TanIncAngle, 0);
    EXPECT_EQ(p.PosLimit2, 2500);
    EXPECT_EQ(FloatToStr(p.PosHalfRange), "49.9999999999995");

    EXPECT_EQ(row(0), "Max:  50.00000");
    EXPECT_EQ(row(1), " -50.00000");
    EXPECT_EQ(row(2), " -44.73684");
    EXPECT_EQ(row(10), "  -2.63158");
    EXPECT_EQ(row(11), "   2.63158");
    EXPECT_EQ(row(20), "  50.00000");
    EXPECT_EQ(row(21), "");
    EXPECT_EQ(state.RayPos[0], -p.PosHalfRange);
    EXPECT_EQ(state.RayPos[19], p.PosHalfRange);
    EXPECT_EQ(state.RayPos[20], 0);
    for (int i = 0; i < 20; ++i)
        EXPECT_NEAR(state.RayPos[static_cast<std::size_t>(i)] + state.RayPos[static_cast<std::size_t>(19 - i)], 0, 1e-12) << i;
}

TEST_F(ReadInputsTest, OrderColours)
{
    read();
    const std::vector<TColor> first = {0x00FF00, 0x0000FF, 0xFF0000, 0x008000, 0x00FFFF, 0x000080,
                                       0x808000, 0x800080, 0x800000, 0xC0C0C0, 0x808080};
    for (int k = 0; k <= 10; ++k)
        EXPECT_EQ(state.OrderColor[static_cast<std::size_t>(k)], first[static_cast<std::size_t>(k)]) << k;
    for (int k = 11; k <= 20; ++k)
        EXPECT_EQ(state.OrderColor[static_cast<std::size_t>(k)], first[static_cast<std::size_t>(k - 10)]) << k;
    for (int k = 21; k <= kMaxOrder; ++k)
        EXPECT_EQ(state.OrderColor[static_cast<std::size_t>(k)], 0u) << k;
}

TEST_F(ReadInputsTest, ObliqueIncidenceOnAFlattenedEllipse)
{
    f.EdtRadius_c = "25";
    f.EdtIncAng = "30";
    read();
    const double angle = 30 * (kPi / 180);
    EXPECT_EQ(p.IncAngle, angle);
    EXPECT_EQ(p.AspectTerm, 3);
    EXPECT_EQ(p.TanIncAngle, std::tan(angle));
    EXPECT_NEAR(p.PosLimit2, 2708.333333333333, 1e-9);
    EXPECT_NEAR(p.ShadowProduct, std::sqrt(12.5 * 12.5 + 1875.0) * 50, 1e-9);
    EXPECT_EQ(row(0), "Max:  52.04165");
    EXPECT_EQ(row(20), "  52.04165");
}

TEST_F(ReadInputsTest, GridClickShowsTheShortestFormPulledInsideTheBounds)
{
    read();
    f.StrGrdPosit.setCell(5, "typed by the user");  // regenerated before it is read
    StrGrdPositClick(state, f, sink);
    EXPECT_EQ(row(0), "Max:  50.00000");
    EXPECT_EQ(row(1), "-49.9999999999995");
    EXPECT_EQ(row(2), "-44.73684");
    EXPECT_EQ(row(5), "-28.94737");
    EXPECT_EQ(row(20), "49.9999999999995");
    EXPECT_EQ(state.RayPos[0], -p.PosHalfRange);
    EXPECT_EQ(state.RayPos[1], -44.73684);
    EXPECT_EQ(state.RayPos[19], p.PosHalfRange);
    EXPECT_EQ(row(21), "");
}

TEST_F(ReadInputsTest, RayCountChangeClearsTheRowsBeyondTheLastRay)
{
    f.CbxNumRay = "24";
    read();
    EXPECT_EQ(row(24), "  50.00000");
    f.CbxNumRay = "20";
    CbxNumRayChange(state, f, sink);
    EXPECT_EQ(row(20), "  50.00000");
    for (int r = 21; r <= 24; ++r)
        EXPECT_EQ(row(r), "") << r;

    // Fewer than one ray: every position row goes, the header stays.
    for (const char* count : {"0", "-5"}) {
        f.CbxNumRay = count;
        CbxNumRayChange(state, f, sink);
        EXPECT_EQ(row(0), "Max:  50.00000") << count;
        for (int r = 1; r <= 24; ++r)
            EXPECT_EQ(row(r), "") << count << " row " << r;
    }

    // Rows past the visible ones are not the handler's to clear.
    f.CbxNumRay = "30";
    read();
    f.CbxNumRay = "28";
    CbxNumRayChange(state, f, sink);
    EXPECT_FALSE(row(24).empty());
    EXPECT_FALSE(row(30).empty());
}

TEST_F(ReadInputsTest, MinMaxModeSpreadsRaysBetweenTheEnteredEnds)
{
    f.ChkBxMinMax = true;
    f.CbxNumRay = "3";
    f.StrGrdPosit.setCell(0, "header");
    read();
    EXPECT_EQ(row(0), "header");  // not rewritten in this mode
    EXPECT_EQ(row(1), "-25");
    EXPECT_EQ(row(2), "0");
    EXPECT_EQ(row(3), "25");
    EXPECT_EQ(state.RayPos[0], -25);
    EXPECT_EQ(state.RayPos[1], 0);
    EXPECT_EQ(state.RayPos[2], 25);
    EXPECT_EQ(p.PosHalfRange, 25);  // the spacing

    // Outside the ellipse and in falling order: taken as entered.
    f.EdtAxisMin = "100";
    f.EdtAxisMax = "0";
    read();
    EXPECT_EQ(row(1), "100");
    EXPECT_EQ(row(2), "50");
    EXPECT_EQ(row(3), "0");
    EXPECT_EQ(p.PosHalfRange, -50);
}

TEST_F(ReadInputsTest, MinMaxGridClickKeepsPositionsBetweenMinAndMax)
{
    // The spacing (50) is no bound for positions running from 0 to 100.
    f.ChkBxMinMax = true;
    f.CbxNumRay = "3";
    f.EdtAxisMin = "0";
    f.EdtAxisMax = "100";
    StrGrdPositClick(state, f, sink);
    EXPECT_EQ(row(1), "0");
    EXPECT_EQ(row(2), "50");
    EXPECT_EQ(row(3), "100");
    EXPECT_EQ(state.RayPos[2], 100);

    f.EdtAxisMin = "100";
    f.EdtAxisMax = "0";
    StrGrdPositClick(state, f, sink);
    EXPECT_EQ(row(1), "100");
    EXPECT_EQ(row(3), "0");

    // Rounding put the last position (1 - 1 = 0) above Max: it is pulled back to Max.
    f.EdtAxisMin = "-1";
    f.EdtAxisMax = "-1e-20";
    f.CbxNumRay = "4";
    read();
    EXPECT_EQ(row(4), "0");
    StrGrdPositClick(state, f, sink);
    EXPECT_EQ(row(1), "-1");
    EXPECT_EQ(row(4), "-1E-20");
    EXPECT_EQ(state.RayPos[3], -1e-20);
}

TEST_F(ReadInputsTest, OneRay)
{
    f.CbxNumRay = "1";
    read();
    EXPECT_EQ(state.RayPos[0], 0);
    EXPECT_EQ(row(1), "   0.00000");
    EXPECT_EQ(row(2), "");

    f.ChkBxMinMax = true;
    const double halfRange = p.PosHalfRange;
    read();
    EXPECT_EQ(state.RayPos[0], -25);
    EXPECT_EQ(row(1), "-25");
    EXPECT_EQ(p.PosHalfRange, halfRange);
}

TEST_F(ReadInputsTest, NoRays)
{
    f.CbxNumRay = "0";
    state.RayPos[0] = 7;
    read();
    EXPECT_EQ(row(0), "Max:  50.00000");
    EXPECT_EQ(row(1), "");
    EXPECT_EQ(state.RayPos[0], 7);
    EXPECT_EQ(FloatToStr(p.PosHalfRange), "49.9999999999995");
}

TEST_F(ReadInputsTest, LimitsOfTheTables)
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
        read();
        EXPECT_EQ(p.MinP, c.usedMinP) << c.id;
        EXPECT_EQ(p.MaxP, c.usedMaxP) << c.id;
        EXPECT_EQ(p.NumRays, c.usedRays) << c.id;
        EXPECT_EQ(sink.messages, c.messages) << c.id;
        EXPECT_EQ(f.EdtMaxp, c.maxP) << c.id;  // the field keeps what was typed
        EXPECT_EQ(f.CbxNumRay, c.rays) << c.id;
    }

    // The largest count fills rows 1..5000 and runs from -PosHalfRange to +PosHalfRange;
    // one more ray adds nothing.
    for (const char* rays : {"5000", "5001"}) {
        f.CbxNumRay = rays;
        CbxNumRayChange(state, f, sink);
        EXPECT_EQ(row(5000), "  50.00000") << rays;
        EXPECT_EQ(row(5001), "") << rays;
        EXPECT_EQ(state.RayPos[0], -p.PosHalfRange) << rays;
        EXPECT_EQ(state.RayPos[4999], p.PosHalfRange) << rays;
        EXPECT_EQ(state.RayPos[5000], 0) << rays;
    }
}

TEST_F(ReadInputsTest, ConversionErrorStopsAtTheFailingField)
{
    read();
    const TRunParams before = p;
    const std::string header = row(0);
    f.EdtRadius_a = "40";
    f.EdtRadius_c = "30";
    f.Edtmr = "1.5";
    f.Edtmi = "0.01";
    f.EdtWl = "green";
    f.EdtMaxp = "9";
    f.EdtIncAng = "10";
    try {
        read();
        FAIL() << "a word read as a wavelength";
    } catch (const EConvertError& e) {
        EXPECT_NE(std::string(e.what()).find("green"), std::string::npos) << e.what();
    }
    EXPECT_EQ(p.RadiusA, 40);
    EXPECT_EQ(p.RadiusC, 30);
    EXPECT_EQ(p.IndexRe, 1.5);
    EXPECT_EQ(p.IndexIm, 0.01);
    EXPECT_EQ(p.Wavelength, before.Wavelength);
    EXPECT_EQ(p.MaxP, before.MaxP);
    EXPECT_EQ(p.IncAngle, before.IncAngle);
    EXPECT_EQ(p.RadiusA2, before.RadiusA2);
    EXPECT_EQ(p.AspectTerm, before.AspectTerm);
    EXPECT_EQ(p.InnerWaveNumber, before.InnerWaveNumber);
    EXPECT_EQ(p.PosHalfRange, before.PosHalfRange);
    EXPECT_EQ(row(0), header);
}

TEST_F(ReadInputsTest, EveryFieldIsConverted)
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
        {"size", &Fields::LblEdtSizeEll, "0,5"},
    };
    for (const Case& c : cases) {
        Fields fields;
        fields.*c.field = c.text;
        EXPECT_THROW(ReadInputs(state, fields, sink), EConvertError) << c.id;
    }
    Fields minMax;
    minMax.ChkBxMinMax = true;
    minMax.EdtAxisMax = "top";
    EXPECT_THROW(ReadInputs(state, minMax, sink), EConvertError);
    minMax.ChkBxMinMax = false;  // the axis fields are read only in their mode
    EXPECT_NO_THROW(ReadInputs(state, minMax, sink));
}

TEST_F(ReadInputsTest, ParticleAndWaveMustBePhysical)
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
        Fields fields;
        read();
        const TRunParams before = p;
        fields.*c.field = c.text;
        fields.EdtMaxp = "60";
        sink.messages.clear();
        if (*c.message == '\0') {
            EXPECT_NO_THROW(ReadInputs(state, fields, sink)) << c.text;
            continue;
        }
        try {
            ReadInputs(state, fields, sink);
            ADD_FAILURE() << c.text << " accepted";
        } catch (const EInputError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        // Checked after all conversions and messages, before anything is derived.
        EXPECT_EQ(sink.messages.size(), 1u) << c.text;
        EXPECT_EQ(p.MaxP, 50) << c.text;
        EXPECT_EQ(p.RadiusA2, before.RadiusA2) << c.text;
        EXPECT_EQ(p.WaveNumber, before.WaveNumber) << c.text;
        EXPECT_EQ(p.PosLimit2, before.PosLimit2) << c.text;
    }

    // A conversion error later in the fields comes first.
    Fields both;
    both.EdtRadius_a = "0";
    both.LblEdtSizeEll = "big";
    EXPECT_THROW(ReadInputs(state, both, sink), EConvertError);
}

TEST_F(ReadInputsTest, OverflowLeavesDerivedValuesAndPositions)
{
    read();
    const TRunParams before = p;
    const double firstPosition = state.RayPos[0];
    const std::string firstRow = row(1);

    f.EdtRadius_a = "1e200";  // its square overflows
    EXPECT_THROW(read(), EMathError);
    EXPECT_EQ(p.RadiusA2, before.RadiusA2);
    EXPECT_EQ(p.PosHalfRange, before.PosHalfRange);
    EXPECT_EQ(state.RayPos[0], firstPosition);

    f.EdtRadius_a = "50";
    f.ChkBxMinMax = true;
    f.EdtAxisMin = "-1.5e308";
    f.EdtAxisMax = "1.5e308";  // Max - Min overflows
    EXPECT_THROW(read(), EMathError);
    EXPECT_EQ(p.PosHalfRange, before.PosHalfRange);
    EXPECT_EQ(state.RayPos[0], firstPosition);
    EXPECT_EQ(row(1), firstRow);
    for (int i = 0; i < 20; ++i)
        EXPECT_TRUE(std::isfinite(state.RayPos[static_cast<std::size_t>(i)])) << i;
}

TEST_F(ReadInputsTest, DecimalCommaLocale)
{
    SetDecimalSeparator(',');
    f.EdtWl = "0,6328";
    f.Edtmr = "1,333";
    f.Edtmi = "0,0";
    f.LblEdtSizeEll = "0,5";
    try {
        read();
        EXPECT_EQ(p.Wavelength, 0.6328);
        EXPECT_EQ(row(0), "Max:  50,00000");
        EXPECT_EQ(row(2), " -44,73684");
        StrGrdPositClick(state, f, sink);
        EXPECT_EQ(row(1), "-49,9999999999995");
        EXPECT_EQ(state.RayPos[1], -44.73684);
    } catch (...) {
        SetDecimalSeparator('.');
        throw;
    }
    SetDecimalSeparator('.');
}

} // namespace
} // namespace orvane
