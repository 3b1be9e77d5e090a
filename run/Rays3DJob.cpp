#include "run/Rays3DJob.h"

#include "output/OutputFiles.h"
#include "output/Rays3DFile.h"

namespace orvane {

PupilRun WriteRays3DFile(const Rays3DInputs& inputs, int n, const std::filesystem::path& file, char separator,
                         RunControl& control)
{
    OutputFiles files(file.parent_path());
    TextWriter& out = files.create(file.filename().string());
    Rays3DFileWriter writer(out, inputs, MakePupil(inputs), n, separator);
    const PupilRun run = TracePupil(inputs, n, writer, control);
    files.commit();
    return run;
}

} // namespace orvane
