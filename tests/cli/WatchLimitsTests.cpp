// `--watch` where the system gives fewer event resources than the folder needs: it says so
// on standard error instead of silently missing changes. The limits are lowered in a user
// namespace of the child's own, so the rest of the machine is untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sched.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/TestSupport.h"

using namespace sorvel::test;
using namespace std::chrono_literals;

namespace {

bool writeProc(const std::string& path, const std::string& value) {
    int fd = open(path.c_str(), O_WRONLY);
    if (fd < 0) return false;
    bool ok = write(fd, value.data(), value.size()) == static_cast<ssize_t>(value.size());
    close(fd);
    return ok;
}

struct LimitedRun {
    bool skipped = false;
    bool exited = false;
    int status = -1;
    std::string out, err;
};

// Runs `sorvel --watch path` with one user-namespace limit lowered; stops it once `ready`
// holds for what it has written (and a short grace after), or after `wait`, unless it
// ended by itself.
LimitedRun runLimited(const std::string& knob, const std::string& value, const std::string& path,
                      const TempDir& scratch, std::chrono::milliseconds wait,
                      const std::function<bool(const std::string& out, const std::string& err)>& ready = {}) {
    const std::string outPath = scratch / "out", errPath = scratch / "err";
    pid_t pid = fork();
    if (pid == 0) {
        const uid_t uid = getuid();
        const gid_t gid = getgid();
        if (unshare(CLONE_NEWUSER) != 0) _exit(77);
        writeProc("/proc/self/setgroups", "deny");
        if (!writeProc("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n")) _exit(77);
        if (!writeProc("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n")) _exit(77);
        if (!writeProc("/proc/sys/user/" + knob, value)) _exit(77);
        int out = open(outPath.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        setenv("HOME", "/nonexistent-home", 1); // paths are then shown whole
        execl(SORVEL_BINARY, SORVEL_BINARY, "--watch", path.c_str(), static_cast<char*>(nullptr));
        _exit(78);
    }
    LimitedRun run;
    auto until = std::chrono::steady_clock::now() + wait;
    bool sawReady = false;
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (ready && !sawReady && exists(outPath) && exists(errPath) && ready(readFile(outPath), readFile(errPath))) {
            sawReady = true; // a little longer, so an exit right after would still show
            until = std::min(until, std::chrono::steady_clock::now() + 300ms);
        }
        if (waitpid(pid, &status, WNOHANG) == pid) {
            run.exited = true;
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    if (!run.exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    if (run.exited && WIFEXITED(status)) {
        run.status = WEXITSTATUS(status);
        run.skipped = run.status == 77;
    }
    run.out = exists(outPath) ? readFile(outPath) : "";
    run.err = exists(errPath) ? readFile(errPath) : "";
    return run;
}

} // namespace

TEST(WatchLimits, FoldersBeyondTheWatchLimitAreNamedOnStandardError) {
    TempDir dir, scratch;
    for (int i = 0; i < 9; ++i) writeFile(dir / ("w/d" + std::to_string(i) + "/f"), "x");
    auto run = runLimited("max_inotify_watches", "4", dir / "w", scratch, 20s,
                          [](const std::string& out, const std::string& err) {
                              return std::count(out.begin(), out.end(), '\n') >= 2 && !err.empty() &&
                                     err.back() == '\n';
                          });
    if (run.skipped) GTEST_SKIP() << "no user namespaces here";
    EXPECT_FALSE(run.exited); // it goes on watching what it can
    EXPECT_EQ(run.out.rfind("watching " + dir / "w" + "\n", 0), 0u) << run.out;
    EXPECT_EQ(run.err, "sorvel: the folder watches Sorvel may use ran out: changes in 6 folders under " +
                           dir / "w" +
                           " will not be seen (raise fs.inotify.max_user_watches to watch them all)\n");
}

TEST(WatchLimits, NoEventSourceAtAllEndsWithAMessageAndStatusOne) {
    TempDir dir, scratch;
    makeDirs(dir / "w");
    auto run = runLimited("max_inotify_instances", "0", dir / "w", scratch, 20s);
    if (run.skipped) GTEST_SKIP() << "no user namespaces here";
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "sorvel: cannot watch " + dir / "w" +
                           " for changes: the system gives no file-system events for it\n");
}
