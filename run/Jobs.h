// A computation with its files, as the window's buttons and orvane-batch start it: the same
// entry points for both front ends. The files of a run go into one folder and replace the old
// ones together: a run that fails or is cancelled leaves the folder as it was.
#pragma once

#include <filesystem>

#include "engine/Diagram.h"
#include "raytrace/Picture.h"

namespace orvane {

class RunControl;

struct OutputOptions {
    std::filesystem::path folder;  // empty: the current folder
    char separator = '.';          // decimal separator of the numbers in the files
};

// The scattering diagram and its data files (with the check file when asked).
DiagramResult RunDiagram(const DiagramInputs& inputs, bool checkFile, const OutputOptions& output,
                         RunControl& control);

// The picture's EPS file, "Orvane.eps".
void WritePictureFile(const Picture& picture, const OutputOptions& output);

} // namespace orvane
