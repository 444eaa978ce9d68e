#include "platform/BoundedLook.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace sorvel {
namespace {

constexpr std::chrono::milliseconds kDefaultBound{3000};

struct Registry {
    std::mutex mutex;
    std::optional<std::chrono::milliseconds> bound;
    std::map<std::string, int> blocked; // key -> looks under it left blocked
    int blockedCount = 0;
};

Registry& registry() {
    static auto* shared = new Registry; // helpers left blocked may use it at exit
    return *shared;
}

struct Look {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
};

} // namespace

std::chrono::milliseconds lookBound() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.bound.value_or(kDefaultBound);
}

void setLookBound(std::optional<std::chrono::milliseconds> bound) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.bound = bound;
}

bool lookBlocked(const std::string& key) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.blocked.count(key) != 0;
}

bool runBoundedLook(const std::string& key, std::function<void()> look) {
    Registry& r = registry();
    std::chrono::milliseconds bound;
    {
        std::lock_guard lock(r.mutex);
        if (r.blocked.count(key) || r.blockedCount >= kMostBlockedLooks) return false;
        bound = r.bound.value_or(kDefaultBound);
    }
    auto state = std::make_shared<Look>();
    try {
        std::thread([state, key, look = std::move(look)] {
            look();
            Registry& shared = registry();
            bool wasAbandoned = false;
            {
                std::lock_guard lock(state->mutex);
                state->finished = true;
                wasAbandoned = state->abandoned;
            }
            state->done.notify_all();
            if (!wasAbandoned) return;
            // It answered after all: the mount may be asked again.
            std::lock_guard lock(shared.mutex);
            if (auto it = shared.blocked.find(key); it != shared.blocked.end() && --it->second == 0)
                shared.blocked.erase(it);
            --shared.blockedCount;
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock lock(state->mutex);
    if (state->done.wait_for(lock, bound, [&] { return state->finished; })) return true;
    // Counted before the helper can see it abandoned, so its own count-down comes after.
    state->abandoned = true;
    std::lock_guard registryLock(r.mutex);
    ++r.blocked[key];
    ++r.blockedCount;
    return false;
}

} // namespace sorvel
