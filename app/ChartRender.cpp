#include "app/ChartRender.h"

#include "app/ScatteringChart.h"

namespace orvane {

QImage RenderChartImage(const DiagramSeries& result, int width, int height)
{
    ScatteringChart chart;
    chart.resize(width, height);
    // Drawn once, straight into the image.
    chart.loadDiagram(result);
    return chart.image();
}

} // namespace orvane
