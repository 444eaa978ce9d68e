#pragma once
// Another process holding a lock file, as another Sorvel writing the file would, and the
// short wait and deadline the tests of such holds use.
#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <sys/types.h>

#include "platform/UserDefaults.h"

namespace sorvel::test {

/// Forks a child that takes an exclusive lock on `path` (a file, made when missing, or a
/// folder such as the Trash's records folder) and then keeps
/// it: `stopped` stops itself (SIGSTOP, as a process suspended or held in a debugger);
/// `waiting` waits for its release. Released (killed) by `release` or at the object's end,
/// and with this process should it end first.
class LockHolder {
public:
    enum class How { stopped, waiting };
    LockHolder(const std::string& path, How how);
    ~LockHolder();
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

    /// True once the child holds the lock (and, stopped, is stopped).
    bool holding() const { return holding_; }
    void release();

private:
    pid_t pid_ = -1;
    bool holding_ = false;
};

const char* name(LockHolder::How how);

/// Shortens the wait for the settings' and the history's locks for the object's life; the
/// real wait is a few seconds.
struct ShortLockWait {
    std::chrono::milliseconds before = UserDefaults::setLockWait(std::chrono::milliseconds(200));
    ~ShortLockWait() { UserDefaults::setLockWait(before); }
};

/// Runs `call` on a thread of its own and gives its value when it ends within `deadline`.
/// One that does not is freed by the holder's release, so the test fails rather than hangs.
template <class Call> auto within(Call call, LockHolder& holder, std::chrono::seconds deadline = std::chrono::seconds(20)) {
    auto future = std::async(std::launch::async, call);
    const bool ended = future.wait_for(deadline) == std::future_status::ready;
    if (!ended) holder.release();
    auto value = future.get();
    return ended ? std::optional<decltype(value)>(std::move(value)) : std::nullopt;
}

} // namespace sorvel::test
