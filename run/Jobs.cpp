#include "run/Jobs.h"

#include <optional>

#include "base/RunControl.h"
#include "base/TextFile.h"
#include "output/CheckFile.h"
#include "output/DataFiles.h"
#include "output/EpsFile.h"

namespace orvane {

DiagramResult ComputeDiagramFiles(const DiagramInputs& inputs, bool checkFile, OutputFiles& files, char separator,
                                  RunControl& control)
{
    std::optional<CheckFileWriter> check;
    if (checkFile)
        check.emplace(files.create(kCheckFileName), separator);
    DiagramResult result = ComputeDiagram(inputs, control, check ? &*check : nullptr);
    ThrowIfCancelled(control);
    control.progress(RunStage::Writing, 0, 1);
    WriteDiagramFiles(result, files, separator);
    return result;
}

void StagePictureFile(const Picture& picture, OutputFiles& files, char separator)
{
    WriteEpsFile(picture, files.create(kEpsFileName), separator);
}

DiagramResult RunDiagram(const DiagramInputs& inputs, bool checkFile, const RunFolder& folder, char separator,
                         RunControl& control)
{
    OutputFiles files(folder.path());
    DiagramResult result = ComputeDiagramFiles(inputs, checkFile, files, separator, control);
    files.describe(DiagramManifest(inputs, checkFile));
    ThrowIfCancelled(control);
    files.commit();
    return result;
}

DiagramResult RunDiagram(const DiagramInputs& inputs, bool checkFile, const OutputOptions& output,
                         RunControl& control)
{
    const RunFolder folder(output.folder);
    return RunDiagram(inputs, checkFile, folder, output.separator, control);
}

void WritePictureFile(const Picture& picture, const PictureInputs& inputs, const RunFolder& folder, char separator)
{
    OutputFiles files(folder.path());
    StagePictureFile(picture, files, separator);
    RunManifest manifest;
    AddPictureToManifest(manifest, inputs, picture.width, picture.height);
    files.describe(manifest);
    files.commit();
}

void WritePictureFile(const Picture& picture, const PictureInputs& inputs, const OutputOptions& output)
{
    const RunFolder folder(output.folder);
    WritePictureFile(picture, inputs, folder, output.separator);
}

void WritePictureFile(const Picture& picture, const OutputOptions& output)
{
    const RunFolder folder(output.folder);
    OutputFiles files(folder.path());
    StagePictureFile(picture, files, output.separator);
    RunManifest manifest;
    AddPictureToManifest(manifest, picture);
    files.describe(manifest);
    files.commit();
}

RunFolderState OpenRunFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(folder.empty() ? std::filesystem::path(".") : folder, ec))
        throw FileError("\"" + folder.string() + "\" is not a folder.");
    RepairRunFolder(folder);
    return DescribeRunFolder(folder);
}

} // namespace orvane
