// The picture as Encapsulated PostScript ("Orvane.eps"): a small prolog of short
// abbreviations, then one command group per line. One unit per pixel with y upwards, so
// a picture point (x, y) is written at (x, H − y); the bounding box is 0 0 W H.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "numeric/TextFile.h"
#include "run/OrvaneState.h"

namespace orvane {

inline constexpr const char* kEpsFileName = "Orvane.eps";

using TEpsColors = std::array<std::string, kOrderCount>;

// A coordinate truncated toward zero to a 64-bit integer. A value that has no such
// integer (beyond ±9.2e18, or not a number) throws EMathError.
std::int64_t TruncToInt64(double value);

// Writes the header and prolog for a W x H picture, then sets the colour commands 0 to
// 10. Throws EInOutError; on a failure the colour table is left as it was.
void WriteEpsHeader(TextWriter& out, int W, int H, TEpsColors& EpsColor);

// The line that strokes the segment (x1, y1) → (x2, y2) given in picture coordinates.
// The end is clipped to the frame, first onto a vertical border, then onto a horizontal
// one; the start is written as it is.
std::string EpsSegment(int W, int H, double x1, double y1, double x2, double y2);

// The colour command of order p: entry p + 1 of the table, empty from order 10 on
// (the colour last set stays in force) and for order 50, which has no entry.
const std::string& EpsOrderColor(const TEpsColors& EpsColor, int p);

// The body blocks that go with the drawing steps, appended to the opened file.
// Axes: dash-dot lines through (Xc, Yc) across the frame, then the dotted pattern.
void WriteEpsAxes(TextWriter& out, const TEpsColors& EpsColor, int W, int H, int Xc, int Yc);
// The ellipse: a circle of radius S·RadiusC in a frame squeezed vertically by
// RadiusA/RadiusC, then solid lines again.
void WriteEpsEllipse(TextWriter& out, double RadiusA, double RadiusC, int Xc, int Yc, double S);
// The axis label and the trailer.
void WriteEpsLabelAndTrailer(TextWriter& out, const TEpsColors& EpsColor, int W, int Yc, bool symmetric);

} // namespace orvane
