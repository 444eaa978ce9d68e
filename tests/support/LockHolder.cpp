#include "support/LockHolder.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "platform/FileLock.h"

namespace sorvel::test {

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
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EISDIR) fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); // the Trash's
        // A write of the test's own may hold it for a moment.
        const auto deadline = FileLock::Clock::now() + std::chrono::seconds(20);
        const char held = fd >= 0 && FileLock::takeBy(fd, LOCK_EX, deadline) == 0 ? 1 : 0;
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
