#include "platform/TrashRecords.h"

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/MountTable.h"
#include "platform/Path.h"
#include "platform/TrashInfo.h"

namespace sorvel::Trash {
namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr size_t kMaximumInfoBytes = 64 * 1024; // far above any real record

std::optional<std::string> readInfo(int infoFd, const std::string& infoName) {
    FileDescriptor fd(::openat(infoFd, infoName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) return std::nullopt;
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    std::string text;
    char buffer[4096];
    while (text.size() <= kMaximumInfoBytes) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return text;
        text.append(buffer, static_cast<size_t>(n));
    }
    return std::nullopt;
}

// Path= is absolute in the home trash and relative to the top folder in another's.
std::optional<std::string> absoluteRecord(const std::string& topdir, const std::string& text) {
    auto path = TrashInfo::recordedPath(text);
    if (!path || path->empty()) return std::nullopt;
    if ((*path)[0] == '/') return standardizePath(*path);
    if (topdir.empty()) return std::nullopt;
    return standardizePath(appendingPathComponent(topdir, *path));
}

std::vector<std::string> infoNames(int infoFd) {
    std::vector<std::string> names;
    const int fd = ::openat(infoFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return names;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > kInfoSuffix.size() && name.ends_with(kInfoSuffix)) names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

std::string entryName(const std::string& infoName) { return infoName.substr(0, infoName.size() - kInfoSuffix.size()); }

} // namespace

bool Identity::admits(const Identity& now) const {
    if (device != now.device || inode != now.inode) return false;
    // A rename keeps the birth time, and an inode number used again after the Trash was
    // emptied comes with a new one (though a coarse clock may repeat it).
    if (bornNanoseconds && now.bornNanoseconds && *bornNanoseconds != *now.bornNanoseconds) return false;
    // A folder's size and time move with what is written into it, so it is known by the
    // above alone; restores also insist on Sorvel's own record naming its path, which keeps
    // out another tool's item under a reused number where no birth time is kept. Anything
    // else must keep its size and time as well, as a new file rarely matches both.
    if (folder && now.folder) return true;
    return length == now.length && modifiedNanoseconds == now.modifiedNanoseconds;
}

std::optional<Identity> identityAt(int folderFd, const std::string& name) {
    if (name.find('\0') != std::string::npos) {
        errno = EINVAL;
        return std::nullopt;
    }
    struct statx st;
    const int flags = AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT | (name.empty() ? AT_EMPTY_PATH : 0);
    if (::statx(folderFd, name.c_str(), flags, STATX_BASIC_STATS | STATX_BTIME, &st) != 0) return std::nullopt;
    Identity id;
    id.device = static_cast<uint64_t>(::makedev(st.stx_dev_major, st.stx_dev_minor));
    id.inode = st.stx_ino;
    id.length = static_cast<int64_t>(st.stx_size);
    id.modifiedNanoseconds = static_cast<int64_t>(st.stx_mtime.tv_sec) * 1'000'000'000 + st.stx_mtime.tv_nsec;
    if (st.stx_mask & STATX_BTIME)
        id.bornNanoseconds = static_cast<int64_t>(st.stx_btime.tv_sec) * 1'000'000'000 + st.stx_btime.tv_nsec;
    id.folder = S_ISDIR(st.stx_mode);
    return id;
}

std::optional<Identity> identityOf(const std::string& path) {
    if (path.empty()) return std::nullopt;
    return identityAt(AT_FDCWD, path);
}

std::optional<std::string> recordedOriginal(const Location& location) {
    std::string error;
    std::optional<Folder> folder = openExisting(location.trashDirectory, location.topdir, error);
    if (!folder) return std::nullopt;
    auto text = readInfo(folder->info.get(), location.name + std::string(kInfoSuffix));
    if (!text) return std::nullopt;
    return absoluteRecord(location.topdir, *text);
}

bool recordedBySorvel(const Location& location) {
    std::string error;
    std::optional<Folder> folder = openExisting(location.trashDirectory, location.topdir, error);
    if (!folder) return false;
    auto text = readInfo(folder->info.get(), location.name + std::string(kInfoSuffix));
    return text && TrashInfo::isSorvels(*text);
}

std::optional<std::string> findMoved(const std::string& given, const std::optional<Identity>& identity,
                                     bool sorvelsOnly) {
    if (given.empty() || given[0] != '/') return std::nullopt;
    const std::string original = standardizePath(given);
    std::vector<Folder> folders;
    std::string error;
    if (auto home = openHome(false, Use::takeOutOf, error)) folders.push_back(std::move(*home));
    if (auto mount = mountContaining(readMountTable(), original))
        if (auto own = openTopdir(mount->mountPoint, false, error)) folders.push_back(std::move(*own));
    for (const auto& folder : folders) {
        for (const auto& infoName : infoNames(folder.info.get())) {
            auto text = readInfo(folder.info.get(), infoName);
            if (!text || absoluteRecord(folder.topdir, *text) != original) continue;
            if (sorvelsOnly && !TrashInfo::isSorvels(*text)) continue;
            const std::string name = entryName(infoName);
            const auto now = identityAt(folder.files.get(), name);
            if (!now || (identity && !identity->admits(*now))) continue;
            return folder.path + "/files/" + name;
        }
    }
    return std::nullopt;
}

int removeOrphanRecordsNow(const Folder& folder) {
    int removed = 0;
    const std::time_t now = std::time(nullptr);
    for (const auto& infoName : infoNames(folder.info.get())) {
        struct stat entry;
        const std::string name = entryName(infoName);
        if (::fstatat(folder.files.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) continue;
        struct stat info;
        if (::fstatat(folder.info.get(), infoName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (now - info.st_mtim.tv_sec < kOrphanAgeSeconds) continue;
        auto text = readInfo(folder.info.get(), infoName);
        if (!text || !TrashInfo::isSorvels(*text)) continue;
        if (::unlinkat(folder.info.get(), infoName.c_str(), 0) == 0) ++removed;
    }
    return removed;
}

void removeOrphanRecords(const Folder& folder) {
    static std::mutex mutex;
    static std::set<std::string> done;
    {
        std::lock_guard lock(mutex);
        if (!done.insert(folder.path).second) return;
    }
    removeOrphanRecordsNow(folder);
}

} // namespace sorvel::Trash
