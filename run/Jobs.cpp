#include "run/Jobs.h"

#include <optional>

#include "base/RunControl.h"
#include "output/CheckFile.h"
#include "output/DataFiles.h"
#include "output/EpsFile.h"
#include "output/OutputFiles.h"

namespace orvane {

DiagramResult RunDiagram(const DiagramInputs& inputs, bool checkFile, const OutputOptions& output,
                         RunControl& control)
{
    OutputFiles files(output.folder);
    std::optional<CheckFileWriter> check;
    if (checkFile)
        check.emplace(files.create(kCheckFileName), output.separator);
    DiagramResult result = ComputeDiagram(inputs, control, check ? &*check : nullptr);
    ThrowIfCancelled(control);
    control.progress(RunStage::Writing, 0, 1);
    WriteDiagramFiles(result, files, output.separator);
    ThrowIfCancelled(control);
    files.commit();
    return result;
}

void WritePictureFile(const Picture& picture, const OutputOptions& output)
{
    OutputFiles files(output.folder);
    WriteEpsFile(picture, files.create(kEpsFileName), output.separator);
    files.commit();
}

} // namespace orvane
