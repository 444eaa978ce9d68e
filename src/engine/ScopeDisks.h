#pragma once
// The disks a scope's places lie on. A separate /home puts the home's caches on one disk
// and /var's logs on another: each root's bytes are set against the disk that holds them,
// never against another disk's capacity.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/VolumeProbe.h"

namespace sorvel {

struct ScopeDisk {
    std::string mountPoint; // where it is mounted; empty when the mount table could not say
    VolumeStats volume;
    std::string readAt; // the path whose file system gave `volume`

    friend bool operator==(const ScopeDisk& a, const ScopeDisk& b) {
        return a.mountPoint == b.mountPoint && a.volume.totalCapacity == b.volume.totalCapacity &&
               a.volume.availableCapacity == b.volume.availableCapacity && a.volume.used() == b.volume.used() &&
               a.volume.measured == b.volume.measured;
    }
};

struct ScopeDisks {
    /// The scope's own disk first (the home's; the root file system's for Whole Disk), then
    /// each other disk a root lies on, in the order of the roots.
    std::vector<ScopeDisk> disks;
    /// Each root, present or not yet, by path: the index of its disk. A root not listed
    /// counts on the first.
    std::map<std::string, size_t> rootDisk;

    /// Reads the mount table and each disk's capacities. `own` is the path whose disk comes
    /// first (its volume as `VolumeProbe::stats` reads it); a root that does not exist
    /// lies on the disk of its nearest folder that does.
    static ScopeDisks probe(const std::string& own, const std::vector<std::string>& roots);
    /// The same disks with their capacities read again (a move or a live change freed space).
    ScopeDisks reread() const;
    size_t diskOf(const std::string& root) const;
};

} // namespace sorvel
