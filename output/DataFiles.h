// The data files of a scattering diagram, all in the program's text format (Windows-1252,
// CR LF, the formats of Format with the user's decimal separator), and their names.
#pragma once

#include <span>
#include <string>

#include "engine/Diagram.h"
#include "output/OutputFiles.h"

namespace orvane {

inline constexpr const char* kTotalFileName = "Orvane_t.dat";
inline constexpr const char* kDiffractionFileName = "Orvane_d.dat";
inline constexpr const char* kAiryFileName = "Orvane_Airy.dat";
inline constexpr const char* kMieFileName = "Orvane_Mie.dat";
inline constexpr const char* kCheckFileName = "Orvane_raw.dat";

// "Orvane_<p>.dat".
std::string OrderFileName(int p);
// "Orvane_Debye_<p>.dat": the exact Debye term of order p of a sphere.
std::string DebyeFileName(int p);

// The header of every file of angles and intensities.
inline constexpr const char* kAngleIntensityHeader = "# theta[deg.] Intensity";

// One line "%12.6f %12.6e" per angle: the angle [rad] in degrees and the intensity. Every
// number must be finite (MathError otherwise, before anything is written).
void WriteAngleIntensityLines(TextWriter& out, std::span<const double> angle, std::span<const double> intensity,
                              char separator);

// A whole file of angles and intensities: the header, then the lines, then closed.
void WriteAngleIntensityFile(TextWriter& out, std::span<const double> angle, std::span<const double> intensity,
                             char separator);

// Every data file of the run: one file per order MinP..MaxP (the rays in ray order), the total
// file, and when they were computed the diffraction file (with the total), the Airy file and the
// exact-theory files (Mie, and the Debye term of every order).
void WriteDiagramFiles(const DiagramResult& result, OutputFiles& files, char separator);

} // namespace orvane
