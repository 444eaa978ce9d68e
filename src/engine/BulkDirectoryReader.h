#pragma once
// Reads every entry of one open directory with bulk attribute reads.
#include <cstdint>
#include <dirent.h>
#include <optional>
#include <string>

#include "platform/Date.h"

namespace sorvel {

/// One directory entry as the walkers see it.
struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
    bool isRegularFile = false;
    bool isSymlink = false;
    int64_t allocatedSize = 0;
    uint32_t linkCount = 1;
    uint64_t device = 0; // kept 64-bit: Linux device numbers are wider than 32 bits
    uint64_t fileID = 0;
    std::optional<bool> mountRoot; // whether it is the root of a mount, where the kernel says
    std::optional<Date> modified;

    friend bool operator==(const DirectoryEntry&, const DirectoryEntry&) = default;
};

namespace BulkDirectoryReader {

/// Reads the directory behind `directoryFD` (owned by the caller: not opened, rewound or
/// closed here) and hands each entry to `sink` in listing order. False when not a single
/// batch could be read, so the caller must fall back to readdir + fstatat.
/// The sink is called as sink(const DirectoryEntry&); the entry it sees is reused for
/// the next record, so the sink copies what it keeps.
template <typename Sink> bool read(int directoryFD, Sink&& sink);

/// The second way: rewinds the stream, then readdir + a look without following links at
/// each entry other than "." and "..", leaving out entries that cannot be described.
/// Builds the same values as `read`.
template <typename Sink> void readFallback(DIR* directory, Sink&& sink);

/// `read`, then `readFallback` when the bulk way read nothing; closes the descriptor.
template <typename Sink> void readThenClose(int directoryFD, Sink&& sink);

/// The same, leaving the caller's descriptor open (the second way reads through a
/// duplicate of it).
template <typename Sink> void readAll(int directoryFD, Sink&& sink);

} // namespace BulkDirectoryReader
} // namespace sorvel

#include "engine/BulkDirectoryReader.inl"
