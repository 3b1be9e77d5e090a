// The drawing surface of the ray-tracing picture: the window's paint box (a QPainter on
// a retained image), an offscreen image for orvane-batch, or a recorder in the tests.
// Coordinates are pixels, y downwards. Points of lines and ellipses are 64-bit: the far
// ends of reflected and emergent rays lie thousands of pixels outside the area (and far
// more on a strongly enlarged picture); the surface clips them itself.
#pragma once

#include <cstdint>
#include <string>

namespace orvane {

// A colour as 0x00BBGGRR, red in the lowest byte.
using Color = std::uint32_t;

enum class PenStyle { Solid, DashDot, Dot };

// Colours of the picture, 0x00BBGGRR.
inline constexpr Color kColorBlack = 0x000000;
inline constexpr Color kColorWhite = 0xFFFFFF;
inline constexpr Color kColorBlue = 0xFF0000;

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    virtual void setPenColor(Color color) = 0;
    virtual void setPenStyle(PenStyle style) = 0;
    virtual void setBrushColor(Color color) = 0;
    virtual void setFontColor(Color color) = 0;
    // Fills the rectangle (x1, y1)-(x2, y2), right and bottom edges excluded, with the brush.
    virtual void fillRect(int x1, int y1, int x2, int y2) = 0;
    // Text with its top-left corner at (x, y), in the area's font, on the brush colour.
    virtual void textOut(int x, int y, const std::string& text) = 0;
    virtual void moveTo(std::int64_t x, std::int64_t y) = 0;
    // Line from the current position to (x, y), which becomes the current position.
    virtual void lineTo(std::int64_t x, std::int64_t y) = 0;
    // Ellipse inscribed in (x1, y1)-(x2, y2), right and bottom edges excluded, filled with
    // the brush and outlined with the pen.
    virtual void ellipse(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) = 0;
};

} // namespace orvane
