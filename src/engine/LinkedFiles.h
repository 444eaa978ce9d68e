#pragma once
// The files of two or more names that the walks of one scan met, until each is counted
// once: in the folder of the name whose path sorts first, so the same disk gives the same
// figures whichever thread met a name first. Kept per file: its identity, link count, names
// met, size, that folder and the deepest folder holding every name met, as a length of the
// folder's own path: no path of its own, and a small fixed size.
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_map>
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
    struct KeyHash {
        size_t operator()(const Key& k) const noexcept {
            return std::hash<uint64_t>{}(k.device * 0x9E3779B97F4A7C15ULL ^ k.inode);
        }
    };

    /// A name of a file of `links` names and `size` allocated bytes, met in `folder`: the
    /// deepest folder of the tree holding the name (`direct` when the name lies in it, not
    /// below it). `isFile` is false for a link. True when it is the first name met.
    bool meet(Key key, uint64_t links, int64_t size, ScanNode* folder, bool direct, bool isFile);
    /// A name listed where it lies (a large file, or any in a folder that lists every file):
    /// kept in `folder`'s files if the file is counted there. `keep` trims them (0: all).
    void list(Key key, ScanNode* folder, FileEntry entry, size_t keep);
    bool empty() const;

    /// For each file counted: its identity, the folder counting it and whether every name
    /// was met.
    using Counted = std::function<void(Key, const ScanNode& owner, bool everyNameMet)>;
    /// Counts each file in its folder. The nodes whose figures change are copied, with their
    /// ancestors, into `roots` (nodes already handed out stay as they were), and each copy's
    /// shared figure says what of it has a name outside it or never met. Leaves this empty.
    void settle(const std::vector<ScanNodePtr*>& roots, const Counted& counted);

private:
    struct Entry {
        int64_t size = 0;
        ScanNode* owner = nullptr;
        uint32_t links = 0;
        uint32_t namesMet = 0;
        uint32_t commonLength = 0; // of the owner's path: the deepest folder holding every name met
        bool direct = false;
        bool isFile = true;
    };
    struct Shard {
        mutable std::mutex lock;
        std::unordered_map<Key, Entry, KeyHash> files;
    };
    struct Listed {
        Key key;
        ScanNode* folder;
        FileEntry entry;
        size_t keep;
    };
    static constexpr size_t kShards = 64;
    Shard& shardOf(const Key& key);

    std::array<Shard, kShards> shards_;
    mutable std::mutex listedLock_;
    std::vector<Listed> listed_;
};

} // namespace sorvel
