#pragma once
// A process-wide value that tests (and only tests) replace, read from any thread.
#include <mutex>
#include <utility>

namespace sorvel {

template <typename T> class Replaceable {
public:
    explicit Replaceable(T initial) : value_(std::move(initial)) {}
    T get() const {
        std::lock_guard<std::mutex> guard(lock_);
        return value_;
    }
    void set(T value) {
        std::lock_guard<std::mutex> guard(lock_);
        value_ = std::move(value);
    }

private:
    mutable std::mutex lock_;
    T value_;
};

} // namespace sorvel
