// The drawing surface of the ray-tracing picture: the window's paint box (a QPainter on
// a retained image), an offscreen image for orvane-batch, or a recorder in the tests.
// Coordinates are pixels, y downwards; points far outside the area are clipped by the surface.
#pragma once

#include <string>

#include "run/OrvaneState.h"

namespace orvane {

enum class PenStyle { Solid, DashDot, Dot };

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual void setPenColor(TColor color) = 0;
    virtual void setPenStyle(PenStyle style) = 0;
    virtual void setBrushColor(TColor color) = 0;
    virtual void setFontColor(TColor color) = 0;
    // Fills the rectangle (x1, y1)-(x2, y2), right and bottom edges excluded, with the brush.
    virtual void fillRect(int x1, int y1, int x2, int y2) = 0;
    // Text with its top-left corner at (x, y), in the area's font, on the brush colour.
    virtual void textOut(int x, int y, const std::string& text) = 0;
    virtual void moveTo(int x, int y) = 0;
    // Line from the current position to (x, y), which becomes the current position.
    virtual void lineTo(int x, int y) = 0;
    // Ellipse inscribed in (x1, y1)-(x2, y2), filled with the brush, outlined with the pen.
    virtual void ellipse(int x1, int y1, int x2, int y2) = 0;
};

} // namespace orvane
