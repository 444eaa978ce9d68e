// What a run leaves behind: no open descriptors, no unreaped children, and no wait past
// the deadline whatever the tool and its children do with the pipes.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/ProcessRunner.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {


int openDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    while (dirent* e = readdir(dir))
        if (e->d_name[0] != '.') ++count;
    closedir(dir);
    return count - 1; // the listing's own descriptor
}

// True when this process has no child left, running or zombie.
bool noChildren() {
    int status = 0;
    return waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD;
}

ProcessRunner::Options shortDeadline() {
    ProcessRunner::Options options;
    options.deadline = std::chrono::milliseconds(400);
    options.killGrace = std::chrono::milliseconds(100);
    return options;
}

} // namespace

TEST(ProcessRunnerCleanup, EveryPathClosesItsDescriptorsAndReaps) {
    test::TempDir dir;
    auto quick = test::writeScript(dir, "quick", "echo hi; echo there >&2");
    auto slow = test::writeScript(dir, "slow", "sleep 30");
    auto stubborn = test::writeScript(dir, "stubborn", "trap '' TERM; while :; do sleep 0.05; done");
    const int before = openDescriptors();
    ASSERT_GT(before, 0);

    EXPECT_TRUE(ProcessRunner::run(quick, {}).succeeded());
    EXPECT_TRUE(ProcessRunner::run(slow, {}, shortDeadline()).timedOut);
    EXPECT_TRUE(ProcessRunner::run(stubborn, {}, shortDeadline()).timedOut);
    EXPECT_FALSE(ProcessRunner::run(dir / "missing", {}).launched);

    EXPECT_EQ(openDescriptors(), before);
    EXPECT_TRUE(noChildren());
}

TEST(ProcessRunnerCleanup, AChildThatLeavesTheGroupCannotHoldTheCallerPastTheDeadline) {
    test::TempDir dir;
    // The tool exits at once, but a child in a session of its own keeps both pipes.
    auto tool = test::writeScript(dir, "escape", "setsid sleep 5 & echo started");
    const auto start = Clock::now();
    auto r = ProcessRunner::run(tool, {}, shortDeadline());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(r.launched);
    EXPECT_EQ(r.out, "started\n");
    EXPECT_TRUE(noChildren());
}

TEST(ProcessRunnerCleanup, AToolThatClosesItsOutputButNeverExitsIsStopped) {
    test::TempDir dir;
    auto tool = test::writeScript(dir, "quiet", "echo bye; exec >&- 2>&-; sleep 30");
    const auto start = Clock::now();
    auto r = ProcessRunner::run(tool, {}, shortDeadline());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.out, "bye\n");
    EXPECT_TRUE(noChildren());
}

TEST(ProcessRunnerCleanup, WorksWhenTheCallersStandardStreamsAreClosed) {
    // The pipes then take descriptors 0 to 2 themselves; the tool must still get its
    // output pipe as standard output.
    fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(0);
        close(1);
        close(2);
        auto r = ProcessRunner::run("/bin/echo", {"through"});
        _exit(!r.succeeded() ? 1 : r.out == "through\n" ? 0 : 2);
    }
    EXPECT_EQ(test::waitForChild(pid, test::kChildDeadline), 0);
}
