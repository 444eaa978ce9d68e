#pragma once
// Finds sets of byte-identical files under some folders and what removing all copies
// but one would really free: a file's blocks go only when its last name goes, so extra
// names of one file (hard links) free nothing unless all of them are removed. Reads file
// contents only to hash candidates; never changes anything.
#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/ScanControl.h"
#include "platform/Date.h"

namespace sorvel {

struct DuplicateFile {
    std::string path;
    int64_t size = 0;        // allocated bytes from the directory listing: what removing it frees
    int64_t privateSize = 0; // what removing this name with the group's other extras frees
    uint64_t inode = 0;
    uint64_t cloneID = 0;    // where its shared blocks lie; 0 when it shares none or that is unknown
    std::optional<Date> modified; // to the nanosecond, as the file system keeps it
    uint64_t device = 0;
    uint64_t linkCount = 1;  // names of this file on its file system, in the group or not
    int64_t sharedBytes = 0; // blocks other files hold too (reflinked copies); 0 when unknown

    /// The bytes removing the file's last name would free.
    int64_t unsharedSize() const { return size - std::min(sharedBytes, size); }
    friend bool operator==(const DuplicateFile&, const DuplicateFile&) = default;
};

struct DuplicateGroup {
    enum class Kind { independentCopies, clones, hardLinks, mixed };

    std::string id;                   // the paths in order, joined by U+0001
    /// The kept copy first, then the rest in the same order (see `DuplicateFinder::keepFirst`);
    /// equal ages keep walk order.
    std::vector<DuplicateFile> files;
    int64_t size = 0;                 // the first file's size
    Kind kind = Kind::independentCopies;

    /// What removing every file but the first frees; 0 with fewer than two files.
    int64_t reclaimable() const;
    /// What a size-only comparison would claim: size times the extra copies.
    int64_t apparentSaving() const;
    /// Whether removing the extras frees the storage of file `index`: it is an extra and
    /// every one of its names is an extra too.
    bool extraFreesStorage(size_t index) const;
    /// What moving the extras frees when those named in `refused` (by path) stay where they
    /// are: a file's storage goes only with its last name, so a name left behind keeps it.
    int64_t reclaimableLeaving(const std::map<std::string, std::string>& refused) const;
    /// Extra `index`'s part of that: none for the kept file, for a copy in `refused`, or for
    /// a name of a file another name of which stays.
    int64_t freedLeaving(size_t index, const std::map<std::string, std::string>& refused) const;

    friend bool operator==(const DuplicateGroup&, const DuplicateGroup&) = default;
};

namespace DuplicateFinder {

struct Options {
    int64_t minimumSize = 1'000'000; // allocated bytes a candidate needs at least
    int64_t maxFiles = 400'000;      // scan limit on candidates
    std::set<std::string> skippedNames{".Spotlight-V100", ".fseventsd", ".DocumentRevisions-V100",
                                       ".Trash", "node_modules", ".git"};
    std::set<std::string> excludedPaths; // the globally excluded cloud folders
    /// The folders Sorvel's own cleanup rules offer from (caches, the Trash, leftovers):
    /// a copy in one of them goes with the next cleanup, so it is kept only when every copy
    /// lies in one. Judged by real path. The callers fill it from the rules themselves.
    std::vector<std::string> offeredPlaces;
    /// The desktop's own document folders: a copy in one is kept over one elsewhere
    /// (Downloads, say). Judged by real path.
    std::vector<std::string> documentFolders;

    Options();
};

struct Report {
    std::vector<DuplicateGroup> groups;
    int64_t filesScanned = 0;
    bool hitScanLimit = false;
    /// What could not be read, by the system's reason (an errno value): folders that could
    /// not be opened, with all below them, and files too large to pass over that could not
    /// be read. None of these took part in the comparison.
    std::map<int, int64_t> unreadableFolders;
    std::map<int, int64_t> unreadableFiles;
    /// Names listed below the roots, readable or not: with none beyond what could not be
    /// read, nothing below the roots was read.
    int64_t entriesListed = 0;

    int64_t reclaimable() const;
    /// What moving the extra copies would free when those named in `refused` (by path) stay
    /// where they are: only copies the guard lets move count.
    int64_t reclaimableLeaving(const std::map<std::string, std::string>& refused) const;
    /// How many extra copies `refused` keeps in place.
    int64_t copiesLeft(const std::map<std::string, std::string>& refused) const;
    int64_t apparentSaving() const;
    /// Whether any listed copy shares blocks with another file by cloning (reflinks),
    /// as opposed to sharing only through hard links.
    bool hasClones() const;
    int64_t unreadableFolderCount() const;
    int64_t unreadableFileCount() const;
    /// "1 folder and 2 files could not be read (Permission denied)"; empty when all was read.
    std::string unreadableSummary() const;
    /// The system's reasons for what could not be read, most frequent first.
    std::string unreadableReasons() const;
    /// Something could not be read and nothing else below the roots could: no folder,
    /// no file, however small. A folder read but for some of it is no such case.
    bool readNothing() const;
    friend bool operator==(const Report&, const Report&) = default;
};

/// What removing `files` frees, as the file system counts it: a file's unshared bytes
/// once, however many of its names are listed, and only when all of its names are.
int64_t bytesFreed(const std::vector<DuplicateFile>& files);

/// Puts first in each set of `report` the copy a person keeps, the rest after it: a copy
/// that never moves (named in `staying`) before any other; then a copy in a document folder;
/// then one outside the folders the rules offer from; age decides only among copies alike
/// in all of these. `scan` orders each set so with no copy staying; what each copy frees is
/// worked out again for the new order.
void keepFirst(Report& report, const std::map<std::string, std::string>& staying);

/// Walks the roots in order (each made absolute and standardised first, as are the
/// excluded paths), buckets candidates by logical length (copies may hold different
/// allocations: preallocated tails, index blocks), confirms each bucket by an
/// edge signature and then a full SHA-256 of the very file that was listed, and returns
/// the groups, largest reclaimable first. Synchronous; reads only the control's cancelled flag.
Report scan(const std::vector<std::string>& roots, const Options& options, ScanControl& control);

namespace detail {
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
};
/// SHA-256 of the first 64 KiB and, for longer files, the last 64 KiB; none when the
/// file cannot be opened, is not a regular file, or is not `expected` (when given).
std::optional<std::string> edgeSignature(const std::string& path, std::optional<FileIdentity> expected = {});
/// SHA-256 of exactly the file's length as opened, read in 4 MiB pieces. None when the
/// file cannot be opened, is not a regular file or not `expected`, when a read fails,
/// or when the file shrinks or grows while it is read: never a hash of part of it.
std::optional<std::string> fullHash(const std::string& path, std::optional<FileIdentity> expected = {});
/// How the copies share storage, by file (device and inode): all one file is hard
/// links; single-named files that all hold the same shared blocks are clones, ones
/// that share nothing are copies; anything else is mixed.
DuplicateGroup::Kind kind(const std::vector<DuplicateFile>& files);
} // namespace detail

} // namespace DuplicateFinder
} // namespace sorvel
