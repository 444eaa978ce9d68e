#pragma once
// Thread starts refused as under a process limit: the support library defines
// `pthread_create`, handing each start on to the next definition (the C library's, or a
// sanitiser's) unless refusal is on, when it fails with EAGAIN as the system would.
#include <cstddef>

namespace sorvel::test {

/// While alive, every thread this process starts fails to start.
class NoThreads {
public:
    NoThreads();
    ~NoThreads();
    /// Starts refused while this was alive.
    size_t refused() const;

private:
    size_t before_;
};

} // namespace sorvel::test
