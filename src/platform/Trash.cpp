#include "platform/Trash.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/Path.h"

namespace sorvel::Trash {
namespace {

// Enough to get past any realistic pile of same-named items without looping forever.
constexpr int kMaxNameAttempts = 10'000;


MoveResult failure(std::string message) { return MoveResult{std::nullopt, std::move(message)}; }

std::string errnoText(int code) { return std::strerror(code); }

std::string messageFor(int code) {
    switch (code) {
    case EXDEV:
        return "The item is on another file system than the Trash (~/.Trash); Sorvel only moves items "
               "by renaming them, so it was left where it is.";
    case ENOENT:
        return "The item no longer exists.";
    case EACCES:
    case EPERM:
        return "You do not have permission to move the item to the Trash.";
    case EBUSY:
        return "The item is in use by the system (for instance a mount point) and cannot be moved.";
    case EINVAL:
        return "The item cannot be moved into the Trash: the file system refused a rename that never "
               "replaces (or the item contains the Trash itself).";
    case ENAMETOOLONG:
        return "The item's name is too long to be given a free name in the Trash.";
    default:
        return "The item could not be moved to the Trash: " + errnoText(code) + ".";
    }
}

} // namespace

std::string directory() { return homeDirectory() + "/.Trash"; }

int open(std::string& error) {
    const std::string home = homeDirectory();
    if (home.empty() || home[0] != '/') {
        error = "The home folder is unknown, so there is no Trash to move items into.";
        return -1;
    }
    // The home folder itself may be reached through links the user set up; only the
    // Trash inside it must be a real folder.
    FileDescriptor homeFd(::open(home.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (homeFd.get() < 0) {
        error = "The home folder could not be opened: " + errnoText(errno) + ".";
        return -1;
    }
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::openat(homeFd.get(), ".Trash", flags);
    if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(homeFd.get(), ".Trash", 0700) != 0 && errno != EEXIST) {
            error = "The Trash (~/.Trash) could not be created: " + errnoText(errno) + ".";
            return -1;
        }
        fd = ::openat(homeFd.get(), ".Trash", flags);
    }
    if (fd < 0) {
        struct stat st;
        if ((errno == ENOTDIR || errno == ELOOP) &&
            ::fstatat(homeFd.get(), ".Trash", &st, AT_SYMLINK_NOFOLLOW) == 0) {
            error = S_ISLNK(st.st_mode)
                        ? "The Trash (~/.Trash) is a symbolic link, so nothing is moved into it."
                        : "The Trash (~/.Trash) is not a folder, so nothing is moved into it.";
        } else {
            error = "The Trash (~/.Trash) could not be opened: " + errnoText(errno) + ".";
        }
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(fd);
        error = "The Trash (~/.Trash) belongs to another user, so nothing is moved into it.";
        return -1;
    }
    return fd;
}

int openFolderNoFollow(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        errno = EINVAL;
        return -1;
    }
    int fd = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    size_t start = 1;
    while (start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string component = path.substr(start, end - start);
        start = end + 1;
        if (component.empty()) continue;
        if (component == "." || component == "..") {
            ::close(fd);
            errno = EINVAL;
            return -1;
        }
        const int next = ::openat(fd, component.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int saved = errno;
        ::close(fd);
        if (next < 0) {
            errno = saved;
            return -1;
        }
        fd = next;
    }
    return fd;
}

MoveResult moveEntry(int parentFd, const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos) {
        return failure("The item's name is not a single path component, so it was left where it is.");
    }
    std::string error;
    FileDescriptor trash(open(error));
    if (trash.get() < 0) return failure(error);

    const std::string trashDir = directory();
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::string candidate = attempt == 1 ? name : name + " " + std::to_string(attempt);
        if (candidate.size() > NAME_MAX) return failure(messageFor(ENAMETOOLONG));
        if (::renameat2(parentFd, name.c_str(), trash.get(), candidate.c_str(), RENAME_NOREPLACE) == 0) {
            return MoveResult{trashDir + "/" + candidate, {}};
        }
        if (errno != EEXIST) return failure(messageFor(errno));
    }
    return failure("The Trash holds too many items with this name to find a free one.");
}

MoveResult moveItem(const std::string& path) {
    const std::string name = lastPathComponent(path);
    const std::string parent = deletingLastPathComponent(path);
    if (path.empty() || path[0] != '/' || path == "/" || standardizePath(path) != path) {
        return failure("Only an absolute, standardised path can be moved to the Trash.");
    }
    FileDescriptor parentFd(openFolderNoFollow(parent));
    if (parentFd.get() < 0) {
        if (errno == ENOTDIR || errno == ELOOP) {
            return failure("A folder above the item is a symbolic link or no longer a folder, so the item "
                           "was left where it is.");
        }
        return failure(messageFor(errno));
    }
    return moveEntry(parentFd.get(), name);
}

} // namespace sorvel::Trash
