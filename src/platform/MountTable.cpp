#include "platform/MountTable.h"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <mutex>

#include "platform/FileDescriptor.h"
#include "platform/Path.h"

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
    if (!parseDevice(fields[2], entry.device)) return false;
    entry.mountPoint = decodeField(fields[4]);
    if (entry.mountPoint.empty() || entry.mountPoint[0] != '/') return false;
    entry.fsType = decodeField(fields[separator + 1]);
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

std::mutex& tablePathLock() {
    static std::mutex lock;
    return lock;
}

std::string& tablePath() {
    static std::string path = "/proc/self/mountinfo";
    return path;
}

} // namespace

std::string mountTablePath() {
    std::lock_guard<std::mutex> guard(tablePathLock());
    return tablePath();
}

void setMountTablePath(std::string path) {
    std::lock_guard<std::mutex> guard(tablePathLock());
    tablePath() = std::move(path);
}

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

std::optional<MountEntry> mountContaining(const std::vector<MountEntry>& mounts, const std::string& path) {
    std::optional<MountEntry> best;
    for (const auto& mount : mounts) {
        if (!isPathInside(path, mount.mountPoint)) continue;
        if (!best || mount.mountPoint.size() >= best->mountPoint.size()) best = mount;
    }
    return best;
}

} // namespace sorvel
