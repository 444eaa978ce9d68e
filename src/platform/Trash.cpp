#include "platform/Trash.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/BaseFolders.h"
#include "platform/FileDescriptor.h"
#include "platform/FileIdentity.h"
#include "platform/MountTable.h"
#include "platform/NoReplaceRename.h"
#include "platform/Path.h"
#include "platform/Replaceable.h"
#include "platform/TrashFolders.h"
#include "platform/TrashInfo.h"
#include "platform/TrashRecords.h"
#include "platform/UUID.h"

namespace sorvel::Trash {
namespace {

// Enough to get past any realistic pile of same-named items without looping forever.
constexpr int kMaxNameAttempts = 10'000;
constexpr std::string_view kInfoSuffix = ".trashinfo";

Replaceable<std::function<void(Pause)>>& pauseHook() {
    static Replaceable<std::function<void(Pause)>> hook{std::function<void(Pause)>{}};
    return hook;
}

void pauseAt(Pause moment) {
    if (const auto hook = pauseHook().get()) hook(moment);
}

// Whether the record file at `infoName` is still the one held open: held, its inode
// number cannot go to a record written under the name since.
bool isSameRecord(const FileDescriptor& held, int infoFd, const std::string& infoName) {
    struct stat was, now;
    return held.valid() && ::fstat(held.get(), &was) == 0 &&
           ::fstatat(infoFd, infoName.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && was.st_dev == now.st_dev &&
           was.st_ino == now.st_ino;
}

std::string heldByTidy(const Folder& folder) {
    return "The Trash (" + tildeAbbreviated(folder.path) +
           ") is held by another Sorvel process tidying it, and it was not let go within a few seconds";
}

MoveResult failure(std::string message) { return MoveResult{std::nullopt, std::move(message), std::nullopt}; }

std::string messageFor(int code) {
    switch (code) {
    case EXDEV:
        return "The item is on another file system than its Trash; Sorvel only moves items by renaming them, "
               "so it was left where it is.";
    case ENOENT:
        return "The item no longer exists.";
    case EACCES:
    case EPERM:
        return "You do not have permission to move the item to the Trash.";
    case EBUSY:
        return "The item is in use by the system (for instance a mount point) and cannot be moved.";
    case EINVAL:
        return "The item cannot be moved into the Trash: it holds the Trash itself.";
    case ENAMETOOLONG:
        return "The item's name is too long to be given a free name in the Trash.";
    default:
        return std::string("The item could not be moved to the Trash: ") + std::strerror(code) + ".";
    }
}

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Marks in info/, for the life of a rename in or out of the trash that takes two steps, the
// way and the entry it is for, so the first tidy after a kill between the steps undoes what
// is half-done. Made only where the kernel's no-replace flag is refused; it also learns
// whether a hard link there shows as the object it links.
class StepMark {
public:
    StepMark(const Folder& folder, bool into, const std::string& entry)
        : folder_(folder), entry_(std::string(into ? kStepInto : kStepOutOf) + entry) {}
    ~StepMark() {
        if (!name_.empty()) ::unlinkat(folder_.info.get(), name_.c_str(), 0);
    }
    StepMark(const StepMark&) = delete;
    StepMark& operator=(const StepMark&) = delete;

    RenameSteps steps() {
        return RenameSteps{[this] { make(); }, folder_.files.get()};
    }

private:
    void make() {
        const std::string name = std::string(kStepMarkPrefix) + UUID::random().uuidString();
        const FileDescriptor fd(
            ::openat(folder_.info.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!fd.valid()) return;
        name_ = name;
        (void)writeAll(fd.get(), entry_); // a mark cut short names nothing, and only goes
        learnLinks(folder_.info.get(), name_, std::string(kRecordDraftPrefix) + UUID::random().uuidString());
    }

    const Folder& folder_;
    std::string entry_;
    std::string name_;
};

// The record renames take only the lock: what a kill leaves of them is a draft or a
// record of nothing, which the tidy removes anyway.
RenameSteps recordSteps(const Folder& folder) { return RenameSteps{{}, folder.files.get()}; }

// Path= of the info file: absolute in the home trash, relative to the top folder in a
// file system's own trash.
std::string recordedPath(const Folder& folder, const std::string& original) {
    if (folder.topdir.empty()) return original;
    if (folder.topdir == "/") return original.substr(1);
    return original.substr(folder.topdir.size() + 1);
}

enum class Step { moved, tryElsewhere, failed };

// The path of an open folder as the mount table names places (from this process's root).
std::optional<std::string> placeOf(int fd) {
    char buffer[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer || buffer[0] != '/') return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
}

// A mount at or below an item just renamed into files/: where below the item it is
// ("" for the item itself), or none. Unknown (the table or the place cannot be read)
// counts as one, as the guard's judgement of the item no longer holds.
struct MountInside {
    bool unknown = false;
    std::string below;
};
std::optional<MountInside> mountInside(const Folder& folder, const std::string& entry, SeenMounts* seen) {
    // Unchanged since the table the item was judged with, which showed none there.
    if (seen && seen->watch.generation() == seen->judged && !seen->watch.changed()) return std::nullopt;
    const auto files = placeOf(folder.files.get());
    const auto table = seen ? seen->watch.table() : readMountTable(mountTablePath());
    if (!files || !table) return MountInside{true, {}};
    const std::string place = appendingPathComponent(*files, entry);
    for (const auto& mount : *table)
        if (isPathInside(mount.mountPoint, place)) return MountInside{false, mount.mountPoint.substr(place.size())};
    return std::nullopt;
}

// The item went into files/ as `entry` with a mount inside it (made after it was judged):
// emptying the Trash would delete that mount's files, so it goes back where it was.
void putBackHoldingMount(const Folder& folder, int parentFd, const std::string& name, const std::string& entry,
                         const std::string& original, const MountInside& inside, const FileDescriptor& record,
                         const Identity& identity, MoveResult& result) {
    const std::string infoName = entry + std::string(kInfoSuffix);
    const std::string where = inside.unknown ? std::string() : original + inside.below;
    const std::string found = inside.unknown
                                  ? "The list of mounted disks could not be read after the move, so whether a disk "
                                    "was mounted inside the item while it moved is not known"
                                  : "A disk was mounted inside the item (at " + tildeAbbreviated(where) +
                                        ") while it was being moved";
    StepMark mark(folder, false, entry);
    if (renameNoReplaceWith(folder.files.get(), entry, parentFd, name, mark.steps()) == 0) {
        if (isSameRecord(record, folder.info.get(), infoName)) ::unlinkat(folder.info.get(), infoName.c_str(), 0);
        result = failure(found + ", so it was put back where it was.");
        result.heldMount = where;
        return;
    }
    const std::string lies = folder.path + "/files/" + entry;
    result = failure(found + ", and it could not be put back (" + std::strerror(errno) + "): it lies in the Trash at " +
                     tildeAbbreviated(lies) + (inside.unknown ? " and may hold a mount" : ", holding that mount") +
                     ". Unmount it before emptying the Trash, or that disk's files are deleted with it.");
    result.strandedAt = lies;
    result.identity = identity;
}

// Reserves a free name with an info file, then renames the item onto it. EXDEV is
// handed back so the caller can try the file system's own trash.
Step moveInto(const Folder& folder, int parentFd, const std::string& name, const std::string& original,
              const Identity& identity, SeenMounts* seen, MoveResult& result) {
    // Names a crashed move reserved are given back before new ones are taken.
    removeOrphanRecords(folder);
    // From the record to the rename, so a tidy can tell a reservation from a crash's leftover.
    const MovesLock moving(folder, MovesLock::Mode::shared);
    if (moving.busy()) {
        result = failure(heldByTidy(folder) + ", so the item was left where it is.");
        result.trashHeld = true;
        return Step::failed;
    }
    const std::string info = TrashInfo::sorvelText(recordedPath(folder, original), std::time(nullptr), recordingFor());
    // Written whole under a draft name first and only then given the record's name, where
    // that is free: a record is never seen empty, and what a kill leaves while one is made is
    // a draft, Sorvel's by its name, which the first tidy removes.
    const std::string draft = std::string(kRecordDraftPrefix) + UUID::random().uuidString();
    FileDescriptor infoFd(::openat(folder.info.get(), draft.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!infoFd.valid()) {
        result = failure(std::string("The Trash's record of the item could not be created: ") + std::strerror(errno) +
                         ".");
        return Step::failed;
    }
    pauseAt(Pause::whileRecording);
    const auto giveUp = [&](const std::string& message) {
        ::unlinkat(folder.info.get(), draft.c_str(), 0);
        result = failure(message);
        return Step::failed;
    };
    if (!writeAll(infoFd.get(), info) || ::fsync(infoFd.get()) != 0)
        return giveUp(std::string("The Trash's record of the item could not be written: ") + std::strerror(errno) +
                      ".");
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const std::string candidate = attempt == 1 ? name : name + " " + std::to_string(attempt);
        const std::string infoName = candidate + std::string(kInfoSuffix);
        if (infoName.size() > NAME_MAX) return giveUp(messageFor(ENAMETOOLONG));
        if (renameNoReplaceWith(folder.info.get(), draft, folder.info.get(), infoName, recordSteps(folder)) != 0) {
            if (errno == EEXIST) continue;
            return giveUp(std::string("The Trash's record of the item could not be created: ") +
                          std::strerror(errno) + ".");
        }
        pauseAt(Pause::beforeRenameIn);
        StepMark mark(folder, true, candidate);
        if (renameNoReplaceWith(parentFd, name, folder.files.get(), candidate, mark.steps()) == 0) {
            pauseAt(Pause::afterRenameIn);
            if (const auto inside = mountInside(folder, candidate, seen)) {
                putBackHoldingMount(folder, parentFd, name, candidate, original, *inside, infoFd, identity, result);
                return Step::failed;
            }
            result = MoveResult{folder.path + "/files/" + candidate, {}, identity};
            return Step::moved;
        }
        const int code = errno;
        // An item without a record holds the name: the record becomes a draft again for the next.
        if (code == EEXIST &&
            renameNoReplaceWith(folder.info.get(), infoName, folder.info.get(), draft, recordSteps(folder)) == 0)
            continue;
        ::unlinkat(folder.info.get(), infoName.c_str(), 0);
        if (code == EXDEV) return Step::tryElsewhere;
        result = failure(messageFor(code));
        return Step::failed;
    }
    ::unlinkat(folder.info.get(), draft.c_str(), 0);
    result = failure("The Trash holds too many items with this name to find a free one.");
    return Step::failed;
}

// A "." or ".." component, which the kernel would follow.
bool hasDotComponent(const std::string& path) {
    for (size_t at = path.find("/."); at != std::string::npos; at = path.find("/.", at + 1)) {
        const size_t end = path.find('/', at + 1);
        const std::string_view part = std::string_view(path).substr(at + 1, end == std::string::npos ? end : end - at - 1);
        if (part == "." || part == "..") return true;
    }
    return false;
}

bool validName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace

std::string directory() {
    // The data folder as Sorvel judges it: a value that would put the Trash in the home
    // or a user folder is set aside with the rest.
    const std::string data = BaseFolders::folder(BaseFolders::Base::data);
    if (data.empty() || data[0] != '/') return {};
    return appendingPathComponent(data, "Trash");
}

int openFolderNoFollow(const std::string& path) {
    if (path.empty() || path[0] != '/') {
        errno = EINVAL;
        return -1;
    }
    // In one call where the kernel can refuse every link on the way (Linux 5.6 and later).
    if (!hasDotComponent(path) && path.find('\0') == std::string::npos) {
        struct open_how how {};
        how.flags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const int fd = static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how));
        if (fd >= 0) return fd;
        if (errno == ELOOP) errno = ENOTDIR;
        if (errno != ENOSYS && errno != EPERM && errno != EINVAL && errno != E2BIG) return -1;
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

namespace {

// The mount holding the item, named as `namedMount` names it: the path's mount held open
// while the table is looked at.
std::optional<MountEntry> mountOf(const std::string& path, SeenMounts* seen) {
    if (!seen) return namedMount(path).mount;
    const FileDescriptor held(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!held.valid()) return std::nullopt;
    const auto& table = seen->watch.table();
    if (!table) return std::nullopt;
    return mountContaining(*table, path);
}

// Whether the item and the home trash (or the folder it would be made in) are on one mount:
// a rename never crosses mounts, even of one file system. Unknown counts as one.
bool onOneMount(const std::string& trash, const std::string& original) {
    const auto a = kernelMountId(resolvingExistingPart(trash));
    const auto b = kernelMountId(original);
    return !a || !b || *a == *b;
}

// Where a move of the item goes, worked out without making anything: the home trash, or the
// trash at the top folder of its file system; else the move's own sentence why it cannot.
struct Route {
    bool home = false;
    std::string topdir;
    std::string trash; // the trash folder at `topdir`
    std::string error;
};

Route routeFor(const std::string& parentPath, const std::string& original, const Identity& item,
               const std::function<std::optional<MountEntry>()>& mount, bool homeTried) {
    const auto refused = [](std::string why) { return Route{false, {}, {}, std::move(why)}; };
    if (!homeTried) {
        const Looked home = lookHome();
        if (home.usable() && home.device == item.device && onOneMount(home.path, original)) {
            if (!home.writable) return refused(messageFor(EACCES));
            return Route{true, {}, home.path, {}};
        }
        if (!home.usable()) {
            // A broken home trash is only bypassed for items that could never go there.
            struct stat homeFolder;
            const std::string homePath = homeDirectory();
            if (homePath.empty() || ::stat(homePath.c_str(), &homeFolder) != 0 || homeFolder.st_dev == item.device)
                return refused(home.error);
        }
    }
    const auto holding = mount();
    const auto top = holding ? topFolderFor(parentPath, item.device, holding->mountPoint) : std::nullopt;
    if (!top)
        return refused("The item is on another file system than the Trash, and the top folder of its file system "
                       "could not be found, so it was left where it is.");
    const Looked own = lookTopdir(*top);
    if (!own.usable())
        return refused("The item is on another file system than the Trash, and that file system has no Trash "
                       "Sorvel can use safely, so it was left where it is. " + own.error);
    if (own.device != item.device)
        return refused("The item is on another file system than its Trash (" + tildeAbbreviated(own.path) +
                       "); Sorvel only moves items by renaming them, so it was left where it is.");
    if (!own.writable) return refused(messageFor(EACCES));
    return Route{false, *top, own.path, {}};
}

// What a failed move made of a trash that was not there before goes again: files/, info/
// and the folder, each only while empty.
void unmake(const std::string& trash) {
    for (const char* part : {"/files", "/info", ""}) ::rmdir((trash + part).c_str());
}

MoveResult moveEntryWith(int parentFd, const std::string& parentPath, const std::string& name, SeenMounts* seen) {
    if (!validName(name))
        return failure("The item's name is not a single path component, so it was left where it is.");
    if (parentPath.empty() || parentPath[0] != '/' || standardizePath(parentPath) != parentPath)
        return failure("Only an absolute, standardised path can be moved to the Trash.");
    const std::optional<Identity> item = identityAt(parentFd, name);
    if (!item) return failure(messageFor(errno));
    const std::string original = appendingPathComponent(parentPath, name);
    const auto mount = [&] { return mountOf(original, seen); };

    Route route = routeFor(parentPath, original, *item, mount, false);
    if (!route.error.empty()) return failure(route.error);
    MoveResult result;
    if (route.home) {
        std::string homeError;
        std::optional<Folder> home = openHome(true, Use::moveInto, homeError);
        if (!home) return failure(homeError);
        if (home->device == item->device) {
            const Step step = moveInto(*home, parentFd, name, original, *item, seen, result);
            if (step != Step::tryElsewhere) return result;
        }
        route = routeFor(parentPath, original, *item, mount, true);
        if (!route.error.empty()) return failure(route.error);
    }

    struct stat before;
    const bool made = ::lstat(route.trash.c_str(), &before) != 0;
    std::string error;
    std::optional<Folder> own = openTopdir(route.topdir, true, error);
    if (!own) {
        if (made) unmake(route.trash);
        return failure("The item is on another file system than the Trash, and that file system has no Trash Sorvel "
                       "can use safely, so it was left where it is. " + error);
    }
    const Step step = own->device != item->device ? Step::tryElsewhere
                                                  : moveInto(*own, parentFd, name, original, *item, seen, result);
    if (step != Step::moved && made) unmake(own->path);
    if (step == Step::tryElsewhere)
        return failure("The item is on another file system than its Trash (" + tildeAbbreviated(own->path) +
                       "); Sorvel only moves items by renaming them, so it was left where it is.");
    return result;
}

} // namespace

MoveResult moveEntry(int parentFd, const std::string& parentPath, const std::string& name) {
    return moveEntryWith(parentFd, parentPath, name, nullptr);
}

MoveResult moveEntry(int parentFd, const std::string& parentPath, const std::string& name, SeenMounts seen) {
    return moveEntryWith(parentFd, parentPath, name, &seen);
}

std::optional<Location> locate(const std::string& trashPath) {
    if (trashPath.empty() || trashPath[0] != '/' || trashPath.find('\0') != std::string::npos) return std::nullopt;
    const std::string path = standardizePath(trashPath);
    const std::string name = lastPathComponent(path);
    const std::string files = deletingLastPathComponent(path);
    if (!validName(name) || lastPathComponent(files) != "files") return std::nullopt;
    const std::string trash = deletingLastPathComponent(files);

    const std::string home = directory();
    if (!home.empty() && trash == home) return Location{trash, {}, name};

    const std::string uid = std::to_string(::geteuid());
    std::string topdir;
    if (lastPathComponent(trash) == ".Trash-" + uid) {
        topdir = deletingLastPathComponent(trash);
    } else if (lastPathComponent(trash) == uid && lastPathComponent(deletingLastPathComponent(trash)) == ".Trash") {
        topdir = deletingLastPathComponent(deletingLastPathComponent(trash));
    } else {
        // The home trash under another spelling of the home (a link in front of it, a bind of
        // it): known by what it is, and named as the home is spelled now.
        const auto here = home.empty() ? std::nullopt : fileIdentity(home, true);
        if (here && fileIdentity(trash, true) == here) return Location{home, {}, name};
        return std::nullopt;
    }
    // Only at a top folder (of a mounted file system, or a subvolume's root), where the move
    // itself puts items; a top folder written through a link is the one it leads to.
    const auto mounts = readMountTable();
    for (const auto& mount : mounts)
        if (mount.mountPoint == topdir) return Location{trash, topdir, name};
    if (const auto mount = mountContaining(mounts, topdir); mount && isTopFolder(topdir, mount->mountPoint))
        return Location{trash, topdir, name};
    if (const auto real = resolvedPath(topdir); real && *real != topdir) {
        for (const auto& mount : mounts)
            if (mount.mountPoint == *real) return Location{*real + trash.substr(topdir.size()), *real, name};
        if (const auto mount = mountContaining(mounts, *real); mount && isTopFolder(*real, mount->mountPoint))
            return Location{*real + trash.substr(topdir.size()), *real, name};
    }
    return std::nullopt;
}

namespace {

bool isTrashName(std::string_view name) {
    if (name == ".Trash") return true;
    const std::string_view prefix = ".Trash-";
    return name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix &&
           name.find_first_not_of("0123456789", prefix.size()) == std::string_view::npos;
}

// Whether the path, its existing part resolved, lies in a trash at a top folder of the file
// system `mount` holds (its point, or a subvolume's root below it): ".Trash" or ".Trash-" and
// a number there. True where no mount could be named (it might be one).
bool insideTopdirTrash(const std::string& path, const std::optional<MountEntry>& mount) {
    if (!mount) return true;
    if (path.size() <= mount->mountPoint.size()) return false;
    const size_t start = mount->mountPoint == "/" ? 1 : mount->mountPoint.size() + 1;
    for (size_t at = start; at < path.size();) {
        const size_t end = std::min(path.find('/', at), path.size());
        if (isTrashName(std::string_view(path).substr(at, end - at)) &&
            isTopFolder(at == 1 ? std::string("/") : path.substr(0, at - 1), mount->mountPoint))
            return true;
        at = end + 1;
    }
    return false;
}

bool insideHomeTrash(const std::string& path, const std::string& home, const std::optional<std::string>& real) {
    if (home.empty()) return false;
    return isPathInside(path, home) || (real && isPathInside(path, *real));
}

bool insideHomeTrash(const std::string& path) {
    const std::string home = directory();
    return insideHomeTrash(path, home, home.empty() ? std::nullopt : resolvedPath(home));
}

} // namespace

bool isInsideTrash(const std::string& given) {
    if (given.empty() || given[0] != '/') return false;
    const std::string path = standardizePath(given);
    if (insideHomeTrash(path)) return true;
    const std::string real = resolvingExistingPart(path);
    return insideHomeTrash(real) || insideTopdirTrash(real, namedMount(real).mount);
}

bool isInsideTrash(const std::string& given, const std::vector<MountEntry>& mounts) {
    if (given.empty() || given[0] != '/') return false;
    const std::string path = standardizePath(given);
    if (insideHomeTrash(path)) return true;
    const std::string real = resolvingExistingPart(path);
    return insideHomeTrash(real) || insideTopdirTrash(real, mountContaining(mounts, real));
}

bool isInsideTrash(const std::string& given, const std::vector<MountEntry>& mounts,
                   const std::optional<std::string>& realHomeTrash, bool resolved) {
    if (given.empty() || given[0] != '/') return false;
    const std::string path = standardizePath(given);
    const std::string home = directory();
    if (insideHomeTrash(path, home, realHomeTrash)) return true;
    const std::string real = resolved ? path : resolvingExistingPart(path);
    return insideHomeTrash(real, home, realHomeTrash) || insideTopdirTrash(real, mountContaining(mounts, real));
}

RestoreResult restoreEntry(const Location& location, int destinationFd, const std::string& destinationName,
                           const std::optional<Identity>& expected, const std::atomic<bool>* stop) {
    RestoreResult result;
    if (!validName(location.name) || !validName(destinationName)) {
        result.code = EINVAL;
        return result;
    }
    std::optional<Folder> folder = openExisting(location.trashDirectory, location.topdir, result.error);
    if (!folder) return result;
    removeOrphanRecords(*folder);
    // From taking the item out until its record is gone: a tidy would take the record for
    // an orphan meanwhile, and a move of a same-named item could then write its own there.
    const MovesLock puttingBack(*folder, MovesLock::Mode::shared, stop);
    if (puttingBack.busy()) {
        result.stopped = puttingBack.stopped();
        result.trashHeld = !result.stopped;
        result.error = heldByTidy(*folder) + ", so the item stayed in the Trash.";
        return result;
    }
    const std::string infoName = location.name + std::string(kInfoSuffix);
    const FileDescriptor record(::openat(folder->info.get(), infoName.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    // Held open, the checked object keeps its inode number for as long as it is compared.
    const FileDescriptor held(::openat(folder->files.get(), location.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    const std::optional<Identity> checked = held.valid() ? identityAt(held.get(), "") : std::nullopt;
    if (!checked) {
        result.code = errno;
        return result;
    }
    if (expected && !expected->admits(*checked)) {
        result.code = ESTALE;
        return result;
    }
    {
        StepMark mark(*folder, false, location.name);
        if (renameNoReplaceWith(folder->files.get(), location.name, destinationFd, destinationName, mark.steps()) != 0) {
            result.code = errno;
            return result;
        }
    }
    pauseAt(Pause::afterTakingOut);
    // The rename takes whatever holds the name at that instant: another object swapped in
    // since the check goes back where it came from, and the record stays with the item.
    const std::optional<Identity> landed = identityAt(destinationFd, destinationName);
    if (!landed || landed->device != checked->device || landed->inode != checked->inode) {
        StepMark mark(*folder, true, location.name);
        if (!landed ||
            renameNoReplaceWith(destinationFd, destinationName, folder->files.get(), location.name, mark.steps()) == 0) {
            result.code = ESTALE;
            return result;
        }
        result.error = "Another item took its place in the Trash just before it was put back, and that item could "
                       "not be returned to the Trash, so it is now at the original path.";
        return result;
    }
    // The item is back. Only the record read before goes: one written under the name since
    // (by a tool that takes no lock) is another item's. A record that cannot be removed only
    // leaves a stale line in the file manager's view of the Trash.
    if (isSameRecord(record, folder->info.get(), infoName))
        ::unlinkat(folder->info.get(), infoName.c_str(), 0);
    result.restored = true;
    return result;
}

std::optional<std::string> whyNotMovable(const std::string& parentPath, const std::string& name,
                                        const std::vector<MountEntry>& mounts) {
    const std::string original = appendingPathComponent(parentPath, name);
    const auto item = identityOf(original);
    if (!item) return std::nullopt;
    const Route route =
        routeFor(parentPath, original, *item, [&] { return mountContaining(mounts, original); }, false);
    if (route.error.empty()) return std::nullopt;
    return route.error;
}

void setPauseHook(std::function<void(Pause)> hook) { pauseHook().set(std::move(hook)); }

} // namespace sorvel::Trash
