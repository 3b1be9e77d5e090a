// A canvas that draws nothing and keeps every call: for the tests of the picture and of
// the window, which compare what would have been drawn.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "raytrace/Canvas.h"

namespace orvane {

class RecordingCanvas final : public Canvas {
public:
    // A line drawn by lineTo, with the pen in force.
    struct Line {
        std::int64_t x1, y1, x2, y2;
        Color color;
        PenStyle style;
        bool operator==(const Line&) const = default;
    };

    RecordingCanvas(int width, int height) : width_(width), height_(height) {}

    int width() const override { return width_; }
    int height() const override { return height_; }
    void setPenColor(Color color) override;
    void setPenStyle(PenStyle style) override;
    void setBrushColor(Color color) override;
    void setFontColor(Color color) override;
    void fillRect(int x1, int y1, int x2, int y2) override;
    void textOut(int x, int y, const std::string& text) override;
    void moveTo(std::int64_t x, std::int64_t y) override;
    void lineTo(std::int64_t x, std::int64_t y) override;
    void ellipse(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) override;

    // Every call in order, one text each: "penColor 0x0000FF", "penStyle dot",
    // "brushColor 0xFFFFFF", "fontColor 0xFF0000", "fillRect 0 0 518 391",
    // "textOut 417 180 Symmetric axis", "moveTo 0 195", "lineTo 517 195",
    // "ellipse 160 97 355 292" (colours as 0xBBGGRR).
    std::vector<std::string> calls;
    // Every line, from the current position, with the pen colour and style in force.
    std::vector<Line> lines;

private:
    int width_, height_;
    Color pen_ = kColorBlack;
    PenStyle style_ = PenStyle::Solid;
    std::int64_t x_ = 0, y_ = 0;
};

const char* PenStyleName(PenStyle style);

} // namespace orvane
