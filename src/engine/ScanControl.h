#pragma once
// Shared, lock-guarded state of one scan (or any cancellable job). Progress, the finished
// roots and the stop have a lock of their own, which the window reads on its main thread:
// a long update of the tables of hard-linked files never holds it up. Nothing calls out
// while holding either lock.
#include <cstdint>
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/ScanNode.h"
#include "engine/LinkedFiles.h"

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
    /// Folders are named once, in a pool, and by number per file: far fewer folders than
    /// files hold names, so each file costs a fixed few bytes and no string of its own.
    struct Inodes {
        static constexpr uint32_t kNoFolder = UINT32_MAX;
        struct Names {
            uint32_t owner = kNoFolder;                       // the folder that counted the file
            uint32_t holders[2] = {kNoFolder, kNoFolder};     // folders seen holding a name
        };
        std::unordered_set<InodeKey, InodeKeyHash> seen;
        bool keepsOwners = false;
        std::vector<std::string> folders;
        std::unordered_map<std::string, uint32_t> folderIds;
        uint32_t lastFolder = kNoFolder;
        std::unordered_map<InodeKey, Names, InodeKeyHash> names;
        // Holders past the two kept inline: few files have names in three folders.
        std::unordered_map<InodeKey, std::vector<uint32_t>, InodeKeyHash> moreHolders;

        uint32_t folderId(std::string_view path);
        void addHolder(InodeKey key, uint32_t folder);
        void setOwner(InodeKey key, uint32_t folder);
        /// Calls `each` with every folder seen holding a name of the file.
        template <typename F> void forEachHolder(InodeKey key, F&& each) const {
            if (auto it = names.find(key); it != names.end())
                for (uint32_t h : it->second.holders)
                    if (h != kNoFolder) each(h);
            if (auto it = moreHolders.find(key); it != moreHolders.end())
                for (uint32_t h : it->second) each(h);
        }
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
    /// A name of a file of two or more names, met by a walk in the folder at `path`: noted
    /// in `linkedFiles` to be counted once, at `settle`, unless a walk of this control
    /// counted the file before. True when it is the file's first name this walk met.
    bool meetLinked(InodeKey key, const std::string& path, uint64_t links, int64_t size, ScanNode* folder,
                    bool direct, bool isFile);
    /// A name listed where it lies, if its file is counted in that folder (LinkedFiles::list).
    void listLinked(InodeKey key, ScanNode* folder, FileEntry entry, size_t keep);
    /// The walks of this control show no shared figure (`--size`): a file of several names
    /// is counted where it is first met, and nothing is kept to tell where its names lie.
    void countWithoutSharing() { sharing_ = false; }
    bool countsSharing() const { return sharing_; }
    /// While held, a walk leaves the files it met to count to whoever settles them: the
    /// walks of one scan count a file once among all their trees.
    void holdLinked(bool held);
    /// Counts each file of two or more names met since the last settle in its folder (see
    /// LinkedFiles::settle), unless held. Each becomes one this control counted.
    void settleLinked(const std::vector<ScanNodePtr*>& roots);
    /// Files of two or more names that the last settle counted, new to this control and not
    /// let go by releaseInodes, with a name it never met: another may lie in a folder that
    /// counted the file when it had one name.
    size_t newlyLinked() const;
    /// From now on remember which folder counted each hard-linked file, so that one
    /// folder can be measured again with this control (see releaseInodes).
    void keepInodeOwners();
    /// Forgets the hard-linked files counted in `folder` or below it, but for those in
    /// `leftOut` (roots of their own that its walk leaves out): measuring the folder again
    /// counts them again, and still skips those counted elsewhere. Without kept owners
    /// nothing is known about who counted what, and nothing is forgotten.
    void releaseInodes(const std::string& folder, const std::set<std::string>& leftOut = {});
    /// After `folder` was measured again following releaseInodes with the same `leftOut`: the
    /// folders its walk does not reach (outside it, or in a root it leaves out) that hold
    /// another name of a file it counted before and counts no longer. Nobody counts that
    /// file now; measuring one of these folders again counts it there.
    std::vector<std::string> uncountedElsewhere(const std::string& folder, const std::set<std::string>& leftOut = {});
    void addProgress(int64_t bytes, int64_t files, const std::string& path);
    /// A folder this user may not read: its size is missing from the totals.
    void noteUnreadable();
    int64_t unreadableFolders() const;
    /// A folder where a file system or a folder (a bind mount) is mounted, left out of a walk
    /// that stays on its own mount.
    void noteOtherMount();
    int64_t otherMounts() const;
    /// A copy of what is known of the hard-linked files counted so far.
    Inodes inodes() const;
    /// The same, leaving this control knowing none.
    Inodes takeInodes();
    /// Replaces what is known of hard-linked files by what another control knew.
    void adoptInodes(Inodes inodes);

private:
    mutable std::mutex progressLock_; // guards the progress and the finished roots
    std::atomic<bool> cancelled_{false};
    int64_t bytes_ = 0;
    int64_t files_ = 0;
    std::string currentPath_;
    std::vector<Completed> completed_;
    mutable std::mutex lock_; // guards the rest
    int64_t unreadable_ = 0;
    int64_t otherMounts_ = 0;
    Inodes inodes_;
    // The files the last releaseInodes let go of (only while owners are kept).
    std::vector<InodeKey> released_;
    LinkedFiles linked_;
    std::atomic<bool> holdsLinked_{false};
    bool sharing_ = true;
    std::atomic<bool> knowsInodes_{false}; // `inodes_` holds some: a walk must ask
    size_t newlyLinked_ = 0;
};

} // namespace sorvel
