// The picture's canvas on a QPainter over a QImage: the window's retained picture and
// orvane-batch's --png.
#pragma once

#include <QImage>
#include <QPainter>

#include "raytrace/Canvas.h"

namespace orvane {

class QtCanvas final : public Canvas {
public:
    // Draws on target (which must outlive the canvas); width() and height() are its size.
    explicit QtCanvas(QImage& target);
    ~QtCanvas() override;

    int width() const override;
    int height() const override;
    void setPenColor(TColor color) override;
    void setPenStyle(PenStyle style) override;
    void setBrushColor(TColor color) override;
    void setFontColor(TColor color) override;
    void fillRect(int x1, int y1, int x2, int y2) override;
    void textOut(int x, int y, const std::string& text) override;
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
    void ellipse(int x1, int y1, int x2, int y2) override;

private:
    QImage& image_;
    QPainter painter_;
    // (implementation state: pen, brush, font colour, current position)
};

} // namespace orvane
