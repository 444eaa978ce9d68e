#include "platform/NoReplaceRename.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileLock.h"
#include "platform/Replaceable.h"

namespace sorvel {
namespace {

// As long as a move waits for the Trash's own lock.
constexpr auto kLockWait = std::chrono::seconds(5);

using StepHook = std::function<void(RenameStep, const std::string&)>;

Replaceable<StepHook>& stepHook() {
    static Replaceable<StepHook> hook{StepHook{}};
    return hook;
}

void atStep(RenameStep step, const std::string& to) {
    if (const auto hook = stepHook().get()) hook(step, to);
}

std::mutex& linksMutex() {
    static std::mutex mutex;
    return mutex;
}
std::map<dev_t, bool>& learnedLinks() {
    static std::map<dev_t, bool> learned;
    return learned;
}

void noteLinks(dev_t device, bool keep) {
    const std::lock_guard<std::mutex> held(linksMutex());
    learnedLinks()[device] = keep;
}

bool sameObject(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether `name` in `fd` is still the object `was`.
bool stillIs(int fd, const std::string& name, const struct stat& was) {
    struct stat now;
    return ::fstatat(fd, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameObject(now, was);
}

// The caller's lock, held exclusively for its life where one is given and kept.
class PlainRenameLock {
public:
    explicit PlainRenameLock(int fd) {
        if (fd < 0) return;
        const int code = FileLock::takeBy(fd, LOCK_EX, FileLock::Clock::now() + kLockWait);
        busy_ = code == EWOULDBLOCK;
        // A file system that keeps no locks: no mover can hold it there either.
        if (code == 0) fd_ = fd;
    }
    ~PlainRenameLock() {
        if (fd_ >= 0) ::flock(fd_, LOCK_UN);
    }
    PlainRenameLock(const PlainRenameLock&) = delete;
    PlainRenameLock& operator=(const PlainRenameLock&) = delete;
    bool busy() const { return busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};

// The last way, with neither a folder nor a link to hold the name: a rename once nothing
// is seen there, under the caller's lock. In a trash the name is already held by the
// item's record.
int renameIfFree(int fromFd, const std::string& from, int toFd, const std::string& to, const RenameSteps& steps) {
    const PlainRenameLock locked(steps.lockFd);
    if (locked.busy()) return EAGAIN;
    struct stat taken;
    if (::fstatat(toFd, to.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    if (errno != ENOENT) return errno;
    return ::renameat(fromFd, from.c_str(), toFd, to.c_str()) == 0 ? 0 : errno;
}

int moveFolder(int fromFd, const std::string& from, int toFd, const std::string& to, const RenameSteps& steps) {
    if (::mkdirat(toFd, to.c_str(), 0700) != 0) {
        const int code = errno;
        // A full disk has no room for the empty folder, yet a rename may still fit.
        return code == ENOSPC || code == EDQUOT ? renameIfFree(fromFd, from, toFd, to, steps) : code;
    }
    atStep(RenameStep::placeholderMade, to);
    if (::renameat(fromFd, from.c_str(), toFd, to.c_str()) == 0) return 0;
    const int code = errno;
    // Removed only while empty: something put there meanwhile stays.
    ::unlinkat(toFd, to.c_str(), AT_REMOVEDIR);
    return code;
}

int moveOther(int fromFd, const std::string& from, int toFd, const std::string& to, const struct stat& source,
              const RenameSteps& steps) {
    if (linksKeepIdentity(source.st_dev) == false) return renameIfFree(fromFd, from, toFd, to, steps);
    if (::linkat(fromFd, from.c_str(), toFd, to.c_str(), 0) != 0) {
        const int code = errno;
        if (code == EEXIST || code == ENOENT || code == ENOTDIR || code == EXDEV || code == ENAMETOOLONG ||
            code == ELOOP || code == EROFS)
            return code;
        // No hard links here (EPERM, EOPNOTSUPP, EMLINK, ...), or this one not allowed.
        return renameIfFree(fromFd, from, toFd, to, steps);
    }
    atStep(RenameStep::linkMade, to);
    struct stat linked, now;
    if (::fstatat(toFd, to.c_str(), &linked, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    // Gone since the link: the object is at `to` alone, as after a rename.
    if (::fstatat(fromFd, from.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT ? 0 : errno;
    if (sameObject(linked, source)) noteLinks(source.st_dev, true);
    if (sameObject(now, linked)) {
        // The first name goes only while it is still the object now linked.
        if (::unlinkat(fromFd, from.c_str(), 0) == 0) return 0;
        const int code = errno;
        if (stillIs(toFd, to, linked)) ::unlinkat(toFd, to.c_str(), 0);
        return code;
    }
    // Replaced since the link: the linked object is at `to` alone.
    if (sameObject(linked, source) || !sameObject(now, source)) return 0;
    // Both names still show, as different objects: the file system numbers each name
    // apart, so the second name could never be told from another object. It goes again,
    // and a plain rename does the move.
    noteLinks(source.st_dev, false);
    if (::unlinkat(toFd, to.c_str(), 0) != 0) return errno;
    return renameIfFree(fromFd, from, toFd, to, steps);
}

int withoutFlag(int fromFd, const std::string& from, int toFd, const std::string& to, const RenameSteps& steps) {
    struct stat source;
    if (::fstatat(fromFd, from.c_str(), &source, AT_SYMLINK_NOFOLLOW) != 0) return errno;
    if (steps.before) steps.before();
    return S_ISDIR(source.st_mode) ? moveFolder(fromFd, from, toFd, to, steps)
                                   : moveOther(fromFd, from, toFd, to, source, steps);
}

int asCall(int code) {
    errno = code;
    return code == 0 ? 0 : -1;
}

} // namespace

int renameNoReplaceWithoutFlag(int fromFd, const std::string& from, int toFd, const std::string& to) {
    return asCall(withoutFlag(fromFd, from, toFd, to, {}));
}

int renameNoReplace(int fromFd, const std::string& from, int toFd, const std::string& to) {
    return renameNoReplaceWith(fromFd, from, toFd, to, {});
}

int renameNoReplaceWith(int fromFd, const std::string& from, int toFd, const std::string& to,
                        const RenameSteps& steps) {
    if (::renameat2(fromFd, from.c_str(), toFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int code = errno;
    // What a file system without the flag answers. Any other cause of EINVAL (a folder
    // into itself) fails the same way again below.
    if (code != EINVAL && code != ENOSYS && code != EOPNOTSUPP) return -1;
    return asCall(withoutFlag(fromFd, from, toFd, to, steps));
}

std::optional<bool> linksKeepIdentity(dev_t device) {
    const std::lock_guard<std::mutex> held(linksMutex());
    const auto found = learnedLinks().find(device);
    if (found == learnedLinks().end()) return std::nullopt;
    return found->second;
}

void learnLinks(int folderFd, const std::string& probe, const std::string& scratch) {
    struct stat made, linked;
    if (::fstatat(folderFd, probe.c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0 || linksKeepIdentity(made.st_dev))
        return;
    if (::linkat(folderFd, probe.c_str(), folderFd, scratch.c_str(), 0) != 0) {
        // No hard links here: every move takes the plain rename alike.
        if (errno != EEXIST && errno != ENOENT) noteLinks(made.st_dev, false);
        return;
    }
    if (::fstatat(folderFd, scratch.c_str(), &linked, AT_SYMLINK_NOFOLLOW) == 0)
        noteLinks(made.st_dev, sameObject(made, linked));
    ::unlinkat(folderFd, scratch.c_str(), 0);
}

void setRenameStepHook(std::function<void(RenameStep, const std::string&)> hook) { stepHook().set(std::move(hook)); }

} // namespace sorvel
