#include "cli/Rays3DOptions.h"

#include "base/Errors.h"
#include "base/Format.h"
#include "cli/BatchOptions.h"
#include "engine/Diagram.h"
#include "numeric/Angles.h"

namespace orvane {

bool ParseRays3DOption(const std::vector<std::string>& args, std::size_t& i, Rays3DOptions& options)
{
    const std::string& a = args[i];
    auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size())
            throw UsageError{"option " + a + " needs a value"};
        return args[++i];
    };
    if (a == "--rays3d") {
        options.file = value();
        if (options.file.empty())
            throw UsageError{"option --rays3d needs a file"};
    } else if (a == "--rays3d-grid") {
        options.grid = value();
    } else if (a == "--tilt") {
        options.tilt = value();
    } else if (a == "--polarisation-angle") {
        options.polarisation = value();
    } else {
        return false;
    }
    return true;
}

void CheckRays3DOptions(const Rays3DOptions& options)
{
    if (options.file.empty() && (options.grid || options.tilt || options.polarisation))
        throw UsageError{"--rays3d-grid, --tilt and --polarisation-angle need --rays3d FILE"};
}

namespace {

double Degrees(const std::string& text, const char* option, char separator)
{
    double value = 0.0;
    if (!TryStrToFloat(text, value, separator))
        throw InputError(std::string(option) + " needs a number of degrees, not \"" + text + "\".");
    return value;
}

} // namespace

Rays3DInputs Rays3DInputsOf(const DiagramInputs& diagram, const Rays3DOptions& options, char separator)
{
    const ParticleInputs& p = diagram.particle;
    Rays3DInputs in;
    in.RadiusA = p.RadiusA;
    in.RadiusB = p.RadiusB;
    in.RadiusC = p.RadiusC;
    in.Wavelength = p.Wavelength;
    in.IndexRe = p.IndexRe;
    in.IndexIm = p.IndexIm;
    in.IncAngle = p.IncAngle;
    in.MinP = diagram.MinP;
    in.MaxP = diagram.MaxP;
    in.Fresnel = diagram.EntryFresnel ? Rays3DFresnel::Entry : Rays3DFresnel::Local;
    if (options.tilt)
        in.Tilt = ToRadians(Degrees(*options.tilt, "--tilt", separator));
    in.Jones = p.Polar == 0 ? JonesVector{1.0, 0.0} : JonesVector{0.0, 1.0};
    if (options.polarisation) {
        if (*options.polarisation == "unpolarised" || *options.polarisation == "unpolarized")
            in.BothStates = true;
        else
            in.Jones = JonesVector::Linear(ToRadians(Degrees(*options.polarisation, "--polarisation-angle", separator)));
    }
    return in;
}

int Rays3DGridOf(const Rays3DOptions& options)
{
    if (!options.grid)
        return kDefaultRays3DGrid;
    std::int32_t n = 0;
    if (!TryStrToInt(*options.grid, n))
        throw InputError("--rays3d-grid needs a whole number of rays, not \"" + *options.grid + "\".");
    return n;
}

std::string Rays3DUsage()
{
    return "  --rays3d FILE          after the diagram, the rays in three dimensions: every ray of every\n"
           "                         order Min p..Max p that leaves the particle, with its direction\n"
           "                         (theta, phi), amplitude on (e_theta, e_phi) and phase, over an N x N\n"
           "                         grid across the particle's shadow, written to FILE\n"
           "  --rays3d-grid N        the grid's side (default 200)\n"
           "  --tilt DEG             the incident direction's tilt out of the a-c plane towards b\n"
           "                         (default 0)\n"
           "  --polarisation-angle DEG|unpolarised\n"
           "                         linear polarisation at DEG to the a-c plane (default: 0 for the\n"
           "                         parallel polarisation, 90 for the perpendicular one), or both\n"
           "                         states\n";
}

} // namespace orvane
