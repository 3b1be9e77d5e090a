// The parameter file "Orvane.par": seven lines of numbers read once at start.
#pragma once

#include <filesystem>

#include "run/Fields.h"
#include "run/OrvaneState.h"

namespace orvane {

inline constexpr const char* kParameterFileName = "Orvane.par";

// Reads the seven lines into the run parameters (IncAngle stays in degrees). Throws
// EInOutError naming the file when it is missing, unreadable or holds an invalid number;
// the parameters are written only after the whole file has been read.
void ReadParameterFile(const std::filesystem::path& file, TRunParams& params);

// Writes the values read from the file into the fields, as the window shows them
// (FloatToStr for reals, IntToStr for integers). The other fields keep their texts.
void WriteParametersToFields(const TRunParams& params, Fields& fields);

} // namespace orvane
