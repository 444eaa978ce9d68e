#pragma once
// A table made by hand lists mounts the kernel never names: while one is in use, a path's
// mount is named by the listing instead, the longest listed point holding the path (the
// last listed of a stack).
#include <optional>
#include <string>
#include <vector>

#include "platform/MountTable.h"
#include "platform/Path.h"

namespace sorvel::test {

inline std::optional<int64_t> namedByListing(const std::vector<MountEntry>& table, const std::string& path) {
    const MountEntry* deepest = nullptr;
    for (const auto& m : table)
        if (isPathInside(path, m.mountPoint) && (!deepest || m.mountPoint.size() >= deepest->mountPoint.size()))
            deepest = &m;
    return deepest ? std::optional<int64_t>(deepest->id) : std::nullopt;
}

/// While alive, mounts are named by the listing of `table`, or of the table read from the
/// mount table path at each call when none is given.
struct NamedByListing {
    explicit NamedByListing(std::optional<std::vector<MountEntry>> table = std::nullopt) {
        setMountNaming(
            [table](const std::string& path) { return namedByListing(table ? *table : readMountTable(), path); });
    }
    ~NamedByListing() { setMountNaming(nullptr); }
    NamedByListing(const NamedByListing&) = delete;
    NamedByListing& operator=(const NamedByListing&) = delete;
};

} // namespace sorvel::test
