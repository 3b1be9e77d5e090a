#include "engine/Diffraction.h"

#include <cmath>
#include <string>

#include "numeric/Angles.h"
#include "numeric/Numerics.h"

namespace orvane {

void ComputeDiffraction(const RunParams& P, const DiagramNorm& norm, ScatteringGrid& grid)
{
    for (std::size_t e = 0; e < grid.ThetaGrid.size(); ++e) {
        const double delta = grid.ThetaGrid[e] - P.IncAngle;
        const double u = std::fabs(std::sin(delta)) * norm.ShadowSizeParam;
        double amp = 0;
        if (std::fabs(delta) < kHalfPi)
            amp = u == 0 ? norm.IntensityNorm / 2 : BesselJ1(u) / u * norm.IntensityNorm;
        grid.DiffAmp[e] = amp;
    }
}

} // namespace orvane
