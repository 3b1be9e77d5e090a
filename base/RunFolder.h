// One run at a time in a folder, and a folder put right before a run uses it.
//
// A run holds its folder for its whole length: an open-file-description lock on ".Orvane.lock"
// in the folder, taken before anything there is read or written and let go (the lock file
// removed) at the end. A second run into a folder that a live run holds is refused at once
// (FolderBusy); the lock goes with the process, so a killed run never leaves its folder held.
//
// Taking the folder also repairs what a dead run left there: a commit it was killed in the
// middle of is finished (or undone: base/StagedFiles.h), and its temporaries are removed.
#pragma once

#include <filesystem>
#include <string>

#include "base/Errors.h"

namespace orvane {

// Another live run holds the folder.
class FolderBusy : public FileError {
public:
    using FileError::FileError;
};

class RunFolder {
public:
    // folder: where the run writes; empty for the current folder. Throws FolderBusy when another
    // run holds it, and FileError when an interrupted commit there can be neither finished nor
    // undone. A folder where the lock file cannot be made (read-only, missing) is taken without
    // one: no run can write there either, and the run's own files will say why.
    explicit RunFolder(std::filesystem::path folder);
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    // As given (empty: the current folder).
    const std::filesystem::path& path() const { return folder_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path lockFile_;
    int fd_ = -1;
};

// The lock file of a folder.
inline constexpr const char* kFolderLockName = ".Orvane.lock";

// The repair alone, for a program that opens a folder before (or without) running there: the
// window at its start, a folder chosen in a dialog. Nothing when a live run holds the folder
// (its own commit is whole). Throws FileError when an interrupted commit can be neither
// finished nor undone.
void RepairRunFolder(const std::filesystem::path& folder);

} // namespace orvane
