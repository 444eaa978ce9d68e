#pragma once
// The editing side of folding moved items into a scanned tree. Tens of thousands of items may
// share one folder (the Trash lists every file it holds): a path's nodes are found through an
// index of each folder's children by name, each node on the way is copied once however many
// items pass through it, and the files listed in a folder are taken off and added through an
// index and put in order once at the end. A fold thus costs the items it moves, not their
// square. Whoever holds the nodes from before keeps them as they were.
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/FileEntry.h"
#include "engine/ScanResult.h"

namespace sorvel {

class TreeEditor {
public:
    explicit TreeEditor(ScanResult& result) : result_(result) {}

    struct Found {
        std::vector<ScanNode*> chain;       // writable copies, the root first
        std::vector<std::string_view> rest; // the path's pieces below the last one
        size_t slot = 0;                    // the last one's place among its parent's children
        size_t category = 0;                // where the chain's root is listed
        size_t root = 0;
    };

    /// The nodes holding the path, made writable; none when no root of a category that
    /// counts the path holds it.
    std::optional<Found> open(std::string_view path);

    /// A folder whose nodes below the kept depth were dropped: its figures hold theirs.
    bool collapsed(const ScanNode& node) const { return collapsed_.count(&node) > 0; }

    /// Takes the file listed at `path` off the folder's list; none when it is not listed.
    std::optional<FileEntry> unlist(ScanNode& folder, std::string_view path);
    bool listed(ScanNode& folder, std::string_view path);
    /// Lists a file in the folder; it takes its place by size when the edit finishes.
    void list(ScanNode& folder, FileEntry entry);
    /// A folder joins the folder's children.
    void addChild(ScanNode& folder, ScanNodePtr child);

    /// The root of `found` leaves the tree (it moved away): its category too when it was the
    /// last, and it is listed among the roots missing, to be measured whole if it comes back.
    /// Its node as the edit left it.
    ScanNodePtr leave(const Found& found);
    /// Every root lying below the path leaves the tree, as above; their nodes as they were.
    std::vector<ScanNodePtr> leaveBelow(std::string_view path);

    /// The folder's files, and those of the folders below it this edit changed, put in
    /// order now: the folder is about to be copied elsewhere.
    void settle(ScanNode& folder);

    /// Orders every changed list and totals every changed folder again from its children,
    /// deepest first, where the tree keeps its children; drops the roots that left.
    void finish();

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    using NameIndex = std::unordered_map<std::string, size_t, Hash, std::equal_to<>>;

    // Edits to one folder's list of files, kept apart until the end.
    struct Listing {
        std::vector<bool> gone;                                 // of the folder's own list
        std::deque<FileEntry> added;                            // in the order they came
        std::vector<bool> addedGone;
        std::unordered_map<std::string_view, std::pair<bool, size_t>> where; // path: (added, index)
    };

    ScanNode* own(ScanNodePtr& slot, size_t depth);
    std::optional<size_t> childSlot(const ScanNode& node, std::string_view name);
    Listing& listingOf(ScanNode& folder);
    static void applyListing(ScanNode& folder, Listing& listing);
    ScanNodePtr dropRoot(size_t category, size_t root);

    ScanResult& result_;
    std::unordered_set<const ScanNode*> owned_;
    std::unordered_set<const ScanNode*> collapsed_;
    std::vector<std::pair<size_t, ScanNodePtr>> touched_;
    // Names held as copies: a child replaced by own() may be the last holder of its name.
    std::unordered_map<const ScanNode*, NameIndex> index_;
    std::unordered_map<ScanNode*, Listing> listings_;
    std::vector<ScanResult::MissingRoot> left_;
    std::unordered_set<size_t> emptied_; // categories that lost a root
};

} // namespace sorvel
