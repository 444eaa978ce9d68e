#pragma once
// The files of two or more names that the walks of one scan met, until each is counted
// once: in the folder of the name whose path sorts first, so the same disk gives the same
// figures whichever thread met a name first. Kept per file, in a flat table of fixed-size
// entries: its identity, the names not met yet, size, that folder and the deepest folder
// holding every name met, as a length of the folder's own path. No path of its own.
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "engine/FileEntry.h"
#include "engine/ScanNode.h"

namespace sorvel {

class LinkedFiles final {
public:
    struct Key {
        uint64_t device = 0;
        uint64_t inode = 0;
        friend bool operator==(const Key&, const Key&) = default;
    };

    /// A name of a file of `links` names and `size` allocated bytes, met in `folder`: the
    /// deepest folder of the tree holding the name (`direct` when the name lies in it, not
    /// below it). `isFile` is false for a link. True when it is the first name met; false
    /// too for a file an earlier settle counted.
    bool meet(Key key, uint64_t links, int64_t size, ScanNode* folder, bool direct, bool isFile);
    /// A name listed where it lies (a large file, or any in a folder that lists every file):
    /// kept in `folder`'s files if the file is counted there. `keep` trims them (0: all).
    void list(Key key, ScanNode* folder, FileEntry entry, size_t keep);

    /// For each file counted: its identity, the folder counting it and whether every name
    /// was met.
    using Counted = std::function<void(Key, const ScanNode& owner, bool everyNameMet)>;
    /// Counts each file met since the last settle in its folder. The nodes whose figures
    /// change are copied, with their ancestors, into `roots` (nodes already handed out stay
    /// as they were), and each copy's shared figure says what of it has a name outside it or
    /// never met. With `remember`, the counted files stay known (see `counted`); otherwise
    /// they are forgotten and the table left empty.
    void settle(const std::vector<ScanNodePtr*>& roots, const Counted& counted, bool remember);
    /// Whether an earlier settle counted the file and remembers it.
    bool counted(Key key) const;
    /// Hands each file remembered as counted to `each`, and forgets them all.
    void takeCounted(const std::function<void(Key)>& each);
    /// Hands each file remembered as counted to `each`.
    void forEachCounted(const std::function<void(Key)>& each) const;

private:
    struct Entry {
        Key key;
        int64_t size = 0;
        ScanNode* owner = nullptr;   // none once counted
        uint32_t unmet = 0;          // names not met yet
        uint32_t commonLength : 30 = 0; // of the owner's path: the deepest folder holding every name met
        uint32_t direct : 1 = 0;
        uint32_t isFile : 1 = 0;
    };
    // An open-addressed index of entry numbers (0: free) over entries that never move.
    struct Shard {
        mutable std::mutex lock;
        std::deque<Entry> entries;
        std::vector<uint32_t> index;
        size_t counted = 0; // entries an earlier settle counted

        Entry* find(const Key& key, size_t hash);
        const Entry* find(const Key& key, size_t hash) const;
        Entry& add(const Key& key, size_t hash);
        void clear();
    };
    struct Listed {
        Key key;
        ScanNode* folder;
        FileEntry entry;
        size_t keep;
    };
    static constexpr size_t kShards = 64;
    static size_t hashOf(const Key& key);
    static size_t shardOf(size_t hash) { return hash >> 58; }

    std::array<Shard, kShards> shards_;
    std::atomic<bool> remembers_{false}; // some shard holds counted files
    mutable std::mutex listedLock_;
    std::vector<Listed> listed_;
};

} // namespace sorvel
