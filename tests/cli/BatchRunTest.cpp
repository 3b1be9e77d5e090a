// Whole runs of the built orvane-batch in temporary folders: the reference runs file by file,
// the exit statuses, and what reaches standard error.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "mie/Debye.h"
#include "tests/support/ReferenceFiles.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::CompareWithReference;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

const fs::path kReference = ORVANE_REFERENCE_DIR;

struct BatchOutcome {
    int status = -1;
    std::vector<std::string> errorLines;
    std::string out;
};

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs orvane-batch with the arguments from inside dir; stdout and stderr are kept.
BatchOutcome RunBatch(const TempFolder& dir, const std::vector<std::string>& args, const std::string& prefix = "")
{
    std::string command = "cd " + Quote(dir.path().string()) + " && " + prefix + Quote(ORVANE_BATCH_EXE);
    for (const auto& a : args) {
        command += ' ';
        command += Quote(a);
    }
    const fs::path out = dir.path().parent_path() / (dir.path().filename().string() + ".out");
    const fs::path err = dir.path().parent_path() / (dir.path().filename().string() + ".err");
    command += " > " + Quote(out.string()) + " 2> " + Quote(err.string());
    const int raw = std::system(command.c_str());
    BatchOutcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = ReadBytes(out);
    std::istringstream lines(ReadBytes(err));
    for (std::string line; std::getline(lines, line);)
        outcome.errorLines.push_back(line);
    fs::remove(out);
    fs::remove(err);
    return outcome;
}

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

std::vector<std::string> DataFiles(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".dat")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class BatchReference : public ::testing::TestWithParam<const char*> {};

TEST_P(BatchReference, ReproducesTheReferenceRun)
{
    const fs::path reference = kReference / GetParam();
    TempFolder work;
    fs::create_directory(work / "run");
    fs::copy_file(reference / "Orvane.par", work / "run/Orvane.par");

    // The recorded options, with -C pointing at the run's folder.
    std::vector<std::string> args = {"-C", "run"};
    for (const auto& w : Words(ReadBytes(reference / "options.txt")))
        args.push_back(w);
    const BatchOutcome outcome = RunBatch(work, args);

    // messages.txt: the messages, one a line, then "exit N".
    std::vector<std::string> expected = Words(ReadBytes(reference / "messages.txt"));
    ASSERT_GE(expected.size(), 2u);
    EXPECT_EQ(outcome.status, std::atoi(expected.back().c_str()));
    std::istringstream messageLines(ReadBytes(reference / "messages.txt"));
    std::vector<std::string> messages;
    for (std::string line; std::getline(messageLines, line);)
        if (line.rfind("exit ", 0) != 0)
            messages.push_back(line);
    EXPECT_EQ(outcome.errorLines, messages);

    EXPECT_EQ(DataFiles(work / "run"), DataFiles(reference));
    for (const auto& name : DataFiles(reference))
        EXPECT_EQ(CompareWithReference(work.path() / "run" / name, reference / name,
                                       testing::IllConditionedReferenceLines(GetParam(), name)),
                  "");
    // The picture itself is the ray-tracing tests' business; here only that it was made.
    EXPECT_GT(fs::file_size(work / "run/Orvane.eps"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Runs, BatchReference, ::testing::Values("default", "spheroid", "spheroid-entry-fresnel"));

// A folder holding the default parameter file.
void PutDefaultParameters(const TempFolder& dir) { fs::copy_file(kReference / "default/Orvane.par", dir / "Orvane.par"); }

TEST(BatchRun, UsageErrorsExit2BeforeAnyWork)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"--minmax", "1"}, {"--picture", "0x5"}, {"--png", "p.png"}, {"-C"}}) {
        TempFolder dir;
        PutDefaultParameters(dir);
        const BatchOutcome outcome = RunBatch(dir, args);
        EXPECT_EQ(outcome.status, 2) << args[0];
        EXPECT_FALSE(outcome.errorLines.empty()) << args[0];
        EXPECT_TRUE(DataFiles(dir.path()).empty()) << args[0];
    }
}

TEST(BatchRun, HelpAndVersionExit0)
{
    TempFolder dir;
    const BatchOutcome help = RunBatch(dir, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--chart-png"), std::string::npos);
    const BatchOutcome version = RunBatch(dir, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("orvane-batch ", 0), 0u);
}

TEST(BatchRun, MissingParameterFileExits1WithoutComputing)
{
    TempFolder dir;
    const BatchOutcome outcome = RunBatch(dir, {});
    EXPECT_EQ(outcome.status, 1);
    ASSERT_EQ(outcome.errorLines.size(), 1u);
    EXPECT_NE(outcome.errorLines[0].find("Orvane.par"), std::string::npos);
    EXPECT_TRUE(DataFiles(dir.path()).empty());
}

// The names whose entries differ between two snapshots of a folder (added, removed or changed).
std::vector<std::string> Differences(const std::map<std::string, std::string>& before,
                                     const std::map<std::string, std::string>& after)
{
    std::vector<std::string> names;
    for (const auto& [name, bytes] : before) {
        const auto other = after.find(name);
        if (other == after.end() || other->second != bytes)
            names.push_back(name);
    }
    for (const auto& [name, bytes] : after)
        if (!before.contains(name))
            names.push_back(name);
    return names;
}

// Every fault of the output ends the run with exit 1 and its message, and leaves the folder
// exactly as the last good run left it: no file half written, no mix of two runs, no
// temporary.
TEST(BatchRun, AnOutputFaultExits1AndLeavesTheLastGoodRun)
{
    struct Case {
        const char* name;
        const char* replaced;  // the file that is taken away and what stands in its place
        const char* link;      // empty: a folder
        std::string message;
    };
    const Case cases[] = {
        {"a folder at an order file", "Orvane_2.dat", "", "Cannot create file \"Orvane_2.dat\": Is a directory"},
        {"a full device behind the total file", "Orvane_t.dat", "/dev/full", "Disk full: cannot write \"Orvane_t.dat\""},
        // The picture goes into the same commit as the diagram's files.
        {"a full device behind the picture", "Orvane.eps", "/dev/full", "Disk full: cannot write \"Orvane.eps\""},
    };
    const std::vector<std::string> args = {"--diffraction", "--airy", "--check", "--picture", "300x200"};
    for (const Case& c : cases) {
        TempFolder dir;
        PutDefaultParameters(dir);
        ASSERT_EQ(RunBatch(dir, args).status, 0) << c.name;
        fs::remove(dir / c.replaced);
        if (*c.link == '\0')
            fs::create_directory(dir / c.replaced);
        else
            fs::create_symlink(c.link, dir / c.replaced);
        // A run of 300 rays, so that any file it replaced would show.
        WriteBytes(dir / "Orvane.par", "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 4\r\n300 1000\r\n0\r\n");
        const auto before = testing::Snapshot(dir.path());

        const BatchOutcome outcome = RunBatch(dir, args);
        EXPECT_EQ(outcome.status, 1) << c.name;
        EXPECT_EQ(outcome.errorLines, std::vector<std::string>{c.message}) << c.name;
        EXPECT_EQ(Differences(before, testing::Snapshot(dir.path())), std::vector<std::string>{}) << c.name;
    }
}

TEST(BatchRun, ACheckFileSentToDevNullStillWorks)
{
    TempFolder dir;
    PutDefaultParameters(dir);
    fs::create_symlink("/dev/null", dir / "Orvane_raw.dat");
    const BatchOutcome outcome = RunBatch(dir, {"--check"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(outcome.errorLines.empty()) << outcome.errorLines.front();
    EXPECT_EQ(fs::read_symlink(dir / "Orvane_raw.dat"), "/dev/null");
    EXPECT_EQ(CompareWithReference(dir / "Orvane_2.dat", kReference / "default/Orvane_2.dat"), "");
}

// Orvane.par must be a regular file of at most 1 MiB: a named pipe would block the program
// and /dev/zero would feed it without end. The run is bounded by `timeout`.
TEST(BatchRun, AParameterFileThatIsNotAFileExits1)
{
    const std::string message = "Orvane.par is not a parameter file (a regular file of at most 1 MiB).";
    const std::function<void(const TempFolder&)> kinds[] = {
        [](const TempFolder& dir) { ASSERT_EQ(::mkfifo((dir / "Orvane.par").c_str(), 0600), 0); },
        [](const TempFolder& dir) { fs::create_symlink("/dev/zero", dir / "Orvane.par"); },
        [](const TempFolder& dir) { fs::create_directory(dir / "Orvane.par"); },
        [](const TempFolder& dir) {
            WriteBytes(dir / "Orvane.par", ReadBytes(kReference / "default/Orvane.par") + std::string(1 << 20, ' '));
        },
    };
    int kind = 0;
    for (const auto& make : kinds) {
        TempFolder dir;
        make(dir);
        const BatchOutcome outcome = RunBatch(dir, {}, "timeout 20 ");
        EXPECT_EQ(outcome.status, 1) << "kind " << kind;
        EXPECT_EQ(outcome.errorLines, std::vector<std::string>{message}) << "kind " << kind;
        EXPECT_TRUE(DataFiles(dir.path()).empty()) << "kind " << kind;
        ++kind;
    }
}

TEST(BatchRun, CountsThatLeaveNothingToComputeExit1)
{
    struct Case {
        const char* orders;
        const char* rays;
        const char* message;
    };
    const Case cases[] = {
        {"0 4", "0 1000", "At least 2 incident rays are needed."},
        {"0 4", "-5 1000", "At least 2 incident rays are needed."},
        {"3 2", "200 1000", "Min p must not be larger than Max p."},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        WriteBytes(dir / "Orvane.par", std::string("50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n") + c.orders + "\r\n" +
                                           c.rays + "\r\n0\r\n");
        const BatchOutcome outcome = RunBatch(dir, {"--check"});
        EXPECT_EQ(outcome.status, 1) << c.message;
        EXPECT_EQ(outcome.errorLines, std::vector<std::string>{c.message});
        EXPECT_TRUE(DataFiles(dir.path()).empty()) << c.message;
    }
}

TEST(BatchRun, MessagesGoToStandardErrorAndTheRunGoesOn)
{
    TempFolder dir;
    WriteBytes(dir / "Orvane.par", "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 1\r\n50 1000\r\n0\r\n");
    const BatchOutcome outcome = RunBatch(dir, {"--airy"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.errorLines, (std::vector<std::string>{"Ray number should be more than 100.",
                                                            "No primary rainbow found among the order-2 rays."}));
    EXPECT_EQ(DataFiles(dir.path()), (std::vector<std::string>{"Orvane_0.dat", "Orvane_1.dat", "Orvane_d.dat",
                                                               "Orvane_t.dat"}));
}

TEST(BatchRun, AnErrorOfTheRunExits1WithItsMessageAndNoFile)
{
    TempFolder dir;
    WriteBytes(dir / "Orvane.par", "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 4\r\n1 1000\r\n0\r\n");
    const BatchOutcome outcome = RunBatch(dir, {"--check"});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.errorLines, std::vector<std::string>{"At least 2 incident rays are needed."});
    EXPECT_TRUE(DataFiles(dir.path()).empty());
}

TEST(BatchRun, SavesTheChartAndThePictureAsPng)
{
    TempFolder dir;
    PutDefaultParameters(dir);
    const BatchOutcome outcome =
        RunBatch(dir, {"--picture", "300x200", "--png", "picture.png", "--chart-png", "chart.png"});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(outcome.errorLines.empty()) << outcome.errorLines.front();
    for (const char* name : {"picture.png", "chart.png"})
        EXPECT_EQ(ReadBytes(dir / name).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << name;
    EXPECT_TRUE(fs::exists(dir / "Orvane.eps"));
}

TEST(BatchRun, ExactTheoryWritesItsFilesForASphereOnly)
{
    {
        TempFolder dir;
        PutDefaultParameters(dir);
        const BatchOutcome outcome = RunBatch(dir, {"--mie"});
        EXPECT_EQ(outcome.status, 0);
        EXPECT_TRUE(outcome.errorLines.empty()) << outcome.errorLines.front();
        const testing::CrLfLines lines = testing::SplitCrLf(ReadBytes(dir / "Orvane_Mie.dat"));
        EXPECT_TRUE(lines.ok);
        ASSERT_EQ(lines.lines.size(), 1001u);
        EXPECT_EQ(lines.lines[0], "# theta[deg.] Intensity");
        EXPECT_EQ(lines.lines[1].substr(0, 12), " -180.000000");
    }
    {
        // The Debye term of every order of the run, on the same grid: the values of the module.
        TempFolder dir;
        PutDefaultParameters(dir);
        const BatchOutcome outcome = RunBatch(dir, {"--debye"});
        EXPECT_EQ(outcome.status, 0);
        EXPECT_TRUE(outcome.errorLines.empty()) << outcome.errorLines.front();
        EXPECT_FALSE(fs::exists(dir / "Orvane_Mie.dat"));
        const DebyeSphere drop(50.0, 0.6328, {1.333, 0.0});
        const std::vector<double> grid = MieThetaGrid(1000);
        const auto terms = DebyeGridIntensity(drop, grid, 0.0, 1, 0, 4);
        for (int p = 0; p <= 4; ++p) {
            const std::string name = "Orvane_Debye_" + std::to_string(p) + ".dat";
            const testing::CrLfLines lines = testing::SplitCrLf(ReadBytes(dir.path() / name));
            ASSERT_TRUE(lines.ok) << name;
            ASSERT_EQ(lines.lines.size(), 1001u) << name;
            EXPECT_EQ(lines.lines[0], "# theta[deg.] Intensity") << name;
            for (const std::size_t e : {0u, 300u, 500u, 880u, 999u}) {
                const double written = std::strtod(lines.lines[e + 1].substr(13).c_str(), nullptr);
                const double expected = terms[static_cast<std::size_t>(p)][e];
                EXPECT_NEAR(written, expected, 1e-5 * expected) << name << " line " << e + 2;
            }
        }
        EXPECT_FALSE(fs::exists(dir / "Orvane_Debye_5.dat"));
    }
    {
        // The reference spheroid: the message once, then the diagram as without the exact theory.
        TempFolder dir;
        fs::copy_file(kReference / "spheroid/Orvane.par", dir / "Orvane.par");
        const BatchOutcome outcome = RunBatch(dir, {"--diffraction", "--sharp-diffraction", "--airy", "--mie", "--debye"});
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.errorLines, std::vector<std::string>{"Exact theory is available for spheres only."});
        EXPECT_FALSE(fs::exists(dir / "Orvane_Mie.dat"));
        EXPECT_FALSE(fs::exists(dir / "Orvane_Debye_0.dat"));
        EXPECT_EQ(CompareWithReference(dir / "Orvane_t.dat", kReference / "spheroid/Orvane_t.dat"), "");
    }
}

// Width and height of a PNG file, from its header.
std::pair<int, int> PngSize(const std::string& bytes)
{
    auto be32 = [&](std::size_t at) {
        int v = 0;
        for (std::size_t i = 0; i < 4; ++i)
            v = v * 256 + static_cast<unsigned char>(bytes[at + i]);
        return v;
    };
    return bytes.size() >= 24 ? std::pair{be32(16), be32(20)} : std::pair{0, 0};
}

TEST(BatchRun, ChartPngTakesTheWindowsSizeOrTheOneAskedFor)
{
    TempFolder dir;
    PutDefaultParameters(dir);
    EXPECT_EQ(RunBatch(dir, {"--chart-png", "window.png"}).status, 0);
    EXPECT_EQ(PngSize(ReadBytes(dir / "window.png")), (std::pair{519, 356}));
    EXPECT_EQ(RunBatch(dir, {"--chart-png", "large.png", "--chart-size", "900x500"}).status, 0);
    EXPECT_EQ(PngSize(ReadBytes(dir / "large.png")), (std::pair{900, 500}));
}

TEST(BatchRun, AnImageThatCannotBeSavedExits1)
{
    TempFolder dir;
    PutDefaultParameters(dir);
    fs::create_directory(dir / "chart.png");
    const BatchOutcome outcome = RunBatch(dir, {"--chart-png", "chart.png"});
    EXPECT_EQ(outcome.status, 1);
    ASSERT_EQ(outcome.errorLines.size(), 1u);
    EXPECT_NE(outcome.errorLines[0].find("chart.png"), std::string::npos);
}

} // namespace
} // namespace orvane
