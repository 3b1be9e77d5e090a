// The output files of one run, all or nothing. Each file is written to a temporary name in
// the folder of its destination (".Orvane_t.dat.tmp-Ab3xZ9"); only commit(), once every file
// has been written and closed, renames them over their destinations, in one burst. A run
// that fails or throws leaves its temporaries to rollback() or the destructor, which remove
// them: the folder then holds exactly the files of the last run that succeeded.
//
// Destinations that are not plain files:
// - a folder (directly or behind a symbolic link): create() fails at once with the message
//   of a file that cannot be created ("Cannot create file "X": Is a directory");
// - a symbolic link to a file (or to a name not yet taken): the link stays; the temporary is
//   made next to the file it points to and renamed over that file;
// - anything else that exists (a device such as /dev/null or /dev/full, a named pipe): it
//   cannot be replaced by a rename, so commit() writes it directly, after every file of the
//   run has been written and before any rename; if that write fails nothing is renamed.
// The temporaries get names no other run in the same folder can take at the same time
// (created exclusively, with a random part), and the permissions of the file they replace.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace orvane {

class StagedFiles {
public:
    StagedFiles() = default;
    ~StagedFiles();  // rollback() when commit() was not reached
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    // Creates the temporary of `destination` and returns it open for binary writing. The
    // caller writes, fcloses it, and reports a successful close with closed(). Throws
    // FileError naming the destination ("Cannot create file", "Access denied", "Disk
    // full") when the file could not be written.
    std::FILE* create(const std::filesystem::path& destination);
    // The stream create() returned has been written and closed without error; it is named by
    // its address as create() returned it (StreamId), the stream itself being gone.
    using StreamId = std::uintptr_t;
    static StreamId IdOf(const std::FILE* stream);
    void closed(StreamId stream);

    // Writes the devices, then renames every temporary over its file. Throws FileError
    // naming the file when a device cannot be written (nothing renamed, every temporary
    // removed) or a rename fails (the files renamed before it stay renamed).
    void commit();
    // Removes every temporary; the destinations are left as they were.
    void rollback() noexcept;

    // The temporaries not yet renamed or removed, for tests.
    std::vector<std::filesystem::path> temporaries() const;

private:
    struct Entry {
        std::filesystem::path destination;  // as given: the name in messages
        std::filesystem::path target;       // what the rename replaces (links followed)
        std::filesystem::path temporary;
        std::FILE* stream = nullptr;        // open until closed() is called
        bool complete = false;              // written and closed without error
        bool device = false;                // written through at commit instead of renamed
    };
    std::vector<Entry> entries_;
};

} // namespace orvane
