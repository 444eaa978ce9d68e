#include "platform/TrashRecords.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <functional>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/FileLock.h"
#include "platform/MountTable.h"
#include "platform/Path.h"
#include "platform/RegularFile.h"
#include "platform/TrashInfo.h"

namespace sorvel::Trash {
namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";
constexpr size_t kMaximumInfoBytes = 64 * 1024; // far above any real record

std::optional<std::string> readInfo(int infoFd, const std::string& infoName) {
    const FileDescriptor fd(openPlainFileAt(infoFd, infoName.c_str(), O_RDONLY | O_NOFOLLOW));
    if (!fd.valid()) return std::nullopt;
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

// `read`, when given, says whether the folder was listed to its end.
std::vector<std::string> namesIn(int infoFd, const std::function<bool(const std::string&)>& wanted,
                                 bool* read = nullptr) {
    std::vector<std::string> names;
    if (read) *read = false;
    const int fd = ::openat(infoFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return names;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (wanted(name)) names.push_back(name);
        errno = 0;
    }
    if (read) *read = errno == 0;
    ::closedir(dir);
    return names;
}

std::vector<std::string> infoNames(int infoFd, bool* read = nullptr) {
    return namesIn(
        infoFd, [](const std::string& name) { return name.size() > kInfoSuffix.size() && name.ends_with(kInfoSuffix); },
        read);
}

std::string entryName(const std::string& infoName) { return infoName.substr(0, infoName.size() - kInfoSuffix.size()); }

// The item name an entry name stands for when a move had to number it: "a 2" for "a".
std::optional<std::string> unnumbered(const std::string& entry) {
    const size_t space = entry.rfind(' ');
    if (space == std::string::npos || space == 0 || space + 1 == entry.size()) return std::nullopt;
    if (entry.find_first_not_of("0123456789", space + 1) != std::string::npos) return std::nullopt;
    return entry.substr(0, space);
}

bool missing(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// The file system of the folder at `path`, when it is one.
std::optional<dev_t> folderDevice(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    return st.st_dev;
}

// The trashes an item of each path may have gone to: the home trash, and the trash of
// the file system holding the path, each once. `without` gets the file systems seen to
// hold no trash of this user at their top folder.
std::vector<Folder> trashesFor(const std::vector<std::string>& originalPaths, std::vector<dev_t>& without) {
    std::vector<Folder> folders;
    std::string error;
    if (auto home = openHome(false, Use::takeOutOf, error)) folders.push_back(std::move(*home));
    std::optional<std::vector<MountEntry>> mounts;
    std::set<std::string> tops;
    const std::string uid = std::to_string(::geteuid());
    for (const auto& path : originalPaths) {
        if (path.empty() || path[0] != '/') continue;
        if (!mounts) mounts = readMountTable();
        const std::string item = standardizePath(path);
        const auto mount = mountContaining(*mounts, item);
        if (!mount) continue;
        // The top folder the move used: the mount's point, or a subvolume's root below it.
        std::string top = mount->mountPoint;
        struct stat st;
        const std::string parent = deletingLastPathComponent(item);
        if (::stat(parent.c_str(), &st) == 0)
            top = topFolderFor(parent, st.st_dev, mount->mountPoint).value_or(top);
        if (!tops.insert(top).second) continue;
        if (auto own = openTopdir(top, false, error)) {
            folders.push_back(std::move(*own));
        } else if (missing(appendingPathComponent(top, ".Trash-" + uid)) &&
                   missing(appendingPathComponent(top, ".Trash/" + uid))) {
            if (const auto device = folderDevice(top)) without.push_back(*device);
        }
    }
    return folders;
}

// The entry `name` of `folder` when its record names `original` (and is Sorvel's, when
// asked) and its object is the one the identity describes.
bool isMovedItem(const Folder& folder, const std::string& infoName, const std::string& original,
                 const std::optional<Identity>& identity, bool sorvelsOnly, const std::optional<std::string>& byRun) {
    auto text = readInfo(folder.info.get(), infoName);
    if (!text || absoluteRecord(folder.topdir, *text) != original) return false;
    if ((sorvelsOnly || byRun) && !TrashInfo::isSorvels(*text)) return false;
    if (byRun && TrashInfo::recordedRun(*text) != *byRun) return false;
    const auto now = identityAt(folder.files.get(), entryName(infoName));
    return now && (!identity || identity->admits(*now));
}

// A record created and never written: a mover killed between the two (another program's,
// or an earlier Sorvel's; Sorvel's records now take their name only once written). One
// younger than a moment may be another program's being written now.
bool emptyReservation(const std::string& text, const struct stat& info) {
    constexpr time_t kMoment = 1;
    return text.empty() && info.st_size == 0 && std::time(nullptr) - info.st_mtim.tv_sec > kMoment;
}

bool isEmptyFolder(int dirFd, const std::string& name) {
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    bool empty = true;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") empty = false;
        if (!empty) break;
    }
    if (errno != 0) empty = false;
    ::closedir(dir);
    return empty;
}

// A folder as a rename without the no-replace flag makes it to hold a name.
bool ownPlaceholder(const struct stat& st) {
    return S_ISDIR(st.st_mode) && (st.st_mode & 07777) == 0700 && st.st_uid == ::geteuid();
}

// What a mark names: a move into the trash or a put back out of it, of the entry.
struct Step {
    bool into = false;
    std::string entry;
};
std::optional<Step> stepOf(const std::string& text) {
    for (const auto& [way, into] : {std::pair{kStepInto, true}, std::pair{kStepOutOf, false}}) {
        if (!text.starts_with(way)) continue;
        Step step{into, text.substr(way.size())};
        if (step.entry.empty() || step.entry.find('/') != std::string::npos || step.entry == "." ||
            step.entry == "..")
            return std::nullopt;
        return step;
    }
    return std::nullopt;
}

// One step a mark names, undone: its record must be Sorvel's, and the item must show under
// both its names, in the Trash and at its place; else no step was left half-done there.
bool undoStep(const Folder& folder, const Step& step) {
    const std::string infoName = step.entry + std::string(kInfoSuffix);
    const auto text = readInfo(folder.info.get(), infoName);
    if (!text || !TrashInfo::isSorvels(*text)) return false;
    const auto original = absoluteRecord(folder.topdir, *text);
    struct stat inTrash, atPlace;
    if (!original || ::fstatat(folder.files.get(), step.entry.c_str(), &inTrash, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::lstat(original->c_str(), &atPlace) != 0)
        return false;
    const bool secondName =
        !S_ISDIR(inTrash.st_mode) && inTrash.st_dev == atPlace.st_dev && inTrash.st_ino == atPlace.st_ino;
    if (!step.into) {
        // A put back's second name, or its empty folder, at the place: the item stays in the Trash.
        if (secondName) return ::unlink(original->c_str()) == 0;
        return S_ISDIR(inTrash.st_mode) && ownPlaceholder(atPlace) && ::rmdir(original->c_str()) == 0;
    }
    // A move's in the Trash, with its record: the item stays at its place.
    if (!secondName && !(ownPlaceholder(inTrash) && isEmptyFolder(folder.files.get(), step.entry))) return false;
    if (::unlinkat(folder.files.get(), step.entry.c_str(), secondName ? 0 : AT_REMOVEDIR) != 0) return false;
    ::unlinkat(folder.info.get(), infoName.c_str(), 0);
    return true;
}

// What kills left half-done between two steps of a rename, as their marks tell; under the
// exclusive lock, so no such rename is under way.
int settleHalfDoneSteps(const Folder& folder) {
    int settled = 0;
    for (const auto& mark : namesIn(folder.info.get(), [](const std::string& name) {
             return name.starts_with(kStepMarkPrefix);
         })) {
        if (const auto text = readInfo(folder.info.get(), mark))
            if (const auto step = stepOf(*text); step && undoStep(folder, *step)) ++settled;
        ::unlinkat(folder.info.get(), mark.c_str(), 0);
    }
    return settled;
}

// Sorvel's records among `infoNames` whose entry is missing, and records left empty. Only called under the
// exclusive lock: no move into the folder is then between its record and its rename, so
// such a record is a leftover of a move cut short, whatever its age.
int removeOrphansIn(const Folder& folder, const std::vector<std::string>& infoNames) {
    (void)settleHalfDoneSteps(folder);
    int removed = 0;
    for (const auto& infoName : infoNames) {
        struct stat entry;
        const std::string name = entryName(infoName);
        if (::fstatat(folder.files.get(), name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) continue;
        struct stat info;
        if (::fstatat(folder.info.get(), infoName.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
            continue;
        auto text = readInfo(folder.info.get(), infoName);
        if (!text || !(TrashInfo::isSorvels(*text) || emptyReservation(*text, info))) continue;
        if (::unlinkat(folder.info.get(), infoName.c_str(), 0) == 0) ++removed;
    }
    // A draft is a record a mover of Sorvel's was writing when it was killed: none is now.
    for (const auto& draft : namesIn(folder.info.get(), [](const std::string& name) {
             return name.starts_with(kRecordDraftPrefix);
         }))
        if (::unlinkat(folder.info.get(), draft.c_str(), 0) == 0) ++removed;
    return removed;
}

std::atomic<int64_t> moveWaitMilliseconds{5000};

} // namespace

MovesLock::MovesLock(const Folder& folder, Mode mode, const std::atomic<bool>* stop) : fd_(folder.info.get()) {
    const auto now = FileLock::Clock::now();
    const int code = FileLock::takeBy(fd_, mode == Mode::shared ? LOCK_SH : LOCK_EX,
                                      mode == Mode::shared ? now + moveWaitBound() : now, stop);
    held_ = code == 0;
    // A file system without locks: a tidy cannot take its lock there either, so it
    // removes nothing and the move may go ahead unlocked.
    stopped_ = code == ECANCELED;
    busy_ = code == EWOULDBLOCK || stopped_;
}

MovesLock::~MovesLock() {
    if (held_) ::flock(fd_, LOCK_UN);
}

Records::Records(const std::vector<std::string>& originalPaths) : homeTrash_(realHomeTrash()) {
    for (auto& folder : trashesFor(originalPaths, withoutTrash_)) {
        Listed listed{std::move(folder), false, {}, {}};
        listed.infoNames = infoNames(listed.folder.info.get(), &listed.read);
        for (const auto& infoName : listed.infoNames) {
            std::string entry = entryName(infoName);
            if (auto item = unnumbered(entry)) listed.byItemName[*item].push_back(entry);
            listed.byItemName[entry].push_back(entry);
        }
        listed_.push_back(std::move(listed));
    }
}

std::optional<std::string> Records::findMoved(const std::string& given, const std::optional<Identity>& identity,
                                              bool sorvelsOnly, const std::optional<std::string>& byRun) const {
    if (given.empty() || given[0] != '/') return std::nullopt;
    const std::string original = standardizePath(given);
    const std::string item = lastPathComponent(original);
    for (const auto& listed : listed_) {
        const auto names = listed.byItemName.find(item);
        if (names == listed.byItemName.end()) continue;
        for (const auto& name : names->second)
            if (isMovedItem(listed.folder, name + std::string(kInfoSuffix), original, identity, sorvelsOnly, byRun))
                return listed.folder.path + "/files/" + name;
    }
    return std::nullopt;
}

bool Records::readTrashOf(const std::string& originalPath, const std::optional<Identity>& identity,
                          const std::optional<std::string>& homeTrash) const {
    std::optional<dev_t> device;
    if (identity) device = static_cast<dev_t>(identity->device);
    else device = folderDevice(deletingLastPathComponent(originalPath));
    if (!device) return false;
    // A move takes the home trash on its file system, else that file system's own.
    const std::string home = homeTrash.value_or(homeTrash_);
    const bool today = home == homeTrash_;
    const std::string trash = directory();
    const auto homeDevice = folderDevice(today ? trash : home);
    const auto dataDevice = folderDevice(deletingLastPathComponent(today ? trash : home));
    if (homeDevice ? *homeDevice == *device : (!dataDevice || *dataDevice == *device)) {
        if (!today) return false; // another folder than today's home trash: not read
        for (const auto& listed : listed_)
            if (listed.folder.topdir.empty()) return listed.read;
        // None there yet, so nothing went there.
        return !homeDevice && dataDevice && missing(trash);
    }
    for (const auto& listed : listed_)
        if (!listed.folder.topdir.empty() && listed.folder.device == *device) return listed.read;
    return std::find(withoutTrash_.begin(), withoutTrash_.end(), *device) != withoutTrash_.end();
}

int Records::removeOrphans() const {
    int removed = 0;
    for (const auto& listed : listed_) {
        // A busy lock means a move may be halfway: every record waits for a later tidy.
        const MovesLock quiet(listed.folder, MovesLock::Mode::exclusiveIfFree);
        if (quiet.held()) removed += removeOrphansIn(listed.folder, listed.infoNames);
    }
    return removed;
}

bool Identity::admits(const Identity& now) const {
    if (device != now.device || inode != now.inode) return false;
    // A rename keeps the birth time, and an inode number used again after the Trash was
    // emptied comes with a new one (though a coarse clock may repeat it). Where no birth
    // time is kept, callers insist on Sorvel's own record naming the item's place, which
    // keeps out another tool's item under a reused number. Size and times are never
    // looked at: an app may still be writing to what it had open when the item moved.
    return !bornNanoseconds || !now.bornNanoseconds || *bornNanoseconds == *now.bornNanoseconds;
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

std::optional<std::string> recordedRun(const Location& location) {
    std::string error;
    std::optional<Folder> folder = openExisting(location.trashDirectory, location.topdir, error);
    if (!folder) return std::nullopt;
    auto text = readInfo(folder->info.get(), location.name + std::string(kInfoSuffix));
    if (!text || !TrashInfo::isSorvels(*text)) return std::nullopt;
    return TrashInfo::recordedRun(*text);
}

std::string realHomeTrash() {
    const std::string home = directory();
    return home.empty() ? home : resolvingExistingPart(home);
}

std::optional<std::string> findMoved(const std::string& originalPath, const std::optional<Identity>& identity,
                                     bool sorvelsOnly) {
    return Records({originalPath}).findMoved(originalPath, identity, sorvelsOnly);
}

int removeOrphanRecordsNow(const Folder& folder) {
    const MovesLock quiet(folder, MovesLock::Mode::exclusiveIfFree);
    if (!quiet.held()) return -1;
    return removeOrphansIn(folder, infoNames(folder.info.get()));
}

void removeOrphanRecords(const Folder& folder) {
    static std::mutex mutex;
    static std::set<std::string> done;
    {
        std::lock_guard lock(mutex);
        if (done.count(folder.path)) return;
    }
    // Skipped while a move is halfway; the next use tries again.
    if (removeOrphanRecordsNow(folder) < 0) return;
    std::lock_guard lock(mutex);
    done.insert(folder.path);
}

namespace {
thread_local std::string recordingRun;
} // namespace

RecordingFor::RecordingFor(std::string run) : before_(std::exchange(recordingRun, std::move(run))) {}

RecordingFor::~RecordingFor() { recordingRun = std::move(before_); }

const std::string& recordingFor() { return recordingRun; }

std::chrono::milliseconds moveWaitBound() { return std::chrono::milliseconds(moveWaitMilliseconds.load()); }

std::chrono::milliseconds setMoveWaitBound(std::chrono::milliseconds bound) {
    return std::chrono::milliseconds(moveWaitMilliseconds.exchange(bound.count()));
}

} // namespace sorvel::Trash
