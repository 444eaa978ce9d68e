#pragma once
// Waiting on a lock file for a bounded time. A process stopped (suspended, or held in a
// debugger) while it holds a lock of Sorvel's own holds it for as long as it is stopped:
// every wait on one ends at a deadline, and the caller says what could not be done.
#include <atomic>
#include <chrono>

namespace sorvel::FileLock {

using Clock = std::chrono::steady_clock;

/// Takes flock(2) `operation` (LOCK_SH or LOCK_EX) on `fd`, trying again with short
/// pauses until `deadline` (a deadline already past: one try). 0 once held; EWOULDBLOCK
/// when another holder still has it at the deadline; else the errno of a file system that
/// keeps no such locks. With `stop`, ECANCELED as soon as it is set: one who no longer
/// wants the lock (a quit) does not wait out the deadline.
int takeBy(int fd, int operation, Clock::time_point deadline, const std::atomic<bool>* stop = nullptr);

} // namespace sorvel::FileLock
