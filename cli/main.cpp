// orvane-batch: the window's diagram run (and ray-tracing picture) without a window. It starts
// as the window does, from Orvane.par and the fields' defaults, lets the options set fields and
// boxes, computes with the same entry points, and prints every message the window would show
// on stderr. Images are drawn by a module loaded only when one is asked for.
//
// A run holds its folder from start to end (one run at a time), and everything it writes, the
// data files, the picture, the images and the manifest, goes into place in one commit. SIGINT,
// SIGTERM and SIGHUP end it cleanly: before the commit nothing is changed; during the commit
// the commit is completed first. Either way the program then ends by that signal.
#include <atomic>
#include <csignal>
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
#include "base/RunFolder.h"
#include "run/FieldInputs.h"
#include "run/Jobs.h"
#include "run/ParameterFile.h"
#include "output/Rays3DFile.h"
#include "run/Rays3DJob.h"

namespace orvane {
namespace {

// The size of the window's chart, the default of --chart-size.
constexpr int kChartWidth = 519;
constexpr int kChartHeight = 356;

// The signal that asked the run to stop (0: none). Set by the handler, read by the run's checks
// on any of its threads.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

extern "C" void OnStopSignal(int signal) { g_stopSignal.store(signal); }

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void CatchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals)
        sigaction(signal, &action, nullptr);
}

// Ends the process by the signal that stopped it, as if it had not been caught: a shell that
// started it sees the signal (and stops its loop on Ctrl-C).
[[noreturn]] void EndBySignal(int signal)
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    std::raise(signal);
    std::_Exit(128 + signal);
}

class StderrControl final : public RunControl {
public:
    void display(const std::string& text) override { std::cerr << text << '\n' << std::flush; }
    bool cancelRequested() const override { return g_stopSignal.load() != 0; }
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

std::string ImageBytes(bool made, const std::string& png, const std::string& error)
{
    if (!made)
        throw FileError(error);
    return png;
}

// The command line as the manifest gives it, each argument quoted where a shell would need it.
std::string CommandLine(const std::vector<std::string>& args)
{
    std::string line = std::string("orvane-batch ") + ORVANE_VERSION;
    for (const std::string& arg : args) {
        const bool plain = !arg.empty() && arg.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                                 "0123456789-_.,/:=+x") == std::string::npos;
        if (plain) {
            line += " " + arg;
            continue;
        }
        line += " '";
        for (const char c : arg)
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += "'";
    }
    return line;
}

int Run(const BatchOptions& options)
{
    const char separator = DecimalSeparatorOfLocale();
    const std::filesystem::path folder(options.dir);
    StderrControl control;
    // A task of an array job shares the folder with the other tasks running at the same time:
    // it holds the folder of its own results instead.
    if (options.task) {
        Fields fields;
        WriteParametersToFields(ReadParameterFile(folder.empty() ? kParameterFileName : folder / kParameterFileName),
                                fields, separator);
        ApplyBatchOptions(options, fields);
        RunSweepTask(ReadSweepFile(options.sweep), *options.task, fields, separator, folder, control);
        return 0;
    }
    // Before anything is read: the folder is this run's, and what a killed run left there is
    // put right even when this run is then refused for its inputs.
    const RunFolder held(folder);

    if (options.merge) {
        MergeSweepTasks(ReadSweepFile(options.sweep), folder, std::string("orvane-batch ") + ORVANE_VERSION, control);
        return 0;
    }

    Fields fields;
    WriteParametersToFields(ReadParameterFile(folder.empty() ? kParameterFileName : folder / kParameterFileName),
                            fields, separator);
    ApplyBatchOptions(options, fields);

    const DiagramInputs inputs = ReadDiagramInputs(fields, separator, control);
    OutputFiles files(held.path());
    const DiagramResult result = ComputeDiagramFiles(inputs, fields.ChBxCheck, files, separator, control);
    RunManifest manifest = DiagramManifest(inputs, fields.ChBxCheck);

    // The images and the picture are made before anything is put in place: one that cannot be
    // made or written leaves every file of the folder as it was.
    std::string png, error;
    if (!options.chartPng.empty()) {
        const PictureSize size = options.chartSize.value_or(PictureSize{kChartWidth, kChartHeight});
        files.put(options.chartPng,
                  ImageBytes(LoadRenderModule().chartPng(result, size.width, size.height, &png, &error), png, error));
        ThrowIfCancelled(control);
    }
    if (options.picture) {
        const PictureInputs pictureInputs = ReadPictureInputs(fields, separator, control);
        const Picture picture = ComputePicture(pictureInputs, options.picture->width, options.picture->height);
        StagePictureFile(picture, files, separator);
        AddPictureToManifest(manifest, pictureInputs, picture.width, picture.height);
        if (!options.png.empty())
            files.put(options.png, ImageBytes(LoadRenderModule().picturePng(picture, &png, &error), png, error));
    }
    if (!options.rays3d.file.empty()) {
        const Rays3DInputs rays3d = Rays3DInputsOf(inputs, options.rays3d, separator);
        const int grid = Rays3DGridOf(options.rays3d);
        StageRays3DFile(rays3d, grid, files, options.rays3d.file, separator, control);
        AddRays3DToManifest(manifest, rays3d, grid);
    }
    files.describe(manifest);
    ThrowIfCancelled(control);
    // From here on a signal waits for the commit to complete.
    files.commit();
    return 0;
}

} // namespace
} // namespace orvane

int main(int argc, char** argv)
{
    using namespace orvane;
    const std::vector<std::string> args(argv + 1, argv + argc);
    BatchOptions options;
    try {
        options = ParseBatchOptions(args);
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
    CatchStopSignals();
    SetRunOrigin(CommandLine(args));
    int status = 0;
    try {
        status = Run(options);
    } catch (const std::exception& e) {
        // The errors of the run carry the message the window would show.
        if (g_stopSignal.load() != 0 && dynamic_cast<const Cancelled*>(&e) != nullptr)
            std::cerr << "Interrupted: no file was changed.\n";
        else
            std::cerr << e.what() << '\n';
        status = 1;
    }
    UnloadRenderModule();
    if (const int signal = g_stopSignal.load(); signal != 0)
        EndBySignal(signal);
    return status;
}
