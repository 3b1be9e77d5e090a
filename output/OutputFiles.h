// The files of one run, written into one folder and replaced together: each file is written into
// a staging folder inside the target folder and moved into place by commit(), so that a run that
// fails or is cancelled before commit() leaves the folder's files as they were.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "numeric/TextFile.h"

namespace orvane {

class OutputFiles {
public:
    // folder: where the files go; empty for the current folder.
    explicit OutputFiles(std::filesystem::path folder);
    // Without commit(): the staged files are dropped and the folder is left as it was.
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // A new text file of the run named `name` (no folder), open for writing. The reference stays
    // valid until the set is committed or dropped. EInOutError when it cannot be created.
    TextWriter& create(const std::string& name);

    // Closes every file and moves all of them into place, replacing the old ones. EInOutError
    // when one cannot be written or put in place.
    void commit();

    // Where the file `name` ends up.
    std::filesystem::path path(const std::string& name) const;

private:
    struct File {
        std::unique_ptr<TextWriter> writer;
        std::string name;
        bool staged;  // written in the staging folder (else directly in place)
    };
    void dropStaging();

    std::filesystem::path folder_;
    std::filesystem::path staging_;  // made with the first file; empty when it could not be made
    bool stagingTried_ = false;
    std::vector<File> files_;
};

} // namespace orvane
