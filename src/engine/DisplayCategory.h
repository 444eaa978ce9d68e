#pragma once
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/StorageCategory.h"
#include "engine/Tint.h"

namespace sorvel {

struct DisplayCategory {
    std::string id;
    std::string title;
    std::string blurb;
    Tint tint;
    std::vector<std::string> roots;
    std::set<std::string> excludedPaths;
    std::optional<StorageCategory> storage;
    bool stayOnDevice = true;

    /// Equal by identifier alone.
    friend bool operator==(const DisplayCategory& a, const DisplayCategory& b) { return a.id == b.id; }

    /// Display order; evaluated afresh on every call (Whole Disk lists "/" each time).
    static std::vector<DisplayCategory> categories(ScanScope scope);
    static const std::set<std::string>& wholeDiskExclusions();
};

} // namespace sorvel
