#include "support/ForegroundBindfs.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/MountTable.h"

namespace sorvel::test {

bool mountedAt(const std::string& point) {
    for (const auto& mount : readMountTable())
        if (mount.mountPoint == point) return true;
    return false;
}

pid_t foregroundBindfs(const std::string& source, const std::string& point) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Ends with the test's child, stopped or not: a daemon left behind would hold the
        // test's output open and keep the run waiting for good.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::execl("/usr/bin/bindfs", "bindfs", "-f", source.c_str(), point.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid < 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!mountedAt(point)) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid || std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::yield();
    }
    return pid;
}

} // namespace sorvel::test
