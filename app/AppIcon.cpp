#include "app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace orvane {

QImage DrawOrvaneIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 48 x 48 design grid.
    painter.scale(size / 48.0, size / 48.0);

    // Rounded dark tile.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1B, 0x2A, 0x4A));
    painter.drawRoundedRect(QRectF(1, 1, 46, 46), 8, 8);

    // The particle: an ellipse, a little taller than wide.
    const QRectF particle(14, 9, 22, 30);
    painter.setBrush(QColor(0xB8, 0xDD, 0xF5));
    painter.setPen(QPen(QColor(0xFF, 0xFF, 0xFF), 1.5));
    painter.drawEllipse(particle);

    const QPointF entry(15.2, 19.0);
    const QPointF exitRight(35.4, 28.0);
    const QPointF backLeft(17.5, 35.0);
    auto ray = [&painter](QColor color, double width, QPointF a, QPointF b) {
        painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(a, b);
    };
    // Incident ray from the left, reflected ray (order 0, lime), the chord inside and the
    // rays leaving after one (red) and two (blue) passes.
    ray(QColor(0xFF, 0xFF, 0xFF), 2.0, QPointF(2, 19), entry);
    ray(QColor(0x00, 0xFF, 0x00), 2.0, entry, QPointF(4, 8));
    ray(QColor(0xFF, 0x40, 0x40), 1.6, entry, exitRight);
    ray(QColor(0xFF, 0x20, 0x20), 2.0, exitRight, QPointF(46, 36));
    ray(QColor(0x50, 0x50, 0xFF), 1.6, exitRight, backLeft);
    ray(QColor(0x40, 0x60, 0xFF), 2.0, backLeft, QPointF(6, 45));
    return image;
}

QIcon OrvaneIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addPixmap(QPixmap::fromImage(DrawOrvaneIcon(size)));
    return icon;
}

} // namespace orvane
