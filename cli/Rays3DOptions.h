// The options of orvane-batch for the 3-D rays: --rays3d FILE writes every ray of every order
// out of the plane of the ellipse (output/Rays3DFile.h) after the diagram, for the particle,
// incident angle, orders and Fresnel rule of the diagram.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "trace3d/Rays3D.h"

namespace orvane {

struct DiagramInputs;

struct Rays3DOptions {
    std::string file;                         // --rays3d: where the rays go; empty: no 3-D rays
    std::optional<std::string> grid;          // --rays3d-grid N: the pupil grid's side (default 200)
    std::optional<std::string> tilt;          // --tilt DEG: out of the a–c plane towards b (default 0)
    std::optional<std::string> polarisation;  // --polarisation-angle DEG or "unpolarised"
};

// The pupil grid's side without --rays3d-grid.
inline constexpr int kDefaultRays3DGrid = 200;

// Takes args[i] (and its value) when it is one of these options; false otherwise. Throws the
// UsageError of BatchOptions.h for a missing value.
bool ParseRays3DOption(const std::vector<std::string>& args, std::size_t& i, Rays3DOptions& options);
// Options that only make sense with --rays3d; throws UsageError otherwise.
void CheckRays3DOptions(const Rays3DOptions& options);

// The 3-D inputs of the diagram's particle with the options: the diagram's polarisation (0
// parallel: ψ = 0; perpendicular: ψ = 90°) unless --polarisation-angle is given. The numbers are
// read with the decimal separator, as the fields' texts (InputError naming the option).
Rays3DInputs Rays3DInputsOf(const DiagramInputs& diagram, const Rays3DOptions& options, char separator);
int Rays3DGridOf(const Rays3DOptions& options);

// The options' lines of orvane-batch --help.
std::string Rays3DUsage();

} // namespace orvane
