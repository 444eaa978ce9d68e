#include "engine/ScopeDisks.h"

#include <sys/stat.h>

#include <optional>
#include <utility>

#include "platform/MountTable.h"
#include "platform/Path.h"
#include "platform/VolumeCapacity.h"

namespace sorvel {

namespace {

// Where a place's bytes lie: a link's in the folder holding it (it is never followed), a
// place not there yet in its nearest folder that is.
std::string existingPlace(const std::string& path) {
    std::string at = path;
    struct stat st {};
    for (int depth = 0; depth < 4096 && !at.empty(); ++depth) {
        if (::lstat(at.c_str(), &st) == 0) return S_ISLNK(st.st_mode) ? deletingLastPathComponent(at) : at;
        if (at == "/") break;
        at = deletingLastPathComponent(at);
    }
    return "/";
}

VolumeStats statsAt(const std::string& path) {
    VolumeStats s;
    const auto c = volumeCapacity(path);
    s.measured = c.has_value();
    if (c) s = VolumeStats(c->total, c->available, c->availableForImportantUsage, c->used);
    return s;
}

// A file system is known by the device the mount table gives it (btrfs subvolumes of one
// file system share it), else, without a table, by the device its files report.
struct DiskKey {
    bool listed = false;
    uint64_t device = 0;
    friend bool operator<(const DiskKey& a, const DiskKey& b) {
        return std::pair(a.listed, a.device) < std::pair(b.listed, b.device);
    }
};

struct Found {
    DiskKey key;
    std::string mountPoint;
};

std::optional<Found> find(const std::vector<MountEntry>& mounts, const std::string& place) {
    if (auto mount = mountContaining(mounts, place)) return Found{{true, mount->device}, mount->mountPoint};
    struct stat st {};
    if (::stat(place.c_str(), &st) != 0) return std::nullopt;
    return Found{{false, static_cast<uint64_t>(st.st_dev)}, {}};
}

} // namespace

ScopeDisks ScopeDisks::probe(const std::string& own, const std::vector<std::string>& roots) {
    ScopeDisks out;
    const std::vector<MountEntry> mounts = readMountTable();
    std::map<DiskKey, size_t> known;
    // The scope's own disk, as the report has always read it: the root file system's when
    // the home cannot be read.
    const std::string ownPlace = existingPlace(own);
    const auto ownDisk = find(mounts, ownPlace);
    out.disks.push_back({ownDisk ? ownDisk->mountPoint : std::string(), VolumeProbe::stats(own), ownPlace});
    if (ownDisk) known.emplace(ownDisk->key, 0);
    for (const auto& root : roots) {
        if (out.rootDisk.count(root)) continue;
        const std::string place = existingPlace(root);
        const auto disk = find(mounts, place);
        if (!disk) {
            out.rootDisk.emplace(root, 0);
            continue;
        }
        auto [at, added] = known.emplace(disk->key, out.disks.size());
        if (added) out.disks.push_back({disk->mountPoint, statsAt(place), place});
        out.rootDisk.emplace(root, at->second);
    }
    return out;
}

ScopeDisks ScopeDisks::reread() const {
    ScopeDisks out = *this;
    for (size_t i = 0; i < out.disks.size(); ++i)
        out.disks[i].volume = i == 0 ? VolumeProbe::stats(out.disks[i].readAt) : statsAt(out.disks[i].readAt);
    return out;
}

size_t ScopeDisks::diskOf(const std::string& root) const {
    const auto found = rootDisk.find(root);
    return found == rootDisk.end() || found->second >= disks.size() ? 0 : found->second;
}

} // namespace sorvel
