#include "output/EpsFile.h"

#include "base/Format.h"

namespace orvane {

const EpsColorTable& EpsColors()
{
    static const EpsColorTable kColors = [] {
        EpsColorTable colors;
        const char* const first[11] = {
            "0 0 0 sc",   "0 1 0 sc", "1 0 0 sc", "0 0 1 sc", "0 0.5 0 sc", "1 1 0 sc",
            "0.5 0 0 sc", "0 0 0 sc", "0 0 0 sc", "0 0 0 sc", "0 1 1 sc",
        };
        for (int i = 0; i < 11; ++i)
            colors[static_cast<std::size_t>(i)] = first[i];
        return colors;
    }();
    return kColors;
}

const std::string& EpsOrderColor(int p)
{
    static const std::string kNone;
    return p + 1 < kOrderCount ? EpsColors()[static_cast<std::size_t>(p + 1)] : kNone;
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

namespace {

void WriteHeader(TextWriter& out, int W, int H)
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
}

// Axes: dash-dot lines through (Xc, Yc) across the frame, then the dotted pattern. The outline:
// a circle of radius S·RadiusC in a frame squeezed vertically by RadiusA/RadiusC, then solid
// lines again.
void WriteFrame(TextWriter& out, const Picture& pic, char separator)
{
    const EpsColorTable& color = EpsColors();
    out.writeLine(color[0]);
    out.writeLine("[12 6 3 6] 0 sd");
    out.writeLine(Format("newpath 0 %d m", {pic.Yc}));
    out.writeLine(Format("%d %d l", {pic.W, pic.Yc}));
    out.writeLine(Format("%d 0 m", {pic.Xc}));
    out.writeLine(Format("%d %d l st", {pic.Xc, pic.H}));
    out.writeLine("[3] 0 sd");
    out.writeLine(Format("%5.3f %5.3f scale ", {1.0, pic.RadiusA / pic.RadiusC}, separator));
    out.writeLine(Format("newpath %d %d %d 0 360 arc ", {pic.Xc, TruncToInt64(pic.Yc * pic.RadiusC / pic.RadiusA),
                                                         TruncToInt64(pic.S * pic.RadiusC)}));
    out.writeLine("st");
    out.writeLine(Format("%5.3f %5.3f scale", {1.0, pic.RadiusC / pic.RadiusA}, separator));
    out.writeLine("[] 0 sd");
}

void WriteRay(TextWriter& out, const Picture& pic, const PicturePath& ray)
{
    const EpsColorTable& color = EpsColors();
    auto segment = [&](const PicturePoint& from, const PicturePoint& to) {
        out.writeLine(EpsSegment(pic.W, pic.H, from.x, from.y, to.x, to.y));
    };
    out.writeLine(color[1]);
    if (ray.reflectedEnd)
        segment(ray.entry, *ray.reflectedEnd);
    out.writeLine(color[10]);
    segment(ray.start, ray.entry);
    PicturePoint from = ray.entry;
    for (std::size_t c = 0; c < ray.chords.size(); ++c) {
        const PicturePath::Chord& chord = ray.chords[c];
        out.writeLine(EpsOrderColor(static_cast<int>(c) + 1));
        segment(from, chord.end);
        if (chord.emergentEnd)
            segment(chord.end, *chord.emergentEnd);
        from = chord.end;
    }
}

} // namespace

void WriteEpsFile(const Picture& pic, TextWriter& out, char separator)
{
    WriteHeader(out, pic.W, pic.H);
    WriteFrame(out, pic, separator);
    for (const PicturePath& ray : pic.rays)
        WriteRay(out, pic, ray);
    out.writeLine(EpsColors()[3]);
    out.writeLine("/Times-Roman ff 20.00 scf sf");
    out.writeLine(Format("%d %d m", {pic.W - 150, pic.Yc + 10}));
    out.writeLine(pic.symmetric ? "gs (Symetric axis) show gr" : "gs (Reference axis) show gr");
    out.writeLine("showpage");
    out.writeLine("%%Trailer");
    out.close();
}

} // namespace orvane
