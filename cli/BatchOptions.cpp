#include "cli/BatchOptions.h"

#include <cstdlib>

namespace orvane {

namespace {

// The largest drawing area accepted for --picture, in pixels per side.
constexpr int kMaxPictureSide = 10000;

bool ParsePictureSize(const std::string& text, PictureSize& size)
{
    const std::size_t x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 == text.size())
        return false;
    auto parseSide = [](const std::string& digits, int& value) {
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        value = std::atoi(digits.c_str());
        return value >= 1 && value <= kMaxPictureSide;
    };
    return parseSide(text.substr(0, x), size.width) && parseSide(text.substr(x + 1), size.height);
}

} // namespace

BatchOptions ParseBatchOptions(const std::vector<std::string>& args)
{
    BatchOptions options;
    std::size_t i = 0;
    auto value = [&](const std::string& option) -> const std::string& {
        if (i + 1 >= args.size())
            throw UsageError{"option " + option + " needs a value"};
        return args[++i];
    };
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-C" || a == "--dir") {
            options.dir = value(a);
            if (options.dir.empty())
                throw UsageError{"option " + a + " needs a folder"};
        } else if (a == "--no-total") {
            options.noTotal = true;
        } else if (a == "--diffraction") {
            options.diffraction = true;
        } else if (a == "--airy") {
            options.airy = true;
        } else if (a == "--uniform-rainbow") {
            options.uniformRainbow = true;
        } else if (a == "--check") {
            options.check = true;
        } else if (a == "--mie") {
            options.mie = true;
        } else if (a == "--debye") {
            options.debye = true;
        } else if (a == "--entry-fresnel") {
            options.entryFresnel = true;
        } else if (a == "--sharp-diffraction") {
            options.sharpDiffraction = true;
        } else if (a == "--minmax") {
            options.minMax = true;
            options.axisMin = value(a);
            options.axisMax = value(a);
        } else if (a == "--picture") {
            PictureSize size;
            const std::string& text = value(a);
            if (!ParsePictureSize(text, size))
                throw UsageError{"--picture needs WxH with whole numbers from 1 to " + std::to_string(kMaxPictureSide) +
                                 ", not \"" + text + "\""};
            options.picture = size;
        } else if (a == "--rays") {
            options.rays = value(a);
        } else if (a == "--ellipsoid-size") {
            options.ellipsoidSize = value(a);
        } else if (a == "--no-emergent") {
            options.noEmergent = true;
        } else if (a == "--png") {
            options.png = value(a);
        } else if (a == "--chart-png") {
            options.chartPng = value(a);
        } else if (a == "--chart-size") {
            PictureSize size;
            const std::string& text = value(a);
            if (!ParsePictureSize(text, size))
                throw UsageError{"--chart-size needs WxH with whole numbers from 1 to " +
                                 std::to_string(kMaxPictureSide) + ", not \"" + text + "\""};
            options.chartSize = size;
        } else if (a == "--sweep") {
            options.sweep = value(a);
        } else if (a == "--task") {
            const std::string& text = value(a);
            if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
                throw UsageError{"--task needs the task's number, a whole number from 0, not \"" + text + "\""};
            options.task = std::atoi(text.c_str());
        } else if (a == "--merge") {
            options.merge = true;
        } else if (ParseRays3DOption(args, i, options.rays3d)) {
        } else if (a == "-h" || a == "--help") {
            options.help = true;
        } else if (a == "--version") {
            options.version = true;
        } else {
            throw UsageError{"unknown option \"" + a + "\""};
        }
    }
    if (!options.png.empty() && !options.picture)
        throw UsageError{"--png needs --picture WxH"};
    if (options.chartSize && options.chartPng.empty())
        throw UsageError{"--chart-size needs --chart-png FILE"};
    if ((options.task || options.merge) && options.sweep.empty())
        throw UsageError{std::string(options.merge ? "--merge" : "--task") + " needs --sweep FILE"};
    if (!options.sweep.empty()) {
        if (options.task.has_value() == options.merge)
            throw UsageError{"--sweep FILE needs either --task N (one task of the array job) or --merge"};
        if (options.check || options.picture || !options.chartPng.empty())
            throw UsageError{"--sweep computes no files of single diagrams: leave out --check, --picture and --chart-png"};
    }
    CheckRays3DOptions(options.rays3d);
    if (!options.sweep.empty() && !options.rays3d.file.empty())
        throw UsageError{"--sweep computes no 3-D rays: leave out --rays3d"};
    return options;
}

void ApplyBatchOptions(const BatchOptions& options, Fields& fields)
{
    if (options.noTotal)
        fields.ChBxTotalInt = false;
    if (options.diffraction)
        fields.ChBxDiff = true;
    if (options.airy)
        fields.ChBxAiry = true;
    if (options.uniformRainbow)
        fields.ChBxUniformRainbow = true;
    if (options.check)
        fields.ChBxCheck = true;
    if (options.mie)
        fields.CompareExact = true;
    if (options.debye)
        fields.CompareDebye = true;
    if (options.entryFresnel)
        fields.ChBxEntryFresnel = true;
    if (options.sharpDiffraction)
        fields.ChBxSharpDiff = true;
    if (options.minMax) {
        fields.ChkBxMinMax = true;
        fields.EdtAxisMin = options.axisMin;
        fields.EdtAxisMax = options.axisMax;
    }
    if (options.rays)
        fields.CbxNumRay = *options.rays;
    if (options.ellipsoidSize)
        fields.LblEdtSizeEll = *options.ellipsoidSize;
    if (options.noEmergent)
        fields.ChBxEmergRay = false;
}

std::string BatchUsage()
{
    return "Usage: orvane-batch [options]\n"
           "Computes the scattering diagram from Orvane.par as the window's \"Calculation\" does,\n"
           "and writes its data files.\n"
           "  -C, --dir DIR          work in DIR: read DIR/Orvane.par, write every file into DIR\n"
           "                         (default: the current folder)\n"
           "  --no-total             \"Total intensity\" unticked (ticked by default)\n"
           "  --diffraction          \"Diffraction\" ticked\n"
           "  --airy                 \"Airy\" ticked\n"
           "  --uniform-rainbow      \"Uniform rainbow\" ticked: near every rainbow of every order the\n"
           "                         total carries the uniform (Airy) field of the caustic instead of\n"
           "                         the two rays that meet there\n"
           "  --check                \"Check\" ticked (writes Orvane_raw.dat)\n"
           "  --mie                  \"Compare with exact theory\" ticked: for a sphere, the exact\n"
           "                         (Mie) intensity on the angle grid, written as Orvane_Mie.dat and\n"
           "                         shown in the chart\n"
           "  --debye                \"Compare orders with exact Debye terms\" ticked: for a sphere, the\n"
           "                         exact Debye term of every order Min p..Max p on the angle grid,\n"
           "                         written as Orvane_Debye_<p>.dat and shown in the chart\n"
           "  --entry-fresnel        \"Fresnel at entry only\" ticked: every exit and internal\n"
           "                         reflection of a ray takes the Fresnel coefficient of its entry\n"
           "                         point (the rule of earlier versions, exact for a sphere only)\n"
           "  --sharp-diffraction    \"Sharp-edge diffraction\" ticked: the diffraction of a sharp-edged\n"
           "                         shadow, J1(u)/u to 90 degrees, added to the real part of the\n"
           "                         ray sum (the rule of earlier versions)\n"
           "  --minmax MIN MAX       \"Rays b/w Min and Max :\" ticked, with these texts in Min and Max\n"
           "  --picture WxH          after the diagram, the ray-tracing picture on a W x H drawing area,\n"
           "                         written as Orvane.eps\n"
           "  --rays N               the picture's ray count (default 20)\n"
           "  --ellipsoid-size S     the picture's ellipse size (default 0.5)\n"
           "  --no-emergent          \"Show emergent rays\" unticked\n"
           "  --png FILE             with --picture: also save the picture as PNG\n"
           "  --chart-png FILE       also save the diagram's chart, as the window shows it, as PNG\n"
           "  --chart-size WxH       with --chart-png: the chart's size in pixels (default 519x356,\n"
           "                         the window's)\n"
           "  --sweep FILE --task N  one task of an array job: the share of task N (from 0) of every\n"
           "                         combination of the inputs FILE sweeps, written to the\n"
           "                         task's own folder DIR/<FILE's name>.task<N>/\n"
           "  --sweep FILE --merge   every task's file into one NetCDF file, DIR/<FILE's name>.nc\n"
           + Rays3DUsage() +
           "  -h, --help             this text\n"
           "  --version              the program's version\n"
           "Messages go to standard error, one per line. Exit status: 0 done, 1 the run ended with\n"
           "an error, 2 a usage error.\n";
}

} // namespace orvane
