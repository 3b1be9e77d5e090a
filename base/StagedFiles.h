// The output files of one run, all or nothing, even when the process is killed. Each file is
// written to a temporary name in the folder of its destination (".Orvane_t.dat.tmp-Ab3xZ9");
// only commit(), once every file has been written and closed, puts them in place:
//
//   1. every temporary is flushed to the disk (fdatasync);
//   2. the devices among the destinations are written through (see below);
//   3. every file about to be replaced gets a second name, a backup (".Orvane_t.dat.old-x8Yq2p",
//      a hard link: nothing is copied), and the list of renames goes into a journal
//      (".Orvane_commit" in the journal folder), itself flushed and then linked into place: from
//      this instant on the commit is decided;
//   4. the temporaries are renamed over their destinations one by one;
//   5. the backups and the journal are removed.
//
// A process killed before 3 leaves only temporaries, which the next run in that folder removes
// (RemoveDeadTemporaries): the old files stand. A process killed in 4 leaves the journal, and the
// next run in that folder first finishes the renames (FinishInterruptedCommit): the new files
// stand. A rename that fails in 4 (a file that cannot be replaced: a mount point, for one) turns
// the commit round: the journal is marked for undoing, the backups go back over the files already
// replaced, the new files that had no old one are removed, and the old files stand again.
//
// A run that fails or throws before commit() leaves its temporaries to rollback() or the
// destructor, which remove them.
//
// Destinations that are not plain files:
// - a folder (directly or behind a symbolic link): create() fails at once ("Cannot create file
//   "X": Is a directory");
// - a symbolic link to a file (or to a name not yet taken): the link stays; the temporary and the
//   backup are made next to the file it points to, which the rename replaces;
// - a character device (say a link to /dev/null that throws a file away): it cannot be replaced
//   by a rename, so commit() writes it directly, after every file has been written and before
//   the journal; if that write fails nothing is replaced. What reached a device stays there;
// - a named pipe, a socket or a block device: refused by create() ("Cannot create file "X": Is a
//   named pipe"), before anything is written: a pipe would hold the run until a reader came, and
//   a block device is no place for a data file.
//
// Every temporary (and backup) is locked (an open-file-description lock) as long as its run lives:
// RemoveDeadTemporaries takes only those no live run holds. The temporaries get names no other
// run can take at the same time (created exclusively, with a random part), and the permissions
// of the file they replace.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

class StagedFiles {
public:
    // journalFolder: the folder whose journal records the commit (the run's folder, held by a
    // RunFolder while the run lasts); empty: the folder of the first file staged.
    explicit StagedFiles(std::filesystem::path journalFolder = {});
    ~StagedFiles();  // rollback() when commit() was not reached
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    // Creates the temporary of `destination` and returns it open for binary writing. The
    // caller writes, fcloses it, and reports a successful close with closed(). Throws
    // FileError naming the destination ("Cannot create file", "Access denied", "Disk
    // full") when the file could not be written.
    std::FILE* create(const std::filesystem::path& destination);
    // A whole file at once (an image): create(), write, close.
    void put(const std::filesystem::path& destination, std::string_view bytes);
    // The stream create() returned has been written and closed without error; it is named by
    // its address as create() returned it (StreamId), the stream itself being gone.
    using StreamId = std::uintptr_t;
    static StreamId IdOf(const std::FILE* stream);
    void closed(StreamId stream);

    // Puts every file in place, as described above. Throws FileError naming the file when one
    // cannot be written or replaced; the old files then stand, every temporary is removed.
    void commit();
    // Removes every temporary; the destinations are left as they were.
    void rollback() noexcept;

    // The temporaries not yet renamed or removed, for tests.
    std::vector<std::filesystem::path> temporaries() const;
    // The destinations staged so far, as given, in order.
    std::vector<std::filesystem::path> destinations() const;

private:
    struct Entry {
        std::filesystem::path destination;  // as given: the name in messages
        std::filesystem::path target;       // what the rename replaces (links followed), absolute
        std::filesystem::path temporary;    // absolute; empty once renamed or removed
        std::filesystem::path backup;       // a second name of the file replaced, during commit()
        std::FILE* stream = nullptr;        // open until closed() is called
        int hold = -1;                      // keeps the temporary locked (and flushes it)
        bool complete = false;              // written and closed without error
        bool device = false;                // written through at commit instead of renamed
    };
    void putInPlace();
    void release(Entry& entry) noexcept;
    std::filesystem::path journalFolder_;
    std::vector<Entry> entries_;
};

// The journal of a commit in its folder.
inline constexpr const char* kCommitJournalName = ".Orvane_commit";

// Finishes the commit whose journal lies in `folder`: renames what is left to rename (or, when
// a rename fails, or the journal says so, puts the old files back), then removes the backups
// and the journal. Nothing when there is no journal. Throws FileError when neither way can be
// completed (the journal then stays for a later try). The caller holds the folder (RunFolder):
// a live commit must never be taken for an interrupted one.
void FinishInterruptedCommit(const std::filesystem::path& folder);

// Removes the temporaries and backups that dead runs left in `folder`: those of every file of
// the program ("Orvane...") when `name` is empty, else only those of the file `name` (create()
// does so for every file it stages outside the run's folder, an image for one). A temporary a
// live run holds is never touched.
void RemoveDeadTemporaries(const std::filesystem::path& folder, const std::string& name = {});

} // namespace orvane
