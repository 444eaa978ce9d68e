#pragma once
// The mounts this process sees, read from /proc/self/mountinfo.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sorvel {

struct MountEntry {
    std::string mountPoint; // unescaped bytes
    std::string fsType;
    uint64_t device = 0;    // as st_dev reports it
};

/// Every mount in the order the kernel lists them (a later one may cover an earlier);
/// empty when the table cannot be read.
std::vector<MountEntry> readMountTable();

/// The entries of one mountinfo text; lines that do not parse are skipped.
std::vector<MountEntry> parseMountTable(const std::string& text);

/// The mount that holds the absolute path as written: the longest mount point that
/// contains it, the last listed among equals (the one on top).
std::optional<MountEntry> mountContaining(const std::vector<MountEntry>& mounts, const std::string& path);

} // namespace sorvel
