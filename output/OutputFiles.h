// The files of one run, written into one folder and replaced together: every file is staged
// beside its destination and renamed over it only by commit(), once all of them were written
// (base/StagedFiles.h: links keep their place, devices are written through). A run that
// fails or is cancelled before commit() leaves the folder's files as they were.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/StagedFiles.h"
#include "base/TextFile.h"

namespace orvane {

class OutputFiles {
public:
    // folder: where the files go; empty for the current folder.
    explicit OutputFiles(std::filesystem::path folder);
    // Without commit(): every staged file is removed and the folder is left as it was.
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // A new text file of the run named `name` (no folder), open for writing. The reference stays
    // valid until the set is committed or dropped. FileError naming the file when it cannot be
    // created (a folder in its place, for instance).
    TextWriter& create(const std::string& name);

    // Closes every file, then puts all of them in place, replacing the old ones. FileError
    // naming the file when one cannot be written.
    void commit();

    // Where the file `name` ends up.
    std::filesystem::path path(const std::string& name) const;

private:
    std::filesystem::path folder_;
    // Declared before the writers: a writer still open when the set is dropped closes into
    // its temporary before the temporaries are removed.
    StagedFiles staged_;
    std::vector<std::unique_ptr<TextWriter>> writers_;
};

} // namespace orvane
