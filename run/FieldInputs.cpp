#include "run/FieldInputs.h"

#include <algorithm>
#include <string>

#include "numeric/Angles.h"
#include "base/Format.h"
#include "base/MessageSink.h"

namespace orvane {

namespace {

// The last row of the grid that the window shows.
constexpr int kLastVisibleRow = PositionGrid::kVisibleRows - 1;

std::optional<PositionRange> ReadRange(const Fields& f, char sep)
{
    if (!f.ChkBxMinMax)
        return std::nullopt;
    PositionRange range;
    range.Min = StrToFloat(f.EdtAxisMin, sep);
    range.Max = StrToFloat(f.EdtAxisMax, sep);
    return range;
}

} // namespace

PictureInputs ReadPictureInputs(Fields& f, char sep, MessageSink& sink)
{
    PictureInputs in;
    ParticleInputs& p = in.particle;
    p.RadiusA = StrToFloat(f.EdtRadius_a, sep);
    p.RadiusB = StrToFloat(f.EdtRadius_b, sep);
    p.RadiusC = StrToFloat(f.EdtRadius_c, sep);
    p.IndexRe = StrToFloat(f.Edtmr, sep);
    p.IndexIm = StrToFloat(f.Edtmi, sep);
    p.Wavelength = StrToFloat(f.EdtWl, sep);
    // The tables hold orders 0 to 50 and 5000 rays: what is asked beyond is told and cut.
    in.MinP = LimitMinOrder(StrToInt(f.EdtMinp));
    in.MaxP = LimitMaxOrder(StrToInt(f.EdtMaxp), sink);
    in.NumRays = LimitPictureRays(StrToInt(f.CbxNumRay), sink);
    p.IncAngle = ToRadians(StrToFloat(f.EdtIncAng, sep));
    p.Polar = StrToInt(f.CbxPol);
    in.EllipsoidSize = StrToFloat(f.LblEdtSizeEll, sep);
    CheckParticle(p);
    in.range = ReadRange(f, sep);
    in.ShowEmergent = f.ChBxEmergRay;
    ShowPicturePositions(in, f, sep);
    return in;
}

DiagramInputs ReadDiagramInputs(Fields& f, char sep, MessageSink& sink)
{
    const PictureInputs picture = ReadPictureInputs(f, sep, sink);
    // The orders are known first: a range that holds none ends the run before anything else.
    CheckOrderRange(picture.MinP, picture.MaxP);
    DiagramInputs in;
    in.particle = picture.particle;
    in.MinP = picture.MinP;
    in.MaxP = picture.MaxP;
    in.range = picture.range;
    in.NumIncRays = StrToInt(f.LblEdtNumRays);
    in.NumScaRays = StrToInt(f.LblEdtNumSca);
    in.TotalIntensity = f.ChBxTotalInt;
    in.Diffraction = f.ChBxDiff;
    in.Airy = f.ChBxAiry;
    in.ExactMie = f.CompareExact;
    in.ExactDebye = f.CompareDebye;
    in.UniformRainbow = f.ChBxUniformRainbow;
    in.EntryFresnel = f.ChBxEntryFresnel;
    in.SharpDiffraction = f.ChBxSharpDiff;
    CheckDiagramCounts(in, f.ChBxCheck, sink);
    return in;
}

void ShowPicturePositions(const PictureInputs& in, Fields& f, char sep)
{
    const IncidentPositions positions = PicturePositions(MakeRunParams(in.particle), in.NumRays, in.range);
    if (!in.range)
        f.StrGrdPosit.setCell(0, Format("Max:%10.5f", {positions.PosHalfRange}, sep));
    for (std::size_t i = 0; i < positions.heights.size(); ++i) {
        const double x = positions.heights[i];
        f.StrGrdPosit.setCell(static_cast<int>(i) + 1, in.range ? FloatToStr(x, sep) : Format("%10.5f", {x}, sep));
    }
}

void CbxNumRayChange(Fields& f, char sep, MessageSink& sink)
{
    const PictureInputs in = ReadPictureInputs(f, sep, sink);
    // The grid lists no position beyond the last ray; the header row stays.
    for (int row = std::max(in.NumRays + 1, 1); row <= kLastVisibleRow; ++row)
        f.StrGrdPosit.setCell(row, std::string());
}

void StrGrdPositClick(Fields& f, char sep, MessageSink& sink)
{
    const PictureInputs in = ReadPictureInputs(f, sep, sink);

    // Bounds of a shown position: ±the outermost position in the default mode, the range
    // between Min and Max (in either order) in the Min/Max mode. The rows were just rewritten
    // from the fields, so they convert; rounding to the shown digits may have pushed an end
    // position past its bound, which pulls it back.
    double lower = 0, upper = 0;
    if (in.range) {
        lower = std::min(in.range->Min, in.range->Max);
        upper = std::max(in.range->Min, in.range->Max);
    } else {
        upper = PicturePositions(MakeRunParams(in.particle), 0, std::nullopt).PosHalfRange;
        lower = -upper;
    }
    for (int i = 0; i < in.NumRays; ++i) {
        double x = StrToFloat(f.StrGrdPosit.cell(i + 1), sep);
        if (x > upper)
            x = upper;
        if (x < lower)
            x = lower;
        f.StrGrdPosit.setCell(i + 1, FloatToStr(x, sep));
    }
}

} // namespace orvane
