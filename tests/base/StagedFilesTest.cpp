// The output files of a run, all or nothing: temporaries beside their destinations, renamed
// together by commit(), removed by rollback() and the destructor, undone when a rename fails;
// links, folders, devices and pipes at the destinations; what dead runs leave.
#include <gtest/gtest.h>

#include <grp.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
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

// Runs `check` in a child process without the privileges of root, as a user's run has them: as
// "nobody" (the folder handed over to it), or, where that cannot be had, root without the
// capabilities that override permissions. The child's failures come back as text.
std::string AsUnprivilegedUser(const fs::path& folder, const std::function<std::string()>& check)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::string failure;
        if (::geteuid() == 0) {
            constexpr uid_t kNobody = 65534;
            for (const auto& entry : fs::recursive_directory_iterator(folder))
                (void)::lchown(entry.path().c_str(), kNobody, kNobody);
            (void)::chown(folder.c_str(), kNobody, kNobody);
            const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
            if (!dropped) {
                // No other user to be: keep root's identity, lose its overriding capabilities.
                __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
                __user_cap_data_struct data[2]{};
                if (::syscall(SYS_capset, &header, data) != 0)
                    failure = "cannot drop root's privileges";
            }
        }
        if (failure.empty())
            failure = check();
        (void)!::write(channel[1], failure.data(), failure.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string failure;
    char buffer[256];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        failure.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status))
        return "the unprivileged run died";
    return failure;
}

TEST(StagedFiles, AReadOnlyFileStaysAsItsOwnerMadeIt)
{
    // Root may write any file: the check runs as an ordinary user (the test command runs as root).
    TempFolder dir;
    dir.write("a.dat", "kept\r\n");
    fs::permissions(dir / "a.dat", fs::perms::owner_read);
    const std::string failure = AsUnprivilegedUser(dir.path(), [&]() -> std::string {
        if (::access((dir / "a.dat").c_str(), W_OK) == 0)
            return "the file is still writable";
        StagedFiles files;
        const std::string error = ErrorOf([&] { Write(files, dir / "a.dat", "new"); });
        if (error != "Access denied: \"a.dat\"")
            return "error: " + error;
        if (ReadBytes(dir / "a.dat") != "kept\r\n")
            return "the file changed";
        if (!files.temporaries().empty())
            return "a temporary stayed";
        return "";
    });
    EXPECT_EQ(failure, "");
}

// A rename that fails half-way (here a folder that took a file's place after it was staged)
// turns the commit round: the files replaced before it get their old contents back, the new
// ones are removed, and nothing of the commit stays.
TEST(StagedFiles, ARenameThatFailsHalfWayPutsTheOldFilesBack)
{
    TempFolder dir;
    dir.write("a.dat", "old a\r\n");
    dir.write("c.dat", "old c\r\n");
    dir.write("d.dat", "old d\r\n");
    fs::create_symlink("d.dat", dir / "link.dat");
    StagedFiles files(dir.path());
    Write(files, dir / "a.dat", "new a");
    Write(files, dir / "b.dat", "new b");
    Write(files, dir / "link.dat", "new d");
    Write(files, dir / "c.dat", "new c");
    Write(files, dir / "e.dat", "new e");
    fs::remove(dir / "c.dat");
    fs::create_directories(dir / "c.dat/inside");

    EXPECT_EQ(ErrorOf([&] { files.commit(); }), "Cannot create file \"c.dat\": Is a directory");
    EXPECT_EQ(Snapshot(dir.path()), (std::map<std::string, std::string>{{"a.dat", "old a\r\n"},
                                                                        {"c.dat", "<folder>"},
                                                                        {"d.dat", "old d\r\n"},
                                                                        {"link.dat", "-> d.dat"}}));
    EXPECT_TRUE(files.temporaries().empty());
}

// The temporaries of a run that died (here a child process that staged its files and ended
// without a word) are taken by the next sweep; those of a live run, in this process or another,
// are not, nor a user's file that only looks like one.
TEST(StagedFiles, TemporariesOfDeadRunsGoThoseOfLiveRunsStay)
{
    TempFolder dir;
    dir.write(".notes.txt.tmp-draft1", "a user's own file");
    const pid_t child = ::fork();
    if (child == 0) {
        StagedFiles dead(dir.path());
        Write(dead, dir / "Orvane_t.dat", "dead");
        Write(dead, dir / "Orvane_2.dat", "dead");
        Write(dead, dir / "chart.png", "dead");
        ::_exit(0);  // no destructor: the temporaries stay, unlocked
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_EQ(Snapshot(dir.path()).size(), 4u);

    StagedFiles live(dir.path());
    Write(live, dir / "Orvane_t.dat", "live");
    ASSERT_EQ(live.temporaries().size(), 1u);
    RemoveDeadTemporaries(dir.path());
    // The dead run's image temporary is not a program file: it goes when a run writes that image.
    auto names = testing::FileNames(dir.path());
    EXPECT_EQ(names.size(), 3u);
    EXPECT_TRUE(fs::exists(live.temporaries()[0]));
    EXPECT_TRUE(fs::exists(dir / ".notes.txt.tmp-draft1"));
    Write(live, dir / "chart.png", "live");
    EXPECT_EQ(testing::FileNames(dir.path()).size(), 3u);

    live.commit();
    EXPECT_EQ(Snapshot(dir.path()),
              (std::map<std::string, std::string>{{".notes.txt.tmp-draft1", "a user's own file"},
                                                  {"Orvane_t.dat", "live\r\n"},
                                                  {"chart.png", "live\r\n"}}));
}

// Pipes, sockets and block devices are refused before anything is written; a pipe never holds
// the run.
TEST(StagedFiles, APipeAtADestinationIsRefusedAtOnce)
{
    TempFolder dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    fs::create_symlink("pipe", dir / "link.dat");
    StagedFiles files(dir.path());
    for (const char* name : {"pipe", "link.dat"})
        EXPECT_EQ(ErrorOf([&] { Write(files, dir / name, "x"); }),
                  std::string("Cannot create file \"") + name + "\": Is a named pipe");
    EXPECT_TRUE(files.temporaries().empty());
    EXPECT_EQ(testing::FileNames(dir.path()), (std::vector<std::string>{"link.dat", "pipe"}));
}

} // namespace
} // namespace orvane
