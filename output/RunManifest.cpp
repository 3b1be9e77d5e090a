#include "output/RunManifest.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>

#include "base/Format.h"
#include "base/TextFile.h"
#include "numeric/Angles.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

std::mutex g_originMutex;
std::string g_origin;

std::string Origin()
{
    const std::lock_guard<std::mutex> lock(g_originMutex);
    if (!g_origin.empty())
        return g_origin;
    // The process's own name (the window: "orvane").
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return (name.empty() ? std::string("Orvane") : name) + " " + ORVANE_VERSION;
}

std::string Real(double value) { return FloatToStr(value); }

std::string Reals(std::initializer_list<double> values)
{
    std::string text;
    for (const double v : values) {
        if (!text.empty())
            text += ' ';
        text += Real(v);
    }
    return text;
}

void AddParticle(RunManifest& m, const ParticleInputs& p)
{
    m.inputs.emplace_back("Radii a, b, c [µm]", Reals({p.RadiusA, p.RadiusB, p.RadiusC}));
    m.inputs.emplace_back("Wavelength [µm]", Real(p.Wavelength));
    m.inputs.emplace_back("Refractive index", Reals({p.IndexRe, p.IndexIm}));
    m.inputs.emplace_back("Incident angle [°]", Real(ToDegrees(p.IncAngle)));
    m.inputs.emplace_back("Polarisation", IntToStr(p.Polar) + (p.Polar == 0 ? " (parallel)" : " (perpendicular)"));
}

std::string Positions(const std::optional<PositionRange>& range)
{
    if (!range)
        return "evenly across the shadow";
    return "between " + Real(range->Min) + " and " + Real(range->Max) + " µm";
}

// Names with their numbers in numeric order: Orvane_2.dat before Orvane_10.dat.
bool NaturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
                ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
                ++ej;
            const std::string_view da(a.data() + i, ei - i), db(b.data() + j, ej - j);
            if (da.size() != db.size())
                return da.size() < db.size();
            if (da != db)
                return da < db;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

bool IsRunFile(const std::string& name)
{
    if (name == "Orvane.eps")
        return true;
    return name.starts_with("Orvane_") && name.ends_with(".dat") && name.size() > 11;
}

} // namespace

void SetRunOrigin(std::string origin)
{
    const std::lock_guard<std::mutex> lock(g_originMutex);
    g_origin = std::move(origin);
}

RunManifest DiagramManifest(const DiagramInputs& in, bool checkFile)
{
    RunManifest m;
    m.run = "scattering diagram";
    AddParticle(m, in.particle);
    m.inputs.emplace_back("Orders p", IntToStr(in.MinP) + " to " + IntToStr(in.MaxP));
    m.inputs.emplace_back("Incident rays", IntToStr(in.NumIncRays));
    m.inputs.emplace_back("Scattering angles", IntToStr(in.NumScaRays));
    m.inputs.emplace_back("Ray positions", Positions(in.range));
    std::string options;
    const std::pair<bool, const char*> ticked[] = {
        {in.TotalIntensity, "total intensity"},
        {in.Diffraction, "diffraction"},
        {in.Airy, "Airy"},
        {in.UniformRainbow, "uniform rainbow"},
        {in.ExactMie, "exact Mie theory"},
        {in.ExactDebye, "exact Debye terms"},
        {in.EntryFresnel, "Fresnel at entry only"},
        {in.SharpDiffraction, "sharp-edge diffraction"},
        {checkFile, "check file"},
    };
    for (const auto& [on, name] : ticked) {
        if (!on)
            continue;
        if (!options.empty())
            options += ", ";
        options += name;
    }
    m.inputs.emplace_back("Options", options.empty() ? "none" : options);
    return m;
}

void AddPictureToManifest(RunManifest& m, const PictureInputs& in, int width, int height)
{
    if (m.run.empty()) {
        m.run = "ray-tracing picture";
        AddParticle(m, in.particle);
        m.inputs.emplace_back("Orders p", IntToStr(in.MinP) + " to " + IntToStr(in.MaxP));
        m.inputs.emplace_back("Ray positions", Positions(in.range));
    } else {
        m.run += " and ray-tracing picture";
    }
    m.inputs.emplace_back("Picture", IntToStr(width) + " x " + IntToStr(height) + " pixels");
    m.inputs.emplace_back("Picture rays", IntToStr(in.NumRays));
    m.inputs.emplace_back("Picture size", Real(in.EllipsoidSize));
    m.inputs.emplace_back("Emergent rays", in.ShowEmergent ? "shown" : "not shown");
}

void AddPictureToManifest(RunManifest& m, const Picture& picture)
{
    m.run = m.run.empty() ? "ray-tracing picture" : m.run + " and ray-tracing picture";
    m.inputs.emplace_back("Radii a, c [µm]", Reals({picture.RadiusA, picture.RadiusC}));
    m.inputs.emplace_back("Picture", IntToStr(picture.width) + " x " + IntToStr(picture.height) + " pixels");
    m.inputs.emplace_back("Picture rays drawn", IntToStr(static_cast<std::int64_t>(picture.rays.size())));
}

void WriteRunManifest(TextWriter& out, const RunManifest& m, std::vector<std::string> files,
                      std::vector<std::string> earlier, const std::string& time)
{
    std::sort(files.begin(), files.end(), NaturalLess);
    std::sort(earlier.begin(), earlier.end(), NaturalLess);
    out.writeLine("# The last run written into this folder: its inputs and its files (File). A run replaces");
    out.writeLine("# only the files it writes: those of earlier runs that it did not rewrite stay (Earlier file).");
    out.writeLine("Time: " + time);
    out.writeLine("Program: " + Origin());
    out.writeLine("Run: " + m.run);
    for (const auto& [label, value] : m.inputs)
        out.writeLine(label + ": " + value);
    for (const std::string& file : files)
        out.writeLine("File: " + file);
    for (const std::string& file : earlier)
        out.writeLine("Earlier file: " + file);
}

std::string ManifestTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &local);
    return std::string(text, n);
}

std::vector<std::string> EarlierRunFiles(const fs::path& folder, const std::vector<std::string>& current)
{
    std::vector<std::string> earlier;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (IsRunFile(name) && std::find(current.begin(), current.end(), name) == current.end())
            earlier.push_back(name);
    }
    return earlier;
}

RunFolderState DescribeRunFolder(const fs::path& folder)
{
    RunFolderState state;
    std::error_code ec;
    state.folder = fs::absolute(folder.empty() ? fs::path(".") : folder, ec).lexically_normal();
    std::ifstream in(state.folder / kRunManifestName, std::ios::binary);
    if (!in)
        return state;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string text = FromWindows1252(bytes);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t colon = line.find(": ");
        if (line.starts_with("#") || colon == std::string::npos)
            continue;
        const std::string key = line.substr(0, colon), value = line.substr(colon + 2);
        if (key == "Time")
            state.time = value;
        else if (key == "Program")
            state.program = value;
        else if (key == "Run")
            state.run = value;
        else if (key == "File")
            state.files.push_back(value);
        else if (key == "Earlier file")
            state.earlier.push_back(value);
    }
    state.hasManifest = !state.run.empty();
    return state;
}

std::string RunFolderCaption(const RunFolderState& state)
{
    const std::string folder = state.folder.string();
    if (!state.hasManifest)
        return folder + ": no run yet";
    std::string caption = folder + ": " + state.run + " of " + state.time + " (" +
                          IntToStr(static_cast<std::int64_t>(state.files.size())) +
                          (state.files.size() == 1 ? " file" : " files");
    if (!state.earlier.empty())
        caption += ", " + IntToStr(static_cast<std::int64_t>(state.earlier.size())) + " earlier";
    return caption + ")";
}

} // namespace orvane
