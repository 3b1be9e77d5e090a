// A fault at a chosen system call of a program under test, preloaded into it (LD_PRELOAD):
// ORVANE_FAULT="<call>:<k>:<action>" acts at the k-th call of that kind (every one for "*");
// several faults are separated by commas.
//
//   call    rename     a staged file renamed onto a visible name (the renames of a commit and
//                      of its repair; not the journal's own)
//           undo       a backup renamed back over its file (a commit undone)
//           fdatasync  every flush of a file
//           create     a staged file created (O_CREAT | O_EXCL, ".tmp-" in its name)
//   action  KILL       SIGKILL before the call
//           INT, TERM  the signal raised before the call, which then goes ahead
//           EBUSY      the call fails with EBUSY ("Device or resource busy")
//           SLEEP<ms>  a pause before the call
//
// The program itself is the one users run; nothing of this is built into it.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

struct Fault {
    char call[16] = {};
    long k = 0;  // 0: every call
    char action[16] = {};
};

constexpr int kMaxFaults = 4;

struct Faults {
    Fault list[kMaxFaults];
    int count = 0;
};

const Faults& TheFaults()
{
    static const Faults faults = [] {
        Faults f;
        const char* spec = std::getenv("ORVANE_FAULT");
        while (spec != nullptr && *spec != '\0' && f.count < kMaxFaults) {
            Fault& fault = f.list[f.count];
            char k[32] = {};
            if (std::sscanf(spec, "%15[^:]:%31[^:]:%15[^,]", fault.call, k, fault.action) != 3)
                break;
            fault.k = std::strcmp(k, "*") == 0 ? 0 : std::atol(k);
            ++f.count;
            spec = std::strchr(spec, ',');
            if (spec != nullptr)
                ++spec;
        }
        return f;
    }();
    return faults;
}

enum Kind { kRename, kUndo, kFlush, kCreate, kKinds };
std::atomic<long> g_counts[kKinds];

const char* BaseName(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// True when a fault's action makes the call fail (errno set).
bool Strike(Kind kind, const char* call)
{
    const Faults& faults = TheFaults();
    const long n = ++g_counts[kind];
    for (int i = 0; i < faults.count; ++i) {
        const Fault& f = faults.list[i];
        if (std::strcmp(f.call, call) != 0 || (f.k != 0 && n != f.k))
            continue;
        if (std::strcmp(f.action, "KILL") == 0)
            ::kill(::getpid(), SIGKILL);
        if (std::strcmp(f.action, "INT") == 0)
            ::kill(::getpid(), SIGINT);
        if (std::strcmp(f.action, "TERM") == 0)
            ::kill(::getpid(), SIGTERM);
        if (std::strcmp(f.action, "EBUSY") == 0) {
            errno = EBUSY;
            return true;
        }
        if (std::strncmp(f.action, "SLEEP", 5) == 0) {
            const long ms = std::atol(f.action + 5);
            timespec pause{ms / 1000, (ms % 1000) * 1000000};
            while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
            }
        }
    }
    return false;
}

template <typename F>
F Next(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

bool IsStaged(const char* path) { return std::strstr(BaseName(path), ".tmp-") != nullptr; }
bool IsBackup(const char* path) { return std::strstr(BaseName(path), ".old-") != nullptr; }

bool CreateFault(const char* path, int flags)
{
    return (flags & O_CREAT) && (flags & O_EXCL) && IsStaged(path) && Strike(kCreate, "create");
}

} // namespace

extern "C" {

int rename(const char* from, const char* to)
{
    if (IsStaged(from) && BaseName(to)[0] != '.' && Strike(kRename, "rename"))
        return -1;
    if (IsBackup(from) && Strike(kUndo, "undo"))
        return -1;
    return Next<int (*)(const char*, const char*)>("rename")(from, to);
}

int fdatasync(int fd)
{
    if (Strike(kFlush, "fdatasync"))
        return -1;
    return Next<int (*)(int)>("fdatasync")(fd);
}

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(args, int)) : 0;
    va_end(args);
    if (CreateFault(path, flags))
        return -1;
    return Next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(args, int)) : 0;
    va_end(args);
    if (CreateFault(path, flags))
        return -1;
    return Next<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(args, int)) : 0;
    va_end(args);
    if (CreateFault(path, flags))
        return -1;
    return Next<int (*)(int, const char*, int, ...)>("openat")(dirfd, path, flags, mode);
}

} // extern "C"
