#pragma once
// What the machine says about itself: the home volume's capacities, whether the
// process can read the protected places, and the local snapshots. Nothing is kept;
// every call reads afresh.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Date.h"
#include "platform/UUID.h"

namespace sorvel {

struct VolumeStats {
    VolumeStats() = default;
    VolumeStats(int64_t total, int64_t available, int64_t availableForImportantUsage,
                std::optional<int64_t> used = std::nullopt)
        : totalCapacity(total), availableCapacity(available),
          availableForImportantUsage(availableForImportantUsage), usedCapacity(used) {}

    int64_t totalCapacity = 0;
    int64_t availableCapacity = 0;
    int64_t availableForImportantUsage = 0;
    /// In use as df counts it (blocks minus free blocks): total minus available would
    /// also count the blocks reserved for root. None when not measured.
    std::optional<int64_t> usedCapacity;
    /// False when neither the volume asked for nor the root file system could be read: the
    /// figures are then no sizes ("not measured"), never a disk of 0 bytes.
    bool measured = true;

    /// The used space; without a measured figure, total minus available (never below 0).
    int64_t used() const;
};

struct LocalSnapshot {
    UUID id = UUID::random();
    std::string name;
    std::optional<Date> date;
};

namespace VolumeProbe {

inline constexpr const char* kSnapshotTool = "/usr/bin/tmutil";

/// The volume that holds the path; the root file system's when that cannot be read (a
/// home this user may not enter, or none); not measured when neither can.
VolumeStats stats(const std::string& path);
std::vector<std::string> accessProbes();
bool canRead(const std::string& path);
bool hasFullDiskAccess();
/// Newest first; empty when the tool is missing, fails or prints nothing usable.
/// Tests pass a stand-in for the tool.
std::vector<LocalSnapshot> localSnapshots(const std::string& tool = kSnapshotTool);
/// The snapshots named by the tool's output lines, newest first.
std::vector<LocalSnapshot> snapshotsFromOutput(const std::string& output);
/// "yyyy-MM-dd-HHmmss" in the local time zone; none when the text does not fit.
std::optional<Date> snapshotDate(const std::string& stamp);
/// The multi-line access report, without a final newline.
std::string describeAccess();

} // namespace VolumeProbe

} // namespace sorvel
