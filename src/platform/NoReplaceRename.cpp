#include "platform/NoReplaceRename.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sorvel {
namespace {

bool sameObject(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether `name` in `fd` is still the object `was`.
bool stillIs(int fd, const std::string& name, const struct stat& was) {
    struct stat now;
    return ::fstatat(fd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameObject(now, was);
}

// The last way, with neither a folder nor a link to hold the name: a rename once nothing
// is seen there. In a trash the name is already held by the item's record.
int renameIfFree(int fromFd, const std::string& from, int toFd, const std::string& to) {
    struct stat taken;
    if (::fstatat(toFd, to.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    if (errno != ENOENT) return errno;
    return ::renameat(fromFd, from.c_str(), toFd, to.c_str()) == 0 ? 0 : errno;
}

int moveFolder(int fromFd, const std::string& from, int toFd, const std::string& to) {
    if (::mkdirat(toFd, to.c_str(), 0700) != 0) {
        const int code = errno;
        // A full disk has no room for the empty folder, yet a rename may still fit.
        return code == ENOSPC || code == EDQUOT ? renameIfFree(fromFd, from, toFd, to) : code;
    }
    if (::renameat(fromFd, from.c_str(), toFd, to.c_str()) == 0) return 0;
    const int code = errno;
    // Removed only while empty: something put there meanwhile stays.
    ::unlinkat(toFd, to.c_str(), AT_REMOVEDIR);
    return code;
}

int moveOther(int fromFd, const std::string& from, int toFd, const std::string& to) {
    if (::linkat(fromFd, from.c_str(), toFd, to.c_str(), 0) != 0) {
        const int code = errno;
        if (code == EEXIST || code == ENOENT || code == ENOTDIR || code == EXDEV || code == ENAMETOOLONG ||
            code == ELOOP || code == EROFS)
            return code;
        // No hard links here (EPERM, EOPNOTSUPP, EMLINK, ...), or this one not allowed.
        return renameIfFree(fromFd, from, toFd, to);
    }
    struct stat linked;
    if (::fstatat(toFd, to.c_str(), &linked, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    // The first name goes only while it is still the object now linked; gone or replaced
    // since, the object is at `to` alone, as after a rename.
    if (!stillIs(fromFd, from, linked)) return 0;
    if (::unlinkat(fromFd, from.c_str(), 0) == 0) return 0;
    const int code = errno;
    if (stillIs(toFd, to, linked)) ::unlinkat(toFd, to.c_str(), 0);
    return code;
}

int withoutFlag(int fromFd, const std::string& from, int toFd, const std::string& to) {
    struct stat source;
    if (::fstatat(fromFd, from.c_str(), &source, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    return S_ISDIR(source.st_mode) ? moveFolder(fromFd, from, toFd, to) : moveOther(fromFd, from, toFd, to);
}

int asCall(int code) {
    errno = code;
    return code == 0 ? 0 : -1;
}

} // namespace

int renameNoReplaceWithoutFlag(int fromFd, const std::string& from, int toFd, const std::string& to) {
    return asCall(withoutFlag(fromFd, from, toFd, to));
}

int renameNoReplace(int fromFd, const std::string& from, int toFd, const std::string& to) {
    if (::renameat2(fromFd, from.c_str(), toFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int code = errno;
    // What a file system without the flag answers. Any other cause of EINVAL (a folder
    // into itself) fails the same way again below.
    if (code != EINVAL && code != ENOSYS && code != EOPNOTSUPP) return -1;
    return asCall(withoutFlag(fromFd, from, toFd, to));
}

} // namespace sorvel
