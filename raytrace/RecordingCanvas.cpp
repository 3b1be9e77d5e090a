#include "raytrace/RecordingCanvas.h"

#include <cstdio>

namespace orvane {

namespace {

std::string ColorText(Color color)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", static_cast<unsigned>(color));
    return text;
}

std::string Ints(std::initializer_list<std::int64_t> values)
{
    std::string text;
    for (std::int64_t v : values)
        text += ' ' + std::to_string(v);
    return text;
}

} // namespace

const char* PenStyleName(PenStyle style)
{
    switch (style) {
    case PenStyle::Solid: return "solid";
    case PenStyle::DashDot: return "dashdot";
    case PenStyle::Dot: return "dot";
    }
    return "?";
}

void RecordingCanvas::setPenColor(Color color)
{
    pen_ = color;
    calls.push_back("penColor " + ColorText(color));
}

void RecordingCanvas::setPenStyle(PenStyle style)
{
    style_ = style;
    calls.push_back(std::string("penStyle ") + PenStyleName(style));
}

void RecordingCanvas::setBrushColor(Color color) { calls.push_back("brushColor " + ColorText(color)); }

void RecordingCanvas::setFontColor(Color color) { calls.push_back("fontColor " + ColorText(color)); }

void RecordingCanvas::fillRect(int x1, int y1, int x2, int y2) { calls.push_back("fillRect" + Ints({x1, y1, x2, y2})); }

void RecordingCanvas::textOut(int x, int y, const std::string& text)
{
    calls.push_back("textOut" + Ints({x, y}) + ' ' + text);
}

void RecordingCanvas::moveTo(std::int64_t x, std::int64_t y)
{
    x_ = x;
    y_ = y;
    calls.push_back("moveTo" + Ints({x, y}));
}

void RecordingCanvas::lineTo(std::int64_t x, std::int64_t y)
{
    lines.push_back({x_, y_, x, y, pen_, style_});
    x_ = x;
    y_ = y;
    calls.push_back("lineTo" + Ints({x, y}));
}

void RecordingCanvas::ellipse(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2)
{
    calls.push_back("ellipse" + Ints({x1, y1, x2, y2}));
}

} // namespace orvane
