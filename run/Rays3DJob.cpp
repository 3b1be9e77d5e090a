#include "run/Rays3DJob.h"

#include "output/Rays3DFile.h"

namespace orvane {

PupilRun StageRays3DFile(const Rays3DInputs& inputs, int n, OutputFiles& files, const std::filesystem::path& file,
                         char separator, RunControl& control)
{
    Rays3DFileWriter writer(files.createAt(file), inputs, MakePupil(inputs), n, separator);
    return TracePupil(inputs, n, writer, control);
}

} // namespace orvane
