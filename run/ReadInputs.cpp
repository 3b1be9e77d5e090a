#include "run/ReadInputs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <string>

#include "numeric/Errors.h"
#include "numeric/Format.h"
#include "numeric/FpGuard.h"
#include "numeric/MessageSink.h"

namespace orvane {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegToRad = kPi / 180.0;
// Keeps the outermost rays just inside the two grazing heights, so that every ray of the
// picture still meets the ellipse.
constexpr double kInsideGrazing = 0.99999999999999;
// The last row of the grid that the window shows.
constexpr int kLastVisibleRow = PositionGrid::kVisibleRows - 1;

// Screen colours of the orders as 0x00BBGGRR: lime, red, blue, green, yellow, maroon,
// teal, purple, navy, silver, gray; orders 11 to 20 repeat 1 to 10, the rest stay black.
void SetOrderColors(std::array<TColor, kOrderCount>& color)
{
    color[0] = 0x00FF00;
    color[1] = 0x0000FF;
    color[2] = 0xFF0000;
    color[3] = 0x008000;
    color[4] = 0x00FFFF;
    color[5] = 0x000080;
    color[6] = 0x808000;
    color[7] = 0x800080;
    color[8] = 0x800000;
    color[9] = 0xC0C0C0;
    color[10] = 0x808080;
    for (int p = 11; p <= 20; ++p)
        color[static_cast<std::size_t>(p)] = color[static_cast<std::size_t>(p - 10)];
}

void RequirePositive(double value, const char* name)
{
    if (!(value > 0.0))
        throw EInputError(std::string(name) + " must be positive.");
}

// The particle's size, the wavelength and the medium must be physical, and the light must
// come from the left: an angle of ±90° or beyond would make it enter on the far side.
void CheckParticleAndWave(const TRunParams& p, double incAngleDeg)
{
    RequirePositive(p.RadiusA, "Radius a");
    RequirePositive(p.RadiusB, "Radius b");
    RequirePositive(p.RadiusC, "Radius c");
    RequirePositive(p.Wavelength, "Wavelength");
    RequirePositive(p.IndexRe, "Refractive index (real part)");
    if (!(incAngleDeg > -90.0 && incAngleDeg < 90.0))
        throw EInputError("The incident angle must lie between -90 and 90 degrees.");
}

// The squared semi-axes, the wave numbers outside and inside the particle, the shadow and
// the grazing height of the incident direction. All of them are formed first and stored
// only when no floating-point fault arose, so that the state never holds an infinity.
void ComputeDerived(TRunParams& p)
{
    ClearFpFaults();
    const double radiusA2 = p.RadiusA * p.RadiusA;
    const double radiusB2 = p.RadiusB * p.RadiusB;
    const double radiusC2 = p.RadiusC * p.RadiusC;
    const double aspectTerm = radiusA2 / radiusC2 - 1.0;
    const double waveNumber = 2.0 * kPi / p.Wavelength;
    const double innerWaveNumber = p.IndexRe * waveNumber;
    const double shadowZ = std::sin(p.IncAngle) * p.RadiusC;
    const double shadowX = std::cos(p.IncAngle) * p.RadiusA;
    const double shadowProduct = std::sqrt(shadowZ * shadowZ + shadowX * shadowX) * p.RadiusB;
    const double tanIncAngle = std::tan(p.IncAngle);
    const double posLimit2 = radiusC2 * tanIncAngle * tanIncAngle + radiusA2;
    CheckFpFaults();
    for (const double value : {radiusA2, radiusB2, radiusC2, aspectTerm, waveNumber, innerWaveNumber, shadowProduct,
                               tanIncAngle, posLimit2})
        CheckFinite(value);

    p.RadiusA2 = radiusA2;
    p.RadiusB2 = radiusB2;
    p.RadiusC2 = radiusC2;
    p.AspectTerm = aspectTerm;
    p.WaveNumber = waveNumber;
    p.InnerWaveNumber = innerWaveNumber;
    p.ShadowProduct = shadowProduct;
    p.TanIncAngle = tanIncAngle;
    p.PosLimit2 = posLimit2;
}

// Positions of the picture's incident rays on the vertical axis, with their grid rows.
// Min/Max mode: n rays evenly from Min to Max, PosHalfRange holding the spacing.
// Default mode: n rays evenly across the ellipse's cross-section seen along the incident
// direction, PosHalfRange the outermost one.
void GeneratePositions(TOrvaneState& state, Fields& fields)
{
    TRunParams& p = state.P;
    const int n = p.NumRays;
    std::array<double, kRaySlots> pos{};
    double halfRange = p.PosHalfRange;

    if (fields.ChkBxMinMax) {
        const double min = StrToFloat(fields.EdtAxisMin);
        const double max = StrToFloat(fields.EdtAxisMax);
        ClearFpFaults();
        if (n == 1) {
            pos[0] = min;
        } else if (n >= 2) {
            halfRange = (max - min) / (n - 1);
            for (int i = 0; i < n; ++i)
                pos[static_cast<std::size_t>(i)] = i * halfRange + min;
        }
    } else {
        ClearFpFaults();
        halfRange = std::sqrt(p.PosLimit2) * kInsideGrazing;
        if (n == 1) {
            pos[0] = 0.0;
        } else if (n >= 2) {
            for (int i = 0; i < n; ++i)
                pos[static_cast<std::size_t>(i)] = 2 * i * halfRange / (n - 1) - halfRange;
        }
    }
    CheckFpFaults();
    CheckFinite(halfRange);
    for (int i = 0; i < n; ++i)
        CheckFinite(pos[static_cast<std::size_t>(i)]);

    p.PosHalfRange = halfRange;
    if (!fields.ChkBxMinMax)
        fields.StrGrdPosit.setCell(0, Format("Max:%10.5f", {halfRange}));
    for (int i = 0; i < n; ++i) {
        const double x = pos[static_cast<std::size_t>(i)];
        state.RayPos[static_cast<std::size_t>(i)] = x;
        fields.StrGrdPosit.setCell(i + 1, fields.ChkBxMinMax ? FloatToStr(x) : Format("%10.5f", {x}));
    }
}

} // namespace

void ReadInputs(TOrvaneState& state, Fields& fields, MessageSink& sink)
{
    TRunParams& p = state.P;

    SetOrderColors(state.OrderColor);

    // The conversions store each value as soon as it is read: a field that is not a number
    // stops the reading there, with the earlier values taken over and the later ones as
    // they were.
    p.RadiusA = StrToFloat(fields.EdtRadius_a);
    p.RadiusB = StrToFloat(fields.EdtRadius_b);
    p.RadiusC = StrToFloat(fields.EdtRadius_c);
    p.IndexRe = StrToFloat(fields.Edtmr);
    p.IndexIm = StrToFloat(fields.Edtmi);
    p.Wavelength = StrToFloat(fields.EdtWl);

    // The per-order tables hold orders 0 to 50: the range used is cut to them.
    p.MinP = std::max(StrToInt(fields.EdtMinp), 0);
    p.MaxP = StrToInt(fields.EdtMaxp);
    if (p.MaxP > kMaxOrder) {
        sink.show("The max order p is limited to " + IntToStr(kMaxOrder));
        p.MaxP = kMaxOrder;
    }

    p.NumRays = StrToInt(fields.CbxNumRay);
    if (p.NumRays > kMaxRays) {
        sink.show("The number of rays must be less than " + IntToStr(kMaxRays));
        p.NumRays = kMaxRays;
    }

    const double incAngleDeg = StrToFloat(fields.EdtIncAng);
    p.IncAngle = incAngleDeg * kDegToRad;
    p.Polar = StrToInt(fields.CbxPol);
    p.EllipsoidSize = StrToFloat(fields.LblEdtSizeEll);

    CheckParticleAndWave(p, incAngleDeg);
    ComputeDerived(p);
    GeneratePositions(state, fields);
}

void CbxNumRayChange(TOrvaneState& state, Fields& fields, MessageSink& sink)
{
    ReadInputs(state, fields, sink);
    // The grid lists no position beyond the last ray; the header row stays.
    for (int row = std::max(state.P.NumRays + 1, 1); row <= kLastVisibleRow; ++row)
        fields.StrGrdPosit.setCell(row, std::string());
}

void StrGrdPositClick(TOrvaneState& state, Fields& fields, MessageSink& sink)
{
    ReadInputs(state, fields, sink);

    // Bounds of a shown position: ±the outermost position in the default mode, the range
    // between Min and Max (in either order) in the Min/Max mode. The rows were just
    // rewritten from the fields, so they convert; rounding to the shown digits may have
    // pushed an end position past its bound, which pulls it back.
    double lower = -state.P.PosHalfRange;
    double upper = state.P.PosHalfRange;
    if (fields.ChkBxMinMax) {
        const double min = StrToFloat(fields.EdtAxisMin);
        const double max = StrToFloat(fields.EdtAxisMax);
        lower = std::min(min, max);
        upper = std::max(min, max);
    }

    for (int i = 0; i < state.P.NumRays; ++i) {
        double x = StrToFloat(fields.StrGrdPosit.cell(i + 1));
        if (x > upper)
            x = upper;
        if (x < lower)
            x = lower;
        fields.StrGrdPosit.setCell(i + 1, FloatToStr(x));
        state.RayPos[static_cast<std::size_t>(i)] = x;
    }
}

} // namespace orvane
