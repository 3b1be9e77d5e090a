// The files of one run, written into one folder and replaced together: every file is staged
// beside its destination and put in place only by commit(), once all of them were written, in
// one commit that a killed process cannot leave half done (base/StagedFiles.h: links keep their
// place, devices are written through). A run that fails or is cancelled before commit() leaves
// the folder's files as they were. A run's set also writes the run's manifest (RunManifest.h).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/StagedFiles.h"
#include "base/TextFile.h"
#include "output/RunManifest.h"

namespace orvane {

class OutputFiles {
public:
    // folder: where the files go, and where the commit keeps its journal; empty for the current
    // folder. A run holds the folder (base/RunFolder.h) while the set lives.
    explicit OutputFiles(std::filesystem::path folder);
    // Without commit(): every staged file is removed and the folder is left as it was.
    ~OutputFiles();
    OutputFiles(const OutputFiles&) = delete;
    OutputFiles& operator=(const OutputFiles&) = delete;

    // A new text file of the run named `name` (no folder), open for writing. The reference stays
    // valid until the set is committed or dropped. FileError naming the file when it cannot be
    // created (a folder in its place, for instance).
    TextWriter& create(const std::string& name);
    // A whole file at a path of its own (an image the user named: relative to the current
    // folder, anywhere), written now and put in place with the others.
    void put(const std::filesystem::path& destination, std::string_view bytes);
    // A text file at a path of its own, open for writing line by line (a file the user named,
    // too large to be held whole), put in place with the others.
    TextWriter& createAt(const std::filesystem::path& destination);

    // What the run computed: commit() then writes the manifest, Orvane_run.txt, listing every
    // file of the set (and the files of earlier runs that stay).
    void describe(RunManifest manifest);

    // Closes every file, then puts all of them in place, replacing the old ones. FileError
    // naming the file when one cannot be written or replaced (the old files then stand).
    void commit();

    // Where the file `name` ends up.
    std::filesystem::path path(const std::string& name) const;

private:
    // The name a file of the set has in the manifest: its name in the folder, or the path of
    // a file elsewhere as given.
    std::string manifestName(const std::filesystem::path& destination) const;

    std::filesystem::path folder_;
    // Declared before the writers: a writer still open when the set is dropped closes into
    // its temporary before the temporaries are removed.
    StagedFiles staged_;
    std::vector<std::unique_ptr<TextWriter>> writers_;
    std::optional<RunManifest> manifest_;
};

} // namespace orvane
