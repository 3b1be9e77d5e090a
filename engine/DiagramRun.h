// One scattering-diagram run, as the "Calculation" button starts it: inputs, ray
// tracing, assembly of the orders, Airy sum, diffraction, total intensity, files, and the
// chart's series as data.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "run/OrvaneState.h"
#include "run/Session.h"

namespace orvane {

// One series of the chart; x in degrees, y = log10(|intensity| + 1e-10), ascending x.
struct SeriesData {
    bool active = false;
    std::string title;
    TColor color = 0;
    std::vector<double> x;
    std::vector<double> y;
};

struct DiagramResult {
    std::array<SeriesData, kOrderCount> orders;  // point series of order p
    SeriesData total;                            // line series "Total", black
    SeriesData airy;                             // line series of the Airy curve, grey 0x707070
    SeriesData mie;                              // line series "Exact (Mie)" of a sphere, dark red
    bool legendVisible = true;
};

// Shown when the exact curve is asked for a particle that is not a sphere.
inline constexpr const char* kExactSpheresOnlyMessage = "Exact theory is available for spheres only.";

// The whole diagram run. Throws the errors of the run (conversion, input/output,
// floating point, EInputError). Its files replace the older ones only when the whole run
// succeeded; a run that throws leaves every file as it was.
DiagramResult BtnCalcDiagClick(Session& session);

} // namespace orvane
