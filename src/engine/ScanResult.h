#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/CleanupItem.h"
#include "engine/DisplayCategory.h"
#include "engine/InstalledApps.h"
#include "engine/Reading.h"
#include "engine/ScanNode.h"
#include "engine/ScopeDisks.h"
#include "engine/SharedLinks.h"
#include "engine/VolumeProbe.h"
#include "platform/BaseFolders.h"
#include "platform/Date.h"

namespace sorvel {

struct CategoryResult {
    DisplayCategory category;
    std::vector<ScanNodePtr> roots; // largest first

    const std::string& id() const { return category.id; }
    int64_t total() const;
    std::vector<BrowseRow> browsableRows() const;
    /// Folders of the category this user may not read; from 1 on it is partly unreadable.
    int64_t unreadableFolders() const;
    /// Every root refused this user, or what its roots come from could not be read and no
    /// root was: nothing of the category could be read.
    bool unreadable() const;
    /// Some of it could not be read, the rest could.
    bool partlyUnreadable() const { return unreadableFolders() > 0 && !unreadable(); }
    /// A stop cut the walk of some root short: the figures cover only part of the category.
    bool partial() const;
    /// How its roots were read, joined: `unmeasured` when a stop came before any root
    /// counted a byte (its total is then no figure), `partial` when one did.
    Reading reading() const;
    /// No root gave a figure and a stop kept one from counting: shown as "not measured".
    bool notMeasured() const { return reading() == Reading::unmeasured; }
    /// For each root that is a symbolic link (not followed): "~/.cache is a link to
    /// /mnt/disk/cache, not followed".
    std::vector<std::string> linkNotes() const;
};

/// What is said of a root that is a symbolic link, as above.
std::string linkNote(const ScanNode& root);

struct ScanResult {
    ScanScope scope = ScanScope::systemData;
    std::vector<CategoryResult> categories;
    /// The scope's own disk: the home's, or the root file system's for Whole Disk.
    VolumeStats volume;
    /// Every disk the scope's places lie on, the first being `volume`'s; none when not probed.
    ScopeDisks disks;
    std::vector<LocalSnapshot> snapshots;
    InstalledApps installedApps;
    double duration = 0;
    Date finishedAt = now();
    bool fullDiskAccess = false;
    int64_t unreadableFolders = 0; // folders the walk met that this user may not read
    int64_t mountedFolders = 0;    // folders left out where something is mounted
    /// A category root that did not exist when the scan looked (a Trash never used yet):
    /// it is measured whole once it comes into being, and counted from then on.
    struct MissingRoot {
        std::string categoryID;
        std::string path;
        friend bool operator==(const MissingRoot&, const MissingRoot&) = default;
    };
    std::vector<MissingRoot> missingRoots;
    /// Base-folder values of the environment that were not taken, with why (said once).
    std::vector<BaseFolders::SetAside> setAsideFolders;
    std::vector<CleanupItem> cleanupItems;

    /// The root at `path` is gone from the disk: it leaves its category (the category too
    /// when it was the last) and joins `missingRoots`, to be measured whole if it comes
    /// back, as a fresh scan would leave it. False when no category has that root.
    bool leaveRoot(const std::string& path);

    ScanNodePtr node(const std::string& path) const;
    /// Of what this result counted at `path`, the bytes held by names outside it too: moving
    /// it would not free them.
    int64_t sharedBytes(const std::string& path) const;
    /// The size of what is at `path` as this result read it. A path the tree does not hold
    /// is no 0: under a refused folder it is unread, under one a stop left unread it is not
    /// measured, and past the kept depth or outside every root it is measured afresh.
    Measured measured(const std::string& path) const;
    /// Something was there to measure and none of it could be read: every root of every
    /// category refused this user. Totals of zero then say nothing about the disk.
    bool nothingReadable() const;
    /// Some category's walk was cut short by a stop.
    bool partial() const;
    /// A stop came before any category counted a byte: its total is no figure.
    bool notMeasured() const;
    const CategoryResult* category(const std::string& id) const;
    int64_t reclaimable() const;
    std::vector<CategoryResult> sortedCategories() const;

    /// A disk with what this result measured on it.
    struct DiskFigures {
        std::string mountPoint; // empty when not known
        VolumeStats volume;
        int64_t scanned = 0;
    };
    /// Each disk the scope's places lie on, its own first (`volume`, with every root not
    /// placed on another); one entry when all lie on one disk or none were probed.
    std::vector<DiskFigures> diskFigures() const;
};

} // namespace sorvel
