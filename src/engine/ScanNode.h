#pragma once
// The size tree one walk produces. Nodes are shared by reference between the scan
// result, navigation state and the live updater.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "engine/FileEntry.h"
#include "platform/Date.h"
#include "platform/UUID.h"

namespace sorvel {

class ScanNode;
using ScanNodePtr = std::shared_ptr<ScanNode>;

/// A row of a listing: a directory node or a large file.
struct BrowseRow {
    std::variant<ScanNodePtr, FileEntry> value;

    static BrowseRow directory(ScanNodePtr node) { return BrowseRow{std::move(node)}; }
    static BrowseRow file(FileEntry entry) { return BrowseRow{std::move(entry)}; }

    bool isDirectory() const { return std::holds_alternative<ScanNodePtr>(value); }
    const ScanNodePtr& node() const { return std::get<ScanNodePtr>(value); }
    const FileEntry& fileEntry() const { return std::get<FileEntry>(value); }
    UUID id() const;
    int64_t size() const;
};

class ScanNode final {
public:
    ScanNode(std::string name, std::string path) : name(std::move(name)), path(std::move(path)) {}
    ~ScanNode();
    ScanNode(const ScanNode&) = default;
    static ScanNodePtr make(std::string name, std::string path) {
        return std::make_shared<ScanNode>(std::move(name), std::move(path));
    }

    /// Where a big subtree goes when the last hold on its folder is let go on a thread that
    /// must not stall (the window's): `here` says whether this thread is one, `away` takes
    /// the folder's children to let go of elsewhere. Without it (the default), and for a
    /// subtree of fewer than `kReclaimedFrom` folders, a folder frees its own children.
    using Here = bool (*)();
    using Away = void (*)(std::vector<ScanNodePtr> children);
    static void reclaimElsewhere(Here here, Away away);
    static constexpr int64_t kReclaimedFrom = 256;

    const UUID id = UUID::random();
    const std::string name;
    const std::string path;
    int64_t size = 0;
    int64_t directFileSize = 0;
    int64_t directFileCount = 0;
    int64_t fileCount = 0;
    int64_t dirCount = 0;
    /// Of `size`, the bytes of files that also have a name outside this folder, or one the
    /// walk never met: moving the folder leaves them on disk.
    int64_t sharedSize = 0;
    /// This folder's own part of `sharedSize`, less the files shared below whose every name
    /// lies in it (below the kept depth, everything under it).
    int64_t directSharedSize = 0;
    std::vector<ScanNodePtr> children; // largest first
    std::vector<FileEntry> largestFiles; // largest first
    bool accessDenied = false;
    /// The walk started at a plain file (a swap file root), not at a folder.
    bool isFile = false;
    /// The walk started at a symbolic link (a link put in place of a folder it measures):
    /// where the link points, as written. It is not followed, and counts no file.
    std::optional<std::string> linkTarget;
    /// Folders in this subtree, itself included, that this user may not read: kept when
    /// the nodes below the kept depth are dropped.
    int64_t unreadableFolders = 0;
    /// Nothing in this subtree could be read: the folder was refused, or it holds nothing
    /// but folders that are so. Kept when the nodes below the kept depth are dropped.
    bool nothingReadable = false;
    /// Folders in this subtree, itself included, that this user may not write (a tool made
    /// them read-only): moved to the Trash, emptying it could not delete what they hold.
    /// Kept when the nodes below the kept depth are dropped.
    int64_t unwritableFolders = 0;
    /// This folder itself is one of those.
    bool unwritable = false;
    std::optional<Date> modified;
    /// The walk of this folder was stopped before it had read it whole: entries or
    /// subfolders of its own were never read.
    bool walkCut = false;
    /// This folder or one below it was cut short: its figures cover only part of it. Kept
    /// when the nodes below the kept depth are dropped.
    bool partial = false;

    /// Marks this folder as one whose walk was stopped before it was read whole.
    void markCut() { walkCut = partial = true; }

    /// Marks this folder as one this user may not read.
    void markUnreadable() {
        accessDenied = nothingReadable = true;
        unreadableFolders = std::max<int64_t>(unreadableFolders, 1);
    }

    /// Recomputes size, fileCount, dirCount, sharedSize, unreadableFolders, unwritableFolders, nothingReadable and partial
    /// from the direct files and the children's totals, and orders the children largest first.
    void rollUpTotals();

    /// Children and large files together, largest first; at equal size directories first.
    std::vector<BrowseRow> browsableRows() const;
};

/// Stable sort, largest size first.
void sortBySizeDescending(std::vector<ScanNodePtr>& nodes);

} // namespace sorvel
