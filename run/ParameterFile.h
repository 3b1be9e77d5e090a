// The parameter file "Orvane.par": seven lines of numbers read once at start.
#pragma once

#include <cstddef>
#include <filesystem>

#include "run/Fields.h"
#include "run/OrvaneState.h"

namespace orvane {

class TextReader;

inline constexpr const char* kParameterFileName = "Orvane.par";
// Seven lines of numbers and their comments: anything larger is not a parameter file.
inline constexpr std::size_t kParameterFileLimit = 1 << 20;
inline constexpr const char* kNotAParameterFileMessage =
    "Orvane.par is not a parameter file (a regular file of at most 1 MiB).";

// Reads the seven lines into the run parameters (IncAngle stays in degrees). Throws
// EInOutError naming the file when it is missing, unreadable or holds an invalid number,
// and kNotAParameterFileMessage when it is not a regular file of at most 1 MiB (a folder, a
// named pipe, a device); the parameters are written only after the whole file has been read.
void ReadParameterFile(const std::filesystem::path& file, TRunParams& params);

// The same from a reader already holding the file's bytes.
void ReadParameters(TextReader& in, TRunParams& params);

// Writes the values read from the file into the fields, as the window shows them
// (FloatToStr for reals, IntToStr for integers). The other fields keep their texts.
void WriteParametersToFields(const TRunParams& params, Fields& fields);

} // namespace orvane
