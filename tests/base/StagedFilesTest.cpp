// The output files of a run, all or nothing: temporaries beside their destinations, renamed
// together by commit(), removed by rollback() and the destructor; links, folders and devices
// at the destinations.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "base/Errors.h"
#include "base/StagedFiles.h"
#include "base/TextFile.h"
#include "tests/support/TestFiles.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::Snapshot;
using testing::TempFolder;

void Write(StagedFiles& files, const fs::path& destination, const std::string& line)
{
    TextWriter out(files, destination);
    out.writeLine(line);
    out.close();
}

std::string ErrorOf(const std::function<void()>& work)
{
    try {
        work();
    } catch (const FileError& e) {
        return e.what();
    }
    return "";
}

TEST(StagedFiles, NothingChangesBeforeCommitThenEverythingAtOnce)
{
    TempFolder dir;
    dir.write("a.dat", "old a\r\n");
    StagedFiles files;
    Write(files, dir / "a.dat", "new a");
    Write(files, dir / "b.dat", "new b");

    // Before the commit: the old file as it was, the new one nowhere, two temporaries with
    // names that say whose they are.
    EXPECT_EQ(ReadBytes(dir / "a.dat"), "old a\r\n");
    EXPECT_FALSE(fs::exists(dir / "b.dat"));
    ASSERT_EQ(files.temporaries().size(), 2u);
    for (const fs::path& temporary : files.temporaries()) {
        EXPECT_EQ(temporary.parent_path(), dir.path());
        EXPECT_TRUE(temporary.filename().string().starts_with(".a.dat.tmp-") ||
                    temporary.filename().string().starts_with(".b.dat.tmp-"))
            << temporary;
    }

    files.commit();
    EXPECT_EQ(Snapshot(dir.path()), (std::map<std::string, std::string>{{"a.dat", "new a\r\n"}, {"b.dat", "new b\r\n"}}));
}

TEST(StagedFiles, RollbackAndTheDestructorRemoveEveryTemporary)
{
    TempFolder dir;
    dir.write("a.dat", "old\r\n");
    const auto before = Snapshot(dir.path());
    {
        StagedFiles files;
        Write(files, dir / "a.dat", "new");
        files.rollback();
        EXPECT_TRUE(files.temporaries().empty());
    }
    EXPECT_EQ(Snapshot(dir.path()), before);
    {
        // A run that throws half-way through a file: the writer and the set unwind.
        StagedFiles files;
        Write(files, dir / "b.dat", "done");
        TextWriter out(files, dir / "a.dat");
        out.writeLine("half");
    }
    EXPECT_EQ(Snapshot(dir.path()), before);
}

TEST(StagedFiles, AFileNotClosedWithoutErrorIsNeverRenamed)
{
    TempFolder dir;
    dir.write("a.dat", "old\r\n");
    StagedFiles files;
    Write(files, dir / "b.dat", "complete");
    std::optional<TextWriter> open(std::in_place, files, dir / "a.dat");
    open->writeLine("not closed");
    EXPECT_EQ(ErrorOf([&] { files.commit(); }), "Cannot write file \"a.dat\"");
    open.reset();
    EXPECT_EQ(Snapshot(dir.path()), (std::map<std::string, std::string>{{"a.dat", "old\r\n"}}));
}

TEST(StagedFiles, TwoRunsInOneFolderNeverShareATemporary)
{
    TempFolder dir;
    StagedFiles first;
    StagedFiles second;
    for (int i = 0; i < 50; ++i) {
        Write(first, dir / "t.dat", "first");
        Write(second, dir / "t.dat", "second");
    }
    EXPECT_EQ(Snapshot(dir.path()).size(), 100u);
    first.commit();
    second.rollback();
    EXPECT_EQ(Snapshot(dir.path()), (std::map<std::string, std::string>{{"t.dat", "first\r\n"}}));
}

TEST(StagedFiles, OddDestinations)
{
    // A link to a file: the link stays, the file it points to is replaced, its temporary
    // lies beside it.
    {
        TempFolder dir;
        fs::create_directory(dir / "data");
        dir.write("data/t.dat", "old\r\n");
        fs::create_symlink("data/t.dat", dir / "t.dat");
        StagedFiles files;
        Write(files, dir / "t.dat", "new");
        ASSERT_EQ(files.temporaries().size(), 1u);
        EXPECT_EQ(files.temporaries()[0].parent_path(), dir / "data");
        files.commit();
        EXPECT_EQ(fs::read_symlink(dir / "t.dat"), "data/t.dat");
        EXPECT_EQ(ReadBytes(dir / "data/t.dat"), "new\r\n");
        EXPECT_EQ(Snapshot(dir / "data").size(), 1u);
    }
    // A link to a name not yet taken makes that file.
    {
        TempFolder dir;
        fs::create_symlink("made.dat", dir / "t.dat");
        StagedFiles files;
        Write(files, dir / "t.dat", "new");
        files.commit();
        EXPECT_TRUE(fs::is_symlink(dir / "t.dat"));
        EXPECT_EQ(ReadBytes(dir / "made.dat"), "new\r\n");
    }
    // A folder, directly or behind a link: refused when the file is made.
    {
        TempFolder dir;
        fs::create_directory(dir / "folder.dat");
        fs::create_symlink("folder.dat", dir / "link.dat");
        StagedFiles files;
        for (const char* name : {"folder.dat", "link.dat"})
            EXPECT_EQ(ErrorOf([&] { Write(files, dir / name, "x"); }),
                      std::string("Cannot create file \"") + name + "\": Is a directory");
        EXPECT_TRUE(files.temporaries().empty());
    }
    // A folder that does not exist.
    {
        TempFolder dir;
        StagedFiles files;
        EXPECT_EQ(ErrorOf([&] { Write(files, dir / "missing/t.dat", "x"); }),
                  "Cannot create file \"t.dat\": No such file or directory");
    }
}

TEST(StagedFiles, ADeviceIsWrittenThroughAfterEveryFileAndBeforeAnyRename)
{
    TempFolder dir;
    dir.write("a.dat", "old a\r\n");
    fs::create_symlink("/dev/full", dir / "full.dat");
    fs::create_symlink("/dev/null", dir / "null.dat");
    const auto before = Snapshot(dir.path());

    // The device's temporary lies beside the link, never in /dev.
    StagedFiles files;
    Write(files, dir / "a.dat", "new a");
    Write(files, dir / "full.dat", "lost");
    for (const fs::path& temporary : files.temporaries())
        EXPECT_EQ(temporary.parent_path(), dir.path());
    EXPECT_EQ(ErrorOf([&] { files.commit(); }), "Disk full: cannot write \"full.dat\"");
    EXPECT_EQ(Snapshot(dir.path()), before);

    StagedFiles again;
    Write(again, dir / "a.dat", "new a");
    Write(again, dir / "null.dat", "gone");
    again.commit();
    EXPECT_EQ(ReadBytes(dir / "a.dat"), "new a\r\n");
    EXPECT_EQ(fs::read_symlink(dir / "null.dat"), "/dev/null");
    EXPECT_EQ(Snapshot(dir.path()).size(), 3u);
}

TEST(StagedFiles, TheNewFileKeepsThePermissionsOfTheOldOne)
{
    TempFolder dir;
    dir.write("a.dat", "old\r\n");
    fs::permissions(dir / "a.dat", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    StagedFiles files;
    Write(files, dir / "a.dat", "new");
    files.commit();
    EXPECT_EQ(fs::status(dir / "a.dat").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(StagedFiles, AReadOnlyFileStaysAsItsOwnerMadeIt)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write any file";
    TempFolder dir;
    dir.write("a.dat", "kept\r\n");
    fs::permissions(dir / "a.dat", fs::perms::owner_read);
    StagedFiles files;
    EXPECT_EQ(ErrorOf([&] { Write(files, dir / "a.dat", "new"); }), "Access denied: \"a.dat\"");
    EXPECT_EQ(ReadBytes(dir / "a.dat"), "kept\r\n");
}

} // namespace
} // namespace orvane
