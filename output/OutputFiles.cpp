#include "output/OutputFiles.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include <unistd.h>

#include "numeric/Errors.h"

namespace orvane {

namespace {

// A folder of its own for the staged files of one run, hidden among the data files. Empty when
// none can be made (a missing or read-only folder): the files are then written in place, and
// their own errors say why.
std::filesystem::path MakeStagingFolder(const std::filesystem::path& folder)
{
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path base = folder.empty() ? std::filesystem::path(".") : folder;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path staging =
            base / (".orvane-run-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::error_code error;
        if (std::filesystem::create_directory(staging, error))
            return staging;
        if (error)
            return {};
    }
    return {};
}

// The message of a file that could not be put in place, in the words of the file writer.
[[noreturn]] void PlacingFailed(const std::string& name, int error)
{
    if (error == EACCES || error == EPERM || error == EROFS)
        throw EInOutError("Access denied: \"" + name + "\"");
    throw EInOutError("Cannot create file \"" + name + "\": " + std::strerror(error));
}

} // namespace

OutputFiles::OutputFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

OutputFiles::~OutputFiles()
{
    files_.clear();  // closes what is still open; errors do not matter any more
    dropStaging();
}

std::filesystem::path OutputFiles::path(const std::string& name) const
{
    return folder_.empty() ? std::filesystem::path(name) : folder_ / name;
}

TextWriter& OutputFiles::create(const std::string& name)
{
    if (!stagingTried_) {
        stagingTried_ = true;
        staging_ = MakeStagingFolder(folder_);
    }
    const bool staged = !staging_.empty();
    files_.push_back({std::make_unique<TextWriter>(staged ? staging_ / name : path(name), TextWriter::Mode::Create),
                      name, staged});
    return *files_.back().writer;
}

void OutputFiles::commit()
{
    for (File& file : files_)
        file.writer->close();
    // rename() replaces each old file in one step; a file that cannot be put in place ends the
    // commit there.
    for (const File& file : files_) {
        if (!file.staged)
            continue;
        if (std::rename((staging_ / file.name).c_str(), path(file.name).c_str()) != 0)
            PlacingFailed(file.name, errno);
    }
    files_.clear();
    dropStaging();
}

void OutputFiles::dropStaging()
{
    if (staging_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(staging_, ignored);
    staging_.clear();
}

} // namespace orvane
