// The scattering-diagram chart rendered offscreen, as the window shows it (orvane-batch --chart-png).
#pragma once

#include <QImage>
#include <QString>

#include "app/ChartSeries.h"

namespace orvane {

// Needs a QApplication. width x height pixels, the window's chart at that size, with the
// caption above the plot unless it is empty.
QImage RenderChartImage(const DiagramSeries& result, int width, int height, const QString& caption = {});

// What a chart shows, in one line: particle, refractive index, wavelength, polarisation,
// orders and incident angle of the run that made it. E.g. "Sphere r = 50 µm · m = 1.333 + 0i ·
// λ = 0.6328 µm · perpendicular · orders 0–4 · incidence 0°".
QString ChartCaption(const DiagramInputs& inputs);

} // namespace orvane
