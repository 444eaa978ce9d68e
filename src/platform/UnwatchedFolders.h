#pragma once
// The folders of an event stream's trees left without a watch once the share of watches
// ran out, kept by the watched folder they are in, and counted with every folder below
// them by a thread the stream owns. The figure is what is unwatched now: a folder left out
// that its watched parent sees removed or moved away leaves the count with all it held
// when counted; what happens deep inside an unwatched folder is not seen.
//
// A big tree leaves hundreds of thousands of folders out, so each is kept as a name in its
// parent's group (names joined by NUL) and a count; a path is built only to count it.
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/DirectoryListing.h"
#include "platform/MountBorder.h"

namespace sorvel {

class UnwatchedFolders {
public:
    static constexpr uint32_t kNoGroup = UINT32_MAX;

    /// `roots`: the stream's roots; a root inside another is counted as itself only.
    explicit UnwatchedFolders(const std::unordered_set<std::string>& roots) : roots_(roots) {}

    /// A folder left out, named `name` in the folder at `parentPath` (empty for a root,
    /// whose name is its whole path) inside `border`. It counts as one at once; the folders
    /// below it are counted by `run` (or `countQueued`). `group` is the parent's group
    /// from an earlier call, or kNoGroup; the group it went into is returned.
    uint32_t leaveOut(uint32_t group, const std::string& parentPath, std::string_view name,
                      const MountBorder& border);
    /// The folder `name` of `group` was removed or moved away: it leaves the count. False
    /// when it was not counted there.
    bool gone(uint32_t group, std::string_view name);
    /// The watched folder of `group` went away, and the folders left out in it with it.
    void goneAll(uint32_t group);
    /// Everything is forgotten, and a count under way is dropped: the trees are watched anew.
    void restart();

    /// Folders unwatched now, and whether some are still being counted; any thread.
    size_t count() const { return total_.load(); }
    bool counting() const { return counting_.load(); }

    /// The counting thread: counts what is left out, as it comes, until `stop`.
    void run();
    /// Counts everything left out so far on the calling thread, before `run` is started.
    void countQueued();
    /// Makes `run` return soon (and a count under way give up); waits for nothing.
    void stop();
    bool stopped() const { return stop_.load(); }

    /// Calls `visit` with the name and inode of every folder directly in `path` inside `border`;
    /// stops early (now and then between entries) once `halted` is true.
    template <class Visit, class Halted>
    static void forEachSubfolder(const std::string& path, const MountBorder& border, Visit visit, Halted halted) {
        auto dir = DirectoryListing::open(path);
        if (!dir) return;
        size_t seen = 0;
        while (const auto entry = dir->next()) {
            if (++seen % 1024 == 0 && halted()) return;
            using Type = DirectoryListing::Type;
            if (entry->type != Type::directory && entry->type != Type::unknown) continue;
            struct stat st;
            std::optional<bool> mountRoot;
            if (!describeEntry(dir->descriptor(), entry->name.data(), st, mountRoot) || !S_ISDIR(st.st_mode))
                continue;
            if (border.outside(static_cast<uint64_t>(st.st_dev), mountRoot, path, entry->name)) continue;
            visit(entry->name.data(), static_cast<uint64_t>(st.st_ino));
        }
    }

private:
    static constexpr uint32_t kGone = UINT32_MAX;

    // The folders left out in one watched folder (or one root left out).
    struct Group {
        std::string parentPath;
        MountBorder border;
        std::string names;            // NUL after each
        std::vector<uint32_t> counts; // per name: the folder and those below it; kGone once gone
        // Built once names start going away from a large group, so each goes in one look-up.
        std::unique_ptr<std::unordered_map<std::string, uint32_t>> byName;
    };
    struct Queued {
        uint32_t group;
        uint32_t index;  // into the group's counts
        uint32_t offset; // of the name in the group's names
    };

    // The next queued folder, counted outside the lock; false when the queue is empty.
    bool countNext(std::unique_lock<std::mutex>& lock);
    size_t countBelow(const std::string& top, const MountBorder& border, uint64_t generation) const;
    void forget(Group& group, uint32_t index);
    void settle(); // under the lock: whether anything is left to count

    const std::unordered_set<std::string>& roots_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Group> groups_;
    std::deque<Queued> queue_; // still to be counted
    std::atomic<size_t> total_{0};
    std::atomic<bool> counting_{false};
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> generation_{0}; // raised by restart: a count under way is dropped
};

} // namespace sorvel
