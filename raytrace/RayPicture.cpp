#include "raytrace/RayPicture.h"

#include <algorithm>
#include <cmath>

#include "numeric/FpGuard.h"
#include "numeric/StagedFiles.h"
#include "raytrace/Canvas.h"
#include "raytrace/EpsWriter.h"
#include "raytrace/PictureRay.h"
#include "run/ReadInputs.h"

namespace orvane {

namespace {

// Picture coordinates: pixels, y downwards, centred on the middle of the area.
struct PicturePoint {
    double x = 0.0;
    double y = 0.0;
};

struct PictureFrame {
    int W = 0;      // width − 1
    int H = 0;      // height − 1
    double S = 0;   // pixels per µm

    // A point of the particle frame (µm).
    PicturePoint map(const Vec2& p) const { return {W * 0.5 + p.z * S, H * 0.5 - p.x * S}; }
    // The far end of a ray leaving the particle with wave vector K: measured from the
    // picture centre, one length W·S for both components so that the drawn direction is
    // the ray's own.
    PicturePoint farPoint(const Vec2& K) const { return {W * 0.5 + W * S * K.z, H * 0.5 - W * S * K.x}; }
};

// Draws and writes the picture's segments in step: the screen from the current position,
// the file from the segment's start point.
class RayPen {
public:
    RayPen(Canvas& canvas, TextWriter& eps, int W, int H) : canvas_(canvas), eps_(eps), W_(W), H_(H) {}

    void moveTo(const PicturePoint& p) { canvas_.moveTo(TruncToInt64(p.x), TruncToInt64(p.y)); }
    void lineTo(const PicturePoint& p) { canvas_.lineTo(TruncToInt64(p.x), TruncToInt64(p.y)); }
    void write(const PicturePoint& from, const PicturePoint& to)
    {
        eps_.writeLine(EpsSegment(W_, H_, from.x, from.y, to.x, to.y));
    }
    void writeColor(const std::string& command) { eps_.writeLine(command); }

private:
    Canvas& canvas_;
    TextWriter& eps_;
    int W_, H_;
};

} // namespace

void BtnRaytracingClick(Session& session, Canvas& canvas)
{
    ReadInputs(session.state, session.fields, session.sink);
    TOrvaneState& state = session.state;
    const TRunParams& P = state.P;
    const bool showEmergent = session.fields.ChBxEmergRay;
    ClearFpFaults();

    PictureFrame frame;
    frame.W = canvas.width() - 1;
    frame.H = canvas.height() - 1;
    const int W = frame.W, H = frame.H;
    const int Xc = W / 2, Yc = H / 2;
    frame.S = P.EllipsoidSize * std::min(W / P.RadiusA, H / P.RadiusB) / 2;
    const double S = frame.S;
    const bool symmetric = std::fabs(P.IncAngle) < 0.0001;
    const std::int64_t ex1 = TruncToInt64(Xc - S * P.RadiusC), ey1 = TruncToInt64(Yc - S * P.RadiusA);
    const std::int64_t ex2 = TruncToInt64(Xc + S * P.RadiusC), ey2 = TruncToInt64(Yc + S * P.RadiusA);
    CheckFpFaults();

    // Background and the axis label.
    canvas.setBrushColor(kColorWhite);
    canvas.fillRect(0, 0, canvas.width(), canvas.height());
    canvas.setFontColor(kColorBlue);
    canvas.textOut(W - 100, Yc - 15, symmetric ? "Symmetric axis" : "Reference axis");

    // The two axes through the centre.
    canvas.setPenColor(kColorBlack);
    canvas.setPenStyle(PenStyle::DashDot);
    canvas.moveTo(0, Yc);
    canvas.lineTo(W, Yc);
    canvas.moveTo(Xc, 0);
    canvas.lineTo(Xc, H);

    // The picture replaces Orvane.eps only once it is complete.
    StagedFiles files;
    TextWriter eps(files, session.file(kEpsFileName));
    WriteEpsHeader(eps, W, H, state.EpsColor);
    WriteEpsAxes(eps, state.EpsColor, W, H, Xc, Yc);

    // The particle's outline, its white inside covering the axes.
    canvas.setPenStyle(PenStyle::Dot);
    canvas.setPenColor(kColorBlack);
    canvas.ellipse(ex1, ey1, ex2, ey2);
    WriteEpsEllipse(eps, P.RadiusA, P.RadiusC, Xc, Yc, S);

    RayPen pen(canvas, eps, W, H);
    const int numRays = std::clamp(P.NumRays, 0, kMaxRays);
    const int maxP = std::clamp(P.MaxP, 0, kMaxOrder);
    for (int i = 0; i < numRays; ++i) {
        const std::optional<PictureRay> ray = TracePictureRay(P, state.RayPos[i], maxP);
        if (!ray)
            continue;  // passes beside the particle
        CheckFpFaults();

        const PicturePoint entry = frame.map(ray->points[0]);
        canvas.setPenStyle(PenStyle::Solid);
        canvas.setPenColor(state.OrderColor[0]);
        pen.writeColor(state.EpsColor[1]);

        // Order 0, reflected at the entry point.
        if (showEmergent && P.MinP == 0) {
            const PicturePoint end = frame.farPoint(ray->reflected);
            pen.moveTo(entry);
            pen.lineTo(end);
            pen.write(entry, end);
        }

        // The incident ray up to the entry point (order 0's colour on screen, its own in the file).
        const PicturePoint start = frame.map(ray->start);
        pen.moveTo(start);
        pen.lineTo(entry);
        pen.writeColor(state.EpsColor[10]);
        pen.write(start, entry);

        if (!ray->refracted)
            continue;
        PicturePoint from = entry;
        for (int p = 1; p <= ray->chords; ++p) {
            const PicturePoint to = frame.map(ray->points[p]);
            canvas.setPenColor(state.OrderColor[p]);
            pen.lineTo(to);
            pen.writeColor(EpsOrderColor(state.EpsColor, p));
            pen.write(from, to);

            if (showEmergent && ray->leaves[p] && p >= P.MinP) {
                const PicturePoint end = frame.farPoint(ray->emergent[p]);
                pen.lineTo(end);
                pen.moveTo(to);
                pen.write(to, end);
            }
            from = to;
        }
    }

    WriteEpsLabelAndTrailer(eps, state.EpsColor, W, Yc, symmetric);
    eps.close();
    files.commit();
}

} // namespace orvane
