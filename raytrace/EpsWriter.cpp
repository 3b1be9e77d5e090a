#include "raytrace/EpsWriter.h"

#include <cmath>

#include "numeric/Errors.h"
#include "numeric/Format.h"

namespace orvane {

std::int64_t TruncToInt64(double value)
{
    // 2^63 is exact in double; every double strictly inside (−2^63, 2^63) truncates to an
    // int64. A NaN fails both comparisons.
    constexpr double kLimit = 9223372036854775808.0;
    if (!(value > -kLimit && value < kLimit))
        throw EMathError("Invalid floating point operation");
    return static_cast<std::int64_t>(value);
}

void WriteEpsHeader(TextWriter& out, int W, int H, TEpsColors& EpsColor)
{
    out.writeLine("%!PS-Adobe-2.0 EPSF-2.0");
    out.writeLine("%%Creator: Software: Orvane");
    out.writeLine("%%Title: Orvane.eps");
    out.writeLine(Format("%%%%BoundingBox: 0 0 %d %d", {W, H}));
    out.writeLine("%%EndComments");
    out.writeLine("%%BeginProlog");
    out.writeLine("/gr {grestore} def ");
    out.writeLine("/gs {gsave} def ");
    out.writeLine("/m {moveto} def ");
    out.writeLine("/l {lineto} def");
    out.writeLine("/st {stroke} def ");
    out.writeLine("/sc {setrgbcolor} def");
    out.writeLine("/np {newpath} def");
    out.writeLine("/cp {closepath} def");
    out.writeLine("/sd {setdash} def");
    out.writeLine("/ff {findfont} def");
    out.writeLine("/sf {setfont} def");
    out.writeLine("/scf {scalefont} def");
    out.writeLine("%%EndProlog");
    out.writeLine("1 setlinecap");
    out.writeLine("1 setlinewidth");
    out.writeLine("1 1 scale");

    // Index 0 draws the frame, index p + 1 the order p; index 10 also every incident ray.
    static const char* const kColors[11] = {
        "0 0 0 sc",   "0 1 0 sc", "1 0 0 sc", "0 0 1 sc", "0 0.5 0 sc", "1 1 0 sc",
        "0.5 0 0 sc", "0 0 0 sc", "0 0 0 sc", "0 0 0 sc", "0 1 1 sc",
    };
    for (int i = 0; i < 11; ++i)
        EpsColor[i] = kColors[i];
}

std::string EpsSegment(int W, int H, double x1, double y1, double x2, double y2)
{
    // Bring the end onto the border it crosses, along the segment's own line. A segment
    // parallel to the border it lies beyond never meets it and keeps its end.
    if (x2 != x1) {
        if (x2 < 0) {
            y2 = y1 - (y2 - y1) * x1 / (x2 - x1);
            x2 = 0;
        } else if (x2 > W) {
            y2 = y1 + (y2 - y1) * (W - x1) / (x2 - x1);
            x2 = W;
        }
    }
    if (y2 != y1) {
        if (y2 < 0) {
            x2 = x1 - (x2 - x1) * y1 / (y2 - y1);
            y2 = 0;
        } else if (y2 > H) {
            x2 = x1 + (x2 - x1) * (H - y1) / (y2 - y1);
            y2 = H;
        }
    }
    return Format("%d %d m %d %d l st", {TruncToInt64(x1), TruncToInt64(H - y1), TruncToInt64(x2),
                                         TruncToInt64(H - y2)});
}

const std::string& EpsOrderColor(const TEpsColors& EpsColor, int p)
{
    static const std::string kNone;
    return p + 1 < kOrderCount ? EpsColor[p + 1] : kNone;
}

void WriteEpsAxes(TextWriter& out, const TEpsColors& EpsColor, int W, int H, int Xc, int Yc)
{
    out.writeLine(EpsColor[0]);
    out.writeLine("[12 6 3 6] 0 sd");
    out.writeLine(Format("newpath 0 %d m", {Yc}));
    out.writeLine(Format("%d %d l", {W, Yc}));
    out.writeLine(Format("%d 0 m", {Xc}));
    out.writeLine(Format("%d %d l st", {Xc, H}));
    out.writeLine("[3] 0 sd");
}

void WriteEpsEllipse(TextWriter& out, double RadiusA, double RadiusC, int Xc, int Yc, double S)
{
    out.writeLine(Format("%5.3f %5.3f scale ", {1.0, RadiusA / RadiusC}));
    out.writeLine(Format("newpath %d %d %d 0 360 arc ",
                         {Xc, TruncToInt64(Yc * RadiusC / RadiusA), TruncToInt64(S * RadiusC)}));
    out.writeLine("st");
    out.writeLine(Format("%5.3f %5.3f scale", {1.0, RadiusC / RadiusA}));
    out.writeLine("[] 0 sd");
}

void WriteEpsLabelAndTrailer(TextWriter& out, const TEpsColors& EpsColor, int W, int Yc, bool symmetric)
{
    out.writeLine(EpsColor[3]);
    out.writeLine("/Times-Roman ff 20.00 scf sf");
    out.writeLine(Format("%d %d m", {W - 150, Yc + 10}));
    out.writeLine(symmetric ? "gs (Symetric axis) show gr" : "gs (Reference axis) show gr");
    out.writeLine("showpage");
    out.writeLine("%%Trailer");
}

} // namespace orvane
