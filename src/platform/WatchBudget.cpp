#include "platform/WatchBudget.h"

#include <cstdio>
#include <mutex>

namespace sorvel::WatchBudget {
namespace {

// The kernel's old default, for a system that does not say.
constexpr size_t kAssumedMaxUserWatches = 8192;

struct State {
    std::mutex mutex;
    size_t held = 0;
    size_t limit = 0; // nothing may be taken before the first open
    bool refused = false;
    std::optional<size_t> override;
};

State& state() {
    static State s;
    return s;
}

size_t systemMaxUserWatches() {
    size_t value = 0;
    if (std::FILE* f = std::fopen("/proc/sys/fs/inotify/max_user_watches", "re")) {
        unsigned long long read = 0;
        if (std::fscanf(f, "%llu", &read) == 1) value = static_cast<size_t>(read);
        std::fclose(f);
    }
    return value > 0 ? value : kAssumedMaxUserWatches;
}

} // namespace

size_t shareOf(size_t maxUserWatches) {
    return maxUserWatches / 4 > 0 ? maxUserWatches / 4 : 1;
}

void open() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.held != 0 && s.limit != 0) return; // other streams are watching under the current share
    s.limit = s.override ? *s.override : shareOf(systemMaxUserWatches());
    s.refused = false;
}

bool take() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.refused || s.held >= s.limit) return false;
    ++s.held;
    return true;
}

void giveBack(size_t count) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.held = count > s.held ? 0 : s.held - count;
}

void refuse() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.refused = true;
}

size_t held() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.held;
}

size_t limit() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return s.limit;
}

void overrideLimit(std::optional<size_t> limit) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.override = limit;
    s.limit = limit ? *limit : shareOf(systemMaxUserWatches());
    s.refused = false;
}

} // namespace sorvel::WatchBudget
