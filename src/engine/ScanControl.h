#pragma once
// Shared, lock-guarded state of one scan (or any cancellable job). Every access takes
// the one lock; nothing calls out while holding it.
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/ScanNode.h"
#include "engine/SharedLinks.h"

namespace sorvel {

class ScanControl final {
public:
    struct InodeKey {
        uint64_t device = 0; // 64-bit here: Linux device numbers do not fit 32 bits
        uint64_t inode = 0;
        friend bool operator==(const InodeKey&, const InodeKey&) = default;
    };
    struct InodeKeyHash {
        size_t operator()(const InodeKey& k) const noexcept {
            return std::hash<uint64_t>{}(k.device * 0x9E3779B97F4A7C15ULL ^ k.inode);
        }
    };
    struct Progress {
        int64_t bytes = 0;
        int64_t files = 0;
        std::string currentPath;
    };
    struct Completed {
        std::string categoryID;
        ScanNodePtr node;
    };
    /// What a control knows of the hard-linked files it counted: which were counted, and
    /// (when owners are kept) in which folder, and every folder seen holding a name of each.
    /// Travels with a tree, so that one folder of it can be measured again later.
    struct Inodes {
        std::unordered_set<InodeKey, InodeKeyHash> seen;
        bool keepsOwners = false;
        std::unordered_map<InodeKey, std::string, InodeKeyHash> owners;
        std::unordered_map<InodeKey, std::unordered_set<std::string>, InodeKeyHash> holders;
    };

    void cancel();
    bool cancelled() const;
    Progress progress() const;
    void finish(const std::string& categoryID, ScanNodePtr node);
    std::vector<Completed> takeCompleted();
    /// Inserts the key; true when it was not there before.
    bool insertInode(InodeKey key);
    /// The same, remembering the folder that counted the file when owners are kept.
    bool insertInode(InodeKey key, const std::string& countedIn);
    /// The same for a name of a file of `links` names and `size` allocated bytes, noting
    /// where each of its names lies for `takeSharedLinks`.
    bool insertInode(InodeKey key, const std::string& countedIn, uint64_t links, int64_t size);
    /// The hard-linked files met so far, leaving this control knowing none.
    SharedLinks takeSharedLinks();
    /// From now on remember which folder counted each hard-linked file, so that one
    /// folder can be measured again with this control (see releaseInodes).
    void keepInodeOwners();
    /// Forgets the hard-linked files counted in `folder` or below it: measuring the folder
    /// again counts them again, and still skips those counted elsewhere. Without kept
    /// owners nothing is known about who counted what, and nothing is forgotten.
    void releaseInodes(const std::string& folder);
    /// After `folder` was measured again following releaseInodes: the folders outside it
    /// that hold another name of a file it counted before and counts no longer. Nobody
    /// counts that file now; measuring one of these folders again counts it there.
    std::vector<std::string> uncountedElsewhere(const std::string& folder);
    void addProgress(int64_t bytes, int64_t files, const std::string& path);
    /// A folder this user may not read: its size is missing from the totals.
    void noteUnreadable();
    int64_t unreadableFolders() const;
    /// A folder where another file system is mounted, left out of a walk that stays on its own.
    void noteOtherMount();
    int64_t otherMounts() const;
    /// A copy of what is known of the hard-linked files counted so far.
    Inodes inodes() const;
    /// The same, leaving this control knowing none.
    Inodes takeInodes();
    /// Replaces what is known of hard-linked files by what another control knew.
    void adoptInodes(Inodes inodes);

private:
    mutable std::mutex lock_;
    bool cancelled_ = false;
    int64_t bytes_ = 0;
    int64_t files_ = 0;
    int64_t unreadable_ = 0;
    int64_t otherMounts_ = 0;
    std::string currentPath_;
    Inodes inodes_;
    // The files the last releaseInodes let go of (only while owners are kept).
    std::vector<InodeKey> released_;
    std::vector<Completed> completed_;
    std::unordered_map<InodeKey, SharedLinks::File, InodeKeyHash> linked_;
};

} // namespace sorvel
