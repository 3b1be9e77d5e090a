#include "base/StagedFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <set>

#include "base/Errors.h"
#include "base/TextFile.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

// The random part of a staged file's name: different in every process and every call, so that
// two runs (the window and orvane-batch) do not even try the same name twice.
constexpr std::size_t kRandomLength = 6;
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string RandomSuffix()
{
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        const auto clock = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        std::seed_seq seed{device(), device(), static_cast<unsigned>(::getpid()), static_cast<unsigned>(clock),
                           static_cast<unsigned>(clock >> 32)};
        return std::mt19937_64(seed);
    }();
    std::string suffix(kRandomLength, ' ');
    for (char& c : suffix)
        c = kAlphabet[generator() % (sizeof kAlphabet - 1)];
    return suffix;
}

// What a staged file of the destination "X" is called: ".X.tmp-Ab3xZ9" (the new file) and
// ".X.old-Ab3xZ9" (a backup of the old one during the commit).
constexpr std::string_view kTemporaryTag = ".tmp-";
constexpr std::string_view kBackupTag = ".old-";

std::string StagedName(const std::string& name, std::string_view tag)
{
    return "." + name + std::string(tag) + RandomSuffix();
}

// The folder sweep takes the staged files of the program's own files only ("Orvane..."): a
// user's file that happens to look like a staged one is left alone unless it is named for the
// very file a run writes.
constexpr std::string_view kProgramFiles = "Orvane";

// True when `file` is a staged file of `name` (of any of the program's files when `name` is empty).
bool IsStagedName(const std::string& file, const std::string& name)
{
    const std::size_t tail = kTemporaryTag.size() + kRandomLength;
    if (file.size() < 2 + tail || file[0] != '.')
        return false;
    const std::string_view tag(file.data() + file.size() - tail, kTemporaryTag.size());
    if (tag != kTemporaryTag && tag != kBackupTag)
        return false;
    for (std::size_t i = file.size() - kRandomLength; i < file.size(); ++i)
        if (file[i] == '\0' || std::strchr(kAlphabet, file[i]) == nullptr)
            return false;
    const std::string_view middle(file.data() + 1, file.size() - 1 - tail);
    return name.empty() ? middle.starts_with(kProgramFiles) : middle == name;
}

std::string DisplayName(const fs::path& file)
{
    const fs::path name = file.filename();
    return name.empty() ? file.string() : name.string();
}

fs::path Folder(const fs::path& file)
{
    const fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

fs::path Absolute(const fs::path& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    return (ec ? path : absolute).lexically_normal();
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

[[noreturn]] void ThrowNotAFile(const fs::path& destination, const char* kind)
{
    throw FileError("Cannot create file \"" + DisplayName(destination) + "\": " + kind);
}

// ---------------------------------------------------------------------------------------
// Locks that say a staged file's run is alive: an open-file-description lock on the whole file,
// held as long as the file's descriptor is open (by the run), gone when the run dies.

enum class Lock { Taken, Held, Unsupported };

Lock TryLock(int fd, short type = F_WRLCK)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0)
        return Lock::Taken;
    if (errno == EAGAIN || errno == EACCES)
        return Lock::Held;
    return Lock::Unsupported;  // a file system without locks (EINVAL, ENOLCK, EOPNOTSUPP)
}

// True when `path` still names the file open as `fd`.
bool SameFile(int fd, const fs::path& path)
{
    struct stat open, named;
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

// Creates a new file named ".<name><tag><random>" in `folder`, exclusively, locked, open for
// reading and writing; its path in *made. Errors name `destination`.
int CreateStaged(const fs::path& folder, const std::string& name, std::string_view tag, const fs::path& destination,
                 fs::path* made)
{
    for (int attempt = 0;; ++attempt) {
        *made = folder / StagedName(name, tag);
        const int fd = ::open(made->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST && attempt < 100)
                continue;
            ThrowFileError("Cannot create file", destination, errno);
        }
        // A cleaner that took the lock first has found the file unlocked and removes it: try
        // another name.
        if (TryLock(fd) != Lock::Held)
            return fd;
        ::close(fd);
        if (attempt >= 100)
            ThrowFileError("Cannot create file", destination, EEXIST);
    }
}

bool Exists(const fs::path& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Makes the names in a folder durable (renames, links, removals); some file systems cannot.
void SyncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

// Copies the temporary into the character device at `destination`, with plain system calls so
// that a full device reports at the first write. The device is opened without waiting, and
// refused when it has turned into something else since it was staged.
void WriteThrough(const fs::path& temporary, const fs::path& destination)
{
    const int in = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        ThrowFileError("Cannot write file", destination, errno);
    const int out = ::open(destination.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        if (error == ENXIO)  // a named pipe without a reader
            ThrowNotAFile(destination, "Is a named pipe");
        ThrowFileError("Cannot create file", destination, error);
    }
    struct stat st;
    if (::fstat(out, &st) != 0 || !S_ISCHR(st.st_mode)) {
        ::close(in);
        ::close(out);
        ThrowNotAFile(destination, S_ISFIFO(st.st_mode) ? "Is a named pipe" : "Is not a file");
    }
    (void)::fcntl(out, F_SETFL, ::fcntl(out, F_GETFL) & ~O_NONBLOCK);
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

// A copy of `file` as `backup` (made exclusively), for a file system without hard links.
bool CopyFile(const fs::path& file, const fs::path& backup)
{
    const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(backup.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    bool ok = out >= 0;
    char buffer[1 << 16];
    while (ok) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put = ::write(out, buffer + done, static_cast<std::size_t>(got - done));
            if (put < 0 && errno == EINTR)
                continue;
            ok = put > 0;
            done += put > 0 ? put : 0;
        }
    }
    ok = ok && ::fdatasync(out) == 0;
    ::close(in);
    if (out >= 0 && ::close(out) != 0)
        ok = false;
    if (!ok && out >= 0)
        ::unlink(backup.c_str());
    return ok;
}

// ---------------------------------------------------------------------------------------
// The journal: the renames of one commit, and whether they are to be done or undone.
//
//   orvane-commit 1
//   forward                       ("undo" once the commit has been turned round)
//   file <temporary> <target> <backup>   (tab-separated; an empty backup: no old file)
//   ...
//   end
//
// Paths are relative to the journal's folder (so that the folder can be recovered wherever it
// is mounted), with '%', tab, CR and LF written as %25, %09, %0D, %0A.

struct Move {
    fs::path temporary;
    fs::path target;
    fs::path backup;       // empty: there was no old file
    fs::path destination;  // the name in messages
};

struct Journal {
    fs::path folder;
    bool undo = false;
    std::vector<Move> moves;

    fs::path path() const { return folder / kCommitJournalName; }
};

std::string Escape(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += '%';
            out += kHex[(static_cast<unsigned char>(c) >> 4) & 15];
            out += kHex[static_cast<unsigned char>(c) & 15];
        } else {
            out += c;
        }
    }
    return out;
}

bool Unescape(std::string_view text, std::string* out)
{
    out->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            *out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
        const int hi = digit(text[i + 1]), lo = digit(text[i + 2]);
        if (hi < 0 || lo < 0)
            return false;
        *out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

std::string Relative(const fs::path& path, const fs::path& folder)
{
    if (path.empty())
        return {};
    const fs::path relative = path.lexically_relative(folder);
    return Escape((relative.empty() ? path : relative).string());
}

std::string JournalText(const Journal& journal)
{
    std::string text = "orvane-commit 1\n";
    text += journal.undo ? "undo\n" : "forward\n";
    for (const Move& m : journal.moves)
        text += "file\t" + Relative(m.temporary, journal.folder) + "\t" + Relative(m.target, journal.folder) + "\t" +
                Relative(m.backup, journal.folder) + "\n";
    text += "end\n";
    return text;
}

// Reads the journal of `folder`; false when there is none, FileError when it cannot be read.
bool ReadJournal(const fs::path& folder, Journal* journal)
{
    journal->folder = folder;
    const fs::path path = journal->path();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return false;
        ThrowFileError("Cannot open file", path, errno);
    }
    std::string text;
    char buffer[1 << 14];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);

    const auto unreadable = [&] {
        throw FileError("The commit journal \"" + path.string() + "\" of an interrupted run cannot be read.");
    };
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            unreadable();
        lines.emplace_back(text.data() + start, end - start);
        start = end + 1;
    }
    if (lines.size() < 3 || lines[0] != "orvane-commit 1" || lines.back() != "end" ||
        (lines[1] != "forward" && lines[1] != "undo"))
        unreadable();
    journal->undo = lines[1] == "undo";
    auto resolve = [&](std::string_view field) {
        std::string path;
        if (!Unescape(field, &path))
            unreadable();
        if (path.empty())
            return fs::path();
        const fs::path p(path);
        return (p.is_absolute() ? p : folder / p).lexically_normal();
    };
    for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (!line.starts_with("file\t"))
            unreadable();
        line.remove_prefix(5);
        const std::size_t a = line.find('\t');
        const std::size_t b = a == std::string_view::npos ? a : line.find('\t', a + 1);
        if (b == std::string_view::npos)
            unreadable();
        Move m;
        m.temporary = resolve(line.substr(0, a));
        m.target = resolve(line.substr(a + 1, b - a - 1));
        m.backup = resolve(line.substr(b + 1));
        m.destination = m.target;
        if (m.temporary.empty() || m.target.empty())
            unreadable();
        journal->moves.push_back(m);
    }
    return true;
}

// Writes the journal durably: into a locked temporary, flushed, then put in place. A new
// journal is linked (never over another commit's); an undo replaces the forward one.
void WriteJournal(const Journal& journal, bool replace)
{
    const std::string text = JournalText(journal);
    fs::path temporary;
    const int fd = CreateStaged(journal.folder, kCommitJournalName + 1, kTemporaryTag, journal.path(), &temporary);
    int error = 0;
    for (std::size_t done = 0; done < text.size() && error == 0;) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            error = put < 0 ? errno : EIO;
        else
            done += static_cast<std::size_t>(put);
    }
    if (error == 0 && ::fdatasync(fd) != 0)
        error = errno;
    if (error == 0) {
        const int placed = replace ? ::rename(temporary.c_str(), journal.path().c_str())
                                   : ::link(temporary.c_str(), journal.path().c_str());
        if (placed != 0)
            error = errno;
    }
    if (error != 0 || !replace)
        ::unlink(temporary.c_str());
    ::close(fd);
    if (error != 0)
        ThrowFileError("Cannot create file", journal.path(), error);
    SyncFolder(journal.folder);
}

void SyncFolders(const Journal& journal)
{
    std::set<fs::path> folders{journal.folder};
    for (const Move& m : journal.moves)
        folders.insert(Folder(m.target));
    for (const fs::path& folder : folders)
        SyncFolder(folder);
}

// The end of a commit either way: the backups and the temporaries left go, then the journal.
void CloseJournal(const Journal& journal)
{
    for (const Move& m : journal.moves) {
        if (!m.backup.empty())
            ::unlink(m.backup.c_str());
        ::unlink(m.temporary.c_str());
    }
    SyncFolders(journal);
    ::unlink(journal.path().c_str());
    SyncFolder(journal.folder);
}

// Puts the old files back: a backup over its file, a file that had no old one removed. Every
// step looks first whether it is still to be done, so that an undo interrupted in its turn can
// be taken up again. Returns 0, or the errno of a step that failed (with that move in *failed).
int Undo(const Journal& journal, const Move** failed)
{
    int first = 0;
    for (const Move& m : journal.moves) {
        int error = 0;
        if (!m.backup.empty()) {
            // Renaming a backup over the same file (the rename never happened) changes nothing;
            // the backup goes with the others.
            if (Exists(m.backup) && ::rename(m.backup.c_str(), m.target.c_str()) != 0)
                error = errno;
        } else if (!Exists(m.temporary)) {
            if (::unlink(m.target.c_str()) != 0 && errno != ENOENT)
                error = errno;
        }
        if (error != 0 && first == 0) {
            first = error;
            *failed = &m;
        }
    }
    return first;
}

[[noreturn]] void ThrowCommitError(const Move& move, int error, int undoError, const Move* undoFailed)
{
    std::string message = "Cannot create file \"" + DisplayName(move.destination) + "\": " + std::strerror(error);
    if (undoError != 0)
        message += "; the earlier files could not be put back either (\"" + DisplayName(undoFailed->destination) +
                   "\": " + std::strerror(undoError) + "): the next run in this folder tries again";
    throw FileError(message);
}

// Renames from move `from` on; on a failure turns the commit round and undoes it, then throws.
void RollForward(Journal& journal, std::size_t from)
{
    for (std::size_t i = from; i < journal.moves.size(); ++i) {
        const Move& m = journal.moves[i];
        if (!Exists(m.temporary))
            continue;  // renamed before the process was interrupted
        if (::rename(m.temporary.c_str(), m.target.c_str()) == 0)
            continue;
        const int error = errno;
        journal.undo = true;
        const Move* undoFailed = nullptr;
        int undoError = 0;
        try {
            WriteJournal(journal, true);
            undoError = Undo(journal, &undoFailed);
        } catch (const FileError&) {
            // Without the turned journal a later run would finish the commit instead: the old
            // files then stand neither way, so leave everything to it.
            undoError = EIO;
            undoFailed = &m;
        }
        if (undoError == 0)
            CloseJournal(journal);
        ThrowCommitError(m, error, undoError, undoFailed);
    }
    CloseJournal(journal);
}

} // namespace

// ---------------------------------------------------------------------------------------
// StagedFiles

StagedFiles::StagedFiles(fs::path journalFolder) : journalFolder_(std::move(journalFolder)) {}

StagedFiles::~StagedFiles() { rollback(); }

std::FILE* StagedFiles::create(const fs::path& destination)
{
    Entry entry;
    entry.destination = destination;
    entry.target = Absolute(FollowLinks(destination));

    // What is there now decides how the file is replaced.
    bool replacesFile = false;
    mode_t mode = 0;
    struct stat st;
    if (::stat(entry.target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            ThrowFileError("Cannot create file", destination, EISDIR);
        if (S_ISFIFO(st.st_mode))
            ThrowNotAFile(destination, "Is a named pipe");
        if (S_ISSOCK(st.st_mode))
            ThrowNotAFile(destination, "Is a socket");
        if (S_ISBLK(st.st_mode))
            ThrowNotAFile(destination, "Is a block device");
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
    const fs::path folder = entry.device ? Folder(Absolute(destination)) : Folder(entry.target);
    const std::string name = (entry.device ? destination : entry.target).filename().string();
    if (journalFolder_.empty())
        journalFolder_ = Folder(Absolute(destination));
    // What dead runs left of this file in a folder that no run holds (an image's, a link's).
    if (folder != Absolute(journalFolder_) || !name.starts_with(kProgramFiles))
        RemoveDeadTemporaries(folder, name);
    const int fd = CreateStaged(folder, name, kTemporaryTag, destination, &entry.temporary);
    if (replacesFile)
        (void)::fchmod(fd, mode);  // at worst the new file has the default permissions

    // The stream writes through a descriptor of its own; `hold` keeps the lock (and flushes the
    // data at the commit) after the stream has been closed.
    entry.hold = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    entry.stream = entry.hold >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (entry.stream == nullptr) {
        const int error = errno;
        ::unlink(entry.temporary.c_str());
        ::close(fd);
        if (entry.hold >= 0)
            ::close(entry.hold);
        ThrowFileError("Cannot create file", destination, error);
    }
    entries_.push_back(entry);
    return entries_.back().stream;
}

void StagedFiles::put(const fs::path& destination, std::string_view bytes)
{
    std::FILE* stream = create(destination);
    const StreamId id = IdOf(stream);
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    int error = errno;
    if (std::fclose(stream) != 0 && error == 0)
        error = errno;
    if (!written || error != 0)
        ThrowFileError("Cannot write file", destination, error);
    closed(id);
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
            // The file goes to the disk while the next ones are written: the flush at the
            // commit then mostly finds it there.
            (void)::sync_file_range(entry->hold, 0, 0, SYNC_FILE_RANGE_WRITE);
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
        // Every new file on the disk before anything refers to it.
        for (const Entry& entry : entries_)
            if (::fdatasync(entry.hold) != 0 && errno != EINVAL && errno != EROFS)
                ThrowFileError("Cannot write file", entry.destination, errno);
        // Devices: a full device stops the run before anything is replaced.
        for (Entry& entry : entries_) {
            if (!entry.device)
                continue;
            WriteThrough(entry.temporary, entry.destination);
            ::unlink(entry.temporary.c_str());
            entry.temporary.clear();
        }
        putInPlace();
    } catch (...) {
        rollback();
        throw;
    }
    for (Entry& entry : entries_)
        release(entry);
    entries_.clear();
}

void StagedFiles::putInPlace()
{
    Journal journal;
    journal.folder = Absolute(journalFolder_.empty() ? fs::path(".") : journalFolder_);
    for (Entry& entry : entries_)
        if (!entry.device)
            journal.moves.push_back({entry.temporary, entry.target, {}, entry.destination});
    if (journal.moves.empty())
        return;
    if (journal.moves.size() == 1) {
        // One rename is all or nothing by itself.
        const Move& m = journal.moves[0];
        if (::rename(m.temporary.c_str(), m.target.c_str()) != 0)
            ThrowFileError("Cannot create file", m.destination, errno);
        SyncFolder(Folder(m.target));
        for (Entry& entry : entries_)
            entry.temporary.clear();
        return;
    }

    // A second name for every file about to be replaced, so that the commit can be undone.
    std::vector<int> backupHolds;
    auto closeHolds = [&] {
        for (const int fd : backupHolds)
            ::close(fd);
    };
    try {
        for (std::size_t i = 0, k = 0; i < entries_.size(); ++i) {
            Entry& entry = entries_[i];
            if (entry.device)
                continue;
            Move& m = journal.moves[k++];
            struct stat st;
            if (::stat(m.target.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                continue;
            for (int attempt = 0;; ++attempt) {
                m.backup = Folder(m.target) / StagedName(m.target.filename().string(), kBackupTag);
                if (::link(m.target.c_str(), m.backup.c_str()) == 0)
                    break;
                if (errno == EEXIST && attempt < 100)
                    continue;
                if (errno != EEXIST && CopyFile(m.target, m.backup))
                    break;
                const int error = errno;
                m.backup.clear();
                ThrowFileError("Cannot create file", m.destination, error);
            }
            entry.backup = m.backup;
            // Locked as the temporaries are (a shared lock: it is the old file too), so that no
            // cleaner takes it while this run lives.
            const int hold = ::open(m.backup.c_str(), O_RDONLY | O_CLOEXEC);
            if (hold >= 0) {
                (void)TryLock(hold, F_RDLCK);
                backupHolds.push_back(hold);
            }
        }
        SyncFolders(journal);
        WriteJournal(journal, false);
    } catch (...) {
        for (Entry& entry : entries_)
            if (!entry.backup.empty()) {
                ::unlink(entry.backup.c_str());
                entry.backup.clear();
            }
        closeHolds();
        throw;
    }
    // From here on the commit is decided: a process that dies now leaves the journal, and the
    // next run in the folder finishes it.
    for (Entry& entry : entries_)
        entry.backup.clear();
    try {
        RollForward(journal, 0);
    } catch (...) {
        closeHolds();
        for (Entry& entry : entries_)
            entry.temporary.clear();  // renamed, or removed by the undo
        throw;
    }
    closeHolds();
    for (Entry& entry : entries_)
        entry.temporary.clear();
}

void StagedFiles::release(Entry& entry) noexcept
{
    // The stream is its writer's to close; the hold is the set's.
    if (entry.hold >= 0) {
        ::close(entry.hold);
        entry.hold = -1;
    }
}

void StagedFiles::rollback() noexcept
{
    for (Entry& entry : entries_) {
        if (!entry.temporary.empty())
            ::unlink(entry.temporary.c_str());
        if (!entry.backup.empty())
            ::unlink(entry.backup.c_str());
        release(entry);
    }
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

std::vector<fs::path> StagedFiles::destinations() const
{
    std::vector<fs::path> paths;
    for (const Entry& entry : entries_)
        paths.push_back(entry.destination);
    return paths;
}

// ---------------------------------------------------------------------------------------
// Recovery

void FinishInterruptedCommit(const fs::path& folder)
{
    Journal journal;
    if (!ReadJournal(Absolute(folder.empty() ? fs::path(".") : folder), &journal))
        return;
    if (!journal.undo) {
        RollForward(journal, 0);
        return;
    }
    const Move* failed = nullptr;
    const int error = Undo(journal, &failed);
    if (error != 0)
        throw FileError("Cannot put back the earlier files of an interrupted run: \"" +
                        DisplayName(failed->destination) + "\": " + std::strerror(error));
    CloseJournal(journal);
}

void RemoveDeadTemporaries(const fs::path& folder, const std::string& name)
{
    const fs::path where = folder.empty() ? fs::path(".") : folder;
    std::error_code ec;
    std::vector<fs::path> candidates;
    for (fs::directory_iterator it(where, ec), end; !ec && it != end; it.increment(ec))
        if (IsStagedName(it->path().filename().string(), name))
            candidates.push_back(it->path());
    for (const fs::path& path : candidates) {
        // Only a file whose lock can be taken belongs to a dead run; taking the lock also keeps
        // its run from using it, should it have just been made.
        const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && TryLock(fd) == Lock::Taken && SameFile(fd, path))
            ::unlink(path.c_str());
        ::close(fd);
    }
}

} // namespace orvane
