#include "support/LockHolder.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "platform/FileLock.h"

namespace sorvel::test {
namespace {

bool namesFile(const std::string& path, int fd) {
    struct stat open, named;
    return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

} // namespace

LockHolder::LockHolder(const std::string& path, How how) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    const pid_t parent = ::getpid();
    pid_ = ::fork();
    if (pid_ == 0) {
        // Killed with this process: a stopped child would otherwise hold the lock for good.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(2);
        // None of this process's own locks go with the child.
        for (int fd = 3; fd < 4096; ++fd)
            if (fd != ready[1]) ::close(fd);
        // A write of the test's own may hold it for a moment.
        const auto deadline = FileLock::Clock::now() + std::chrono::seconds(20);
        char held = 0;
        while (!held && FileLock::Clock::now() < deadline) {
            int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (fd < 0 && errno == EISDIR) fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); // the Trash's
            if (fd < 0 || FileLock::takeBy(fd, LOCK_EX, deadline) != 0) break;
            // A tidy of stale lock files may take the file away before it is locked, as it
            // may a real mover's, which then opens it again.
            held = namesFile(path, fd) ? 1 : 0;
            if (!held) ::close(fd);
        }
        (void)!::write(ready[1], &held, 1);
        if (!held) ::_exit(3);
        if (how == How::stopped) ::raise(SIGSTOP);
        for (;;) ::pause(); // until killed
    }
    ::close(ready[1]);
    pollfd p{ready[0], POLLIN, 0};
    char held = 0;
    holding_ = pid_ > 0 && ::poll(&p, 1, 30'000) == 1 && ::read(ready[0], &held, 1) == 1 && held == 1;
    ::close(ready[0]);
    if (holding_ && how == How::stopped) {
        // Stopped for certain before the test goes on.
        int status = 0;
        holding_ = ::waitpid(pid_, &status, WUNTRACED) == pid_ && WIFSTOPPED(status);
    }
}

LockHolder::~LockHolder() { release(); }

void LockHolder::release() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    holding_ = false;
}

const char* name(LockHolder::How how) { return how == LockHolder::How::stopped ? "stopped" : "waiting"; }

} // namespace sorvel::test
