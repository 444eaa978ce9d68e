#include "platform/MountTable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cerrno>
#include <charconv>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/FileDescriptor.h"
#include "platform/Path.h"
#include "platform/Replaceable.h"

namespace sorvel {
namespace {

bool isOctal(char c) { return c >= '0' && c <= '7'; }

// The kernel writes space, tab, newline and backslash in names as \ooo.
std::string decodeField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
            isOctal(field[i + 3])) {
            const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 0xff) {
                out.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool parseDevice(std::string_view text, uint64_t& device) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    unsigned major = 0, minor = 0;
    auto [majorEnd, majorError] = std::from_chars(text.data(), text.data() + colon, major);
    auto [minorEnd, minorError] = std::from_chars(text.data() + colon + 1, text.data() + text.size(), minor);
    if (majorError != std::errc{} || minorError != std::errc{} || majorEnd != text.data() + colon ||
        minorEnd != text.data() + text.size())
        return false;
    device = static_cast<uint64_t>(::makedev(major, minor));
    return true;
}

// id parent major:minor root mountpoint options [optional...] - fstype source superoptions
bool parseLine(std::string_view line, MountEntry& entry) {
    const auto fields = splitFields(line);
    if (fields.size() < 8) return false;
    size_t separator = 6;
    while (separator < fields.size() && fields[separator] != "-") ++separator;
    if (separator + 1 >= fields.size()) return false;
    int64_t ids[2] = {};
    for (int i = 0; i < 2; ++i) {
        auto [end, error] = std::from_chars(fields[i].data(), fields[i].data() + fields[i].size(), ids[i]);
        if (error != std::errc{} || end != fields[i].data() + fields[i].size() || ids[i] < 0) return false;
    }
    entry.id = ids[0];
    entry.parentId = ids[1];
    if (!parseDevice(fields[2], entry.device)) return false;
    entry.root = decodeField(fields[3]);
    if (entry.root.empty() || entry.root[0] != '/') return false;
    entry.mountPoint = decodeField(fields[4]);
    if (entry.mountPoint.empty() || entry.mountPoint[0] != '/') return false;
    entry.fsType = decodeField(fields[separator + 1]);
    if (separator + 2 < fields.size()) entry.source = decodeField(fields[separator + 2]);
    // Commas inside a value come escaped, so splitting before decoding keeps paths whole.
    if (separator + 3 < fields.size()) {
        std::string_view options = fields[separator + 3];
        size_t start = 0;
        while (start <= options.size()) {
            size_t end = options.find(',', start);
            if (end == std::string_view::npos) end = options.size();
            if (end > start) entry.superOptions.push_back(decodeField(options.substr(start, end - start)));
            start = end + 1;
        }
    }
    return true;
}

} // namespace

std::vector<MountEntry> parseMountTable(std::string_view text) {
    std::vector<MountEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        MountEntry entry;
        if (parseLine(text.substr(start, end - start), entry)) entries.push_back(std::move(entry));
        start = end + 1;
    }
    return entries;
}

std::optional<std::vector<MountEntry>> readMountTable(const std::string& path) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    std::string text;
    std::array<char, 16384> buffer;
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        // Half a table would hide mounts: all or nothing.
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        text.append(buffer.data(), static_cast<size_t>(got));
    }
    auto entries = parseMountTable(text);
    if (entries.empty()) return std::nullopt;
    return entries;
}

namespace {
Replaceable<std::string>& tablePath() {
    static Replaceable<std::string> path("/proc/self/mountinfo");
    return path;
}
} // namespace

std::string mountTablePath() { return tablePath().get(); }

void setMountTablePath(std::string path) { tablePath().set(std::move(path)); }

std::vector<MountEntry> readMountTable() { return readMountTable(mountTablePath()).value_or(std::vector<MountEntry>{}); }

bool isLocalDiskFileSystem(std::string_view fsType) {
    // fuseblk is FUSE on a block device: ntfs-3g and exfat-fuse disks.
    static constexpr std::string_view local[] = {"ext2",  "ext3",  "ext4",  "xfs",   "btrfs",    "f2fs",    "vfat",
                                                 "msdos", "exfat", "ntfs",  "ntfs3", "zfs",      "jfs",     "reiserfs",
                                                 "hfs",   "hfsplus", "apfs", "nilfs2", "bcachefs", "ufs", "fuseblk"};
    for (std::string_view name : local)
        if (fsType == name) return true;
    return false;
}

namespace {

Replaceable<StatxMountId>& statxSource() {
    static Replaceable<StatxMountId> chosen{StatxMountId{}};
    return chosen;
}

std::optional<int64_t> statxMountId(int fd) {
    struct statx found {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_MNT_ID, &found) != 0 ||
        !(found.stx_mask & STATX_MNT_ID))
        return std::nullopt;
    return static_cast<int64_t>(found.stx_mnt_id);
}

// "mnt_id:\t27" among the lines the kernel writes for an open descriptor.
std::optional<int64_t> fdinfoMountId(int fd) {
    const FileDescriptor info(::open(("/proc/self/fdinfo/" + std::to_string(fd)).c_str(), O_RDONLY | O_CLOEXEC));
    if (!info.valid()) return std::nullopt;
    std::string text;
    std::array<char, 1024> buffer;
    for (;;) {
        const ssize_t got = ::read(info.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        text.append(buffer.data(), static_cast<size_t>(got));
    }
    const std::string_view key = "mnt_id:";
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (line.starts_with(key)) {
            line.remove_prefix(key.size());
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
            int64_t id = -1;
            const auto [last, error] = std::from_chars(line.data(), line.data() + line.size(), id);
            if (error != std::errc{} || last != line.data() + line.size() || id < 0) return std::nullopt;
            return id;
        }
        start = end + 1;
    }
    return std::nullopt;
}

// The path, or its nearest ancestor that exists and can be reached, held open without
// following its last link or mounting anything there; -1 where nothing of it is.
int openNearest(const std::string& path) {
    if (path.empty() || path[0] != '/') return -1;
    std::string current = path;
    for (;;) {
        const int fd = ::open(current.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) return fd;
        // A part missing or out of this process's reach lies, for it, where the nearest
        // folder it reaches does (the mounts listed below that are judged by their points).
        if ((errno != ENOENT && errno != ENOTDIR && errno != EACCES) || current == "/") return -1;
        const size_t slash = current.find_last_of('/');
        current = slash == 0 ? std::string("/") : current.substr(0, slash);
    }
}

} // namespace

void setStatxMountId(StatxMountId source) { statxSource().set(std::move(source)); }

std::optional<int64_t> descriptorMountId(int fd) {
    const StatxMountId chosen = statxSource().get();
    if (auto id = chosen ? chosen(fd) : statxMountId(fd)) return id;
    return fdinfoMountId(fd);
}

std::optional<int64_t> kernelMountId(const std::string& path) {
    const FileDescriptor held(openNearest(path));
    if (!held.valid()) return std::nullopt;
    return descriptorMountId(held.get());
}

namespace {

Replaceable<MountNaming>& naming() {
    static Replaceable<MountNaming> chosen{MountNaming{}};
    return chosen;
}

std::optional<MountEntry> listed(const std::vector<MountEntry>& mounts, int64_t id, const std::string& path) {
    const auto named = std::find_if(mounts.begin(), mounts.end(), [&](const MountEntry& m) { return m.id == id; });
    if (named == mounts.end() || !isPathInside(path, named->mountPoint)) return std::nullopt;
    return *named;
}

// Tries before giving up on a path whose mount keeps changing under it.
constexpr int kNamingAttempts = 4;

std::optional<int64_t> mountIdOf(const std::string& path) {
    const MountNaming chosen = naming().get();
    return chosen ? chosen(path) : kernelMountId(path);
}

} // namespace

void setMountNaming(MountNaming chosen) { naming().set(std::move(chosen)); }

std::optional<MountEntry> mountContaining(const std::vector<MountEntry>& mounts, const std::string& path) {
    const auto id = mountIdOf(path);
    if (!id) return std::nullopt;
    // The listed point is where the kernel finds the mount by its parents; a path that
    // reached it elsewhere went through a link.
    return listed(mounts, *id, path);
}

NamedMount namedMount(const std::string& path) {
    NamedMount found;
    if (naming().get()) { // a test's naming: no mount of the kernel's to hold
        found.table = readMountTable(mountTablePath());
        if (found.table) found.mount = mountContaining(*found.table, path);
        return found;
    }
    for (int attempt = 0; attempt < kNamingAttempts; ++attempt) {
        found.held.reset(openNearest(path));
        if (!found.held.valid()) break;
        const auto id = descriptorMountId(found.held.get());
        if (!id) break;
        found.table = readMountTable(mountTablePath());
        if (!found.table) break;
        // Held, the mount keeps its id: the same id now means the path is still on it.
        const auto again = kernelMountId(path);
        if (again && *again == *id) {
            found.mount = listed(*found.table, *id, path);
            return found;
        }
    }
    // No mount named: the table is still given, for callers that judge by its points.
    if (!found.table) found.table = readMountTable(mountTablePath());
    return found;
}

namespace {

// "/" within a file system joined with a path below it ("/", "/a") -> "/a"; "/r" + "/" -> "/r".
std::string below(const std::string& base, const std::string& inner) {
    if (inner == "/") return base;
    if (base == "/") return inner;
    return base + inner;
}


// Past these, layers that lead back into themselves (or a crafted pile) are given up on.
constexpr int kDeepestLayering = 8;
constexpr size_t kMostPlaces = 1024;

bool hasDotDot(const std::string& path) {
    return path == ".." || path.find("/../") != std::string::npos || path.ends_with("/..") || path.starts_with("../");
}

void noteDoubt(std::optional<LayerDoubt>& doubt, LayerDoubt found) {
    if (!doubt || (doubt->kind == LayerDoubt::Kind::unconfirmed && found.kind != LayerDoubt::Kind::unconfirmed))
        doubt = std::move(found);
}

// One search for a path's places: what is found, and each mount already looked at for
// each path (at which layering depth), so a mount reached twice (as a cover's parent and
// as a mount it hides) is followed down once.
struct Walk {
    const std::vector<MountEntry>& mounts;
    PathPlaces out;
    std::map<std::tuple<int64_t, uint64_t, std::string, std::string, std::string>, int> seen{};

    enum class Visit { first, again, loop };
    Visit visit(const MountEntry& mount, const std::string& path, int depth) {
        const auto [it, added] =
            seen.emplace(std::tuple{mount.id, mount.device, mount.mountPoint, mount.root, path}, depth);
        if (added) return Visit::first;
        // Reached again through its own layers or source: layers without end.
        return depth > it->second ? Visit::loop : Visit::again;
    }
};

bool collectPlaces(Walk& walk, const std::string& path, int depth, bool beneath);

// Covering mounts are followed down at most this far; a longer chain is a table in a loop.
constexpr int kDeepestCover = 64;

// The places of `path` on `mount`, a mount it lies below by the listed points; with
// `beneath`, also on each mount that one covers, down to the root (unless `ownOnly`:
// what the mount itself shows, through its layers or source).
bool placesOn(Walk& walk, const MountEntry& mount, const std::string& path, int depth, bool beneath, int covers,
              bool ownOnly = false) {
    PathPlaces& out = walk.out;
    const std::vector<MountEntry>& mounts = walk.mounts;
    if (out.places.size() >= kMostPlaces) return false;
    if (const auto seen = walk.visit(mount, path, depth); seen != Walk::Visit::first) return seen == Walk::Visit::again;
    const std::string rest = mount.mountPoint == "/" ? path : path.substr(mount.mountPoint.size());
    const std::string inside = below(mount.root, rest.empty() ? "/" : rest);
    out.places.push_back({mount.device, inside, mount.fsType});
    // What a mount itself shows is not taken from its source's text: that is the caller's to confirm.
    if (beneath && !ownOnly && showsAnotherFolder(mount.fsType)) {
        noteDoubt(out.doubt, {LayerDoubt::Kind::shown, mount.source, mount.mountPoint, mount.fsType});
        // The source names the folder shown (bindfs, gocryptfs, encfs, ecryptfs); where it
        // keeps the names, the same path below it is this folder too.
        const auto source = mount.source.empty() || mount.source[0] != '/' ? std::nullopt : resolvedPath(mount.source);
        struct stat st;
        if (source && ::stat(source->c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            if (std::find(out.shownFolders.begin(), out.shownFolders.end(), *source) == out.shownFolders.end())
                out.shownFolders.push_back(*source);
            // One mounted over its own source (bindfs X X) is reached beneath instead.
            const std::string same = below(*source, inside);
            if (!isPathInside(same, mount.mountPoint) && resolvedPath(same) == same &&
                !collectPlaces(walk, same, depth + 1, beneath))
                return false;
        }
    }
    if (mount.fsType == "overlay") {
        const bool isRoot = mount.mountPoint == "/";
        for (const auto& layer : overlayLayers(mount.superOptions)) {
            if (layer.empty() || layer[0] != '/') return false;
            // The kernel holds the folder it found at mount time; the text only says where it was.
            const auto real = resolvedPath(layer);
            if (!real) {
                if (!isRoot) noteDoubt(out.doubt, {LayerDoubt::Kind::gone, layer, mount.mountPoint});
                continue;
            }
            if (hasDotDot(layer) || standardizePath(layer) != *real)
                noteDoubt(out.doubt, {LayerDoubt::Kind::indirect, layer, mount.mountPoint});
            else if (!isRoot)
                noteDoubt(out.doubt, {LayerDoubt::Kind::unconfirmed, layer, mount.mountPoint});
            if (!collectPlaces(walk, below(*real, inside), depth + 1, beneath)) return false;
        }
    }
    if (!beneath || ownOnly) return true;
    // The folder beneath: the same path on the mount this one sits on (below it in a
    // stack, else holding its point), as the listed points say.
    const auto parent = std::find_if(mounts.begin(), mounts.end(), [&](const MountEntry& m) {
        return m.id >= 0 && m.id == mount.parentId && m.id != mount.id;
    });
    if (parent == mounts.end()) {
        if (mount.mountPoint != "/" && !out.hiddenBeneath) out.hiddenBeneath = mount.mountPoint;
        return true;
    }
    if (covers >= kDeepestCover || !isPathInside(mount.mountPoint, parent->mountPoint)) {
        if (!out.hiddenBeneath) out.hiddenBeneath = mount.mountPoint;
        return true;
    }
    return placesOn(walk, *parent, path, depth, beneath, covers + 1);
}

bool collectPlaces(Walk& walk, const std::string& path, int depth, bool beneath) {
    if (depth > kDeepestLayering || walk.out.places.size() >= kMostPlaces) return false;
    const auto mount = mountContaining(walk.mounts, path);
    if (!mount) return false;
    if (!placesOn(walk, *mount, path, depth, beneath, 0)) return false;
    if (!beneath) return true;
    // A cover over a folder above a mount hides that mount from its parents' walk: every
    // mount listed at or above the path showed it once, or does again once the cover goes.
    for (const auto& other : walk.mounts)
        if (isPathInside(path, other.mountPoint) && !placesOn(walk, other, path, depth, beneath, 0)) return false;
    return true;
}

} // namespace

// An overlay's layers from its options: the upper folder, then each lower one. A colon
// inside a lower folder's name is written "\:"; "::" marks data-only layers.
std::vector<std::string> overlayLayers(const std::vector<std::string>& options) {
    std::vector<std::string> layers;
    for (const auto& option : options) {
        if (option.rfind("upperdir=", 0) == 0) {
            layers.insert(layers.begin(), option.substr(9));
        } else if (option.rfind("lowerdir+=", 0) == 0 || option.rfind("datadir+=", 0) == 0) {
            layers.push_back(option.substr(option.find('=') + 1));
        } else if (option.rfind("lowerdir=", 0) == 0) {
            std::string layer;
            const std::string list = option.substr(9);
            for (size_t i = 0; i < list.size(); ++i) {
                if (list[i] == '\\' && i + 1 < list.size()) {
                    layer.push_back(list[++i]);
                } else if (list[i] == ':') {
                    if (!layer.empty()) layers.push_back(std::move(layer));
                    layer.clear();
                } else {
                    layer.push_back(list[i]);
                }
            }
            if (!layer.empty()) layers.push_back(std::move(layer));
        }
    }
    return layers;
}

std::optional<PathPlaces> fileSystemPlaces(const std::vector<MountEntry>& mounts, const std::string& path) {
    if (path.empty() || path[0] != '/') return std::nullopt;
    Walk walk{mounts, {}};
    if (!collectPlaces(walk, path, 0, false)) return std::nullopt;
    return std::move(walk.out);
}

std::optional<PathPlaces> placesOnDisk(const std::vector<MountEntry>& mounts, const std::string& path) {
    if (path.empty() || path[0] != '/') return std::nullopt;
    Walk walk{mounts, {}};
    if (!collectPlaces(walk, path, 0, true)) return std::nullopt;
    return std::move(walk.out);
}

std::optional<PathPlaces> mountShows(const std::vector<MountEntry>& mounts, const MountEntry& mount) {
    Walk walk{mounts, {}};
    if (!placesOn(walk, mount, mount.mountPoint, 0, true, 0, true)) return std::nullopt;
    return std::move(walk.out);
}

bool showsAnotherFolder(std::string_view fsType) {
    return fsType == "ecryptfs" || fsType == "fuse" || fsType.starts_with("fuse.");
}

bool isUnderstoodFileSystem(std::string_view fsType) {
    if (isLocalDiskFileSystem(fsType)) return true;
    static constexpr std::string_view understood[] = {
        "overlay",   "tmpfs",   "ramfs",  "devtmpfs", "proc",    "sysfs",      "cgroup",    "cgroup2",
        "devpts",    "mqueue",  "securityfs", "debugfs", "tracefs", "pstore",  "bpf",       "configfs",
        "hugetlbfs", "binfmt_misc", "efivarfs", "fusectl", "nsfs", "autofs",  "rpc_pipefs", "selinuxfs",
        "squashfs",  "iso9660", "erofs",  "udf"};
    for (std::string_view name : understood)
        if (fsType == name) return true;
    return false;
}

std::string resolvingExistingPart(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string head = path, tail;
    for (;;) {
        if (auto real = resolvedPath(head)) return tail.empty() ? *real : below(*real, tail);
        if (head == "/") return path;
        const size_t slash = head.find_last_of('/');
        tail = head.substr(slash) + tail;
        head = slash == 0 ? std::string("/") : head.substr(0, slash);
    }
}

} // namespace sorvel
