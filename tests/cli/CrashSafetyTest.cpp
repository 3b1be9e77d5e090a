// orvane-batch interrupted, doubled and half-failed: after a run killed (or signalled) at any
// point of its commit, and the next start in its folder, the folder holds the files of the old
// run or of the new one, never a mix, and nothing of the dead run; two runs into one folder never
// mix; an image or a pipe that cannot be written fails the run before any file changes.
//
// The faults are put into the real program from outside: a library preloaded into it
// (tests/support/FaultInjection.cpp) kills it or fails a call at the k-th call of a kind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestFiles.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// ---------------------------------------------------------------------------------------
// Running the program

struct Outcome {
    int exitCode = -1;  // when it exited
    int signal = 0;     // when a signal ended it
    std::vector<std::string> errorLines;
};

class Child {
public:
    // Starts orvane-batch in `folder` with the arguments; `fault`: ORVANE_FAULT for the
    // preloaded fault library (empty: none preloaded).
    Child(const fs::path& folder, const std::vector<std::string>& args, const std::string& fault = "")
        : errors_(folder.parent_path() / (folder.filename().string() + "." + std::to_string(++count_) + ".err"))
    {
        pid_ = ::fork();
        if (pid_ != 0)
            return;
        if (::chdir(folder.c_str()) != 0)
            ::_exit(126);
        const int err = ::open(errors_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, 2);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        if (!fault.empty()) {
            ::setenv("ORVANE_FAULT", fault.c_str(), 1);
            const char* preload = std::getenv("LD_PRELOAD");
            const std::string library = ORVANE_FAULT_LIBRARY;
            ::setenv("LD_PRELOAD", preload && *preload ? (library + ":" + preload).c_str() : library.c_str(), 1);
            // A sanitizer build wants its run-time first among the preloaded libraries.
            const char* asan = std::getenv("ASAN_OPTIONS");
            const std::string options = std::string(asan && *asan ? asan : "") + (asan && *asan ? ":" : "") +
                                        "verify_asan_link_order=0";
            ::setenv("ASAN_OPTIONS", options.c_str(), 1);
        }
        ::setenv("LC_ALL", "C", 1);
        std::vector<std::string> all{ORVANE_BATCH_EXE};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(ORVANE_BATCH_EXE, argv.data());
        ::_exit(127);
    }

    // Waits (at most a minute: a run that waits on something is a failure, not a hang).
    Outcome wait()
    {
        Outcome outcome;
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                ADD_FAILURE() << "orvane-batch did not end within a minute";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (WIFEXITED(status))
            outcome.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status))
            outcome.signal = WTERMSIG(status);
        std::istringstream lines(ReadBytes(errors_));
        for (std::string line; std::getline(lines, line);)
            outcome.errorLines.push_back(line);
        fs::remove(errors_);
        return outcome;
    }

private:
    static inline int count_ = 0;
    fs::path errors_;
    pid_t pid_ = -1;
};

Outcome RunBatch(const fs::path& folder, const std::vector<std::string>& args, const std::string& fault = "")
{
    return Child(folder, args, fault).wait();
}

// ---------------------------------------------------------------------------------------
// Folders

// Two runs that share no file's bytes: orders 0-6 with the Airy sum, and orders 0-4 with 300
// rays and the check file. The new run writes 9 files in this order: Orvane_raw.dat,
// Orvane_d.dat, Orvane_0..4.dat, Orvane_t.dat, Orvane_run.txt.
const char* const kOldParameters = "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 6\r\n200 1000\r\n0\r\n";
const std::vector<std::string> kOldOptions = {"--diffraction", "--airy"};
const char* const kNewParameters = "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n0 4\r\n300 1000\r\n0\r\n";
const std::vector<std::string> kNewOptions = {"--diffraction", "--check"};
// Refused for its inputs once read: the start after a killed run, which repairs the folder first.
const char* const kRefusedParameters = "50 50 50\r\n0.6328\r\n1.333 0.0\r\n0 1\r\n3 2\r\n200 1000\r\n0\r\n";

using Folder = std::map<std::string, std::string>;

// The folder's files as a run leaves them, without the parameter file (an input) and with the
// manifest's time taken out (the only part of a run's files that differs from run to run).
Folder State(const fs::path& folder)
{
    Folder state = testing::Snapshot(folder);
    state.erase("Orvane.par");
    const auto manifest = state.find("Orvane_run.txt");
    if (manifest != state.end()) {
        std::string& text = manifest->second;
        const std::size_t time = text.find("Time: ");
        if (time != std::string::npos)
            text.erase(time, text.find("\r\n", time) + 2 - time);
    }
    return state;
}

// Hidden names: what a run keeps while it lives (temporaries, backups, journal, lock).
std::vector<std::string> Hidden(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string()[0] == '.')
            names.push_back(entry.path().filename().string());
    return names;
}

void CopyFolder(const fs::path& from, const fs::path& to)
{
    for (const auto& entry : fs::directory_iterator(from))
        fs::copy(entry.path(), to / entry.path().filename(), fs::copy_options::copy_symlinks);
}

// The folder after the old run, and the same after an uninterrupted new run.
struct Runs {
    TempFolder old, fresh;
    Folder oldState, newState;

    Runs()
    {
        WriteBytes(old / "Orvane.par", kOldParameters);
        EXPECT_EQ(RunBatch(old.path(), kOldOptions).exitCode, 0);
        oldState = State(old.path());
        CopyFolder(old.path(), fresh.path());
        WriteBytes(fresh / "Orvane.par", kNewParameters);
        EXPECT_EQ(RunBatch(fresh.path(), kNewOptions).exitCode, 0);
        newState = State(fresh.path());
    }
};

// ---------------------------------------------------------------------------------------
// Killed, signalled, failed in the middle

enum class Expected { Old, New };

struct Interruption {
    const char* name;
    const char* fault;                  // of the new run
    int signal;                         // that ends the new run (0: it exits)
    int exitCode;                       // when it exits
    const char* message;                // its last line on stderr (empty: none expected)
    bool journalLeft;                   // the folder holds a commit to finish before the repair
    std::vector<const char*> repairs;   // faults of starts that die while repairing
    Expected after;                     // the folder after the next clean start
};

TEST(CrashSafety, AnInterruptedRunLeavesTheOldRunOrTheNewOneAfterTheNextStart)
{
    const Runs runs;
    ASSERT_NE(runs.oldState, runs.newState);
    const char* interrupted = "Interrupted: no file was changed.";
    const Interruption cases[] = {
        // Before the commit is decided: the old run stands.
        {"SIGKILL as the check file is begun", "create:1:KILL", SIGKILL, -1, "", false, {}, Expected::Old},
        {"SIGKILL while the files are flushed", "fdatasync:4:KILL", SIGKILL, -1, "", false, {}, Expected::Old},
        {"SIGKILL as the journal is flushed", "fdatasync:10:KILL", SIGKILL, -1, "", false, {}, Expected::Old},
        {"SIGINT while computing", "create:1:INT", SIGINT, -1, interrupted, false, {}, Expected::Old},
        {"SIGTERM while the files are written", "create:5:TERM", SIGTERM, -1, interrupted, false, {}, Expected::Old},
        // Once it is decided, the commit completes, in the run or in the next start.
        {"SIGKILL at the 1st rename", "rename:1:KILL", SIGKILL, -1, "", true, {}, Expected::New},
        {"SIGKILL at the 2nd rename", "rename:2:KILL", SIGKILL, -1, "", true, {}, Expected::New},
        {"SIGKILL at the 5th rename", "rename:5:KILL", SIGKILL, -1, "", true, {}, Expected::New},
        {"SIGKILL at the 9th (last) rename", "rename:9:KILL", SIGKILL, -1, "", true, {}, Expected::New},
        {"SIGKILL at the 3rd rename, the repair killed at its 2nd", "rename:3:KILL", SIGKILL, -1, "", true,
         {"rename:2:KILL"}, Expected::New},
        {"SIGTERM as the files are flushed", "fdatasync:1:TERM", SIGTERM, -1, "", false, {}, Expected::New},
        {"SIGINT at the 3rd rename", "rename:3:INT", SIGINT, -1, "", false, {}, Expected::New},
        {"SIGTERM at the 8th rename", "rename:8:TERM", SIGTERM, -1, "", false, {}, Expected::New},
        // A rename that fails half-way turns the commit round.
        {"the 4th rename fails", "rename:4:EBUSY", 0, 1, "Cannot create file \"Orvane_1.dat\": Device or resource busy",
         false, {}, Expected::Old},
        {"the 9th rename fails", "rename:9:EBUSY", 0, 1,
         "Cannot create file \"Orvane_run.txt\": Device or resource busy", false, {}, Expected::Old},
        {"the 6th rename fails, SIGKILL in the undoing", "rename:6:EBUSY,undo:2:KILL", SIGKILL, -1, "", true, {},
         Expected::Old},
    };
    for (const Interruption& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        CopyFolder(runs.old.path(), dir.path());
        WriteBytes(dir / "Orvane.par", kNewParameters);

        const Outcome killed = RunBatch(dir.path(), kNewOptions, c.fault);
        EXPECT_EQ(killed.signal, c.signal);
        if (c.signal == 0) {
            EXPECT_EQ(killed.exitCode, c.exitCode);
        }
        if (*c.message != '\0') {
            ASSERT_FALSE(killed.errorLines.empty());
            EXPECT_EQ(killed.errorLines.back(), c.message);
        } else {
            EXPECT_TRUE(killed.errorLines.empty()) << killed.errorLines.front();
        }
        EXPECT_EQ(fs::exists(dir / ".Orvane_commit"), c.journalLeft);

        // The next starts in the folder: refused for their inputs, they repair it first.
        WriteBytes(dir / "Orvane.par", kRefusedParameters);
        for (const char* repair : c.repairs)
            EXPECT_EQ(RunBatch(dir.path(), {}, repair).signal, SIGKILL) << repair;
        const Outcome next = RunBatch(dir.path(), {});
        EXPECT_EQ(next.exitCode, 1);
        EXPECT_EQ(next.errorLines, std::vector<std::string>{"Min p must not be larger than Max p."});

        EXPECT_EQ(Hidden(dir.path()), std::vector<std::string>{});
        EXPECT_TRUE(State(dir.path()) == (c.after == Expected::Old ? runs.oldState : runs.newState))
            << "the folder is neither the old run nor the new one as expected";
    }
}

// ---------------------------------------------------------------------------------------
// Two runs into one folder

// The run of A (the default rays) and of B (the rays between two heights) into fresh folders.
const std::vector<std::string> kRunA = {"--diffraction", "--airy"};
const std::vector<std::string> kRunB = {"--diffraction", "--minmax", "-20", "20"};
const std::string kBusy = "Another run is writing into the folder \"";

struct Reference {
    TempFolder dir;
    Folder state;
    explicit Reference(const std::vector<std::string>& args)
    {
        WriteBytes(dir / "Orvane.par", kNewParameters);
        EXPECT_EQ(RunBatch(dir.path(), args).exitCode, 0);
        state = State(dir.path());
    }
};

// Every file of the folder is the file of one whole run: those its manifest names are the
// last run's, the others the other run's.
void ExpectNoMix(const fs::path& folder, const Reference& a, const Reference& b)
{
    const Folder state = State(folder);
    ASSERT_TRUE(state.contains("Orvane_run.txt"));
    const std::string& manifest = state.at("Orvane_run.txt");
    const bool lastIsB = manifest.find("--minmax") != std::string::npos;
    const Folder& last = lastIsB ? b.state : a.state;
    const Folder& other = lastIsB ? a.state : b.state;
    for (const auto& [name, bytes] : state) {
        if (name == "Orvane_run.txt")
            continue;
        const bool own = manifest.find("File: " + name + "\r\n") != std::string::npos;
        const Folder& from = own ? last : other;
        EXPECT_TRUE(from.contains(name) && from.at(name) == bytes) << name << (own ? " of the last run" : " earlier");
    }
    for (const auto& [name, bytes] : last)
        EXPECT_TRUE(state.contains(name)) << name;
}

TEST(CrashSafety, TwoRunsIntoOneFolderNeverMix)
{
    const Reference a(kRunA), b(kRunB);
    struct Case {
        const char* name;
        const char* faultA;
        bool afterAHoldsTheFolder;  // B starts once A holds the folder (else at once)
    };
    const Case cases[] = {
        // Slow commits (a pause at every rename), started together: whichever comes second
        // is refused, or finds the first one ended.
        {"started together, 1", "rename:*:SLEEP20", false},
        {"started together, 2", "rename:*:SLEEP20", false},
        {"started together, 3", "rename:*:SLEEP20", false},
        {"started together, 4", "rename:*:SLEEP20", false},
        // B comes while A computes or is in the middle of its (slow) commit.
        {"the second while the first lives", "rename:1:SLEEP800", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        WriteBytes(dir / "Orvane.par", kNewParameters);
        Child first(dir.path(), kRunA, c.faultA);
        if (c.afterAHoldsTheFolder) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!fs::exists(dir / ".Orvane.lock") && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        Child second(dir.path(), kRunB, c.afterAHoldsTheFolder ? "" : c.faultA);
        const Outcome outcomes[] = {first.wait(), second.wait()};
        for (const Outcome& o : outcomes) {
            EXPECT_TRUE(o.exitCode == 0 || o.exitCode == 1);
            if (o.exitCode == 1) {
                ASSERT_EQ(o.errorLines.size(), 1u);
                EXPECT_EQ(o.errorLines[0].rfind(kBusy, 0), 0u) << o.errorLines[0];
            }
        }
        EXPECT_TRUE(outcomes[0].exitCode == 0 || outcomes[1].exitCode == 0);
        if (c.afterAHoldsTheFolder) {
            EXPECT_EQ(outcomes[0].exitCode, 0);
            EXPECT_EQ(outcomes[1].exitCode, 1);
        }
        EXPECT_EQ(Hidden(dir.path()), std::vector<std::string>{});
        ExpectNoMix(dir.path(), a, b);
    }
}

// ---------------------------------------------------------------------------------------
// Images and pipes

TEST(CrashSafety, AnImageOrAPipeThatCannotBeWrittenFailsBeforeAnyFileChanges)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
        void (*prepare)(const fs::path&);
        const char* message;
    };
    const Case cases[] = {
        {"a folder at the chart's name", {"--chart-png", "chart.png"},
         [](const fs::path& d) { fs::create_directory(d / "chart.png"); },
         "Cannot create file \"chart.png\": Is a directory"},
        {"the chart into a missing folder", {"--chart-png", "missing/chart.png"}, [](const fs::path&) {},
         "Cannot create file \"chart.png\": No such file or directory"},
        {"the chart onto a full device", {"--chart-png", "full.png"},
         [](const fs::path& d) { fs::create_symlink("/dev/full", d / "full.png"); },
         "Disk full: cannot write \"full.png\""},
        {"a named pipe at the picture's image", {"--picture", "300x200", "--png", "picture.png"},
         [](const fs::path& d) { ASSERT_EQ(::mkfifo((d / "picture.png").c_str(), 0600), 0); },
         "Cannot create file \"picture.png\": Is a named pipe"},
        {"a named pipe at the total file", {"--picture", "300x200"},
         [](const fs::path& d) {
             fs::remove(d / "Orvane_t.dat");
             ASSERT_EQ(::mkfifo((d / "Orvane_t.dat").c_str(), 0600), 0);
         },
         "Cannot create file \"Orvane_t.dat\": Is a named pipe"},
        {"a link to a named pipe at an order file", {},
         [](const fs::path& d) {
             ASSERT_EQ(::mkfifo((d / "pipe").c_str(), 0600), 0);
             fs::remove(d / "Orvane_2.dat");
             fs::create_symlink("pipe", d / "Orvane_2.dat");
         },
         "Cannot create file \"Orvane_2.dat\": Is a named pipe"},
        {"a picture too large to draw", {"--picture", "300x200", "--ellipsoid-size", "1e300"}, [](const fs::path&) {},
         "Invalid floating point operation"},
    };
    const Runs runs;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        CopyFolder(runs.old.path(), dir.path());
        WriteBytes(dir / "Orvane.par", kNewParameters);
        c.prepare(dir.path());
        const auto before = testing::Snapshot(dir.path());
        std::vector<std::string> args = kNewOptions;
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome outcome = RunBatch(dir.path(), args);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.errorLines, std::vector<std::string>{c.message});
        EXPECT_TRUE(testing::Snapshot(dir.path()) == before) << "a file changed";
    }
}

} // namespace
} // namespace orvane
