#include "app/QtCanvas.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QFontMetrics>
#include <QLineF>
#include <QPen>
#include <QPolygonF>
#include <QString>

namespace orvane {

namespace {

// The raster engine works in fixed point and does not hold far coordinates: lines that
// reach beyond the image grown by kMargin are cut to it before they are drawn, and an
// ellipse with a corner beyond ±kSafeCoordinate is drawn as a polygon cut the same way.
constexpr double kMargin = 16.0;
constexpr std::int64_t kSafeCoordinate = 1 << 15;

Qt::PenStyle ToQtStyle(PenStyle style)
{
    switch (style) {
    case PenStyle::Solid: return Qt::SolidLine;
    case PenStyle::DashDot: return Qt::DashDotLine;
    case PenStyle::Dot: return Qt::DotLine;
    }
    return Qt::SolidLine;
}

// Cohen–Sutherland: cuts the segment (x1, y1)-(x2, y2) to the rectangle; false when
// nothing of it lies inside. In extended precision, which holds every 64-bit coordinate
// exactly: each cut is computed from the far end directly, so even a segment across the
// whole 64-bit range keeps its direction to within a pixel.
bool ClipSegment(long double& x1, long double& y1, long double& x2, long double& y2, long double left,
                 long double top, long double right, long double bottom)
{
    enum : unsigned { kLeft = 1, kRight = 2, kTop = 4, kBottom = 8 };
    auto code = [&](long double x, long double y) {
        return (x < left ? kLeft : x > right ? kRight : 0u) | (y < top ? kTop : y > bottom ? kBottom : 0u);
    };
    unsigned c1 = code(x1, y1), c2 = code(x2, y2);
    for (int step = 0; step < 8; ++step) {
        if ((c1 | c2) == 0)
            return true;
        if ((c1 & c2) != 0)
            return false;
        const bool first = c1 != 0;
        const unsigned c = first ? c1 : c2;
        long double x, y;
        if (c & kLeft) {
            x = left;
            y = y1 + (y2 - y1) * (left - x1) / (x2 - x1);
        } else if (c & kRight) {
            x = right;
            y = y1 + (y2 - y1) * (right - x1) / (x2 - x1);
        } else if (c & kTop) {
            y = top;
            x = x1 + (x2 - x1) * (top - y1) / (y2 - y1);
        } else {
            y = bottom;
            x = x1 + (x2 - x1) * (bottom - y1) / (y2 - y1);
        }
        if (first) {
            x1 = x;
            y1 = y;
            c1 = code(x1, y1);
        } else {
            x2 = x;
            y2 = y;
            c2 = code(x2, y2);
        }
    }
    return (c1 | c2) == 0;
}

bool Safe(std::int64_t v) { return v > -kSafeCoordinate && v < kSafeCoordinate; }

} // namespace

QColor ToQColor(Color color)
{
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

QFont QtCanvas::labelFont()
{
    // Metric-compatible faces first where Times New Roman itself is missing, so that the
    // label keeps its width.
    QFont font(QStringLiteral("Times New Roman"));
    font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"), QStringLiteral("Tinos"),
                      QStringLiteral("Nimbus Roman"), QStringLiteral("Times")});
    font.setStyleHint(QFont::Times);
    font.setBold(true);
    font.setPixelSize(15);
    return font;
}

QtCanvas::QtCanvas(QImage& target) : image_(target), painter_(&target)
{
    painter_.setRenderHint(QPainter::Antialiasing, false);
    painter_.setFont(labelFont());
    applyPen();
    painter_.setBrush(brushColor_);
}

QtCanvas::~QtCanvas() { painter_.end(); }

int QtCanvas::width() const { return image_.width(); }
int QtCanvas::height() const { return image_.height(); }

void QtCanvas::applyPen()
{
    QPen pen(penColor_, 1, ToQtStyle(penStyle_), Qt::FlatCap, Qt::MiterJoin);
    painter_.setPen(pen);
}

void QtCanvas::setPenColor(Color color)
{
    penColor_ = ToQColor(color);
    applyPen();
}

void QtCanvas::setPenStyle(PenStyle style)
{
    penStyle_ = style;
    applyPen();
}

void QtCanvas::setBrushColor(Color color)
{
    brushColor_ = ToQColor(color);
    painter_.setBrush(brushColor_);
}

void QtCanvas::setFontColor(Color color) { fontColor_ = ToQColor(color); }

void QtCanvas::fillRect(int x1, int y1, int x2, int y2)
{
    painter_.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), brushColor_);
}

void QtCanvas::textOut(int x, int y, const std::string& text)
{
    const QString qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QFontMetrics metrics(painter_.font());
    painter_.fillRect(QRect(x, y, metrics.horizontalAdvance(qtext), metrics.height()), brushColor_);
    painter_.setPen(fontColor_);
    painter_.drawText(x, y + metrics.ascent(), qtext);
    applyPen();
}

void QtCanvas::moveTo(std::int64_t x, std::int64_t y)
{
    x_ = x;
    y_ = y;
}

bool QtCanvas::inside(std::int64_t x, std::int64_t y) const
{
    return x > -kMargin && x < width() + kMargin && y > -kMargin && y < height() + kMargin;
}

void QtCanvas::lineTo(std::int64_t x, std::int64_t y)
{
    const std::int64_t fromX = x_, fromY = y_;
    x_ = x;
    y_ = y;
    if (inside(fromX, fromY) && inside(x, y)) {
        // Ordinary lines: drawn between the integer points themselves.
        painter_.drawLine(static_cast<int>(fromX), static_cast<int>(fromY), static_cast<int>(x), static_cast<int>(y));
        return;
    }
    // Far ends: only the part over the image, cut in floating point.
    long double x1 = fromX, y1 = fromY, x2 = x, y2 = y;
    if (ClipSegment(x1, y1, x2, y2, -kMargin, -kMargin, width() + kMargin, height() + kMargin))
        painter_.drawLine(QLineF(static_cast<double>(x1), static_cast<double>(y1), static_cast<double>(x2),
                                 static_cast<double>(y2)));
}

void QtCanvas::ellipse(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2)
{
    if (x2 < x1)
        std::swap(x1, x2);
    if (y2 < y1)
        std::swap(y1, y2);
    // Differences in floating point: the corners may lie near both ends of the 64-bit range.
    if (static_cast<double>(x2) - static_cast<double>(x1) < 2 || static_cast<double>(y2) - static_cast<double>(y1) < 2)
        return;  // nothing inside a rectangle of no width or height
    if (Safe(x1) && Safe(y1) && Safe(x2) && Safe(y2)) {
        // Inscribed in the rectangle with its right and bottom edges excluded.
        painter_.drawEllipse(QRect(static_cast<int>(x1), static_cast<int>(y1), static_cast<int>(x2 - x1 - 1),
                                   static_cast<int>(y2 - y1 - 1)));
        return;
    }
    // A huge ellipse: the part that crosses the (grown) image, as a polygon sampled on
    // every row. Its edges outside the image run along the margin and are not seen.
    const double cx = (static_cast<double>(x1) + static_cast<double>(x2 - 1)) / 2;
    const double cy = (static_cast<double>(y1) + static_cast<double>(y2 - 1)) / 2;
    const double rx = std::fabs(static_cast<double>(x2 - 1) - static_cast<double>(x1)) / 2;
    const double ry = std::fabs(static_cast<double>(y2 - 1) - static_cast<double>(y1)) / 2;
    if (rx <= 0 || ry <= 0)
        return;
    const double left = -kMargin, right = width() + kMargin;
    const double top = std::max(-kMargin, cy - ry), bottom = std::min(height() + kMargin, cy + ry);
    if (top > bottom || cx + rx < left || cx - rx > right)
        return;
    QPolygonF leftSide, rightSide;
    const int rows = static_cast<int>(std::ceil(bottom - top));
    for (int i = 0; i <= rows; ++i) {
        const double y = std::min(bottom, top + i);
        const double dy = (y - cy) / ry;
        const double half = rx * std::sqrt(std::max(0.0, 1.0 - dy * dy));
        leftSide << QPointF(std::clamp(cx - half, left, right), y);
        rightSide.prepend(QPointF(std::clamp(cx + half, left, right), y));
    }
    painter_.drawPolygon(leftSide + rightSide);
}

} // namespace orvane
