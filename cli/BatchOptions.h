// The command line of orvane-batch: parsed into plain data, applied to the window's fields.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/Rays3DOptions.h"
#include "run/Fields.h"

namespace orvane {

struct PictureSize {
    int width = 0;
    int height = 0;
};

struct BatchOptions {
    std::string dir;              // -C: read Orvane.par and write every file here; empty: current folder
    bool noTotal = false;         // "Total intensity" unticked
    bool diffraction = false;
    bool airy = false;
    bool uniformRainbow = false;  // "Uniform rainbow" ticked
    bool check = false;
    bool mie = false;             // the chart menu's "Compare with exact theory" ticked
    bool debye = false;           // the chart menu's "Compare orders with exact Debye terms" ticked
    bool entryFresnel = false;    // "Fresnel at entry only" ticked
    bool sharpDiffraction = false;  // "Sharp-edge diffraction" ticked
    bool minMax = false;          // "Rays b/w Min and Max :" ticked with the two texts
    std::string axisMin, axisMax;
    std::optional<PictureSize> picture;
    std::optional<std::string> rays;           // the picture's ray count text
    std::optional<std::string> ellipsoidSize;  // the picture's size text
    bool noEmergent = false;
    std::string png;              // with --picture: the picture as PNG
    std::string chartPng;         // the diagram's chart as PNG
    std::optional<PictureSize> chartSize;  // the chart's size for --chart-png; none: the window's
    Rays3DOptions rays3d;         // --rays3d FILE and its options
    std::string sweep;            // a sweep file: with task, one task of an array job; with merge, the merge
    std::optional<int> task;
    bool merge = false;
    bool help = false;
    bool version = false;
};

// A command line that cannot be used; its message says why.
struct UsageError {
    std::string message;
};

// args without the program name. Throws UsageError.
BatchOptions ParseBatchOptions(const std::vector<std::string>& args);

// Sets the fields and boxes the options name; the others keep their texts.
void ApplyBatchOptions(const BatchOptions& options, Fields& fields);

// The text of -h / --help.
std::string BatchUsage();

} // namespace orvane
