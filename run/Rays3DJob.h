// The 3-D rays of a particle over the grid of its pupil, written to the rays file: the entry
// point of orvane-batch --rays3d (a run of its own, all or nothing like every file of a run).
#pragma once

#include <filesystem>

#include "trace3d/Rays3D.h"

namespace orvane {

class RunControl;

// Traces the n × n pupil grid and writes `file` (output/Rays3DFile.h), with the given decimal
// separator. A failure or a cancel leaves the file as it was.
PupilRun WriteRays3DFile(const Rays3DInputs& inputs, int n, const std::filesystem::path& file, char separator,
                         RunControl& control);

} // namespace orvane
