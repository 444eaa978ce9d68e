#include "support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <fstream>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace sorvel::test {
namespace {

constexpr const char* kRoleVariable = "SORVEL_TEST_ROLE";
// A file the child marks once its test takes the role: a child whose test never ran says nothing.
constexpr const char* kEndVariable = "SORVEL_TEST_ROLE_END";

using Clock = std::chrono::steady_clock;

// The child's status once it has ended, reaped; nothing while it runs.
std::optional<int> reapIfEnded(pid_t pid) {
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1; // not our child, or already reaped
        return std::nullopt;
    }
}

// Blocks until the child's descriptor says it ended or the deadline comes; without
// descriptors for processes, a short nap and the caller looks again.
void awaitEnd(int pidfd, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return;
    if (pidfd < 0) {
        std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(10)));
        return;
    }
    pollfd p{pidfd, POLLIN, 0};
    (void)::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
}

} // namespace

int waitForChild(pid_t pid, std::chrono::milliseconds deadline) {
    if (pid <= 0) return -1;
    const auto end = Clock::now() + deadline;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    std::optional<int> status;
    while (!(status = reapIfEnded(pid)) && Clock::now() < end) awaitEnd(pidfd, end);
    if (!status) {
        std::fprintf(stderr, "child %d still running after %lld ms: killed\n", static_cast<int>(pid),
                     static_cast<long long>(deadline.count()));
        ::kill(pid, SIGKILL);
        int ignored = 0;
        while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
        }
        status = kTimedOut;
    }
    if (pidfd >= 0) ::close(pidfd);
    return *status;
}

int runTestInNewProcess(const std::string& role, std::chrono::milliseconds deadline) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!test) return -1;
    std::vector<std::string> args{"/proc/self/exe",
                                  std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name(),
                                  "--gtest_repeat=1", "--gtest_also_run_disabled_tests"};
    // The one test runs whatever shard this process is; its report is the parent's to write.
    char mark[] = "/tmp/sorvel-role-XXXXXX";
    const int markFd = ::mkstemp(mark);
    if (markFd < 0) return -1;
    ::fchmod(markFd, 0666); // a child may drop to another user first
    ::close(markFd);
    std::vector<std::string> env{std::string(kRoleVariable) + "=" + role, std::string(kEndVariable) + "=" + mark};
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (name == kRoleVariable || name == kEndVariable || name == "GTEST_TOTAL_SHARDS" || name == "GTEST_SHARD_INDEX" ||
            name == "GTEST_OUTPUT" || name == "GTEST_SHARD_STATUS_FILE")
            continue;
        env.push_back(entry);
    }
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The child's own test banner would read as this run's; what it says on errors stays.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::fflush(nullptr);
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = failed == 0 ? waitForChild(pid, deadline) : -1;
    struct stat marked {};
    if (status >= 0 && (::stat(mark, &marked) != 0 || marked.st_size == 0)) {
        std::fprintf(stderr, "the new process never took the role \"%s\"\n", role.c_str());
        status = kRoleNotTaken;
    }
    ::unlink(mark);
    return status;
}

std::string testRole() {
    const char* role = std::getenv(kRoleVariable);
    return role ? role : "";
}

bool isRole(const std::string& role) {
    if (testRole() != role) return false;
    // Marked as taken before its work, which may end the process its own way.
    if (const char* mark = std::getenv(kEndVariable)) {
        const int fd = ::open(mark, O_WRONLY | O_CLOEXEC);
        if (fd >= 0) {
            (void)!::write(fd, "1", 1);
            ::close(fd);
        }
        ::unsetenv(kEndVariable);
    }
    return true;
}

void endAs(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

pid_t pidInFile(const std::string& path, std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    while (Clock::now() < until) {
        std::ifstream in(path);
        pid_t pid = 0;
        if (in >> pid && pid > 0) return pid;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 0;
}

bool isRunning(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return false;
    const auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

bool endsWithin(pid_t pid, std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    while (isRunning(pid)) {
        if (Clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

} // namespace sorvel::test
