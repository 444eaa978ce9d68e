#include "platform/VolumeCapacity.h"

#include <sys/statvfs.h>

#include <cerrno>
#include <limits>

namespace sorvel {

namespace {
int64_t product(unsigned long long a, unsigned long long b) {
    unsigned long long result = 0;
    if (__builtin_mul_overflow(a, b, &result) ||
        result > static_cast<unsigned long long>(std::numeric_limits<int64_t>::max()))
        return std::numeric_limits<int64_t>::max();
    return static_cast<int64_t>(result);
}
} // namespace

std::optional<VolumeCapacity> volumeCapacity(const std::string& path) {
    struct statvfs st {};
    int rc;
    do {
        rc = ::statvfs(path.c_str(), &st);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return std::nullopt;
    VolumeCapacity c;
    c.total = product(st.f_blocks, st.f_frsize);
    c.available = product(st.f_bavail, st.f_frsize);
    c.availableForImportantUsage = c.available;
    c.used = product(st.f_blocks > st.f_bfree ? st.f_blocks - st.f_bfree : 0, st.f_frsize);
    return c;
}

} // namespace sorvel
