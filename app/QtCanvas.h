// The picture's canvas on a QPainter over a QImage: the window's retained picture and
// orvane-batch's --png.
#pragma once

#include <cstdint>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>

#include "raytrace/Canvas.h"

namespace orvane {

class QtCanvas final : public Canvas {
public:
    // Draws on target (which must outlive the canvas); width() and height() are its size.
    // The painter is active from construction to destruction.
    explicit QtCanvas(QImage& target);
    ~QtCanvas() override;

    int width() const override;
    int height() const override;
    void setPenColor(Color color) override;
    void setPenStyle(PenStyle style) override;
    void setBrushColor(Color color) override;
    void setFontColor(Color color) override;
    void fillRect(int x1, int y1, int x2, int y2) override;
    void textOut(int x, int y, const std::string& text) override;
    void moveTo(std::int64_t x, std::int64_t y) override;
    void lineTo(std::int64_t x, std::int64_t y) override;
    void ellipse(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) override;

    // The label font: "Times New Roman" bold, 15 pixels (the nearest face where it is missing).
    static QFont labelFont();

private:
    void applyPen();
    bool inside(std::int64_t x, std::int64_t y) const;  // within the image grown by a margin

    QImage& image_;
    QPainter painter_;
    QColor penColor_{Qt::black};
    PenStyle penStyle_ = PenStyle::Solid;
    QColor brushColor_{Qt::white};
    QColor fontColor_{Qt::black};
    std::int64_t x_ = 0, y_ = 0;  // current position
};

// A 0x00BBGGRR colour as a QColor.
QColor ToQColor(Color color);

} // namespace orvane
