#pragma once
// Capacities of the volume that holds a path. This platform has no purgeable space, so
// the figure for important usage is the available figure. Available is what an ordinary
// user may still write; the blocks reserved for root are neither available nor used.
#include <cstdint>
#include <optional>
#include <string>

namespace sorvel {

struct VolumeCapacity {
    int64_t total = 0;
    int64_t available = 0;
    int64_t availableForImportantUsage = 0;
    int64_t used = 0; // blocks minus free blocks, as df counts them
};

/// None when the volume cannot be read.
std::optional<VolumeCapacity> volumeCapacity(const std::string& path);

} // namespace sorvel
