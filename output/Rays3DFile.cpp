#include "output/Rays3DFile.h"

#include "base/Format.h"
#include "numeric/Angles.h"

namespace orvane {

namespace {

// One real of a line: 17 significant digits, the three-digit exponent of the program's files.
constexpr const char* kReal = " %24.17e";

std::string JonesText(const Rays3DInputs& in, char separator)
{
    if (in.BothStates)
        return "both states, E along e_par (columns A1) and along e_perp (columns A2)";
    return Format("Jones vector (E_par, E_perp) = (%.17g %.17g, %.17g %.17g)",
                  {in.Jones.parallel.real(), in.Jones.parallel.imag(), in.Jones.perpendicular.real(),
                   in.Jones.perpendicular.imag()},
                  separator);
}

} // namespace

void AddRays3DToManifest(RunManifest& manifest, const Rays3DInputs& in, int n)
{
    manifest.run = manifest.run.empty() ? "3-D rays" : manifest.run + " and 3-D rays";
    manifest.inputs.emplace_back("3-D rays: tilt [°]", FloatToStr(ToDegrees(in.Tilt)));
    std::string polarisation = "both states";
    if (!in.BothStates)
        polarisation = "Jones vector " + FloatToStr(in.Jones.parallel.real()) + " " + FloatToStr(in.Jones.parallel.imag()) +
                       ", " + FloatToStr(in.Jones.perpendicular.real()) + " " + FloatToStr(in.Jones.perpendicular.imag());
    manifest.inputs.emplace_back("3-D rays: polarisation", polarisation);
    manifest.inputs.emplace_back("3-D rays: pupil grid", IntToStr(n) + " x " + IntToStr(n));
    manifest.inputs.emplace_back("3-D rays: orders p", IntToStr(in.MinP) + " to " + IntToStr(in.MaxP));
}

Rays3DFileWriter::Rays3DFileWriter(TextWriter& out, const Rays3DInputs& in, const Pupil& pupil, int n, char separator)
    : out_(out), separator_(separator)
{
    out_.writeLine("# Orvane 3-D rays: every ray that leaves the particle, by order");
    out_.writeLine(Format("# Particle axis: a,b,c [µm] = %.17g %.17g %.17g; wavelength [µm] = %.17g; index = %.17g %.17g",
                          {in.RadiusA, in.RadiusB, in.RadiusC, in.Wavelength, in.IndexRe, in.IndexIm}, separator));
    out_.writeLine(Format("# Incidence [°] = %.17g; tilt [°] = %.17g; %s; Fresnel %s",
                          {ToDegrees(in.IncAngle), ToDegrees(in.Tilt), JonesText(in, separator),
                           in.Fresnel == Rays3DFresnel::Entry ? "at entry only" : "at every interface"},
                          separator));
    out_.writeLine(Format("# Pupil: %d x %d rays over semi-axes [µm] %.17g %.17g, axis 1 along (u,v) = (%.17g, %.17g); "
                          "cell area [µm²] = %.17g",
                          {n, n, pupil.semiAxis1, pupil.semiAxis2, pupil.axis1U, pupil.axis1V, pupil.cellArea(n)},
                          separator));
    out_.writeLine(Format("# Orders %d to %d", {in.MinP, in.MaxP}));
    std::string columns = "#  p      i      j                 theta[°]                   phi[°]";
    const int states = in.BothStates ? 2 : 1;
    const char* names[2] = {in.BothStates ? "A1_" : "A_", "A2_"};
    for (int st = 0; st < states; ++st)
        for (const char* part : {"theta.re", "theta.im", "phi.re", "phi.im"}) {
            std::string name = names[st];
            name += part;
            columns += Format(" %24s", {name});
        }
    columns += "               phase[rad]          jacobian[1/µm²]";
    out_.writeLine(columns);
}

void Rays3DFileWriter::accept(const OrderBlock& b)
{
    lines_.clear();
    std::string line;
    for (std::size_t r = 0; r < b.size(); ++r) {
        if (!b.lit[r])
            continue;
        const int i = static_cast<int>(r % static_cast<std::size_t>(b.n));
        const int j = b.firstRow + static_cast<int>(r / static_cast<std::size_t>(b.n));
        const ScatteringAngles a = AnglesOf(b.dirParallel[r], b.dirPerpendicular[r], b.dirForward[r]);
        line.clear();
        FormatDataTo(line, "%4d %6d %6d", {b.p, i, j}, separator_);
        FormatDataTo(line, kReal, {ToDegrees(a.theta)}, separator_);
        FormatDataTo(line, kReal, {ToDegrees(a.phi)}, separator_);
        for (int st = 0; st < b.states; ++st) {
            FormatDataTo(line, kReal, {b.ampTheta[st][r].real()}, separator_);
            FormatDataTo(line, kReal, {b.ampTheta[st][r].imag()}, separator_);
            FormatDataTo(line, kReal, {b.ampPhi[st][r].real()}, separator_);
            FormatDataTo(line, kReal, {b.ampPhi[st][r].imag()}, separator_);
        }
        FormatDataTo(line, kReal, {b.phase[r]}, separator_);
        FormatDataTo(line, kReal, {b.jacobian[r]}, separator_);
        AppendLine(lines_, line);
    }
    out_.writeLines(lines_);
}

} // namespace orvane
