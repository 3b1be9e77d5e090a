// Placeholder until the chart exists.
#include "app/ChartRender.h"

namespace orvane {
QImage RenderChartImage(const DiagramResult&, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}
} // namespace orvane
