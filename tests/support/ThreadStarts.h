#pragma once
// Thread starts refused as under a process limit: this support library defines
// `pthread_create` itself, handing every start on to the system's unless refusal is on,
// when it fails with EAGAIN as the system does when no thread can be had.
#include <cstddef>

namespace sorvel::test {

/// While alive, every thread this process starts fails to start (EAGAIN).
class NoThreads {
public:
    NoThreads();
    ~NoThreads();
    NoThreads(const NoThreads&) = delete;
    NoThreads& operator=(const NoThreads&) = delete;
    /// Starts refused while this was alive.
    size_t refused() const;

private:
    size_t before_;
};

} // namespace sorvel::test
