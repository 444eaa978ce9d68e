#include "analysis/FolderInsights.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <map>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "analysis/InsightLabels.h"
#include "engine/Parallel.h"
#include "engine/StorageCategory.h"
#include "platform/BulkAttributes.h"
#include "platform/DirectoryListing.h"
#include "platform/FileDescriptor.h"
#include "platform/FolderDescent.h"
#include "platform/MountBorder.h"
#include "platform/Path.h"
#include "platform/RegularFile.h"

namespace sorvel {

int64_t FolderInsights::staleBytes() const {
    int64_t total = 0;
    for (const auto& bucket : ages) {
        if (InsightLabels::isStale(bucket.key)) total += bucket.bytes;
    }
    return total;
}

namespace InsightScanner {
namespace {

constexpr size_t kLargestKept = 12;
constexpr int64_t kProbeThreshold = 1'048'576;

struct Totals {
    bool present = false;
    int64_t bytes = 0;
    int64_t count = 0;

    void add(int64_t b, int64_t c) {
        present = true;
        bytes += b;
        count += c;
    }
};

bool largerFirst(const FileEntry& a, const FileEntry& b) { return a.size > b.size; }

// Days between two dates, in floating point: dates centuries apart would overflow the
// clock's own nanosecond difference.
double ageInDays(Date now, Date modified) { return (unixSeconds(now) - unixSeconds(modified)) / 86'400.0; }

// A file with more than one name, met under one of them; counted once, when the walks are done.
struct Linked {
    std::string name, parent;
    std::string_view separator;
    int64_t size = 0;
    Date modified;
    FileKind kind = FileKind::other;
    int64_t names = 1; // its names met so far
};

struct InodeKey {
    dev_t device;
    ino_t inode;
    friend bool operator<(const InodeKey& a, const InodeKey& b) {
        return a.device != b.device ? a.device < b.device : a.inode < b.inode;
    }
};

// The running totals of one walk.
struct Accumulator {
    // Hard-linked files in the order first met, and where each is among them.
    std::vector<Linked> linked;
    std::map<InodeKey, size_t> linkedAt;
    std::array<Totals, std::size(kAllFileKinds)> kinds{};
    std::array<Totals, std::size(kAllAgeBands)> ages{};
    std::vector<FileEntry> largest; // at most 12, largest first
    int64_t totalBytes = 0;
    int64_t fileCount = 0;
    int64_t sniffs = 0;
    std::optional<Date> oldest;
    std::optional<Date> newest;
    bool truncated = false;
    int64_t unreadable = 0; // folders whose contents this user may not look at
    int64_t emptyRead = 0;  // folders read that hold no file and no folder: read, at 0 bytes

    void add(std::string_view name, const std::string& parent, std::string_view separator, int64_t size,
             Date modified, FileKind kind, Date now) {
        totalBytes += size;
        fileCount += 1;
        kinds[static_cast<size_t>(kind)].add(size, 1);
        ages[static_cast<size_t>(AgeBands::forAge(ageInDays(now, modified)))].add(size, 1);
        if (!oldest || modified < *oldest) oldest = modified;
        if (!newest || modified > *newest) newest = modified;

        // A full list turns away a file no larger than its smallest entry before any entry is built.
        if (largest.size() >= kLargestKept) {
            if (largest.back().size >= size) return;
            largest.pop_back();
        }
        FileEntry entry;
        entry.name = std::string(name);
        entry.path = parent;
        entry.path += separator;
        entry.path += name;
        entry.size = size;
        entry.modified = modified;
        // Where a stable sort would put it: after every entry at least as large.
        auto at = std::partition_point(largest.begin(), largest.end(),
                                       [&](const FileEntry& e) { return e.size >= size; });
        largest.insert(at, std::move(entry));
    }

    // Files met so far, each hard-linked one once.
    int64_t filesMet() const { return fileCount + static_cast<int64_t>(linked.size()); }

    // Whether the file is another name of one already met (then counted as such).
    bool anotherName(const struct stat& st) {
        if (st.st_nlink < 2) return false;
        const auto it = linkedAt.find({st.st_dev, st.st_ino});
        if (it == linkedAt.end()) return false;
        ++linked[it->second].names;
        return true;
    }

    void addLinked(const struct stat& st, Linked file) {
        linkedAt.emplace(InodeKey{st.st_dev, st.st_ino}, linked.size());
        linked.push_back(std::move(file));
    }

    void merge(Accumulator&& other) {
        // The first walk to meet a file keeps it; the others' names of it are more names.
        for (auto& [key, index] : other.linkedAt) {
            if (const auto it = linkedAt.find(key); it != linkedAt.end()) {
                linked[it->second].names += other.linked[index].names;
                other.linked[index].names = 0;
            } else {
                linkedAt.emplace(key, linked.size() + index);
            }
        }
        for (auto& file : other.linked) linked.push_back(std::move(file)); // kept in place: indexes above
        totalBytes += other.totalBytes;
        fileCount += other.fileCount;
        sniffs += other.sniffs;
        truncated = truncated || other.truncated;
        unreadable += other.unreadable;
        emptyRead += other.emptyRead;
        for (size_t i = 0; i < kinds.size(); ++i) {
            if (other.kinds[i].present) kinds[i].add(other.kinds[i].bytes, other.kinds[i].count);
        }
        for (size_t i = 0; i < ages.size(); ++i) {
            if (other.ages[i].present) ages[i].add(other.ages[i].bytes, other.ages[i].count);
        }
        if (other.oldest && (!oldest || *other.oldest < *oldest)) oldest = other.oldest;
        if (other.newest && (!newest || *other.newest > *newest)) newest = other.newest;
        largest.insert(largest.end(), std::make_move_iterator(other.largest.begin()),
                       std::make_move_iterator(other.largest.end()));
        std::stable_sort(largest.begin(), largest.end(), largerFirst);
        if (largest.size() > kLargestKept) largest.resize(kLargestKept);
    }
};

// What one walk shares with its entries: its mount, the reference date and the exclusions.
struct WalkContext {
    const MountBorder* border = nullptr;
    Date now;
    const FolderDescent::Exclusions* exclusions = nullptr;
    const std::function<bool()>* isCancelled = nullptr;
    const std::set<std::string, std::less<>>* skippedNames = nullptr; // names passed over anywhere

    bool cancelled() const { return *isCancelled && (*isCancelled)(); }
};

// The kind from the file's first bytes; none when it cannot be read or is not recognised.
std::optional<FileKind> sniff(int directoryFD, const char* name) {
    // No link is followed: the entry was a regular file when its status was read.
    const FileDescriptor fd(openPlainFileAt(directoryFD, name, O_RDONLY | O_NOFOLLOW));
    if (!fd.valid()) return std::nullopt;
    uint8_t buffer[16] = {};
    ssize_t got;
    do {
        got = read(fd.get(), buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    if (got < 4) return std::nullopt;
    return FileKinds::classify(std::span<const uint8_t>(buffer, static_cast<size_t>(got)));
}

// Opens a directory without following a link swapped in for it (also past the kernel's
// path length limit); none on failure.
std::optional<DirectoryListing> openListing(const std::string& path) {
    return DirectoryListing::adopt(FileDescriptor(openDirectory(path.c_str())));
}

// Whether a folder path marks files without an extension as a bundle's code, by the
// classification's own test. Its markers hold no "/", so a path holds one exactly when
// its start or one of its names does: each level is tested once, not its whole path.
bool marksBundle(std::string_view folder) { return FileKinds::classify("", false, folder) == FileKind::binary; }

enum class ProbeBudget { unlimited, counted };

// Reads every entry of the open directory `dir`, whose path is `dirPath`, into the
// accumulator; `kindFolder` stands for that path in the classification (the part of
// it that marks a bundle, if any). Each subfolder on the walk's mount goes to
// `subfolder(name)`. Stops early (true) when the walk is cancelled.
template <typename Subfolder>
bool readEntries(DirectoryListing& dir, const std::string& dirPath, std::string_view kindFolder,
                 const WalkContext& context, Accumulator& acc, Subfolder&& subfolder, ProbeBudget budget,
                 int64_t probeLimit, bool checkCancel) {
    const int fd = dir.descriptor();
    const std::string_view separator = (!dirPath.empty() && dirPath.back() == '/') ? "" : "/";
    bool refused = false; // counted once per folder
    bool holdsAny = false;  // a file or a folder of its own was seen
    while (const auto entry = dir.next()) {
        if (checkCancel && context.cancelled()) return true;
        const std::string_view name = entry->name;
        if (!context.skippedNames->empty() && context.skippedNames->count(name)) continue;
        if (context.exclusions->excludes(dirPath, name)) continue;
        struct stat st;
        std::optional<bool> mountRoot;
        if (!describeEntry(fd, name.data(), st, mountRoot)) {
            // A folder listed but not entered names entries none of which can be looked at.
            if ((errno == EACCES || errno == EPERM) && !refused) {
                refused = true;
                ++acc.unreadable;
            }
            continue;
        }
        holdsAny = holdsAny || S_ISDIR(st.st_mode) || S_ISREG(st.st_mode);
        if (S_ISDIR(st.st_mode)) {
            // Unlike the duplicate listing, another mount is never entered.
            if (!context.border->outside(static_cast<uint64_t>(st.st_dev), mountRoot, dirPath, name)) subfolder(name);
        } else if (S_ISREG(st.st_mode)) {
            // A hard-linked file counts once, as in the size walk; its other names are told.
            if (acc.anotherName(st)) continue;
            const int64_t size = static_cast<int64_t>(st.st_blocks) * 512;
            const Date modified = dateFromUnixSeconds(static_cast<int64_t>(st.st_mtim.tv_sec));
            FileKind kind = FileKinds::classify(name, (st.st_mode & S_IXUSR) != 0, kindFolder);
            if (kind == FileKind::other && size >= kProbeThreshold) {
                bool probe = true;
                if (budget == ProbeBudget::counted) {
                    probe = acc.sniffs < probeLimit;
                    if (probe) ++acc.sniffs;
                }
                if (probe) {
                    if (auto sniffed = sniff(fd, name.data())) kind = *sniffed;
                }
            }
            if (st.st_nlink >= 2) acc.addLinked(st, {std::string(name), dirPath, separator, size, modified, kind});
            else acc.add(name, dirPath, separator, size, modified, kind, context.now);
        }
        // Links are never followed or counted; devices, sockets and pipes are not files.
        // Only the names and whole paths the caller gives are passed over; hidden names and
        // packages are gone through like any other.
    }
    if (!refused && !holdsAny) ++acc.emptyRead;
    return false;
}

// One subfolder, depth first, each folder opened relative to its parent: time grows
// with the depth, not with its square, and no path is ever too long to reach.
Accumulator walk(const std::string& root, const WalkContext& context, const Limits& limits) {
    Accumulator acc;
    FolderDescent descent;
    // Per level of the descent, the part of its path that marks a bundle ("" for none).
    std::vector<std::string> kindFolders;
    descent.depthFirst(
        root,
        [&](int fd, std::vector<std::string>& subfolders) {
            // A mount made here since the entry was read is not entered.
            if (context.border->outside(fd)) return;
            auto dir = DirectoryListing::adopt(FileDescriptor(fcntl(fd, F_DUPFD_CLOEXEC, 0)));
            if (!dir) return;
            const size_t depth = descent.depth();
            kindFolders.resize(depth + 1);
            std::string& kindFolder = kindFolders[depth];
            if (depth == 0) {
                kindFolder = marksBundle(root) ? root : std::string();
            } else if (!kindFolders[depth - 1].empty()) {
                kindFolder = kindFolders[depth - 1];
            } else {
                const std::string& path = descent.path();
                const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
                kindFolder = marksBundle(name) ? std::string(name) : std::string();
            }
            const bool stopped = readEntries(
                *dir, descent.path(), kindFolder, context, acc,
                [&](std::string_view name) { subfolders.emplace_back(name); }, ProbeBudget::counted,
                limits.probesPerWalk, true);
            if (stopped) subfolders.clear(); // the next folder (if any) sees the cancellation
        },
        [&] {
            if (context.cancelled()) return false;
            if (acc.filesMet() >= limits.filesPerWalk) {
                acc.truncated = true;
                return false;
            }
            return true;
        },
        [&](const std::string&) {
            if (errno == EACCES || errno == EPERM) ++acc.unreadable;
        });
    return acc;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

FolderInsights analyze(const std::string& path, const std::function<bool()>& isCancelled) {
    return analyze(path, isCancelled, Limits{});
}

FolderInsights analyze(const std::string& path, const std::set<std::string>& excludedPaths,
                       const std::function<bool()>& isCancelled) {
    return analyze(path, isCancelled, Limits{}, std::nullopt, excludedPaths);
}

FolderInsights analyze(const std::string& path, const std::set<std::string>& excludedPaths,
                       const std::set<std::string>& skippedNames, const std::function<bool()>& isCancelled) {
    return analyze(path, isCancelled, Limits{}, std::nullopt, excludedPaths, skippedNames);
}

FolderInsights analyze(const std::string& path, const std::function<bool()>& isCancelled, const Limits& limits,
                       std::optional<Date> referenceDate, const std::set<std::string>& excludedPaths,
                       const std::set<std::string>& skippedNames) {
    const auto start = std::chrono::steady_clock::now();
    const Date now = referenceDate.value_or(sorvel::now());
    FolderInsights result;
    result.path = path;

    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return result;

    if (!S_ISDIR(st.st_mode)) {
        // One object, described as itself (a link is not followed), without a probe.
        const int64_t size = static_cast<int64_t>(st.st_blocks) * 512;
        const Date modified = dateFromUnixSeconds(static_cast<int64_t>(st.st_mtim.tv_sec));
        const FileKind kind =
            FileKinds::classify(path, (st.st_mode & S_IXUSR) != 0, deletingLastPathComponent(path));
        const double days = ageInDays(now, modified);
        result.totalBytes = size;
        result.fileCount = 1;
        result.kinds.push_back({kind, size, 1});
        result.ages.push_back({AgeBands::forAge(days), size, 1});
        result.oldest = modified;
        result.newest = modified;
        result.duration = secondsSince(start);
        return result;
    }

    // Each also where its links lead: a folder read at its real place meets them there.
    std::set<std::string> excluded;
    for (const auto& given : {StorageCategories::globallyExcludedPaths(), excludedPaths})
        for (const auto& place : given)
            for (auto& form : writtenAndResolved(place)) excluded.insert(std::move(form));
    const FolderDescent::Exclusions exclusions(excluded);
    const std::set<std::string, std::less<>> skipped(skippedNames.begin(), skippedNames.end());
    const MountBorder border(path);
    const WalkContext context{&border, now, &exclusions, &isCancelled, &skipped};
    Accumulator own;
    std::vector<std::string> subfolders;
    if (auto dir = openListing(path); !dir) {
        if (errno == EACCES || errno == EPERM) own.unreadable = 1;
    } else {
        // The analysed folder's own files are neither limited nor counted against a walk.
        readEntries(
            *dir, path, path, context, own,
            [&](std::string_view name) { subfolders.push_back(appendingPathComponent(path, name)); },
            ProbeBudget::unlimited, 0, false);
    }

    std::vector<Accumulator> walks = Parallel::map(
        subfolders.size(), [&](size_t i) { return walk(subfolders[i], context, limits); });
    for (auto& w : walks) own.merge(std::move(w));
    // Each hard-linked file once, in the order first met; merged-away copies hold no names.
    for (const Linked& file : own.linked) {
        if (file.names == 0) continue;
        own.add(file.name, file.parent, file.separator, file.size, file.modified, file.kind, now);
        result.otherNames += file.names - 1;
    }
    for (const FileEntry& entry : own.largest) {
        for (const Linked& file : own.linked)
            if (file.names > 1 && file.size == entry.size && file.name == entry.name &&
                appendingPathComponent(file.parent, file.name) == entry.path)
                result.otherNamesOf[entry.path] = file.names - 1;
    }

    result.totalBytes = own.totalBytes;
    result.fileCount = own.fileCount;
    result.truncated = own.truncated;
    result.unreadableFolders = own.unreadable;
    result.emptyFoldersRead = own.emptyRead;
    result.oldest = own.oldest;
    result.newest = own.newest;
    for (FileKind kind : kAllFileKinds) {
        const Totals& t = own.kinds[static_cast<size_t>(kind)];
        if (t.present) result.kinds.push_back({kind, t.bytes, t.count});
    }
    std::stable_sort(result.kinds.begin(), result.kinds.end(),
                     [](const auto& a, const auto& b) { return a.bytes > b.bytes; });
    for (AgeBand band : kAllAgeBands) {
        const Totals& t = own.ages[static_cast<size_t>(band)];
        if (t.present && t.bytes >= 1) result.ages.push_back({band, t.bytes, t.count});
    }
    result.largest = std::move(own.largest);
    result.duration = secondsSince(start);
    return result;
}

} // namespace InsightScanner
} // namespace sorvel
