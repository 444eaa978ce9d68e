#include "platform/RunLock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "platform/FileLock.h"
#include "platform/Path.h"
#include "platform/RegularFile.h"
#include "platform/UserDefaults.h"

namespace sorvel::RunLock {
namespace {

constexpr std::string_view kPrefix = "run-";
constexpr std::string_view kSuffix = ".lock";

std::string fileName(const std::string& name) { return std::string(kPrefix) + name + std::string(kSuffix); }

// 0 when the folder is there (made with its parents when missing), else the errno.
int makeFolder(const std::string& folder) {
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (errno != ENOENT) return errno;
    const std::string parent = deletingLastPathComponent(folder);
    if (parent.empty() || parent == folder) return ENOENT;
    if (const int code = makeFolder(parent)) return code;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

FileDescriptor openFolder(bool create, int& error) {
    const std::string folder = folderPath();
    if (create) error = makeFolder(folder);
    if (error != 0) return FileDescriptor();
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) error = errno;
    return fd;
}

// The lock file `file` in the folder as a plain file, no link followed; a pipe or a
// device in its place is refused without waiting on it.
FileDescriptor openLock(int folder, const std::string& file, int flags, int& error) {
    FileDescriptor fd(openPlainFileAt(folder, file.c_str(), flags | O_NOFOLLOW));
    if (!fd.valid()) error = errno;
    return fd;
}

// Whether the name in the folder still is the file open on `fd`: a tidy may have taken
// a free lock file away between its opening and its locking.
bool stillThere(int folder, const std::string& file, int fd) {
    struct stat open, named;
    return ::fstat(fd, &open) == 0 && ::fstatat(folder, file.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// One try: a lock held by another is told at once.
int lockNow(int fd, int operation) { return FileLock::takeBy(fd, operation, FileLock::Clock::now()); }

} // namespace

std::string folderPath() { return deletingLastPathComponent(UserDefaults::standardFilePath()); }

Held::Held(const std::string& name) : file_(fileName(name)) {
    folder_ = openFolder(true, error_);
    if (!folder_.valid()) return;
    // Others only look, for a moment; a stopped looker does not hold the run back for long.
    const auto deadline = FileLock::Clock::now() + std::chrono::seconds(2);
    for (;;) {
        FileDescriptor fd = openLock(folder_.get(), file_, O_RDWR | O_CREAT, error_);
        if (!fd.valid()) return;
        const int code = FileLock::takeBy(fd.get(), LOCK_EX, deadline);
        if (code == 0 && stillThere(folder_.get(), file_, fd.get())) {
            fd_ = std::move(fd);
            error_ = 0;
            return;
        }
        if (code != 0 && code != EWOULDBLOCK) {
            // No locks here: a file nobody can hold would only mislead.
            ::unlinkat(folder_.get(), file_.c_str(), 0);
            error_ = code;
            return;
        }
        // Still held at the deadline: given up. Taken away by a tidy meanwhile: opened
        // again, until the deadline.
        if (code != 0 || FileLock::Clock::now() >= deadline) {
            error_ = code != 0 ? code : EAGAIN;
            return;
        }
    }
}

Held::~Held() {
    if (!fd_.valid()) return;
    // Taken away while still held, so nobody finds a free file of a run that was moving.
    if (stillThere(folder_.get(), file_, fd_.get())) ::unlinkat(folder_.get(), file_.c_str(), 0);
}

State state(const std::string& name) {
    int error = 0;
    const FileDescriptor folder = openFolder(false, error);
    if (!folder.valid()) return error == ENOENT ? State::free : State::unknown;
    const FileDescriptor fd = openLock(folder.get(), fileName(name), O_RDONLY, error);
    if (!fd.valid()) return error == ENOENT ? State::free : State::unknown;
    const int code = lockNow(fd.get(), LOCK_SH);
    if (code == 0) {
        ::flock(fd.get(), LOCK_UN);
        return State::free;
    }
    return code == EWOULDBLOCK ? State::held : State::unknown;
}

int removeStale() {
    int error = 0;
    const FileDescriptor folder = openFolder(false, error);
    if (!folder.valid()) return 0;
    std::vector<std::string> files;
    if (const int listFd = ::dup(folder.get()); listFd >= 0) {
        if (DIR* dir = ::fdopendir(listFd)) {
            ::rewinddir(dir);
            while (const dirent* entry = ::readdir(dir)) {
                const std::string_view file = entry->d_name;
                if (file.size() > kPrefix.size() + kSuffix.size() && file.starts_with(kPrefix) && file.ends_with(kSuffix))
                    files.emplace_back(file);
            }
            ::closedir(dir);
        } else {
            ::close(listFd);
        }
    }
    int removed = 0;
    for (const auto& file : files) {
        const FileDescriptor fd = openLock(folder.get(), file, O_RDONLY, error);
        if (!fd.valid() || lockNow(fd.get(), LOCK_EX) != 0) continue;
        if (stillThere(folder.get(), file, fd.get()) && ::unlinkat(folder.get(), file.c_str(), 0) == 0) ++removed;
    }
    return removed;
}

} // namespace sorvel::RunLock
