// The scattering-diagram chart rendered offscreen, as the window shows it (orvane-batch --chart-png).
#pragma once

#include <QImage>

#include "app/ChartSeries.h"

namespace orvane {

// Needs a QApplication. width x height pixels, the window's chart at that size.
QImage RenderChartImage(const DiagramSeries& result, int width, int height);

} // namespace orvane
