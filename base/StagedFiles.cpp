#include "base/StagedFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <random>

#include "base/Errors.h"
#include "base/TextFile.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

// The random part of a temporary's name: different in every process and every call, so that
// two runs in one folder (the window and orvane-batch) do not even try the same name twice.
std::string RandomSuffix()
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        const auto clock = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        std::seed_seq seed{device(), device(), static_cast<unsigned>(::getpid()), static_cast<unsigned>(clock),
                           static_cast<unsigned>(clock >> 32)};
        return std::mt19937_64(seed);
    }();
    std::string suffix(6, ' ');
    for (char& c : suffix)
        c = kAlphabet[generator() % (sizeof kAlphabet - 1)];
    return suffix;
}

// The file a write to `path` ends in: symbolic links followed one by one, so that a link to a
// name not yet taken leads to that name (it is where the file would be created).
fs::path FollowLinks(const fs::path& path)
{
    fs::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::error_code ec;
        const fs::path next = fs::read_symlink(current, ec);
        if (ec)
            return current;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    ThrowFileError("Cannot create file", path, ELOOP);
}

fs::path Folder(const fs::path& file)
{
    const fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// Copies the temporary into the device or pipe at `destination`, with plain system calls so
// that a full device reports at the first write.
void WriteThrough(const fs::path& temporary, const fs::path& destination)
{
    const int in = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        ThrowFileError("Cannot write file", destination, errno);
    const int out = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        ThrowFileError("Cannot create file", destination, error);
    }
    char buffer[1 << 16];
    int error = 0;
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; done < got && error == 0;) {
            const ssize_t put = ::write(out, buffer + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                error = put < 0 ? errno : EIO;
            else
                done += put;
        }
        if (error != 0)
            break;
    }
    ::close(in);
    if (::close(out) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ThrowFileError("Cannot write file", destination, error);
}

} // namespace

StagedFiles::~StagedFiles() { rollback(); }

std::FILE* StagedFiles::create(const fs::path& destination)
{
    Entry entry;
    entry.destination = destination;
    entry.target = FollowLinks(destination);

    // What is there now decides how the file is replaced.
    bool replacesFile = false;
    mode_t mode = 0;
    struct stat st;
    if (::stat(entry.target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            ThrowFileError("Cannot create file", destination, EISDIR);
        if (S_ISREG(st.st_mode)) {
            // A file its owner made read-only stays as it is, as it would for a direct write.
            if (::faccessat(AT_FDCWD, entry.target.c_str(), W_OK, AT_EACCESS) != 0)
                ThrowFileError("Cannot create file", destination, errno);
            replacesFile = true;
            mode = st.st_mode & 07777;
        } else {
            entry.device = true;
        }
    }

    // A device's temporary lies beside the name given (never in /dev), a file's beside the
    // file it replaces, so that the rename stays within one file system.
    const fs::path folder = entry.device ? Folder(destination) : Folder(entry.target);
    const std::string base = "." + (entry.device ? destination : entry.target).filename().string() + ".tmp-";
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        entry.temporary = folder / (base + RandomSuffix());
        fd = ::open(entry.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt >= 100))
            ThrowFileError("Cannot create file", destination, errno);
    }
    if (replacesFile)
        (void)::fchmod(fd, mode);  // at worst the new file has the default permissions

    entry.stream = ::fdopen(fd, "wb");
    if (entry.stream == nullptr) {
        const int error = errno;
        ::close(fd);
        ::unlink(entry.temporary.c_str());
        ThrowFileError("Cannot create file", destination, error);
    }
    entries_.push_back(entry);
    return entries_.back().stream;
}

StagedFiles::StreamId StagedFiles::IdOf(const std::FILE* stream) { return reinterpret_cast<StreamId>(stream); }

void StagedFiles::closed(StreamId stream)
{
    // The newest entry first: a stream given up after a failed write keeps its old address
    // in its entry, and the C library may hand the same address out again.
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
        if (IdOf(entry->stream) == stream && !entry->complete) {
            entry->stream = nullptr;
            entry->complete = true;
            return;
        }
    }
}

void StagedFiles::commit()
{
    try {
        for (const Entry& entry : entries_)
            if (!entry.complete)
                ThrowFileError("Cannot write file", entry.destination, 0);
        // Devices and pipes first: a full device stops the run before anything is replaced.
        for (Entry& entry : entries_) {
            if (!entry.device)
                continue;
            WriteThrough(entry.temporary, entry.destination);
            ::unlink(entry.temporary.c_str());
            entry.temporary.clear();
        }
        for (Entry& entry : entries_) {
            if (entry.device)
                continue;
            if (::rename(entry.temporary.c_str(), entry.target.c_str()) != 0)
                ThrowFileError("Cannot create file", entry.destination, errno);
            entry.temporary.clear();
        }
    } catch (...) {
        rollback();
        throw;
    }
    entries_.clear();
}

void StagedFiles::rollback() noexcept
{
    for (const Entry& entry : entries_)
        if (!entry.temporary.empty())
            ::unlink(entry.temporary.c_str());
    entries_.clear();
}

std::vector<fs::path> StagedFiles::temporaries() const
{
    std::vector<fs::path> paths;
    for (const Entry& entry : entries_)
        if (!entry.temporary.empty())
            paths.push_back(entry.temporary);
    return paths;
}

} // namespace orvane
