// The ray-tracing picture: the particle's outline, its two axes and the paths of parallel
// incident rays through it, one colour per order. It is computed once as data in picture
// coordinates (pixels, y downwards) for a drawing area of a given size; the screen draws it on
// a Canvas and the EPS file is written from the same data.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "geometry/Particle.h"
#include "geometry/Positions.h"
#include "raytrace/Canvas.h"

namespace orvane {

class MessageSink;

struct PictureInputs {
    ParticleInputs particle;
    int MinP = 0;                 // the reflected ray (order 0) is drawn only when MinP is 0, emergent rays from MinP on
    int MaxP = 4;                 // chords of orders 1..MaxP (0..50)
    int NumRays = 20;             // 0..5000
    std::optional<PositionRange> range;  // rays between two heights; none: evenly across the shadow
    double EllipsoidSize = 0.5;   // the outline's size relative to the drawing area
    bool ShowEmergent = true;     // the reflected and emergent rays
};

// More than 5000 rays: "The number of rays must be less than 5000", then 5000.
int LimitPictureRays(int NumRays, MessageSink& sink);

// The screen colour of order p (0..50), the chart's: kOrderPalette.
Color PictureOrderColor(int p);

// A point of the picture, pixels, y downwards.
struct PicturePoint {
    double x = 0.0;
    double y = 0.0;
};

// The drawn path of one incident ray.
struct PicturePath {
    PicturePoint start;                        // where the incident ray is drawn from
    PicturePoint entry;                        // the entry point
    std::optional<PicturePoint> reflectedEnd;  // far end of the reflected ray, when drawn
    // The chords of orders 1, 2, ... (none when the ray does not enter): the end of each and the
    // far end of the ray that leaves there, when drawn.
    struct Chord {
        PicturePoint end;
        std::optional<PicturePoint> emergentEnd;
    };
    std::vector<Chord> chords;
};

struct Picture {
    int width = 0, height = 0;    // the drawing area [pixels]
    int W = 0, H = 0;             // width − 1, height − 1
    int Xc = 0, Yc = 0;           // W div 2, H div 2: where the axes cross
    double S = 0;                 // pixels per µm
    double RadiusA = 0, RadiusC = 0;  // µm, the outline's semi-axes
    bool symmetric = false;       // normal incidence: the horizontal axis is an axis of symmetry
    std::int64_t ellipseLeft = 0, ellipseTop = 0, ellipseRight = 0, ellipseBottom = 0;
    int MinP = 0;
    std::vector<PicturePath> rays;  // rays beside the particle are left out
};

// The picture for a width x height drawing area (both >= 1). Throws InputError for inputs a
// computation cannot work with and MathError for coordinates beyond any integer.
Picture ComputePicture(const PictureInputs& inputs, int width, int height);

// Draws the picture: white background, the axis label, the dash-dot axes, the dotted outline
// filled white, then every ray in the colours of its orders.
void DrawPicture(const Picture& picture, Canvas& canvas);

// A coordinate truncated toward zero to a 64-bit integer. A value that has no such integer
// (beyond ±9.2e18, or not a number) throws MathError.
std::int64_t TruncToInt64(double value);

} // namespace orvane
