#pragma once
// Facts about the running process's system.
#include <cstdint>

namespace sorvel::ProcessInfo {

struct OperatingSystemVersion {
    int64_t major = 0;
    int64_t minor = 0;
    int64_t patch = 0;
};

/// The running kernel's release as (major, minor, patch): the leading dot-separated
/// numbers of uname's release ("6.1.0-18-amd64" gives 6, 1, 0); missing parts are 0.
OperatingSystemVersion operatingSystemVersion();

} // namespace sorvel::ProcessInfo
