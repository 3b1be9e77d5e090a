// The chart's series of a diagram run: per order its rays as points, the total, the Airy curve
// and the exact curve as lines, each in degrees against the log10 of the intensity.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "engine/Diagram.h"
#include "raytrace/Canvas.h"

namespace orvane {

// One series of the chart; x in degrees, y = log10(|intensity| + 1e-10), ascending x.
struct SeriesData {
    bool active = false;
    std::string title;
    Color color = 0;
    std::vector<double> x;
    std::vector<double> y;
};

struct DiagramSeries {
    std::array<SeriesData, kOrderCount> orders;  // point series of order p
    SeriesData total;                            // line series "Total", black
    SeriesData airy;                             // line series of the Airy curve, grey 0x707070
    SeriesData mie;                              // line series "Exact (Mie)" of a sphere, a pale red band
    std::array<SeriesData, kOrderCount> debye;   // line "Debye p=<p>": the exact term of order p, in its colour
    bool legendVisible = true;
};

// The exact curve's colour: a pale red (#E89696), wide under the black total, which stays
// plain to see inside it.
inline constexpr Color kExactBandColor = 0x9696E8;

// log10(|I| + 1e-10): the chart's intensity axis.
double ChartIntensity(double intensity);

// Every series of the run: one per computed order (all titled "p=<p>" in the order's colour of
// kOrderPalette), the total (when computed), the Airy curve, the exact curve and the Debye term
// of every order (when computed); every series sorted by ascending angle. A ray that did not
// leave in an order (intensity 0) is no point of its series; the order files keep its zero
// line. The legend shows for more than one order.
DiagramSeries BuildChartSeries(const DiagramResult& result);

} // namespace orvane
