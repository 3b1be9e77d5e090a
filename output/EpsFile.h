// The ray-tracing picture as Encapsulated PostScript ("Orvane.eps"): a small prolog of short
// abbreviations, then one command group per line. One unit per pixel with y upwards, so a
// picture point (x, y) is written at (x, H − y); the bounding box is 0 0 W H.
#pragma once

#include <array>
#include <string>

#include "geometry/Limits.h"
#include "base/TextFile.h"
#include "raytrace/Picture.h"

namespace orvane {

inline constexpr const char* kEpsFileName = "Orvane.eps";

// The colour commands: index 0 draws the frame, index p + 1 the order p (index 10 also every
// incident ray); from index 11 on there is none, and the colour last set stays in force.
using EpsColorTable = std::array<std::string, kOrderCount>;
const EpsColorTable& EpsColors();

// The colour command of order p: entry p + 1 of the table, empty from order 10 on and for
// order 50, which has no entry.
const std::string& EpsOrderColor(int p);

// The line that strokes the segment (x1, y1) → (x2, y2) given in picture coordinates. The end
// is clipped to the frame, first onto a vertical border, then onto a horizontal one; the start
// is written as it is.
std::string EpsSegment(int W, int H, double x1, double y1, double x2, double y2);

// The whole file: header and prolog, the axes and the outline, a block per ray, the axis label
// and the trailer; closed at the end. The ellipse's scale lines carry the given decimal
// separator.
void WriteEpsFile(const Picture& picture, TextWriter& out, char separator);

} // namespace orvane
