#include "raytrace/Picture.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "geometry/Limits.h"
#include "base/Errors.h"
#include "base/Format.h"
#include "base/FpGuard.h"
#include "base/MessageSink.h"
#include "raytrace/OrderPalette.h"
#include "raytrace/PictureRay.h"

namespace orvane {

int LimitPictureRays(int NumRays, MessageSink& sink)
{
    if (NumRays <= kMaxRays)
        return NumRays;
    sink.show("The number of rays must be less than " + IntToStr(kMaxRays));
    return kMaxRays;
}

Color PictureOrderColor(int p) { return kOrderPalette[static_cast<std::size_t>(std::clamp(p, 0, kMaxOrder))]; }

std::int64_t TruncToInt64(double value)
{
    // 2^63 is exact in double; every double strictly inside (−2^63, 2^63) truncates to an
    // int64. A NaN fails both comparisons.
    constexpr double kLimit = 9223372036854775808.0;
    if (!(value > -kLimit && value < kLimit))
        throw MathError("Invalid floating point operation");
    return static_cast<std::int64_t>(value);
}

namespace {

struct Frame {
    int W = 0, H = 0;
    double S = 0;
    // A point of the particle frame (µm), centred on the middle of the area.
    PicturePoint map(const Vec2& p) const { return {W * 0.5 + p.z * S, H * 0.5 - p.x * S}; }
    // The far end of a ray leaving the particle with wave vector K: measured from the picture
    // centre, one length W·S for both components so that the drawn direction is the ray's own.
    PicturePoint farPoint(const Vec2& K) const { return {W * 0.5 + W * S * K.z, H * 0.5 - W * S * K.x}; }
};

} // namespace

Picture ComputePicture(const PictureInputs& in, int width, int height)
{
    if (width < 1 || height < 1)
        throw InputError("The drawing area must be at least 1 x 1 pixels.");
    ClearFpFaults();
    const RunParams P = MakeRunParams(in.particle);
    const int numRays = std::clamp(in.NumRays, 0, kMaxRays);
    const IncidentPositions positions = PicturePositions(P, numRays, in.range);

    Picture pic;
    pic.width = width;
    pic.height = height;
    pic.W = width - 1;
    pic.H = height - 1;
    pic.Xc = pic.W / 2;
    pic.Yc = pic.H / 2;
    pic.S = in.EllipsoidSize * std::min(pic.W / P.RadiusA, pic.H / P.RadiusB) / 2;
    pic.RadiusA = P.RadiusA;
    pic.RadiusC = P.RadiusC;
    pic.symmetric = std::fabs(P.IncAngle) < 0.0001;
    pic.MinP = in.MinP;
    pic.ellipseLeft = TruncToInt64(pic.Xc - pic.S * P.RadiusC);
    pic.ellipseTop = TruncToInt64(pic.Yc - pic.S * P.RadiusA);
    pic.ellipseRight = TruncToInt64(pic.Xc + pic.S * P.RadiusC);
    pic.ellipseBottom = TruncToInt64(pic.Yc + pic.S * P.RadiusA);
    CheckFpFaults();

    const Frame frame{pic.W, pic.H, pic.S};
    const int maxP = std::clamp(in.MaxP, 0, kMaxOrder);
    for (const double y0 : positions.heights) {
        const std::optional<PictureRay> ray = TracePictureRay(P, y0, maxP);
        if (!ray)
            continue;  // passes beside the particle
        CheckFpFaults();
        PicturePath& path = pic.rays.emplace_back();
        path.start = frame.map(ray->start);
        path.entry = frame.map(ray->points[0]);
        if (in.ShowEmergent && in.MinP == 0)
            path.reflectedEnd = frame.farPoint(ray->reflected);
        if (!ray->refracted)
            continue;
        for (int p = 1; p <= ray->chords; ++p) {
            PicturePath::Chord& chord = path.chords.emplace_back();
            chord.end = frame.map(ray->points[p]);
            if (in.ShowEmergent && ray->leaves[p] && p >= in.MinP)
                chord.emergentEnd = frame.farPoint(ray->emergent[p]);
        }
    }
    return pic;
}

void DrawPicture(const Picture& pic, Canvas& canvas)
{
    auto moveTo = [&](const PicturePoint& p) { canvas.moveTo(TruncToInt64(p.x), TruncToInt64(p.y)); };
    auto lineTo = [&](const PicturePoint& p) { canvas.lineTo(TruncToInt64(p.x), TruncToInt64(p.y)); };

    // Background and the axis label.
    canvas.setBrushColor(kColorWhite);
    canvas.fillRect(0, 0, pic.width, pic.height);
    canvas.setFontColor(kColorBlue);
    canvas.textOut(pic.W - 100, pic.Yc - 15, pic.symmetric ? "Symmetric axis" : "Reference axis");

    // The two axes through the centre.
    canvas.setPenColor(kColorBlack);
    canvas.setPenStyle(PenStyle::DashDot);
    canvas.moveTo(0, pic.Yc);
    canvas.lineTo(pic.W, pic.Yc);
    canvas.moveTo(pic.Xc, 0);
    canvas.lineTo(pic.Xc, pic.H);

    // The particle's outline, its white inside covering the axes.
    canvas.setPenStyle(PenStyle::Dot);
    canvas.setPenColor(kColorBlack);
    canvas.ellipse(pic.ellipseLeft, pic.ellipseTop, pic.ellipseRight, pic.ellipseBottom);

    for (const PicturePath& ray : pic.rays) {
        canvas.setPenStyle(PenStyle::Solid);
        canvas.setPenColor(PictureOrderColor(0));
        // Order 0, reflected at the entry point.
        if (ray.reflectedEnd) {
            moveTo(ray.entry);
            lineTo(*ray.reflectedEnd);
        }
        // The incident ray up to the entry point, in order 0's colour.
        moveTo(ray.start);
        lineTo(ray.entry);
        // The chords, and the ray that leaves at the end of each.
        for (std::size_t c = 0; c < ray.chords.size(); ++c) {
            const PicturePath::Chord& chord = ray.chords[c];
            canvas.setPenColor(PictureOrderColor(static_cast<int>(c) + 1));
            lineTo(chord.end);
            if (chord.emergentEnd) {
                lineTo(*chord.emergentEnd);
                moveTo(chord.end);
            }
        }
    }
}

} // namespace orvane
