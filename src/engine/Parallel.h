#pragma once
// Runs a fixed number of independent indexed jobs concurrently; results in index order.
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

#include "platform/Concurrency.h"

namespace sorvel::Parallel {

template <typename Job>
auto map(size_t count, Job&& job) -> std::vector<std::invoke_result_t<Job&, size_t>> {
    using T = std::invoke_result_t<Job&, size_t>;
    std::vector<T> results;
    if (count == 0) return results;
    if (count == 1) {
        results.push_back(job(size_t{0}));
        return results;
    }
    // One slot per index, each written by exactly one iteration: no lock needed.
    std::vector<std::optional<T>> slots(count);
    concurrentPerform(count, [&](size_t i) { slots[i].emplace(job(i)); });
    results.reserve(count);
    for (auto& slot : slots) {
        if (slot) results.push_back(std::move(*slot));
    }
    return results;
}

/// Lock-guarded counter shared across jobs.
class Counter final {
public:
    /// Adds 1 and returns the new value.
    int increment() {
        std::lock_guard g(lock_);
        return ++value_;
    }
    int value() const {
        std::lock_guard g(lock_);
        return value_;
    }

private:
    mutable std::mutex lock_;
    int value_ = 0;
};

} // namespace sorvel::Parallel
