#include "analysis/DuplicateFinder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <unordered_map>
#include <utility>

#include "engine/BulkDirectoryReader.h"
#include "engine/StorageCategory.h"
#include "platform/BulkAttributes.h"
#include "platform/FileAttributes.h"
#include "platform/RegularFile.h"
#include "platform/SHA256.h"
#include "platform/Trash.h"

namespace sorvel {

int64_t DuplicateGroup::reclaimable() const {
    if (files.size() < 2) return 0;
    int64_t total = 0;
    for (size_t i = 1; i < files.size(); ++i) total += files[i].privateSize;
    return total;
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

int64_t Report::reclaimable() const {
    int64_t total = 0;
    for (const auto& g : groups) total += g.reclaimable();
    return total;
}

int64_t Report::apparentSaving() const {
    int64_t total = 0;
    for (const auto& g : groups) total += g.apparentSaving();
    return total;
}

namespace {

constexpr size_t kEdgeBytes = 65'536;
constexpr size_t kFullReadBytes = 4'194'304;

struct Candidate {
    std::string path;
    int64_t size = 0;
    uint64_t inode = 0;
    uint64_t device = 0;
    std::optional<Date> modified;
};

// Read-only descriptor of a regular file, closed on every way out. A name that became
// a link, a pipe or a device since the walk is not opened (a pipe would block forever);
// paths of any length are opened.
class ReadHandle {
public:
    explicit ReadHandle(const std::string& path) {
        fd_ = openRegularFile(path.c_str());
    }
    ~ReadHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    ReadHandle(const ReadHandle&) = delete;
    ReadHandle& operator=(const ReadHandle&) = delete;
    bool isOpen() const { return fd_ >= 0; }

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
};

void collect(int directoryFD, const std::string& directory, std::vector<std::string>& stack,
             std::vector<Candidate>& candidates, const Options& options) {
    BulkDirectoryReader::read(directoryFD, [&](const DirectoryEntry& entry) {
        if (entry.name == "." || entry.name == "..") return;
        if (options.skippedNames.count(entry.name)) return;
        std::string path = directory + "/" + entry.name;
        if (options.excludedPaths.count(path)) return;
        if (entry.isSymlink) return;
        if (entry.isDirectory) {
            stack.push_back(std::move(path));
            return;
        }
        if (entry.isRegularFile && entry.allocatedSize >= options.minimumSize)
            candidates.push_back(Candidate{std::move(path), entry.allocatedSize, entry.fileID,
                                           entry.device, entry.modified});
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

std::vector<std::vector<Candidate>> confirm(const std::vector<Candidate>& bucket) {
    std::vector<std::pair<std::string, Candidate>> byEdge;
    for (const auto& c : bucket) {
        if (auto signature = detail::edgeSignature(c.path)) byEdge.emplace_back(std::move(*signature), c);
    }
    std::vector<std::vector<Candidate>> confirmed;
    for (auto& sameEdges : groupedBy(std::move(byEdge))) {
        if (sameEdges.size() < 2) continue;
        std::vector<std::pair<std::string, Candidate>> byHash;
        for (auto& c : sameEdges) {
            if (auto hash = detail::fullHash(c.path)) byHash.emplace_back(std::move(*hash), std::move(c));
        }
        for (auto& sameHash : groupedBy(std::move(byHash))) {
            if (sameHash.size() >= 2) confirmed.push_back(std::move(sameHash));
        }
    }
    return confirmed;
}

DuplicateFile describe(const Candidate& c) {
    DuplicateFile file{c.path, c.size, c.size, c.inode, 0, c.modified};
    attrlist request;
    request.bitmapcount = ATTR_BIT_MAP_COUNT;
    request.forkattr = ATTR_CMNEXT_PRIVATESIZE | ATTR_CMNEXT_CLONEID;
    unsigned char buffer[64] = {};
    if (getattrlist(c.path.c_str(), &request, buffer, sizeof buffer, FSOPT_ATTR_CMN_EXTENDED) == 0) {
        std::memcpy(&file.privateSize, buffer + 4, 8);
        std::memcpy(&file.cloneID, buffer + 12, 8);
    }
    return file;
}

DuplicateGroup build(const std::vector<Candidate>& set) {
    std::vector<std::pair<DuplicateFile, uint64_t>> described;
    described.reserve(set.size());
    for (const auto& c : set) described.emplace_back(describe(c), c.device);
    // Oldest first; an undated file counts as the distant future.
    std::stable_sort(described.begin(), described.end(), [](const auto& a, const auto& b) {
        const Date da = a.first.modified.value_or(Date::max());
        const Date db = b.first.modified.value_or(Date::max());
        return da < db;
    });
    DuplicateGroup group;
    std::vector<uint64_t> devices;
    for (auto& [file, device] : described) {
        if (!group.id.empty()) group.id += '\x01';
        group.id += file.path;
        group.files.push_back(std::move(file));
        devices.push_back(device);
    }
    group.size = group.files.empty() ? 0 : group.files.front().size;
    group.kind = detail::kind(group.files, devices);
    return group;
}

} // namespace

namespace detail {

std::optional<std::string> edgeSignature(const std::string& path) {
    ReadHandle handle(path);
    if (!handle.isOpen()) return std::nullopt;
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

std::optional<std::string> fullHash(const std::string& path) {
    ReadHandle handle(path);
    if (!handle.isOpen()) return std::nullopt;
    auto buffer = std::make_unique<unsigned char[]>(kFullReadBytes);
    SHA256 hasher;
    for (;;) {
        const ssize_t n = handle.readChecked(buffer.get(), kFullReadBytes);
        if (n <= 0) break; // end of file, or a failure: what was read stands
        hasher.update(buffer.get(), static_cast<size_t>(n));
    }
    std::string digest = hasher.hexDigest();
    if (digest.empty()) return std::nullopt;
    return digest;
}

DuplicateGroup::Kind kind(const std::vector<DuplicateFile>& files, const std::vector<uint64_t>& devices) {
    // Equal file numbers on different devices are different files.
    bool sameFile = !files.empty();
    for (size_t i = 1; i < files.size() && sameFile; ++i) {
        sameFile = files[i].inode == files[0].inode &&
                   (i >= devices.size() || devices[i] == devices[0]);
    }
    if (sameFile) return DuplicateGroup::Kind::hardLinks;
    size_t shared = 0;
    for (const auto& f : files) {
        if (f.privateSize < f.size) ++shared;
    }
    if (shared == 0) return DuplicateGroup::Kind::independentCopies;
    if (shared == files.size()) return DuplicateGroup::Kind::clones;
    return DuplicateGroup::Kind::mixed;
}

} // namespace detail

Report scan(const std::vector<std::string>& roots, const Options& options, ScanControl& control) {
    Report report;
    std::vector<Candidate> candidates;
    for (const auto& root : roots) {
        std::vector<std::string> stack{root};
        while (!stack.empty()) {
            std::string directory = std::move(stack.back());
            stack.pop_back();
            if (control.cancelled()) break;
            if (static_cast<int64_t>(candidates.size()) >= options.maxFiles) {
                report.hitScanLimit = true;
                break;
            }
            const int fd = openDirectory(directory.c_str());
            if (fd < 0) continue;
            collect(fd, directory, stack, candidates, options);
            ::close(fd);
        }
    }
    report.filesScanned = static_cast<int64_t>(candidates.size());

    std::map<int64_t, std::vector<Candidate>> buckets;
    for (auto& c : candidates) buckets[c.size].push_back(std::move(c));
    candidates.clear();
    candidates.shrink_to_fit();

    for (const auto& [size, bucket] : buckets) {
        if (bucket.size() < 2) continue;
        if (control.cancelled()) break;
        for (const auto& set : confirm(bucket)) report.groups.push_back(build(set));
    }

    std::erase_if(report.groups, [](const DuplicateGroup& g) { return g.files.size() < 2; });
    std::stable_sort(report.groups.begin(), report.groups.end(),
                     [](const DuplicateGroup& a, const DuplicateGroup& b) {
                         const int64_t ra = a.reclaimable(), rb = b.reclaimable();
                         if (ra != rb) return ra > rb;
                         return a.apparentSaving() > b.apparentSaving();
                     });
    return report;
}

} // namespace DuplicateFinder
} // namespace sorvel
