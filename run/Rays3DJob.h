// The 3-D rays of a particle over the grid of its pupil, written to the rays file: the part of
// orvane-batch --rays3d. The file is staged into the run's set and goes into place with the
// run's other files in its one commit (run/Jobs.h).
#pragma once

#include <filesystem>

#include "output/OutputFiles.h"
#include "trace3d/Rays3D.h"

namespace orvane {

class RunControl;

// Traces the n × n pupil grid and stages `file` (output/Rays3DFile.h; a path relative to the
// current folder, anywhere) in `files`, with the given decimal separator.
PupilRun StageRays3DFile(const Rays3DInputs& inputs, int n, OutputFiles& files, const std::filesystem::path& file,
                         char separator, RunControl& control);

} // namespace orvane
