// Fraunhofer diffraction by the particle's shadow: a real amplitude J1(u)/u around the incident
// direction, added to the real part of the summed ray amplitude, and the file "Orvane_d.dat".
#pragma once

#include <filesystem>

#include "engine/AssembleOrders.h"
#include "engine/TraceRays.h"
#include "numeric/StagedFiles.h"
#include "run/OrvaneState.h"

namespace orvane {

inline constexpr const char* kDiffractionFileName = "Orvane_d.dat";

// DiffAmp on the whole grid: IntensityNorm·J1(u)/u with u = |sin δ|·ShadowSizeParam, δ the
// plain difference between the grid angle and the incident angle, and 0 from |δ| = π/2 on.
// At δ = 0 the limit IntensityNorm/2.
void ComputeDiffraction(const TRunParams& P, const DiagramNorm& norm, TScatteringGrid& grid);

// The header, and when the amplitude was computed one line per grid angle with DiffAmp².
void WriteDiffractionFile(StagedFiles& files, const std::filesystem::path& file, const TScatteringGrid& grid,
                          bool withAmplitude);

} // namespace orvane
