#include "engine/Diffraction.h"

#include <cmath>
#include <string>

#include "engine/Angles.h"
#include "numeric/Format.h"
#include "numeric/FpGuard.h"
#include "numeric/Numerics.h"
#include "numeric/TextFile.h"

namespace orvane {

void ComputeDiffraction(const TRunParams& P, const DiagramNorm& norm, TScatteringGrid& grid)
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

void WriteDiffractionFile(StagedFiles& files, const std::filesystem::path& file, const TScatteringGrid& grid,
                          bool withAmplitude)
{
    CheckFpFaults();
    TextWriter out(files, file);
    out.writeLine("# theta[deg.] Intensity");
    if (withAmplitude) {
        std::string line;
        for (std::size_t e = 0; e < grid.ThetaGrid.size(); ++e) {
            line.clear();
            const double amp = grid.DiffAmp[e];
            FormatDataTo(line, "%12.6f %12.6e", {ToDegrees(grid.ThetaGrid[e]), amp * amp});
            out.writeLine(line);
        }
    }
    out.close();
}

} // namespace orvane
