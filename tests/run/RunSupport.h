// A diagram run as the window starts it, for the run tests: the fields read into the typed
// inputs, then the run with its files in a folder.
#pragma once

#include <filesystem>

#include "base/RunControl.h"
#include "run/Fields.h"
#include "run/FieldInputs.h"
#include "run/Jobs.h"

namespace orvane::testing {

struct WindowRun {
    Fields fields;             // the window's defaults
    RecordingControl sink;     // every message of the run, in order
};

inline DiagramResult Calculate(WindowRun& run, const std::filesystem::path& dir)
{
    const DiagramInputs inputs = ReadDiagramInputs(run.fields, '.', run.sink);
    return RunDiagram(inputs, run.fields.ChBxCheck, {dir, '.'}, run.sink);
}

} // namespace orvane::testing
