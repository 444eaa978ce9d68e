#include "platform/TrashFolders.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Path.h"
#include "platform/Trash.h"

namespace sorvel::Trash {
namespace {

std::string uidText() { return std::to_string(::geteuid()); }

std::string consequence(Use use) {
    return use == Use::moveInto ? ", so nothing is moved into it." : ", so nothing is taken out of it.";
}

std::string notMade(const std::string& path, int code) {
    return "The Trash (" + tildeAbbreviated(path) + ") could not be created: " + std::strerror(code) + ".";
}

std::string notAFolder(const std::string& path, bool link, Use use) {
    return "The Trash (" + tildeAbbreviated(path) + ") is " + (link ? "a symbolic link" : "not a folder") +
           consequence(use);
}

// What an existing trash folder of these attributes is unfit for; empty when fit.
std::string unfit(const std::string& path, const struct stat& st, Use use) {
    if (st.st_uid != ::geteuid())
        return "The Trash (" + tildeAbbreviated(path) + ") belongs to another user" + consequence(use);
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return "The Trash (" + tildeAbbreviated(path) + ") can be changed by other users" + consequence(use);
    return {};
}

// Opens the folder `name` of `dirFd` as a real folder of this user that nobody else may
// change, creating it 0700 when asked.
int openOwnFolder(int dirFd, const std::string& name, const std::string& path, bool create, Use use,
                  std::string& error) {
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(dirFd, name.c_str(), flags);
    bool created = false;
    if (fd < 0 && errno == ENOENT && create) {
        created = ::mkdirat(dirFd, name.c_str(), 0700) == 0;
        if (!created && errno != EEXIST) {
            error = notMade(path, errno);
            return -1;
        }
        fd = ::openat(dirFd, name.c_str(), flags);
    }
    if (fd < 0) {
        const int code = errno;
        struct stat st;
        if ((code == ENOTDIR || code == ELOOP) && ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            error = notAFolder(path, S_ISLNK(st.st_mode), use);
        } else if (code == ENOENT) {
            error = "The Trash (" + tildeAbbreviated(path) + ") does not exist" + consequence(use);
        } else {
            error = "The Trash (" + tildeAbbreviated(path) + ") could not be opened: " + std::strerror(code) + ".";
        }
        return -1;
    }
    struct stat st {};
    if (created) ::fchmod(fd, 0700); // whatever the umask left
    if (::fstat(fd, &st) != 0) st.st_uid = static_cast<uid_t>(-1);
    if (std::string why = unfit(path, st, use); !why.empty()) {
        ::close(fd);
        error = std::move(why);
        return -1;
    }
    return fd;
}

// The same folder looked at without making it: held open in `held` where it is there;
// else, where it could be made, left closed. False with `looked.error` set otherwise.
bool lookOwnFolder(int dirFd, const std::string& name, const std::string& path, FileDescriptor& held, Looked& looked) {
    struct stat st;
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) {
            looked.error = "The Trash (" + tildeAbbreviated(path) + ") could not be opened: " + std::strerror(errno) + ".";
            return false;
        }
        if (::faccessat(dirFd, ".", W_OK | X_OK, AT_EACCESS) != 0) {
            looked.error = notMade(path, errno);
            return false;
        }
        held.reset();
        return true;
    }
    if (!S_ISDIR(st.st_mode)) {
        looked.error = notAFolder(path, S_ISLNK(st.st_mode), Use::moveInto);
        return false;
    }
    looked.error = unfit(path, st, Use::moveInto);
    if (!looked.error.empty()) return false;
    held.reset(::openat(dirFd, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!held.valid()) {
        looked.error = "The Trash (" + tildeAbbreviated(path) + ") could not be opened: " + std::strerror(errno) + ".";
        return false;
    }
    looked.device = st.st_dev;
    return true;
}

// The trash folder open in `trashFd` (none: to be made) with its files/ and info/, looked at.
void lookParts(const FileDescriptor& trashFd, Looked& looked) {
    if (!trashFd.valid()) return;
    for (const char* part : {"files", "info"}) {
        FileDescriptor held;
        if (!lookOwnFolder(trashFd.get(), part, looked.path + "/" + part, held, looked)) return;
        const int at = held.valid() ? held.get() : trashFd.get();
        looked.writable = looked.writable && ::faccessat(at, ".", W_OK | X_OK, AT_EACCESS) == 0;
    }
}

bool openParts(Folder& folder, int trashFd, bool create, Use use, std::string& error) {
    folder.files.reset(openOwnFolder(trashFd, "files", folder.path + "/files", create, use, error));
    if (!folder.files.valid()) return false;
    folder.info.reset(openOwnFolder(trashFd, "info", folder.path + "/info", create, use, error));
    if (!folder.info.valid()) return false;
    struct stat st;
    if (::fstat(folder.files.get(), &st) != 0) {
        error = "The Trash (" + tildeAbbreviated(folder.path) + ") could not be read: " + std::strerror(errno) + ".";
        return false;
    }
    folder.device = st.st_dev;
    return true;
}

// Creates the missing folders of an absolute path, 0700. Links on the way are the
// user's own arrangement and are followed, as for the home folder itself.
bool makeParents(const std::string& path) {
    size_t start = 1;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string sofar = path.substr(0, end);
        start = end + 1;
        struct stat st;
        if (::stat(sofar.c_str(), &st) == 0) continue;
        if (::mkdir(sofar.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// "$topdir/.Trash/$uid", when "$topdir/.Trash" is a real folder with the sticky bit.
std::optional<Folder> openShared(int topFd, const std::string& topdir, bool create, Use use, std::string& error) {
    FileDescriptor shared(::openat(topFd, ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!shared.valid() || ::fstat(shared.get(), &st) != 0 || !(st.st_mode & S_ISVTX)) {
        error = "The shared Trash (" + appendingPathComponent(topdir, ".Trash") +
                ") is missing, a link or lacks the sticky bit" + consequence(use);
        return std::nullopt;
    }
    Folder folder;
    folder.path = appendingPathComponent(topdir, ".Trash/" + uidText());
    folder.topdir = topdir;
    FileDescriptor mine(openOwnFolder(shared.get(), uidText(), folder.path, create, use, error));
    if (!mine.valid() || !openParts(folder, mine.get(), create, use, error)) return std::nullopt;
    return folder;
}

std::optional<Folder> openPrivate(int topFd, const std::string& topdir, bool create, Use use, std::string& error) {
    Folder folder;
    folder.path = appendingPathComponent(topdir, ".Trash-" + uidText());
    folder.topdir = topdir;
    FileDescriptor mine(openOwnFolder(topFd, ".Trash-" + uidText(), folder.path, create, use, error));
    if (!mine.valid() || !openParts(folder, mine.get(), create, use, error)) return std::nullopt;
    return folder;
}

} // namespace

std::vector<FolderPlace> folderPlaces(const std::vector<MountEntry>& mounts) {
    std::vector<FolderPlace> found;
    std::set<std::string> named;
    const auto add = [&](const std::string& path, const std::string& top) {
        if (named.insert(path).second) found.push_back({path, top});
    };
    if (const std::string home = directory(); !home.empty()) add(home, {});
    const std::string uid = uidText();
    for (const auto& mount : mounts) {
        const std::string_view type = mount.fsType;
        if (!isLocalDiskFileSystem(type) && type != "tmpfs" && type != "ramfs" && type != "overlay") continue;
        // This user's folder in the shared one before the shared one: the nearer name is said.
        add(appendingPathComponent(mount.mountPoint, ".Trash/" + uid), mount.mountPoint);
        add(appendingPathComponent(mount.mountPoint, ".Trash-" + uid), mount.mountPoint);
        add(appendingPathComponent(mount.mountPoint, ".Trash"), mount.mountPoint);
    }
    return found;
}

std::vector<std::string> existingFolders(const std::vector<MountEntry>& mounts) {
    std::vector<std::string> found;
    for (const auto& place : folderPlaces(mounts)) {
        struct stat st;
        if (::stat(place.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) found.push_back(place.path);
    }
    return found;
}

std::optional<Folder> openHome(bool create, Use use, std::string& error) {
    const std::string trash = directory();
    if (trash.empty()) {
        error = "The home folder is unknown, so there is no Trash to use.";
        return std::nullopt;
    }
    const std::string dataHome = deletingLastPathComponent(trash);
    if (create && !makeParents(dataHome)) {
        error = "The folder for the Trash (" + tildeAbbreviated(dataHome) + ") could not be created: " + std::strerror(errno) + ".";
        return std::nullopt;
    }
    FileDescriptor dataFd(::open(dataHome.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!dataFd.valid()) {
        error = "The folder for the Trash (" + tildeAbbreviated(dataHome) + ") could not be opened: " + std::strerror(errno) + ".";
        return std::nullopt;
    }
    Folder folder;
    folder.path = trash;
    FileDescriptor trashFd(openOwnFolder(dataFd.get(), "Trash", trash, create, use, error));
    if (!trashFd.valid() || !openParts(folder, trashFd.get(), create, use, error)) return std::nullopt;
    return folder;
}

std::optional<Folder> openTopdir(const std::string& topdir, bool create, std::string& error) {
    FileDescriptor topFd(openFolderNoFollow(topdir));
    if (!topFd.valid()) {
        error = "The top folder of the item's file system (" + topdir + ") could not be opened: " +
                std::strerror(errno) + ".";
        return std::nullopt;
    }
    std::string sharedError;
    if (auto shared = openShared(topFd.get(), topdir, create, Use::moveInto, sharedError)) return shared;
    return openPrivate(topFd.get(), topdir, create, Use::moveInto, error);
}

namespace {

// The trash folder `looked.path`, the entry `name` of `dirFd`, as a move would open or make it.
bool lookIn(int dirFd, const std::string& name, Looked& looked) {
    FileDescriptor held;
    if (!lookOwnFolder(dirFd, name, looked.path, held, looked)) return false;
    if (!held.valid()) {
        struct stat st;
        if (::fstat(dirFd, &st) == 0) looked.device = st.st_dev;
        return true;
    }
    lookParts(held, looked);
    return looked.usable();
}

} // namespace

Looked lookHome() {
    Looked looked;
    looked.path = directory();
    if (looked.path.empty()) {
        looked.error = "The home folder is unknown, so there is no Trash to use.";
        return looked;
    }
    const std::string dataHome = deletingLastPathComponent(looked.path);
    const FileDescriptor dataFd(::open(dataHome.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (dataFd.valid()) {
        lookIn(dataFd.get(), "Trash", looked);
        return looked;
    }
    if (errno != ENOENT) {
        looked.error = "The folder for the Trash (" + tildeAbbreviated(dataHome) + ") could not be opened: " +
                       std::strerror(errno) + ".";
        return looked;
    }
    // Its missing folders would be made in the nearest one that is there.
    std::string nearest = dataHome;
    struct stat st;
    while (nearest.size() > 1 && ::stat(nearest.c_str(), &st) != 0) nearest = deletingLastPathComponent(nearest);
    if (::stat(nearest.c_str(), &st) != 0 || ::faccessat(AT_FDCWD, nearest.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        looked.error = "The folder for the Trash (" + tildeAbbreviated(dataHome) + ") could not be created: " +
                       std::strerror(errno) + ".";
        return looked;
    }
    looked.device = st.st_dev;
    return looked;
}

Looked lookTopdir(const std::string& topdir) {
    Looked looked;
    const FileDescriptor topFd(openFolderNoFollow(topdir));
    if (!topFd.valid()) {
        looked.error = "The top folder of the item's file system (" + topdir + ") could not be opened: " +
                       std::strerror(errno) + ".";
        return looked;
    }
    const FileDescriptor shared(::openat(topFd.get(), ".Trash", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (shared.valid() && ::fstat(shared.get(), &st) == 0 && (st.st_mode & S_ISVTX)) {
        Looked mine;
        mine.path = appendingPathComponent(topdir, ".Trash/" + uidText());
        if (lookIn(shared.get(), uidText(), mine)) return mine;
    }
    looked.path = appendingPathComponent(topdir, ".Trash-" + uidText());
    lookIn(topFd.get(), ".Trash-" + uidText(), looked);
    return looked;
}

std::optional<std::string> topFolderFor(const std::string& parentPath, uint64_t device, const std::string& mountPoint) {
    if (!isPathInside(parentPath, mountPoint)) return std::nullopt;
    struct stat st;
    if (::stat(parentPath.c_str(), &st) != 0 || st.st_dev != device) return std::nullopt;
    std::string top = parentPath;
    while (top != mountPoint) {
        const std::string up = deletingLastPathComponent(top);
        if (::stat(up.c_str(), &st) != 0 || st.st_dev != device) break;
        top = up;
    }
    return top;
}

bool isTopFolder(const std::string& folder, const std::string& mountPoint) {
    if (folder == mountPoint) return true;
    if (!isPathInside(folder, mountPoint) || folder.size() <= 1) return false;
    struct stat own, up;
    return ::stat(folder.c_str(), &own) == 0 && S_ISDIR(own.st_mode) &&
           ::stat(deletingLastPathComponent(folder).c_str(), &up) == 0 && own.st_dev != up.st_dev;
}

std::optional<Folder> openExisting(const std::string& path, const std::string& topdir, std::string& error) {
    if (topdir.empty()) {
        if (path != directory()) {
            error = "The Trash (" + tildeAbbreviated(path) + ") is not the home Trash, so nothing is taken out of it.";
            return std::nullopt;
        }
        return openHome(false, Use::takeOutOf, error);
    }
    FileDescriptor topFd(openFolderNoFollow(topdir));
    if (!topFd.valid()) {
        error = "The top folder of the Trash (" + topdir + ") could not be opened: " + std::strerror(errno) + ".";
        return std::nullopt;
    }
    if (path == appendingPathComponent(topdir, ".Trash/" + uidText()))
        return openShared(topFd.get(), topdir, false, Use::takeOutOf, error);
    if (path == appendingPathComponent(topdir, ".Trash-" + uidText()))
        return openPrivate(topFd.get(), topdir, false, Use::takeOutOf, error);
    error = "The Trash (" + path + ") is not one Sorvel uses, so nothing is taken out of it.";
    return std::nullopt;
}

} // namespace sorvel::Trash
