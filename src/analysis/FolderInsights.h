#pragma once
// What one folder holds: bytes and files by kind and by age, the largest files and the
// extreme modification dates. Measured by its own bounded walk, independent of the scan.
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <optional>
#include <type_traits>
#include <string>
#include <vector>

#include "engine/FileEntry.h"
#include "engine/FileKind.h"
#include "platform/Date.h"

namespace sorvel {

template <typename Key>
struct Bucket {
    Key key;
    int64_t bytes = 0;
    int64_t count = 0;

    /// The key's case name ("image", "lastMonth", ...).
    std::string id() const {
        if constexpr (std::is_same_v<Key, AgeBand>) return caseName(key);
        else return rawValue(key);
    }
    friend bool operator==(const Bucket&, const Bucket&) = default;
};

struct FolderInsights {
    std::string path;
    int64_t totalBytes = 0;
    int64_t fileCount = 0;
    std::vector<Bucket<FileKind>> kinds; // largest byte total first
    std::vector<Bucket<AgeBand>> ages;   // band order, bands with at least 1 byte
    std::vector<FileEntry> largest;      // at most 12, largest first
    /// Hard links: a file is counted once, under the first of its names met; the names met
    /// after it are counted here, in all and for each entry of `largest` by its path.
    int64_t otherNames = 0;
    std::map<std::string, int64_t> otherNamesOf;
    std::optional<Date> oldest;
    std::optional<Date> newest;
    double duration = 0;
    bool truncated = false;
    int64_t unreadableFolders = 0; // this user could not look inside them: left out above
    /// Folders read that held no file and no folder: read, at 0 bytes.
    int64_t emptyFoldersRead = 0;

    /// No file was read and every folder read held folders only, down to refused ones: the
    /// folder holds nothing but refused folders, and its 0 is no figure. An empty folder
    /// beside a refused one makes it read in part instead.
    bool nothingReadable() const { return fileCount == 0 && unreadableFolders > 0 && emptyFoldersRead == 0; }

    /// Bytes of files last modified 730 days ago or earlier.
    int64_t staleBytes() const;
    friend bool operator==(const FolderInsights&, const FolderInsights&) = default;
};

namespace InsightScanner {

/// Bounds of one subfolder walk. The defaults are the product's; tests shrink them.
struct Limits {
    int64_t filesPerWalk = 400'000;
    int64_t probesPerWalk = 20'000;
};

/// Explains the folder (or the single object) at `path`. Never fails: whatever cannot be
/// read is left out. `isCancelled` is asked from worker threads during the subfolder
/// walks; a cancelled analysis returns partial totals that the caller must discard.
FolderInsights analyze(const std::string& path, const std::function<bool()>& isCancelled);

/// The same leaving out `excludedPaths` (whole paths) as well, as a category that shares its
/// root with other categories measures it.
FolderInsights analyze(const std::string& path, const std::set<std::string>& excludedPaths,
                       const std::function<bool()>& isCancelled);

/// The same also passing over `skippedNames` wherever they occur, as the size scan does:
/// figures shown beside the scan's then count what the scan counts.
FolderInsights analyze(const std::string& path, const std::set<std::string>& excludedPaths,
                       const std::set<std::string>& skippedNames, const std::function<bool()>& isCancelled);

/// The same with other limits and a fixed reference date for ages (tests).
FolderInsights analyze(const std::string& path, const std::function<bool()>& isCancelled, const Limits& limits,
                       std::optional<Date> referenceDate = std::nullopt,
                       const std::set<std::string>& excludedPaths = {}, const std::set<std::string>& skippedNames = {});

} // namespace InsightScanner
} // namespace sorvel
