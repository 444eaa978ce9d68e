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
            error = "The Trash (" + tildeAbbreviated(path) + ") could not be created: " + std::strerror(errno) + ".";
            return -1;
        }
        fd = ::openat(dirFd, name.c_str(), flags);
    }
    if (fd < 0) {
        const int code = errno;
        struct stat st;
        if ((code == ENOTDIR || code == ELOOP) && ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            error = "The Trash (" + tildeAbbreviated(path) + ") is " +
                    (S_ISLNK(st.st_mode) ? "a symbolic link" : "not a folder") + consequence(use);
        } else if (code == ENOENT) {
            error = "The Trash (" + tildeAbbreviated(path) + ") does not exist" + consequence(use);
        } else {
            error = "The Trash (" + tildeAbbreviated(path) + ") could not be opened: " + std::strerror(code) + ".";
        }
        return -1;
    }
    struct stat st;
    if (created) ::fchmod(fd, 0700); // whatever the umask left
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(fd);
        error = "The Trash (" + tildeAbbreviated(path) + ") belongs to another user" + consequence(use);
        return -1;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        ::close(fd);
        error = "The Trash (" + tildeAbbreviated(path) + ") can be changed by other users" + consequence(use);
        return -1;
    }
    return fd;
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
