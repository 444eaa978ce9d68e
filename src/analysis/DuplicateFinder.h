#pragma once
// Finds sets of byte-identical files under some folders and what removing all copies
// but one would really free: copies that share their blocks (hard links) free little
// or nothing. Reads file contents only to hash candidates; never changes anything.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/ScanControl.h"
#include "platform/Date.h"

namespace sorvel {

struct DuplicateFile {
    std::string path;
    int64_t size = 0;        // allocated bytes from the directory listing
    int64_t privateSize = 0; // bytes shared with no other file; `size` when unknown
    uint64_t inode = 0;
    uint64_t cloneID = 0;    // 0 when unknown (always, on these file systems)
    std::optional<Date> modified;

    friend bool operator==(const DuplicateFile&, const DuplicateFile&) = default;
};

struct DuplicateGroup {
    enum class Kind { independentCopies, clones, hardLinks, mixed };

    std::string id;                   // the paths in order, joined by U+0001
    std::vector<DuplicateFile> files; // oldest first; the first one is kept
    int64_t size = 0;                 // the first file's size
    Kind kind = Kind::independentCopies;

    /// Private bytes of every file but the first; 0 with fewer than two files.
    int64_t reclaimable() const;
    /// What a size-only comparison would claim: size times the extra copies.
    int64_t apparentSaving() const;

    friend bool operator==(const DuplicateGroup&, const DuplicateGroup&) = default;
};

namespace DuplicateFinder {

struct Options {
    int64_t minimumSize = 1'000'000; // allocated bytes a candidate needs at least
    int64_t maxFiles = 400'000;      // scan limit on candidates
    std::set<std::string> skippedNames{".Spotlight-V100", ".fseventsd", ".DocumentRevisions-V100",
                                       ".Trash", "node_modules", ".git"};
    std::set<std::string> excludedPaths; // the globally excluded cloud folders

    Options();
};

struct Report {
    std::vector<DuplicateGroup> groups;
    int64_t filesScanned = 0;
    bool hitScanLimit = false;

    int64_t reclaimable() const;
    int64_t apparentSaving() const;
    friend bool operator==(const Report&, const Report&) = default;
};

/// Walks the roots in order, buckets candidates by allocated size, confirms each bucket
/// by an edge signature and then a full SHA-256, and returns the groups, largest
/// reclaimable first. Synchronous; reads only the control's cancelled flag.
Report scan(const std::vector<std::string>& roots, const Options& options, ScanControl& control);

namespace detail {
/// SHA-256 of the first 64 KiB and, for longer files, the last 64 KiB; none when the
/// file cannot be opened (or is not a regular file).
std::optional<std::string> edgeSignature(const std::string& path);
/// SHA-256 of the whole file, read in 4 MiB pieces; a failing read ends the hash with
/// what was read. None when the file cannot be opened (or is not a regular file).
std::optional<std::string> fullHash(const std::string& path);
/// How the copies share storage. Hard links need the same file on the same device.
DuplicateGroup::Kind kind(const std::vector<DuplicateFile>& files, const std::vector<uint64_t>& devices);
} // namespace detail

} // namespace DuplicateFinder
} // namespace sorvel
