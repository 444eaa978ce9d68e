#pragma once
// Capacities of the volume that holds a path. This platform has no purgeable space, so
// the figure for important usage is the available figure.
#include <cstdint>
#include <optional>
#include <string>

namespace sorvel {

struct VolumeCapacity {
    int64_t total = 0;
    int64_t available = 0;
    int64_t availableForImportantUsage = 0;
};

/// None when the volume cannot be read.
std::optional<VolumeCapacity> volumeCapacity(const std::string& path);

} // namespace sorvel
