#include "platform/OverlayLayers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <deque>

#include "platform/BoundedLook.h"
#include "platform/FileDescriptor.h"
#include "platform/MountSources.h"
#include "platform/Path.h"

namespace sorvel {
namespace {

// A lower layer is looked for through the mount among this many of its entries, this deep:
// enough to meet one it shows, bounded for a huge one whose top the upper hides.
constexpr int kMostEntries = 256;
constexpr int kDeepest = 4;

bool sameTimes(const struct stat& a, const struct stat& b) {
    return a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The overlay reports a lower file's inode, with the layer's number in the high bits where
// layers on several file systems share its inode numbers (xino).
bool sameInode(uint64_t layer, uint64_t shown) {
    if (layer == shown) return true;
    return (layer >> 32) == 0 && ((layer ^ shown) & 0xffffffffu) == 0;
}

struct Layer {
    std::string given;
    std::optional<std::string> real;
    FileDescriptor fd; // the folder the mount's root stands for within the layer
    struct stat st {};
};

FileDescriptor openFolder(int at, const std::string& path) {
    return FileDescriptor(::openat(at, path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// Names in a folder open as O_PATH, read through a fresh descriptor of it.
std::vector<std::string> namesIn(int folder, const std::string& relative) {
    std::vector<std::string> out;
    const int fd = ::openat(folder, relative.empty() ? "." : relative.c_str(),
                            O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return out;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return out;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") out.push_back(name);
        if (out.size() >= static_cast<size_t>(kMostEntries)) break;
    }
    ::closedir(dir);
    return out;
}

enum class Seen { no, yes, settling };

// The upper layer's own times are the mount root's; its inode too where every layer lies
// on one file system (else the overlay numbers folders itself).
Seen upperShown(int root, const Layer& upper, bool oneFileSystem) {
    struct stat shown;
    if (::fstat(root, &shown) != 0 || shown.st_dev == upper.st.st_dev) return Seen::no;
    if (oneFileSystem && shown.st_ino != upper.st.st_ino) return Seen::no;
    if (sameTimes(shown, upper.st)) return Seen::yes;
    return oneFileSystem ? Seen::settling : Seen::no;
}

// An entry of a lower layer that the mount shows as that very entry: the same inode, times
// and kind. A folder's inode is the overlay's own where the layers are on several file
// systems; a file copied up keeps its lower inode with times of its own, and is passed over.
bool lowerShown(int root, const Layer& lower, bool oneFileSystem) {
    std::deque<std::pair<std::string, int>> folders{{"", 0}};
    int looked = 0;
    while (!folders.empty() && looked < kMostEntries) {
        const auto [relative, depth] = folders.front();
        folders.pop_front();
        for (const auto& name : namesIn(lower.fd.get(), relative)) {
            if (++looked > kMostEntries) break;
            const std::string path = relative.empty() ? name : relative + "/" + name;
            struct stat own, shown;
            if (::fstatat(lower.fd.get(), path.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0) continue;
            const bool folder = S_ISDIR(own.st_mode);
            if (folder && depth + 1 < kDeepest) folders.emplace_back(path, depth + 1);
            if (::fstatat(root, path.c_str(), &shown, AT_SYMLINK_NOFOLLOW) != 0) continue;
            if ((own.st_mode & S_IFMT) != (shown.st_mode & S_IFMT) || own.st_dev == shown.st_dev) continue;
            if (folder && !oneFileSystem) continue;
            if (sameInode(static_cast<uint64_t>(own.st_ino), static_cast<uint64_t>(shown.st_ino)) &&
                sameTimes(own, shown))
                return true;
        }
    }
    return false;
}

bool hasUpper(const std::vector<std::string>& options) {
    return std::any_of(options.begin(), options.end(), [](const std::string& o) { return o.starts_with("upperdir="); });
}

} // namespace

std::vector<LayerCheck> confirmedLayers(const MountEntry& mount) {
    std::vector<Layer> layers;
    for (auto& given : overlayLayers(mount.superOptions)) {
        Layer layer;
        layer.real = given.empty() || given[0] != '/' ? std::nullopt : resolvedPath(given);
        // A layer under the mount's own point is reached through the overlay, not as itself.
        if (layer.real && isPathInside(*layer.real, mount.mountPoint)) layer.real.reset();
        if (layer.real) {
            layer.fd = openFolder(AT_FDCWD, mount.root == "/" ? *layer.real : *layer.real + mount.root);
            if (!layer.fd.valid() || ::fstat(layer.fd.get(), &layer.st) != 0) layer.real.reset();
        }
        layer.given = std::move(given);
        layers.push_back(std::move(layer));
    }
    std::vector<LayerCheck> out;
    for (const auto& layer : layers) out.push_back({layer.given, std::nullopt, false});
    if (mount.id < 0) return out;
    const FileDescriptor root = openFolder(AT_FDCWD, mount.mountPoint);
    if (!root.valid() || descriptorMountId(root.get()) != mount.id) return out;
    const bool oneFileSystem = std::all_of(layers.begin(), layers.end(), [&](const Layer& l) {
        return l.real && l.st.st_dev == layers.front().st.st_dev;
    });
    const bool upper = hasUpper(mount.superOptions);
    for (size_t i = 0; i < layers.size(); ++i) {
        Layer& layer = layers[i];
        if (!layer.real) continue;
        if (!upper || i > 0) {
            if (lowerShown(root.get(), layer, oneFileSystem)) out[i].folder = layer.real;
            continue;
        }
        // A write between the two looks changes the times: looked again.
        Seen seen = Seen::no;
        for (int attempt = 0; attempt < 3 && seen != Seen::yes; ++attempt) {
            if (attempt > 0 && ::fstat(layer.fd.get(), &layer.st) != 0) break;
            seen = upperShown(root.get(), layer, oneFileSystem);
        }
        if (seen == Seen::yes) out[i].folder = layer.real;
        out[i].settling = seen == Seen::settling;
    }
    return out;
}

std::optional<std::vector<LayerCheck>> confirmedLayersInTime(const MountEntry& mount) {
    return boundedLook<std::vector<LayerCheck>>(mountLookKey(mount), [mount] { return confirmedLayers(mount); });
}

} // namespace sorvel
