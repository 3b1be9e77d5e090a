// The files of one run, written into one folder and replaced together: either every file of
// the run takes the place of the old one, or none does.
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
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // A new text file of the run named `name` (no folder), open for writing. The reference stays
    // valid until the set is committed or dropped. EInOutError when it cannot be created.
    TextWriter& create(const std::string& name);

    // Closes every file and puts all of them in place. EInOutError when one cannot be written.
    void commit();

    std::filesystem::path path(const std::string& name) const;

private:
    std::filesystem::path folder_;
    std::vector<std::unique_ptr<TextWriter>> writers_;
};

} // namespace orvane
