#include "platform/FileExtents.h"

#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <tuple>

namespace sorvel::FileExtents {
namespace {

constexpr uint32_t kBatch = 512;
// A map longer than this (a file in millions of pieces) is not worth holding in memory:
// the file is then taken as unshared, as on a file system without extent maps.
constexpr size_t kMaximumExtents = 1'000'000;
// Extents with no place on the device yet, or none of their own.
constexpr uint32_t kNoPlace = FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_DATA_INLINE;

uint64_t mixed(uint64_t hash, uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        hash ^= (value >> (8 * i)) & 0xff;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

} // namespace

std::optional<std::vector<FileExtent>> read(int fd) {
    const size_t bytes = sizeof(fiemap) + kBatch * sizeof(fiemap_extent);
    auto buffer = std::make_unique<uint64_t[]>((bytes + 7) / 8);
    auto* map = reinterpret_cast<fiemap*>(buffer.get());
    std::vector<FileExtent> extents;
    uint64_t start = 0;
    for (bool sync = true;; sync = false) {
        std::fill_n(buffer.get(), (bytes + 7) / 8, 0);
        map->fm_start = start;
        map->fm_length = FIEMAP_MAX_OFFSET - start;
        map->fm_flags = sync ? FIEMAP_FLAG_SYNC : 0; // delayed writes get their place first
        map->fm_extent_count = kBatch;
        int status;
        do status = ::ioctl(fd, FS_IOC_FIEMAP, map);
        while (status != 0 && errno == EINTR);
        if (status != 0) return std::nullopt;
        if (map->fm_mapped_extents == 0) return extents;
        for (uint32_t i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& e = map->fm_extents[i];
            extents.push_back(FileExtent{e.fe_logical, e.fe_physical, e.fe_length, e.fe_flags});
            if (e.fe_flags & FIEMAP_EXTENT_LAST) return extents;
        }
        if (extents.size() > kMaximumExtents) return std::nullopt;
        const FileExtent& last = extents.back();
        const uint64_t next = last.logical + last.length;
        if (next <= start || next >= FIEMAP_MAX_OFFSET) return extents; // no progress: done
        start = next;
    }
}

ExtentSharing sharing(const std::vector<FileExtent>& extents, int64_t allocated, uint64_t device) {
    ExtentSharing result;
    std::vector<std::pair<uint64_t, uint64_t>> placed; // start and end on the device
    for (const auto& e : extents) {
        if (!(e.flags & FIEMAP_EXTENT_SHARED)) continue;
        result.sharedBytes += static_cast<int64_t>(std::min<uint64_t>(e.length, INT64_MAX / 2));
        if (!(e.flags & kNoPlace) && e.length > 0) placed.emplace_back(e.physical, e.physical + e.length);
    }
    result.sharedBytes = std::min<int64_t>(result.sharedBytes, std::max<int64_t>(allocated, 0));
    result.privateBytes = std::max<int64_t>(allocated, 0) - result.sharedBytes;
    if (placed.empty()) return result;

    std::sort(placed.begin(), placed.end());
    uint64_t hash = mixed(0xcbf29ce484222325ULL, device);
    auto [from, to] = placed.front();
    for (size_t i = 1; i <= placed.size(); ++i) {
        if (i < placed.size() && placed[i].first <= to) {
            to = std::max(to, placed[i].second);
            continue;
        }
        hash = mixed(mixed(hash, from), to);
        if (i < placed.size()) std::tie(from, to) = placed[i];
    }
    result.cloneID = hash == 0 ? 1 : hash;
    return result;
}

std::optional<ExtentSharing> sharingOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    auto extents = read(fd);
    if (!extents) return std::nullopt;
    return sharing(*extents, static_cast<int64_t>(st.st_blocks) * 512, static_cast<uint64_t>(st.st_dev));
}

} // namespace sorvel::FileExtents
