// One run at a time in a folder: the lock of a live run refuses a second one (in another
// process or in this one, as Python threads are), goes with its run, and leaves nothing behind.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "base/RunFolder.h"
#include "base/StagedFiles.h"
#include "base/TextFile.h"
#include "tests/support/TestFiles.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

std::string BusyError(const fs::path& folder)
{
    try {
        RunFolder second(folder);
    } catch (const FolderBusy& e) {
        return e.what();
    }
    return "";
}

TEST(RunFolder, ASecondRunIsRefusedWhileTheFirstLives)
{
    TempFolder dir;
    const std::string busy = "Another run is writing into the folder \"" + dir.path().string() +
                             "\": wait until it has ended, or choose another folder.";
    {
        RunFolder first(dir.path());
        // Another holder in this process (another thread's run) ...
        EXPECT_EQ(BusyError(dir.path()), busy);
        // ... and in another process.
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(BusyError(dir.path()) == busy ? 0 : 1);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        // The repair leaves a live run's folder alone.
        EXPECT_NO_THROW(RepairRunFolder(dir.path()));
    }
    // Let go with its run, the lock file removed.
    EXPECT_EQ(BusyError(dir.path()), "");
    EXPECT_TRUE(testing::FileNames(dir.path()).empty());
}

TEST(RunFolder, ADeadRunsLockIsNoLock)
{
    TempFolder dir;
    const pid_t child = ::fork();
    if (child == 0) {
        RunFolder held(dir.path());
        ::_exit(0);  // no destructor: the lock file stays, its lock gone with the process
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(fs::exists(dir / kFolderLockName));
    EXPECT_EQ(BusyError(dir.path()), "");
    EXPECT_TRUE(testing::FileNames(dir.path()).empty());
}

TEST(RunFolder, TakingAFolderRemovesWhatDeadRunsLeft)
{
    TempFolder dir;
    dir.write("Orvane_t.dat", "old\r\n");
    const pid_t child = ::fork();
    if (child == 0) {
        StagedFiles dead(dir.path());
        TextWriter out(dead, dir / "Orvane_t.dat");
        out.writeLine("dead");
        out.close();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(testing::FileNames(dir.path()).size(), 2u);
    RepairRunFolder(dir.path());
    EXPECT_EQ(testing::Snapshot(dir.path()), (std::map<std::string, std::string>{{"Orvane_t.dat", "old\r\n"}}));
}

TEST(RunFolder, AFolderNothingCanBeWrittenIntoIsTakenWithoutALock)
{
    TempFolder dir;
    EXPECT_NO_THROW(RunFolder missing(dir / "missing"));
    EXPECT_NO_THROW(RepairRunFolder(dir / "missing"));
}

} // namespace
} // namespace orvane
