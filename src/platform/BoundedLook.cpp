#include "platform/BoundedLook.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

namespace sorvel {
namespace {

constexpr std::chrono::milliseconds kDefaultBound{3000};

// One helper thread and the mount it looks at. It holds its place from before its thread
// starts until its look returns, however long that takes.
struct Flight {
    bool finished = false;
    bool blocked = false; // its caller stopped waiting: the mount did not answer
};

struct Registry {
    std::mutex mutex;
    std::condition_variable changed; // a look ended or was found blocked
    std::optional<std::chrono::milliseconds> bound;
    std::map<std::string, std::shared_ptr<Flight>> flights; // key -> its one look in flight
    int blockedCount = 0;
};

Registry& registry() {
    static auto* shared = new Registry; // helpers left blocked may use it at exit
    return *shared;
}

using Clock = std::chrono::steady_clock;

// Under the registry's lock: waits until a place for a look under `key` is free, reserves
// it and returns it; none when the key's look did not answer, when every place is held by
// looks that did not, or when `deadline` passes first.
std::shared_ptr<Flight> reserve(Registry& r, std::unique_lock<std::mutex>& lock, const std::string& key,
                                Clock::time_point deadline) {
    for (;;) {
        if (const auto it = r.flights.find(key); it != r.flights.end()) {
            // Another look at this mount: its answer is waited for, never a second thread.
            if (it->second->blocked) return nullptr;
        } else if (static_cast<int>(r.flights.size()) >= kMostBlockedLooks) {
            if (r.blockedCount >= static_cast<int>(r.flights.size())) return nullptr;
        } else {
            auto flight = std::make_shared<Flight>();
            r.flights.emplace(key, flight);
            return flight;
        }
        if (r.changed.wait_until(lock, deadline) == std::cv_status::timeout) return nullptr;
    }
}

// The helper's end: its place is given back, and the mount may be asked again.
void land(const std::string& key, const std::shared_ptr<Flight>& flight) {
    Registry& r = registry();
    {
        std::lock_guard lock(r.mutex);
        flight->finished = true;
        if (flight->blocked) --r.blockedCount;
        if (const auto it = r.flights.find(key); it != r.flights.end() && it->second == flight) r.flights.erase(it);
    }
    r.changed.notify_all();
}

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
    const auto it = r.flights.find(key);
    return it != r.flights.end() && it->second->blocked;
}

bool runBoundedLook(const std::string& key, std::function<void()> look) {
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    const std::chrono::milliseconds bound = r.bound.value_or(kDefaultBound);
    const std::shared_ptr<Flight> flight = reserve(r, lock, key, Clock::now() + bound);
    if (!flight) return false;
    lock.unlock();
    try {
        std::thread([flight, key, look = std::move(look)] {
            look();
            land(key, flight);
        }).detach();
    } catch (const std::system_error&) {
        land(key, flight);
        return false;
    }
    lock.lock();
    if (r.changed.wait_for(lock, bound, [&] { return flight->finished; })) return true;
    // Left blocked: it keeps its place, and looks at its mount fail at once until it answers.
    flight->blocked = true;
    ++r.blockedCount;
    lock.unlock();
    r.changed.notify_all();
    return false;
}

} // namespace sorvel
