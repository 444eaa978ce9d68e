#pragma once
// A category as screens show it and as a walk needs it; both scopes take this form.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/StorageCategory.h"
#include "engine/Tint.h"
#include "platform/MountTable.h"

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
    /// What the category is read from could not be read (the kernel's list of swap files):
    /// the place and the system's reason. Its figures then say nothing.
    std::optional<std::string> unreadable;
    /// What it holds that no root shows, one sentence each (a swap file whose name was deleted).
    std::vector<std::string> notes;

    /// Equal by identifier alone.
    friend bool operator==(const DisplayCategory& a, const DisplayCategory& b) { return a.id == b.id; }

    /// Display order; evaluated afresh on every call (Whole Disk lists "/" each time).
    static std::vector<DisplayCategory> categories(ScanScope scope);
    static const std::set<std::string>& wholeDiskExclusions();
    /// The title a category of this identifier is shown with, without listing anything:
    /// a storage category's own title, a whole-disk directory's name ("disk:/usr" is
    /// "usr"), or the identifier itself when it is neither.
    static std::string titleFor(const std::string& id);

    /// One category per top-level directory of `top` that holds data of a disk: a folder
    /// of the top's own file system, or the mount point of a local disk file system
    /// (walked on its own device). Pseudo, memory and network mounts are left out.
    /// Production lists "/" with this process's mount table; tests pass a folder and a
    /// table of their own. Paths are `top` joined with each name; blurbs and exclusions
    /// are matched on "/" + name. Without a mount table, only folders on the top's own
    /// device count.
    static std::vector<DisplayCategory> wholeDiskCategories(const std::string& top = "/");
    static std::vector<DisplayCategory> wholeDiskCategories(const std::string& top,
                                                            const std::vector<MountEntry>& mounts);
};

} // namespace sorvel
