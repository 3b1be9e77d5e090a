// The files of one run replace the old ones together, or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "output/OutputFiles.h"
#include "tests/support/ReferenceFiles.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;

std::vector<std::string> Names(const TempFolder& dir) { return testing::FileNames(dir.path()); }

TEST(OutputFiles, CommitReplacesEveryFileAndLeavesNothingElse)
{
    TempFolder dir;
    dir.write("Orvane_t.dat", "old total\r\n");
    dir.write("Orvane_5.dat", "an order of an older run\r\n");
    {
        OutputFiles files(dir.path());
        files.create("Orvane_t.dat").writeLine("new total");
        files.create("Orvane_0.dat").writeLine("order 0");
        // Nothing has reached the folder's files yet.
        EXPECT_EQ("old total\r\n", ReadBytes(dir / "Orvane_t.dat"));
        files.commit();
    }
    EXPECT_EQ((std::vector<std::string>{"Orvane_0.dat", "Orvane_5.dat", "Orvane_t.dat"}), Names(dir));
    EXPECT_EQ("new total\r\n", ReadBytes(dir / "Orvane_t.dat"));
    EXPECT_EQ("order 0\r\n", ReadBytes(dir / "Orvane_0.dat"));
}

TEST(OutputFiles, ASetDroppedBeforeCommitLeavesTheFolderAsItWas)
{
    // A run that failed or was cancelled after it had begun writing.
    TempFolder dir;
    dir.write("Orvane_raw.dat", "old check file\r\n");
    {
        OutputFiles files(dir.path());
        TextWriter& check = files.create("Orvane_raw.dat");
        for (int i = 0; i < 100000; ++i)
            check.writeLine("a long check file that is flushed on the way");
        files.create("Orvane_t.dat").writeLine("new total");
    }
    EXPECT_EQ(std::vector<std::string>{"Orvane_raw.dat"}, Names(dir));
    EXPECT_EQ("old check file\r\n", ReadBytes(dir / "Orvane_raw.dat"));
}

TEST(OutputFiles, AFileThatCannotBePutInPlaceIsAnErrorNamingIt)
{
    TempFolder dir;
    fs::create_directory(dir / "Orvane_t.dat");
    try {
        OutputFiles files(dir.path());
        files.create("Orvane_t.dat").writeLine("total");
        files.commit();
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_STREQ("Cannot create file \"Orvane_t.dat\": Is a directory", e.what());
    }
    EXPECT_EQ(std::vector<std::string>{"Orvane_t.dat"}, Names(dir));
    // A folder that does not exist: the writer's own error, at once.
    OutputFiles missing(dir / "missing");
    EXPECT_THROW(missing.create("Orvane_t.dat"), FileError);
}

// Every run's set names its files in a manifest written in the same commit; the files of
// earlier runs that it did not rewrite stay, named as earlier files.
TEST(OutputFiles, TheManifestNamesExactlyTheRunsFilesAndTheEarlierOnes)
{
    TempFolder dir, pictures;
    dir.write("Orvane_5.dat", "an order of an older run\r\n");
    dir.write("Orvane.eps", "an older picture\r\n");
    dir.write("Orvane_t.dat", "old total\r\n");
    dir.write("notes.txt", "the user's own\r\n");
    SetRunOrigin("orvane-batch 2.30 --chart-png elsewhere.png");
    DiagramInputs inputs;
    inputs.MaxP = 1;
    inputs.Airy = true;
    {
        OutputFiles files(dir.path());
        files.create("Orvane_t.dat").writeLine("new total");
        files.create("Orvane_10.dat").writeLine("order 10");
        files.create("Orvane_1.dat").writeLine("order 1");
        files.put(pictures / "chart.png", "png");
        files.describe(DiagramManifest(inputs, true));
        files.commit();
    }
    const testing::CrLfLines lines = testing::SplitCrLf(ReadBytes(dir / "Orvane_run.txt"));
    ASSERT_TRUE(lines.ok);
    ASSERT_GT(lines.lines.size(), 3u);
    EXPECT_EQ(lines.lines[2].substr(0, 6), "Time: ");
    const std::vector<std::string> rest(lines.lines.begin() + 3, lines.lines.end());
    EXPECT_EQ(rest, (std::vector<std::string>{
                        "Program: orvane-batch 2.30 --chart-png elsewhere.png",
                        "Run: scattering diagram",
                        "Radii a, b, c [\xB5m]: 50 50 50",
                        "Wavelength [\xB5m]: 0.6328",
                        "Refractive index: 1.333 0",
                        "Incident angle [\xB0]: 0",
                        "Polarisation: 1 (perpendicular)",
                        "Orders p: 0 to 1",
                        "Incident rays: 200",
                        "Scattering angles: 1000",
                        "Ray positions: evenly across the shadow",
                        "Options: total intensity, Airy, check file",
                        "File: " + (pictures / "chart.png").string(),
                        "File: Orvane_1.dat",
                        "File: Orvane_10.dat",
                        "File: Orvane_t.dat",
                        "Earlier file: Orvane.eps",
                        "Earlier file: Orvane_5.dat",
                    }));
    EXPECT_EQ(ReadBytes(dir / "Orvane_5.dat"), "an order of an older run\r\n");

    // Read back, for the window's title.
    const RunFolderState state = DescribeRunFolder(dir.path());
    EXPECT_TRUE(state.hasManifest);
    EXPECT_EQ(state.run, "scattering diagram");
    EXPECT_EQ(state.files.size(), 4u);
    EXPECT_EQ(state.earlier, (std::vector<std::string>{"Orvane.eps", "Orvane_5.dat"}));
    EXPECT_EQ(RunFolderCaption(state),
              dir.path().string() + ": scattering diagram of " + state.time + " (4 files, 2 earlier)");
    EXPECT_EQ(RunFolderCaption(DescribeRunFolder(pictures.path())), pictures.path().string() + ": no run yet");
}

} // namespace
} // namespace orvane
