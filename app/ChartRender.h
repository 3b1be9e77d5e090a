// The scattering-diagram chart rendered offscreen, as the window shows it (orvane-batch --chart-png),
// and the caption that exported charts carry.
#pragma once

#include <QImage>
#include <QString>

#include "engine/DiagramRun.h"
#include "run/OrvaneState.h"

namespace orvane {

// Needs a QApplication. width x height pixels, the window's chart at that size, with the
// caption above the plot unless it is empty.
QImage RenderChartImage(const DiagramResult& result, int width, int height, const QString& caption = {});

// What a chart shows, in one line: particle, refractive index, wavelength, polarisation,
// orders and incident angle, from the parameters of the run that made it (IncAngle in
// radians, as a run leaves it). E.g. "Sphere r = 50 µm · m = 1.333 + 0i · λ = 0.6328 µm ·
// perpendicular · orders 0–4 · incidence 0°".
QString ChartCaption(const TRunParams& P);

} // namespace orvane
