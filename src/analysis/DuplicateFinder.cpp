#include "analysis/DuplicateFinder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/BulkDirectoryReader.h"
#include "engine/StorageCategory.h"
#include "platform/DirectoryListing.h"
#include "platform/FileExtents.h"
#include "platform/FolderDescent.h"
#include "platform/Path.h"
#include "platform/RegularFile.h"
#include "platform/SHA256.h"
#include "platform/Trash.h"

namespace sorvel {

int64_t DuplicateGroup::reclaimable() const {
    if (files.size() < 2) return 0;
    return DuplicateFinder::bytesFreed(std::vector<DuplicateFile>(files.begin() + 1, files.end()));
}

bool DuplicateGroup::extraFreesStorage(size_t index) const {
    if (index == 0 || index >= files.size()) return false;
    const DuplicateFile& file = files[index];
    uint64_t names = 0;
    for (size_t i = 1; i < files.size(); ++i) {
        if (files[i].device == file.device && files[i].inode == file.inode) ++names;
    }
    return names >= file.linkCount;
}

int64_t DuplicateGroup::reclaimableLeaving(const std::map<std::string, std::string>& refused) const {
    std::vector<DuplicateFile> extras;
    for (size_t i = 1; i < files.size(); ++i)
        if (!refused.count(files[i].path)) extras.push_back(files[i]);
    return DuplicateFinder::bytesFreed(extras);
}

int64_t DuplicateGroup::freedLeaving(size_t index, const std::map<std::string, std::string>& refused) const {
    if (index == 0 || index >= files.size()) return 0;
    const DuplicateFile& file = files[index];
    for (size_t i = 1; i < files.size(); ++i)
        if (files[i].device == file.device && files[i].inode == file.inode && refused.count(files[i].path)) return 0;
    return file.privateSize;
}

int64_t DuplicateGroup::apparentSaving() const {
    if (files.empty()) return 0;
    return size * static_cast<int64_t>(files.size() - 1);
}

namespace DuplicateFinder {

// The desktop's Trash is skipped like ".Trash": a trashed copy must never be the one kept.
Options::Options() : excludedPaths(StorageCategories::globallyExcludedPaths()) {
    if (const std::string trash = Trash::directory(); !trash.empty()) excludedPaths.insert(trash);
}

int64_t bytesFreed(const std::vector<DuplicateFile>& files) {
    // One entry per file: its size, its link count, and the distinct names listed.
    struct Seen {
        int64_t unshared;
        uint64_t links;
        std::set<std::string> names;
    };
    std::map<std::pair<uint64_t, uint64_t>, Seen> byFile;
    for (const auto& f : files) {
        auto [it, added] = byFile.try_emplace({f.device, f.inode}, Seen{f.unsharedSize(), f.linkCount, {}});
        it->second.names.insert(f.path);
    }
    int64_t total = 0;
    for (const auto& [identity, seen] : byFile) {
        if (seen.names.size() >= seen.links) total += seen.unshared;
    }
    return total;
}

int64_t Report::reclaimable() const {
    int64_t total = 0;
    for (const auto& g : groups) total += g.reclaimable();
    return total;
}

int64_t Report::reclaimableLeaving(const std::map<std::string, std::string>& refused) const {
    int64_t total = 0;
    for (const auto& group : groups) total += group.reclaimableLeaving(refused);
    return total;
}

int64_t Report::copiesLeft(const std::map<std::string, std::string>& refused) const {
    int64_t left = 0;
    for (const auto& group : groups)
        for (size_t i = 1; i < group.files.size(); ++i) left += refused.count(group.files[i].path) ? 1 : 0;
    return left;
}

bool Report::hasClones() const {
    for (const auto& g : groups)
        for (const auto& f : g.files)
            if (f.sharedBytes > 0) return true;
    return false;
}

namespace {
int64_t summed(const std::map<int, int64_t>& byReason) {
    int64_t total = 0;
    for (const auto& [reason, count] : byReason) total += count;
    return total;
}
} // namespace

int64_t Report::unreadableFolderCount() const { return summed(unreadableFolders); }
int64_t Report::unreadableFileCount() const { return summed(unreadableFiles); }

namespace {
std::string counted(int64_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}
} // namespace

std::string Report::unreadableSummary() const {
    const int64_t folders = unreadableFolderCount(), files = unreadableFileCount();
    if (folders == 0 && files == 0) return "";
    std::string what = folders > 0 ? counted(folders, "folder") : "";
    if (files > 0) what += (what.empty() ? "" : " and ") + counted(files, "file");
    return what + " could not be read (" + unreadableReasons() + ")";
}

std::string Report::unreadableReasons() const {
    std::map<int, int64_t> all = unreadableFolders;
    for (const auto& [error, count] : unreadableFiles) all[error] += count;
    std::vector<std::pair<int64_t, int>> ranked;
    for (const auto& [error, count] : all) ranked.emplace_back(-count, error);
    std::sort(ranked.begin(), ranked.end());
    std::string reasons;
    for (const auto& [negated, error] : ranked)
        reasons += (reasons.empty() ? "" : "; ") + std::string(std::strerror(error));
    return reasons;
}

bool Report::readNothing() const {
    // Each name that could not be read was listed once (a folder below a root) or not at
    // all (a root), so a listing of nothing more leaves nothing that was read.
    const int64_t unreadable = unreadableFolderCount() + unreadableFileCount();
    return unreadable > 0 && entriesListed <= unreadable;
}

int64_t Report::apparentSaving() const {
    int64_t total = 0;
    for (const auto& g : groups) total += g.apparentSaving();
    return total;
}

namespace {

constexpr size_t kEdgeBytes = 65'536;

// A relative root is taken from the working folder, so that exclusions (absolute
// paths) still meet it; then ".", ".." and doubled or trailing slashes go.
std::string absoluteStandardPath(const std::string& path) {
    if (path.empty() || path[0] == '/' || path[0] == '~') return standardizePath(path);
    std::error_code error;
    const auto cwd = std::filesystem::current_path(error);
    if (error) return standardizePath(path);
    return standardizePath(cwd.string() + "/" + path);
}
constexpr size_t kFullReadBytes = 4'194'304;

struct Candidate {
    std::string path;
    int64_t size = 0;
    uint64_t inode = 0;
    uint64_t device = 0;
    std::optional<Date> modified;
    uint64_t links = 1; // as found when the file was hashed whole
    std::optional<ExtentSharing> sharing{}; // as found then; none without an extent map
    int64_t length = 0;                     // logical bytes: copies are compared by these
    bool readable = true;                   // this user may read it; counted when not
};

// Read-only descriptor of a regular file, closed on every way out. A name that became
// a link, a pipe or a device since the walk is not opened (a pipe would block forever);
// paths of any length are opened.
class ReadHandle {
public:
    /// Opens `path`; when `expected` is given, a file other than that one (replaced
    /// since the walk) counts as not opened.
    ReadHandle(const std::string& path, std::optional<detail::FileIdentity> expected) {
        fd_ = openRegularFile(path.c_str());
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        if (::fstat(fd_, &status_) != 0 ||
            (expected && (static_cast<uint64_t>(status_.st_dev) != expected->device ||
                          static_cast<uint64_t>(status_.st_ino) != expected->inode))) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~ReadHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;
    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }
    /// Why it could not be opened; 0 when it was, or when it is another file now.
    int error() const { return error_; }
    const struct stat& status() const { return status_; }

    /// One read of up to `count` bytes; a failure counts as no bytes.
    size_t readOnce(unsigned char* buffer, size_t count) {
        for (;;) {
            ssize_t n = ::read(fd_, buffer, count);
            if (n >= 0) return static_cast<size_t>(n);
            if (errno != EINTR) return 0;
        }
    }
    /// Like readOnce, but tells a failure (-1) from the end of the file (0).
    ssize_t readChecked(unsigned char* buffer, size_t count) {
        for (;;) {
            ssize_t n = ::read(fd_, buffer, count);
            if (n >= 0 || errno != EINTR) return n;
        }
    }
    off_t seekToEnd() { return ::lseek(fd_, 0, SEEK_END); }
    void seek(off_t offset) { (void)::lseek(fd_, offset, SEEK_SET); }

private:
    int fd_ = -1;
    int error_ = 0;
    struct stat status_ {};
};

struct WholeFile {
    std::string digest;
    uint64_t links = 1;
    std::optional<ExtentSharing> sharing;
};

// The whole file's digest, link count and shared blocks, all from the one descriptor.
// `error` is set when the file could not be opened or a read failed (not when it changed).
std::optional<WholeFile> hashWhole(const std::string& path, std::optional<detail::FileIdentity> expected,
                                   int* error = nullptr) {
    ReadHandle handle(path, expected);
    if (!handle.isOpen()) {
        if (error) *error = handle.error();
        return std::nullopt;
    }
    const uint64_t length = static_cast<uint64_t>(std::max<off_t>(handle.status().st_size, 0));
    auto buffer = std::make_unique<unsigned char[]>(kFullReadBytes);
    SHA256 hasher;
    uint64_t done = 0;
    while (done < length) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kFullReadBytes, length - done));
        const ssize_t n = handle.readChecked(buffer.get(), want);
        if (n < 0 && error) *error = errno;
        if (n <= 0) return std::nullopt; // a failure, or the file shrank
        hasher.update(buffer.get(), static_cast<size_t>(n));
        done += static_cast<uint64_t>(n);
    }
    // More bytes than it had when opened: it is being written, so no hash fits it.
    if (handle.readChecked(buffer.get(), 1) != 0) return std::nullopt;
    std::string digest = hasher.hexDigest();
    if (digest.empty()) return std::nullopt;
    return WholeFile{std::move(digest), static_cast<uint64_t>(handle.status().st_nlink),
                     FileExtents::sharingOf(handle.descriptor())};
}

using Exclusions = FolderDescent::Exclusions;

// Reads one folder: its subfolders' names go to `subfolders`, its candidates to `candidates`.
// Where it differs from the size walk: it enters other volumes below a root, lists every
// name of a hard-linked file (each is a copy the user sees), and passes over more names
// (the Trash, version stores, installed packages) and the desktop's Trash folder. Like
// the other walks it never follows a link and goes through hidden names and packages.
// A file large enough is looked at once more: its logical length, and whether this user
// may read it (one that may not is counted once, here, and never opened).
void collect(int directoryFD, const std::string& directory, const Exclusions& exclusions,
             std::vector<std::string>& subfolders, std::vector<Candidate>& candidates, const Options& options,
             Report& report) {
    // A folder this user may list but not enter shows names whose files cannot be looked
    // at: it counts as unreadable, not as empty.
    if (const int refusal = searchRefusal(directoryFD)) {
        ++report.unreadableFolders[refusal];
        return;
    }
    BulkDirectoryReader::readAll(directoryFD, [&](const DirectoryEntry& entry) {
        if (entry.name == "." || entry.name == "..") return;
        ++report.entriesListed;
        if (options.skippedNames.count(entry.name)) return;
        if (entry.isSymlink) return;
        const bool candidate = entry.isRegularFile && entry.allocatedSize >= options.minimumSize;
        if (!entry.isDirectory && !candidate) return;
        if (exclusions.excludes(directory, entry.name)) return;
        if (entry.isDirectory) {
            subfolders.push_back(entry.name);
            return;
        }
        struct stat status {};
        if (::fstatat(directoryFD, entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode) || static_cast<uint64_t>(status.st_ino) != entry.fileID)
            return; // gone or replaced since the listing
        // Ages at the file system's full precision: copies made within one second differ.
        const auto nanoseconds = std::chrono::nanoseconds(status.st_mtim.tv_nsec);
        const Date modified = dateFromUnixSeconds(static_cast<int64_t>(status.st_mtim.tv_sec)) +
                              std::chrono::duration_cast<Date::duration>(nanoseconds);
        Candidate c{appendingPathComponent(directory, entry.name), entry.allocatedSize, entry.fileID, entry.device,
                    modified};
        c.length = static_cast<int64_t>(status.st_size);
        if (::faccessat(directoryFD, entry.name.c_str(), R_OK, AT_EACCESS) != 0) {
            const int error = errno;
            ++report.unreadableFiles[error];
            c.readable = false;
        }
        candidates.push_back(std::move(c));
    });
}

// Lists the candidates below `root`, depth first, a folder's subfolders last listed
// first, each folder opened relative to its parent: time stays linear in the depth.
// False when the search must stop (cancelled, or the scan limit reached).
bool listCandidates(const std::string& root, const Options& options, const Exclusions& exclusions,
                    ScanControl& control, Report& report, std::vector<Candidate>& candidates) {
    FolderDescent descent;
    return descent.depthFirst(
        root,
        [&](int fd, std::vector<std::string>& subfolders) {
            collect(fd, descent.path(), exclusions, subfolders, candidates, options, report);
        },
        [&] {
            if (control.cancelled()) return false;
            if (static_cast<int64_t>(candidates.size()) >= options.maxFiles) {
                report.hitScanLimit = true;
                return false;
            }
            return true;
        },
        [&](const auto&) {
            // Gone since it was listed, or turned into something else: nothing was missed.
            const int error = errno;
            if (error != ENOENT && error != ENOTDIR && error != ELOOP) ++report.unreadableFolders[error];
        });
}

// Groups items by a key in order of first appearance, each group keeping input order.
template <typename T>
std::vector<std::vector<T>> groupedBy(std::vector<std::pair<std::string, T>> keyed) {
    std::unordered_map<std::string, size_t> index;
    std::vector<std::vector<T>> groups;
    for (auto& [key, item] : keyed) {
        auto [it, added] = index.emplace(key, groups.size());
        if (added) groups.emplace_back();
        groups[it->second].push_back(std::move(item));
    }
    return groups;
}

std::optional<std::string> edgeOf(const std::string& path, std::optional<detail::FileIdentity> expected,
                                  int* error = nullptr);

// Groups the candidates of one length by content; one that fails to open or read is
// counted with its reason and leaves the comparison.
std::vector<std::vector<Candidate>> confirm(const std::vector<Candidate>& bucket, Report& report) {
    auto unreadable = [&report](int error) {
        if (error != 0) ++report.unreadableFiles[error];
    };
    std::vector<std::pair<std::string, Candidate>> byEdge;
    for (const auto& c : bucket) {
        if (!c.readable) continue;
        int error = 0;
        if (auto signature = edgeOf(c.path, detail::FileIdentity{c.device, c.inode}, &error))
            byEdge.emplace_back(std::move(*signature), c);
        else
            unreadable(error);
    }
    std::vector<std::vector<Candidate>> confirmed;
    for (auto& sameEdges : groupedBy(std::move(byEdge))) {
        if (sameEdges.size() < 2) continue;
        std::vector<std::pair<std::string, Candidate>> byHash;
        for (auto& c : sameEdges) {
            int error = 0;
            if (auto whole = hashWhole(c.path, detail::FileIdentity{c.device, c.inode}, &error)) {
                c.links = whole->links;
                c.sharing = whole->sharing;
                byHash.emplace_back(std::move(whole->digest), std::move(c));
            } else {
                unreadable(error);
            }
        }
        for (auto& sameHash : groupedBy(std::move(byHash))) {
            if (sameHash.size() >= 2) confirmed.push_back(std::move(sameHash));
        }
    }
    return confirmed;
}

// Tells a copy inside some folders (the ones the cleanup rules offer from, the document
// folders) from one elsewhere, by real path: a copy reached through a link into a cache
// lies in the cache, and a folder that is a link counts where it leads too.
class Places {
public:
    explicit Places(const std::vector<std::string>& places) {
        for (const auto& place : places) {
            const std::string written = absoluteStandardPath(place);
            if (written.empty() || written == "/") continue;
            places_.push_back(written);
            if (auto real = resolvedPath(written); real && *real != written && *real != "/") places_.push_back(*real);
        }
    }
    bool holds(const std::string& path) {
        if (places_.empty()) return false;
        const std::string folder = deletingLastPathComponent(path);
        auto [it, added] = byFolder_.try_emplace(folder, false);
        if (added) {
            // A folder gone since the walk is judged as written.
            const std::string real = resolvedPath(folder).value_or(folder);
            it->second = std::any_of(places_.begin(), places_.end(), [&](const std::string& place) {
                return isPathInside(real, place) || isPathInside(folder, place);
            });
        }
        return it->second;
    }

private:
    std::vector<std::string> places_;
    std::map<std::string, bool> byFolder_; // the walk lists a folder's copies together
};

// The set's id, size and kind, and each file's storage credited once: to the kept file when
// it has no other name, to the first extra name of a file whose names are all extras; every
// other name frees nothing.
void credit(DuplicateGroup& group) {
    group.id.clear();
    std::set<std::pair<uint64_t, uint64_t>> credited;
    for (size_t i = 0; i < group.files.size(); ++i) {
        DuplicateFile& file = group.files[i];
        if (!group.id.empty()) group.id += '\x01';
        group.id += file.path;
        file.privateSize = 0;
        const bool frees = i == 0 ? file.linkCount == 1 : group.extraFreesStorage(i);
        if (frees && credited.insert({file.device, file.inode}).second) file.privateSize = file.unsharedSize();
    }
    group.size = group.files.empty() ? 0 : group.files.front().size;
    group.kind = detail::kind(group.files);
}

// Where a copy stands for being kept, lower first: in a document folder, elsewhere, in a
// folder the rules offer from (the next cleanup moves it).
int standing(const std::string& path, Places& documents, Places& offered) {
    if (documents.holds(path)) return 0;
    return offered.holds(path) ? 2 : 1;
}

DuplicateGroup build(const std::vector<Candidate>& set, Places& documents, Places& offered) {
    DuplicateGroup group;
    std::vector<int> standings;
    for (const auto& c : set) {
        standings.push_back(standing(c.path, documents, offered));
        DuplicateFile file{c.path, c.size, 0, c.inode, 0, c.modified, c.device, std::max<uint64_t>(c.links, 1)};
        if (c.sharing) {
            // The listing's allocation and the extent map may be read moments apart.
            file.sharedBytes = std::clamp<int64_t>(c.sharing->sharedBytes, 0, c.size);
            file.cloneID = c.sharing->cloneID;
        }
        group.files.push_back(std::move(file));
    }
    // By standing, each part oldest first; an undated file counts as the distant future, and
    // equal keys keep walk order.
    std::vector<size_t> order(group.files.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        if (standings[a] != standings[b]) return standings[a] < standings[b];
        return group.files[a].modified.value_or(Date::max()) < group.files[b].modified.value_or(Date::max());
    });
    std::vector<DuplicateFile> sorted;
    for (size_t i : order) sorted.push_back(std::move(group.files[i]));
    group.files = std::move(sorted);
    credit(group);
    return group;
}

std::optional<std::string> edgeOf(const std::string& path, std::optional<detail::FileIdentity> expected,
                                  int* error) {
    ReadHandle handle(path, expected);
    if (!handle.isOpen()) {
        if (error) *error = handle.error();
        return std::nullopt;
    }
    auto buffer = std::make_unique<unsigned char[]>(kEdgeBytes);
    SHA256 hasher;
    hasher.update(buffer.get(), handle.readOnce(buffer.get(), kEdgeBytes));
    const off_t length = handle.seekToEnd();
    if (length > static_cast<off_t>(kEdgeBytes)) {
        handle.seek(length - static_cast<off_t>(kEdgeBytes));
        hasher.update(buffer.get(), handle.readOnce(buffer.get(), kEdgeBytes));
    }
    std::string digest = hasher.hexDigest();
    if (digest.empty()) return std::nullopt;
    return digest;
}

} // namespace

namespace detail {

std::optional<std::string> edgeSignature(const std::string& path, std::optional<FileIdentity> expected) {
    return edgeOf(path, expected);
}

std::optional<std::string> fullHash(const std::string& path, std::optional<FileIdentity> expected) {
    auto whole = hashWhole(path, expected);
    if (!whole) return std::nullopt;
    return std::move(whole->digest);
}

DuplicateGroup::Kind kind(const std::vector<DuplicateFile>& files) {
    // Equal file numbers on different devices are different files.
    bool oneFile = !files.empty();
    bool singleNames = true;
    size_t cloned = 0;
    std::set<std::pair<uint64_t, uint64_t>> seen;
    std::set<uint64_t> cloneIDs;
    for (const auto& f : files) {
        oneFile = oneFile && f.device == files[0].device && f.inode == files[0].inode;
        singleNames = singleNames && f.linkCount <= 1 && seen.insert({f.device, f.inode}).second;
        if (f.sharedBytes > 0) {
            ++cloned;
            cloneIDs.insert(f.cloneID);
        }
    }
    if (oneFile) return DuplicateGroup::Kind::hardLinks;
    if (!singleNames) return DuplicateGroup::Kind::mixed;
    if (cloned == 0) return DuplicateGroup::Kind::independentCopies;
    // Clones of one another hold the very same blocks; copies that share blocks with
    // different files, or only some of them sharing, are a mix.
    const bool sameBlocks = cloneIDs.size() == 1 && *cloneIDs.begin() != 0;
    return cloned == files.size() && sameBlocks ? DuplicateGroup::Kind::clones : DuplicateGroup::Kind::mixed;
}

} // namespace detail

namespace {

void largestFirst(Report& report) {
    std::stable_sort(report.groups.begin(), report.groups.end(), [](const DuplicateGroup& a, const DuplicateGroup& b) {
        const int64_t ra = a.reclaimable(), rb = b.reclaimable();
        if (ra != rb) return ra > rb;
        return a.apparentSaving() > b.apparentSaving();
    });
}

} // namespace

void keepFirst(Report& report, const std::map<std::string, std::string>& staying) {
    if (staying.empty()) return;
    bool changed = false;
    for (auto& group : report.groups) {
        const auto stays = [&staying](const DuplicateFile& file) { return staying.count(file.path) > 0; };
        if (group.files.empty() || stays(group.files.front()) || std::none_of(group.files.begin(), group.files.end(), stays))
            continue;
        std::stable_partition(group.files.begin(), group.files.end(), stays);
        credit(group);
        changed = true;
    }
    // A set's figure may change with its kept copy (names of one file free nothing apart).
    if (changed) largestFirst(report);
}

Report scan(const std::vector<std::string>& roots, const Options& options, ScanControl& control) {
    Report report;
    std::vector<Candidate> candidates;
    // "/a/b/" and "/a/./b" must meet the exclusions as "/a/b" does.
    Options standard = options;
    standard.excludedPaths.clear();
    // A root read where its links lead meets them where theirs lead.
    for (const auto& path : options.excludedPaths)
        for (auto& form : writtenAndResolved(absoluteStandardPath(path))) standard.excludedPaths.insert(std::move(form));
    const Exclusions exclusions(standard.excludedPaths);
    for (const auto& given : roots) {
        if (!listCandidates(absoluteStandardPath(given), standard, exclusions, control, report, candidates)) break;
    }
    report.filesScanned = static_cast<int64_t>(candidates.size());

    // By logical length: the allocation of equal contents differs with preallocated tails
    // and extent-index blocks, and it stays what a removed copy frees.
    std::map<int64_t, std::vector<Candidate>> buckets;
    for (auto& c : candidates) buckets[c.length].push_back(std::move(c));
    candidates.clear();
    candidates.shrink_to_fit();

    Places offered(options.offeredPlaces), documents(options.documentFolders);
    for (const auto& [size, bucket] : buckets) {
        if (bucket.size() < 2) continue;
        if (control.cancelled()) break;
        for (const auto& set : confirm(bucket, report)) report.groups.push_back(build(set, documents, offered));
    }

    std::erase_if(report.groups, [](const DuplicateGroup& g) { return g.files.size() < 2; });
    largestFirst(report);
    return report;
}

} // namespace DuplicateFinder
} // namespace sorvel
