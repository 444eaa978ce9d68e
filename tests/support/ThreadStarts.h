#pragma once
// While a NoThreads lives, every thread start fails with EAGAIN as under a process limit.
#include <cstddef>

namespace sorvel::test {

struct NoThreads {
    NoThreads();
    ~NoThreads();
    size_t refused() const; ///< starts refused while this was alive
    const size_t before;
};

} // namespace sorvel::test
