// The files of one run replace the old ones together, or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "output/OutputFiles.h"
#include "tests/support/TestFiles.h"

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

} // namespace
} // namespace orvane
