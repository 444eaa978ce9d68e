#pragma once
// A look at a mount that another process serves (a FUSE daemon, a network share) can block in
// the kernel for as long as that process does not answer, and no signal ends it. Such a look
// runs on a helper thread that is waited for a few seconds at most: past that it is left
// blocked, the look counts as unanswered, and the same mount is not asked again while it
// stays blocked. A look holds its place, and its mount, from before its thread starts: one
// thread per mount at a time and a few in all, so a mount that stops answering holds at
// most one thread whatever number of callers come at once.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace sorvel {

/// How long a look is waited for (a few seconds), and how many helpers may run at once.
std::chrono::milliseconds lookBound();
constexpr int kMostBlockedLooks = 4;

/// Sets the bound for this process (tests); none restores the default.
void setLookBound(std::optional<std::chrono::milliseconds> bound);

/// Runs `look` on a helper thread and waits for it at most `lookBound()`: true when it ran to
/// its end in time. While another look under the same key runs, or every place is taken,
/// first waits at most `lookBound()` for it to end. False at once when the key's look is
/// blocked, or when every place is held by blocked looks; false when no thread can be made.
bool runBoundedLook(const std::string& key, std::function<void()> look);

/// Whether a look under the key is still blocked.
bool lookBlocked(const std::string& key);

/// The value `look` gives, or none when it did not answer in time (as for runBoundedLook).
template <class T>
std::optional<T> boundedLook(const std::string& key, std::function<T()> look) {
    // Shared with the helper, which may outlive this call.
    auto slot = std::make_shared<std::optional<T>>();
    if (!runBoundedLook(key, [slot, look = std::move(look)] { *slot = look(); })) return std::nullopt;
    return std::move(*slot);
}

} // namespace sorvel
