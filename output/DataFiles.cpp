#include "output/DataFiles.h"

#include <cmath>
#include <vector>

#include "numeric/Angles.h"
#include "base/Errors.h"
#include "base/Format.h"
#include "base/FpGuard.h"
#include "base/OrderedLines.h"
#include "base/RunControl.h"

namespace orvane {

std::string OrderFileName(int p) { return "Orvane_" + IntToStr(p) + ".dat"; }

std::string DebyeFileName(int p) { return "Orvane_Debye_" + IntToStr(p) + ".dat"; }

namespace {

// No infinity or NaN reaches a file: a fault that slipped past the flags ends the run here.
void RequireFinite(std::span<const double> values)
{
    for (const double v : values)
        if (!std::isfinite(v))
            throw MathError("Invalid floating point operation");
}

void RequireFinite(std::initializer_list<double> values) { RequireFinite(std::span(values.begin(), values.size())); }

// The total file: angle, total intensity (with the diffraction when it was added) and the
// summed ray amplitude (without it) at every grid angle.
void WriteTotalFile(TextWriter& out, const ScatteringGrid& grid, char separator)
{
    RequireFinite(grid.TotalIntensity);
    RequireFinite(grid.TotalAmpRe);
    RequireFinite(grid.TotalAmpIm);
    out.writeLine("# theta[deg.] Intensity   Amplitude_Re  Amplitude_Im");
    WriteLinesInOrder(out, grid.ThetaGrid.size(), [&](std::size_t e, std::string& line) {
        FormatTo(line, "%12.6f %12.6e %12.6e %12.6e",
                 {ToDegrees(grid.ThetaGrid[e]), grid.TotalIntensity[e], grid.TotalAmpRe[e], grid.TotalAmpIm[e]},
                 separator);
    });
    out.close();
}

// The diffraction file: its header, and when the amplitude was computed its square at every
// grid angle.
void WriteDiffractionFile(TextWriter& out, const ScatteringGrid& grid, bool withAmplitude, char separator)
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
void WriteAiryFile(TextWriter& out, const RunParams& P, const AiryCurve& curve, char separator)
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

// One file per order MinP..MaxP, the rays in ray order. The files are formatted as one run of
// lines (a header and a line per ray for each order), so that the two threads' formatting
// flows on from file to file; each file is created as its first lines come.
void WriteOrderFiles(const RayTables& T, int MinP, int MaxP, std::size_t rays, OutputFiles& files, char separator)
{
    if (MaxP < MinP)
        return;
    for (int p = MinP; p <= MaxP; ++p) {
        RequireFinite(std::span<const double>(T.RayAngle[p].data(), rays));
        RequireFinite(std::span<const double>(T.RayIntensity[p].data(), rays));
    }
    const std::size_t perFile = rays + 1;
    const auto count = static_cast<std::size_t>(MaxP - MinP + 1);
    std::vector<std::size_t> fileStarts;
    for (std::size_t f = 0; f < count; ++f)
        fileStarts.push_back(f * perFile);
    TextWriter* out = nullptr;
    FormatLinesInOrder(
        count * perFile, fileStarts,
        [&](std::size_t i, std::string& line) {
            const int p = MinP + static_cast<int>(i / perFile);
            const std::size_t ray = i % perFile;
            if (ray == 0)
                line = kAngleIntensityHeader;
            else
                FormatTo(line, "%12.6f %12.6e", {ToDegrees(T.RayAngle[p][ray - 1]), T.RayIntensity[p][ray - 1]},
                         separator);
        },
        [&](std::size_t first, std::string_view lines) {
            if (first % perFile == 0) {
                if (out)
                    out->close();
                out = &files.create(OrderFileName(MinP + static_cast<int>(first / perFile)));
            }
            out->writeLines(lines);
        });
    if (out)
        out->close();
}

} // namespace

void WriteAngleIntensityLines(TextWriter& out, std::span<const double> angle, std::span<const double> intensity,
                              char separator)
{
    if (angle.size() != intensity.size())
        throw InputError("The angles and the intensities of a file differ in number.");
    RequireFinite(angle);
    RequireFinite(intensity);
    WriteLinesInOrder(out, angle.size(), [&](std::size_t e, std::string& line) {
        FormatTo(line, "%12.6f %12.6e", {ToDegrees(angle[e]), intensity[e]}, separator);
    });
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
    const ScatteringGrid& grid = result.grid;
    const auto rays = static_cast<std::size_t>(result.rays.count());
    const RayTables& T = *result.rays.tables;

    if (result.airy)
        WriteAiryFile(files.create(kAiryFileName), result.rays.params, *result.airy, separator);
    if (result.totalComputed)
        WriteDiffractionFile(files.create(kDiffractionFileName), grid, in.Diffraction, separator);
    WriteOrderFiles(T, in.MinP, in.MaxP, rays, files, separator);
    WriteTotalFile(files.create(kTotalFileName), grid, separator);
    if (!result.mie.empty())
        WriteAngleIntensityFile(files.create(kMieFileName), grid.ThetaGrid, result.mie, separator);
    for (std::size_t k = 0; k < result.debye.size(); ++k)
        WriteAngleIntensityFile(files.create(DebyeFileName(in.MinP + static_cast<int>(k))), grid.ThetaGrid,
                                result.debye[k], separator);
}

} // namespace orvane
