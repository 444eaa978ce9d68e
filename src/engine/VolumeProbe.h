#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Date.h"
#include "platform/UUID.h"

namespace sorvel {

struct VolumeStats {
    int64_t totalCapacity = 0;
    int64_t availableCapacity = 0;
    int64_t availableForImportantUsage = 0;
};

struct LocalSnapshot {
    UUID id = UUID::random();
    std::string name;
    std::optional<Date> date;
};

namespace VolumeProbe {
VolumeStats stats(const std::string& path);
std::vector<std::string> accessProbes();
bool canRead(const std::string& path);
bool hasFullDiskAccess();
std::vector<LocalSnapshot> localSnapshots();
std::string describeAccess();
} // namespace VolumeProbe

} // namespace sorvel
