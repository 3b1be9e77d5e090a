// orvane-batch: the window's diagram run (and ray-tracing picture) without a window. It starts
// as the window does, from Orvane.par and the fields' defaults, lets the options set fields and
// boxes, computes with the same entry points, and prints every message the window would show
// on stderr. Images are drawn by a module loaded only when one is asked for.
#include <clocale>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/BatchOptions.h"
#include "cli/RenderModule.h"
#include "cli/Sweep.h"
#include "base/Errors.h"
#include "base/RunControl.h"
#include "run/FieldInputs.h"
#include "run/Jobs.h"
#include "run/ParameterFile.h"

namespace orvane {
namespace {

// The size of the window's chart, the default of --chart-size.
constexpr int kChartWidth = 519;
constexpr int kChartHeight = 356;

class StderrControl final : public RunControl {
public:
    void display(const std::string& text) override { std::cerr << text << '\n' << std::flush; }
};

// The locale's decimal separator for the numbers of fields and files; the C library keeps the
// point, so that nothing below depends on the locale.
char DecimalSeparatorOfLocale()
{
    std::setlocale(LC_ALL, "");
    const char* point = std::localeconv()->decimal_point;
    const char separator = point && point[0] && !point[1] ? point[0] : '.';
    std::setlocale(LC_ALL, "C");
    return separator;
}

void SaveImage(bool saved, const std::string& error)
{
    if (!saved)
        throw FileError(error);
}

int Run(const BatchOptions& options)
{
    const char separator = DecimalSeparatorOfLocale();
    const std::filesystem::path folder(options.dir);
    StderrControl control;

    if (options.merge) {
        MergeSweepTasks(ReadSweepFile(options.sweep), folder, std::string("orvane-batch ") + ORVANE_VERSION);
        return 0;
    }

    Fields fields;
    WriteParametersToFields(ReadParameterFile(folder.empty() ? kParameterFileName : folder / kParameterFileName),
                            fields, separator);
    ApplyBatchOptions(options, fields);

    if (options.task) {
        RunSweepTask(ReadSweepFile(options.sweep), *options.task, fields, separator, folder, control);
        return 0;
    }

    const OutputOptions output{folder, separator};
    const DiagramInputs inputs = ReadDiagramInputs(fields, separator, control);
    const DiagramResult result = RunDiagram(inputs, fields.ChBxCheck, output, control);

    std::string error;
    if (!options.chartPng.empty()) {
        const PictureSize size = options.chartSize.value_or(PictureSize{kChartWidth, kChartHeight});
        SaveImage(LoadRenderModule().saveChartPng(result, size.width, size.height, options.chartPng, &error), error);
    }
    if (options.picture) {
        const PictureInputs pictureInputs = ReadPictureInputs(fields, separator, control);
        const Picture picture = ComputePicture(pictureInputs, options.picture->width, options.picture->height);
        WritePictureFile(picture, output);
        if (!options.png.empty())
            SaveImage(LoadRenderModule().savePicturePng(picture, options.png, &error), error);
    }
    return 0;
}

} // namespace
} // namespace orvane

int main(int argc, char** argv)
{
    using namespace orvane;
    BatchOptions options;
    try {
        options = ParseBatchOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "orvane-batch: " << e.message << "\nTry 'orvane-batch --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << BatchUsage();
        return 0;
    }
    if (options.version) {
        std::cout << "orvane-batch " << ORVANE_VERSION << '\n';
        return 0;
    }
    int status = 0;
    try {
        status = Run(options);
    } catch (const std::exception& e) {
        // The errors of the run carry the message the window would show.
        std::cerr << e.what() << '\n';
        status = 1;
    }
    UnloadRenderModule();
    return status;
}
