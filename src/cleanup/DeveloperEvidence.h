#pragma once
// Xcode's build folders and device-support symbols: which are dead, which still serve a
// project, and whether Xcode is running right now.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cleanup/EvidenceSize.h"
#include "platform/Date.h"
#include "platform/UUID.h"

namespace sorvel {

struct DeveloperEvidence {
    struct DerivedDataEntry {
        UUID id = UUID::random();
        std::string path;
        std::string folderName;
        std::optional<std::string> workspacePath;
        std::optional<Date> lastAccessed;
        int64_t size = 0; // 0 and no figure when nothing of it was read
        bool projectMissing = false;
        /// How much of the folder and its record this user could read: a folder not read,
        /// or not measured, has no size, no project and no verdict; one read in part has a
        /// lower bound.
        Reading reading = Reading::whole;
        /// Its info.plist is there but refused this user: whether its project exists is not
        /// known, so it is neither orphaned nor in use.
        bool recordRefused = false;

        /// Caches beside the project folders that always count as orphaned.
        static const std::set<std::string> &sharedCaches();
    };
    struct DeviceSupportEntry {
        UUID id = UUID::random();
        std::string path;
        std::string name;
        int64_t size = 0;
        std::optional<Date> lastModified;
        bool superseded = false;
        Reading reading = Reading::whole;
    };

    std::vector<DerivedDataEntry> derivedData;     // largest first
    std::vector<DeviceSupportEntry> deviceSupport; // largest first
    bool xcodeIsRunning = false;
    /// The folders looked in whose entries this user could not read (or could not reach):
    /// what they hold is missing above.
    std::vector<std::string> unreadable;
    /// How many of the folders looked in could be read, whether or not anything was there.
    int foldersRead = 0;

    /// Build folders this user could not read at all: listed apart, never counted or judged.
    std::vector<DerivedDataEntry> unreadDerivedData() const;
    /// Build folders a stop kept from being measured: listed apart, never counted or judged.
    std::vector<DerivedDataEntry> unmeasuredDerivedData() const;
    /// Build folders whose project is gone, and the shared caches (measured ones only).
    std::vector<DerivedDataEntry> orphanedDerivedData() const;
    /// Build folders of projects that still exist.
    std::vector<DerivedDataEntry> liveDerivedData() const;
    std::vector<DeviceSupportEntry> supersededDeviceSupport() const;
};

namespace DeveloperInspector {

inline constexpr const char *kXcodeBundleIdentifier = "com.apple.dt.Xcode";

/// The evidence, with the running applications read from the system.
DeveloperEvidence inspect(const SizeFunction &sizeOf);
/// The evidence, given the bundle identifiers of the running applications.
DeveloperEvidence inspect(const SizeFunction &sizeOf,
                          const std::vector<std::string> &runningBundleIdentifiers);

/// Numeric string comparison: digit runs compare by value ("16.10" > "16.9").
/// Negative, zero or positive like strcmp.
int compareNumerically(const std::string &a, const std::string &b);
/// The first space-separated word of a device-support name.
std::string versionWord(const std::string &name);
/// True only when looking the path up fails because nothing is there: an unreachable
/// place (permissions, an unmounted disk) is not a missing project.
bool isMissing(const std::string &path);

} // namespace DeveloperInspector

} // namespace sorvel
