// A computation with its files, as the window's buttons, orvane-batch and the Python module start
// it: the same entry points for every front end. A run holds its folder for its whole length (one
// run at a time; base/RunFolder.h), and its files, with the manifest that names them, go into the
// folder in one commit that a failure, a cancel or a killed process cannot leave half done.
#pragma once

#include <filesystem>

#include "base/RunFolder.h"
#include "engine/Diagram.h"
#include "output/OutputFiles.h"
#include "output/RunManifest.h"
#include "raytrace/Picture.h"

namespace orvane {

class RunControl;

struct OutputOptions {
    std::filesystem::path folder;  // empty: the current folder
    char separator = '.';          // decimal separator of the numbers in the files
};

// The scattering diagram and its data files (with the check file when asked), taking the
// folder for the run (FolderBusy when another run holds it).
DiagramResult RunDiagram(const DiagramInputs& inputs, bool checkFile, const OutputOptions& output,
                         RunControl& control);
// The same in a folder the caller already holds.
DiagramResult RunDiagram(const DiagramInputs& inputs, bool checkFile, const RunFolder& folder, char separator,
                         RunControl& control);

// The picture's EPS file, "Orvane.eps", as a run of its own (with its manifest).
void WritePictureFile(const Picture& picture, const PictureInputs& inputs, const OutputOptions& output);
void WritePictureFile(const Picture& picture, const PictureInputs& inputs, const RunFolder& folder, char separator);
// Without the inputs at hand, the manifest tells the picture's size and rays only.
void WritePictureFile(const Picture& picture, const OutputOptions& output);

// The pieces of a run that makes several results at once (orvane-batch: the diagram, the
// picture and the images, all in one commit): the caller holds the folder, stages each
// result's files into one set, describes the run and commits the set once.
// The diagram with its data files staged (not yet in place).
DiagramResult ComputeDiagramFiles(const DiagramInputs& inputs, bool checkFile, OutputFiles& files, char separator,
                                  RunControl& control);
// The picture's EPS file staged.
void StagePictureFile(const Picture& picture, OutputFiles& files, char separator);

// A folder the user has chosen to work in (the window's File menu): the folder repaired as a run
// would repair it (an interrupted commit finished, dead runs' temporaries removed), and what it
// holds, for the title or the status line. FileError when it is not a folder.
RunFolderState OpenRunFolder(const std::filesystem::path& folder);

} // namespace orvane
