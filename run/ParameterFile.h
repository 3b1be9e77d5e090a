// The parameter file "Orvane.par": seven lines of numbers, read once at start. The window can
// also save its fields in that form and open such a file later.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "run/Fields.h"

namespace orvane {

class TextReader;

inline constexpr const char* kParameterFileName = "Orvane.par";
// Seven lines of numbers and their comments: anything larger is not a parameter file.
inline constexpr std::size_t kParameterFileLimit = 1 << 20;
inline constexpr const char* kNotAParameterFileMessage =
    "Orvane.par is not a parameter file (a regular file of at most 1 MiB).";

// The values of the file as written there: lengths in µm, the incident angle in degrees.
struct ParameterFileValues {
    double RadiusA = 0, RadiusB = 0, RadiusC = 0;  // line 1
    double Wavelength = 0;                          // line 2
    double IndexRe = 0, IndexIm = 0;                // line 3
    double IncAngleDegrees = 0;                     // line 4, with
    std::int32_t Polar = 0;                         //   the polarisation (0 parallel, 1 perpendicular)
    std::int32_t MinP = 0, MaxP = 0;                // line 5
    std::int32_t NumIncRays = 0, NumScaRays = 0;    // line 6
    std::int32_t Reserved = 0;                      // line 7, read and kept by nothing
};

// Reads the seven lines. Throws FileError naming the file when it is missing, unreadable or
// holds an invalid number, and kNotAParameterFileMessage when it is not a regular file of at
// most 1 MiB (a folder, a named pipe, a device); values past the end of the file read as 0.
ParameterFileValues ReadParameterFile(const std::filesystem::path& file);

// The same from a reader already holding the file's bytes.
ParameterFileValues ReadParameters(TextReader& in);

// Writes the values into the fields as the window shows them (FloatToStr with the given decimal
// separator for reals, IntToStr for integers). The other fields keep their texts.
void WriteParametersToFields(const ParameterFileValues& values, Fields& fields, char separator = '.');

// The values of the fields that the file holds, converted as every computation converts them
// (StrToFloat with the separator, StrToInt): a text that is not a number throws ConversionError
// quoting it. Line 7 is written as 0.
ParameterFileValues ReadParametersFromFields(const Fields& fields, char separator = '.');

// Writes the seven lines in the form ReadParameterFile reads back to the same values: a point as
// decimal separator, each real in the shortest form that gives it back exactly, CR LF line ends.
// The file is replaced whole or not at all; FileError naming it when it cannot be written.
void WriteParameterFile(const ParameterFileValues& values, const std::filesystem::path& file);

} // namespace orvane
