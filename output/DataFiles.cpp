#include "output/DataFiles.h"

#include <cmath>
#include <vector>

#include "geometry/Angles.h"
#include "numeric/Errors.h"
#include "numeric/Format.h"
#include "numeric/FpGuard.h"
#include "numeric/RunControl.h"

namespace orvane {

std::string OrderFileName(int p) { return "Orvane_" + IntToStr(p) + ".dat"; }

std::string DebyeFileName(int p) { return "Orvane_Debye_" + IntToStr(p) + ".dat"; }

namespace {

// No infinity or NaN reaches a file: a fault that slipped past the flags ends the run here.
void RequireFinite(std::span<const double> values)
{
    for (const double v : values)
        if (!std::isfinite(v))
            throw EMathError("Invalid floating point operation");
}

void RequireFinite(std::initializer_list<double> values) { RequireFinite(std::span(values.begin(), values.size())); }

// The total file: angle, total intensity (with the diffraction when it was added) and the
// summed ray amplitude (without it) at every grid angle.
void WriteTotalFile(TextWriter& out, const TScatteringGrid& grid, char separator)
{
    RequireFinite(grid.TotalIntensity);
    RequireFinite(grid.TotalAmpRe);
    RequireFinite(grid.TotalAmpIm);
    out.writeLine("# theta[deg.] Intensity   Amplitude_Re  Amplitude_Im");
    std::string line;
    for (std::size_t e = 0; e < grid.ThetaGrid.size(); ++e) {
        line.clear();
        FormatTo(line, "%12.6f %12.6e %12.6e %12.6e",
                 {ToDegrees(grid.ThetaGrid[e]), grid.TotalIntensity[e], grid.TotalAmpRe[e], grid.TotalAmpIm[e]},
                 separator);
        out.writeLine(line);
    }
    out.close();
}

// The diffraction file: its header, and when the amplitude was computed its square at every
// grid angle.
void WriteDiffractionFile(TextWriter& out, const TScatteringGrid& grid, bool withAmplitude, char separator)
{
    if (!withAmplitude) {
        out.writeLine(kAngleIntensityHeader);
        out.close();
        return;
    }
    std::vector<double> intensity(grid.DiffAmp.size());
    for (std::size_t e = 0; e < intensity.size(); ++e)
        intensity[e] = grid.DiffAmp[e] * grid.DiffAmp[e];
    WriteAngleIntensityFile(out, grid.ThetaGrid, intensity, separator);
}

// The Airy file: the run's particle, the rainbow ray, every window ray on the reference line,
// then the 51 directions of the sum.
void WriteAiryFile(TextWriter& out, const TRunParams& P, const AiryCurve& curve, char separator)
{
    for (const AiryRay& ray : curve.rays)
        RequireFinite({ray.v, ray.psi, ray.A, ray.theta, ray.r});
    RequireFinite({curve.RainbowAngle, curve.RainbowPhase, curve.RainbowAmplitude});
    RequireFinite(curve.intensity);
    std::string line;
    auto write = [&](std::string_view fmt, std::initializer_list<FormatArg> args) {
        line.clear();
        FormatTo(line, fmt, args, separator);
        out.writeLine(line);
    };
    write("# Refractive index: m =%8.5f, %12.6f", {P.IndexRe, P.IndexIm});
    write("# Particle axis: a,b,c = %8.4f  %8.4f %8.4f", {P.RadiusA, P.RadiusB, P.RadiusC});
    write("# Wavelength [µm] = %8.5f", {P.Wavelength});
    write("# Order p = %d", {kAiryOrder});
    out.writeLine("");
    write("# Rainbow angle: %d, %12.6f phase: %12.6f amplitude: %12.6f",
          {curve.RainbowIndex, ToDegrees(curve.RainbowAngle), ToDegrees(curve.RainbowPhase), curve.RainbowAmplitude});
    out.writeLine("#    v       phase      amplitude    theta[deg.]     r");
    for (const AiryRay& ray : curve.rays)
        write("%10.4f %10.4f %10.4f %10.4f %10.4f", {ray.v, ray.psi, ray.A, ToDegrees(ray.theta), ray.r});
    WriteAngleIntensityLines(out, curve.angle, curve.intensity, separator);
    out.close();
}

} // namespace

void WriteAngleIntensityLines(TextWriter& out, std::span<const double> angle, std::span<const double> intensity,
                              char separator)
{
    if (angle.size() != intensity.size())
        throw EInputError("The angles and the intensities of a file differ in number.");
    RequireFinite(angle);
    RequireFinite(intensity);
    std::string line;
    for (std::size_t e = 0; e < angle.size(); ++e) {
        line.clear();
        FormatTo(line, "%12.6f %12.6e", {ToDegrees(angle[e]), intensity[e]}, separator);
        out.writeLine(line);
    }
}

void WriteAngleIntensityFile(TextWriter& out, std::span<const double> angle, std::span<const double> intensity,
                             char separator)
{
    out.writeLine(kAngleIntensityHeader);
    WriteAngleIntensityLines(out, angle, intensity, separator);
    out.close();
}

void WriteDiagramFiles(const DiagramResult& result, OutputFiles& files, char separator)
{
    CheckFpFaults();
    const DiagramInputs& in = result.inputs;
    const TScatteringGrid& grid = result.grid;
    const auto rays = static_cast<std::size_t>(result.rays.count());
    const TRayTables& T = *result.rays.tables;

    if (result.airy)
        WriteAiryFile(files.create(kAiryFileName), result.rays.params, *result.airy, separator);
    if (result.totalComputed)
        WriteDiffractionFile(files.create(kDiffractionFileName), grid, in.Diffraction, separator);
    for (int p = in.MinP; p <= in.MaxP; ++p)
        WriteAngleIntensityFile(files.create(OrderFileName(p)), {T.RayAngle[p].data(), rays},
                                {T.RayIntensity[p].data(), rays}, separator);
    WriteTotalFile(files.create(kTotalFileName), grid, separator);
    if (!result.mie.empty())
        WriteAngleIntensityFile(files.create(kMieFileName), grid.ThetaGrid, result.mie, separator);
    for (std::size_t k = 0; k < result.debye.size(); ++k)
        WriteAngleIntensityFile(files.create(DebyeFileName(in.MinP + static_cast<int>(k))), grid.ThetaGrid,
                                result.debye[k], separator);
}

} // namespace orvane
