#pragma once
// Children of a test, each waited for within a deadline. A forked child of a process with
// threads (Qt's, the settings queue's, a pool's) has only the forking thread: a lock one of
// the others held stays held there, and a queue whose thread it waits on never runs. Code
// that uses threads, queues or their locks runs in a new process of the test program
// instead (runTestInNewProcess), which starts with none of them.
#include <chrono>
#include <string>
#include <sys/types.h>

namespace sorvel::test {

/// Status of a child that had not ended by its deadline; it was killed then.
constexpr int kTimedOut = -2;
/// Status of a new process that ended without its test taking the role (isRole never held).
constexpr int kRoleNotTaken = -4;

/// Waits for the child `pid` to end, at most `deadline`. Returns its exit status, -1 when
/// it died otherwise, or kTimedOut when it was still running (it is then killed and reaped).
int waitForChild(pid_t pid, std::chrono::milliseconds deadline);

/// Starts this test program again, running only the current test, with this process's
/// environment (its HOME and XDG folders among it) and `role` as testRole(). The test,
/// taking its role (isRole), does the child's part and ends the process with its status
/// (endAs).
/// Returns that status, -1 when the child died otherwise, kTimedOut past `deadline`,
/// kRoleNotTaken when it ended without taking the role.
int runTestInNewProcess(const std::string& role, std::chrono::milliseconds deadline);

/// The process id a file holds once it holds one (a script writing `$$`); 0 when none
/// came within `deadline`.
pid_t pidInFile(const std::string& path, std::chrono::milliseconds deadline);
/// Whether the process still runs: there, and no zombie left for its new parent to reap.
bool isRunning(pid_t pid);
/// Waits for the process to stop running, at most `deadline`; true when it did.
bool endsWithin(pid_t pid, std::chrono::milliseconds deadline);

/// The role runTestInNewProcess started this process for; empty in an ordinary run.
std::string testRole();

/// True in the process started for `role`; the parent then knows its test took it.
bool isRole(const std::string& role);

/// Ends the process run for a role with `status`, its output flushed.
[[noreturn]] void endAs(int status);

} // namespace sorvel::test
