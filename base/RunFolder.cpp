#include "base/RunFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/StagedFiles.h"
#include "base/TextFile.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

std::string FolderName(const fs::path& folder)
{
    if (!folder.empty())
        return folder.string();
    std::error_code ec;
    const fs::path current = fs::current_path(ec);
    return ec ? std::string(".") : current.string();
}

} // namespace

RunFolder::RunFolder(fs::path folder) : folder_(std::move(folder))
{
    lockFile_ = (folder_.empty() ? fs::path(".") : folder_) / kFolderLockName;
    for (int attempt = 0;; ++attempt) {
        const int fd = ::open(lockFile_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int error = errno;
            const fs::path where = folder_.empty() ? fs::path(".") : folder_;
            if (error == EROFS || error == ENOENT || error == ENOTDIR ||
                ((error == EACCES || error == EPERM) && ::access(where.c_str(), W_OK) != 0))
                return;  // nothing can be written here: the run's first file will say so
            ThrowFileError("Cannot create file", lockFile_, error);
        }
        // Any user who may write into the folder may hold it (a lock file a killed run of
        // another user left stays usable).
        (void)::fchmod(fd, 0666);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
            const int error = errno;
            if (error == EAGAIN || error == EACCES) {
                ::close(fd);
                throw FolderBusy("Another run is writing into the folder \"" + FolderName(folder_) +
                                 "\": wait until it has ended, or choose another folder.");
            }
            // A file system without locks: the run goes on unguarded.
        }
        // A run that ended between our open and our lock has removed the file we locked: take
        // the one that stands there now.
        struct stat open, named;
        if (::fstat(fd, &open) == 0 && ::lstat(lockFile_.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
            open.st_ino == named.st_ino) {
            fd_ = fd;
            break;
        }
        ::close(fd);
        if (attempt >= 100)
            ThrowFileError("Cannot create file", lockFile_, EAGAIN);
    }
    try {
        FinishInterruptedCommit(folder_);
        RemoveDeadTemporaries(folder_);
    } catch (...) {
        ::unlink(lockFile_.c_str());
        ::close(fd_);
        throw;
    }
}

RunFolder::~RunFolder()
{
    if (fd_ < 0)
        return;
    // Removed while still locked: a run that opened it meanwhile finds it gone and makes its own.
    ::unlink(lockFile_.c_str());
    ::close(fd_);
}

void RepairRunFolder(const fs::path& folder)
{
    try {
        RunFolder held(folder);
    } catch (const FolderBusy&) {
        // A live run: what it has in progress is its own business.
    }
}

} // namespace orvane
