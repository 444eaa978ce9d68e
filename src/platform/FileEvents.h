#pragma once
// Stand-in for a file-system event stream, on inotify. A stream watches whole directory
// trees: every folder gets a watch, and folders that appear later get theirs as they are
// seen, within the process's share of the user's watches (see WatchBudget): the trees are
// watched breadth-first across all roots, so past the share it is the deep folders that
// go unwatched. It reports directories whose contents changed (never single files), gathers them
// into batches honouring the latency, and hands each batch to a serial queue.
//
// Batching follows the no-defer rule: the first change after a quiet spell is delivered
// at once, later ones are gathered until `latency` has passed since the last delivery,
// so at most one batch per latency. A path appears once per batch.
//
// Where the kernel drops events (its queue overflowed) nothing is known about what
// changed, so the batch names every watched root: the caller measures them again. The
// trees are then watched anew, and every folder watched before keeps its watch, so a
// stream never loses its roots to a share spent or closed meanwhile.
// A folder this user may not read cannot be watched; it is watched, with everything
// below it, once it can be read: when its mode changes (its parent hears of it), or when
// the folder holding it opens up again. Its parent's change is reported then, so the
// caller measures what it held; a root that opens up is reported itself.
// When the share or the system's watches run out, the folders left unwatched are counted
// (`unwatchedFolders`) so the caller can say that it sees only part of the tree.
//
// A tree may hold hundreds of thousands of folders, so each is kept as its parent and its
// own name; a path is built only for a folder whose change is reported.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/SerialQueue.h"

namespace sorvel {

class FileEventStream final {
public:
    /// Receives the number of events and their paths, on the stream's queue.
    using Callback = std::function<void(size_t count, const std::vector<std::string>& paths)>;

    /// Only events from now on are ever reported.
    static constexpr uint64_t kEventIdSinceNow = ~uint64_t{0};
    /// Creation flags, kept for their meaning; every stream behaves as with all three.
    static constexpr uint32_t kCreateFlagUseCFTypes = 1;
    static constexpr uint32_t kCreateFlagNoDefer = 2;
    static constexpr uint32_t kCreateFlagWatchRoot = 4;

    /// None when the paths are empty, `sinceWhen` is not "now", or the system gives no
    /// event source. Nothing is watched until `start`.
    static std::unique_ptr<FileEventStream> create(Callback callback, std::vector<std::string> paths,
                                                   uint64_t sinceWhen, double latency, uint32_t flags);
    /// Release: stops and invalidates first; no thread or descriptor is left behind.
    ~FileEventStream();
    FileEventStream(const FileEventStream&) = delete;
    FileEventStream& operator=(const FileEventStream&) = delete;

    /// Where batches go; must be set before `start` and outlive the stream.
    void setDispatchQueue(SerialQueue* queue);
    /// Watches the trees (synchronously: a change made after this returns is seen) and
    /// starts delivering. False when there is no queue, the stream has already been
    /// started or invalidated, no root could be watched, the set-up was cancelled, or no
    /// thread could be started. Every watch goes back to the share with the stream.
    bool start();
    /// Stops delivering; changes gathered but not yet delivered are dropped. Work under way
    /// (a count, a rebuild after dropped events) gives up rather than being waited for.
    void stop();
    /// No callback runs after this returns (except one that is calling it).
    void invalidate();

    /// Folders unwatched now because the process's share of watches or the system's
    /// watches ran out (one left out that is removed leaves the count), and folders
    /// watched; safe from any thread.
    size_t unwatchedFolders() const;
    size_t watchedFolders() const;
    /// Asked now and then while `start` watches the trees: true makes it give up (and
    /// return false), so a set-up no longer wanted does not run to the end. Set before `start`.
    void setCancellation(std::function<bool()> cancelled);
    /// With true (set before `start`), `start` returns once the watches are in place and the
    /// folders past the share are counted afterwards, beside the events; `stillCounting`
    /// is true meanwhile and `unwatchedFolders` grows. Folders left out later (made past the
    /// share, or after dropped events) are always counted beside the events.
    void setCountLater(bool later);
    /// With true (set before `start`), each root is watched alone, not the folders in it:
    /// a change of its own entries (one made, removed or renamed) is reported, as the root.
    void setShallow(bool shallow);
    bool stillCounting() const;
    /// After a `start` that failed: whether folders were left without a watch because the
    /// share of watches was spent or the system refused them.
    bool shortOfWatches() const;
    /// Whether some of the unwatched folders were left out because their paths are longer
    /// than the system takes, not for want of watches; safe from any thread.
    bool leftOutForLength() const;
    /// Whether some were left out because the share of watches was spent or refused.
    bool leftOutForShare() const;
    /// After a `start` that failed: whether no thread could be started for it (its queue's
    /// or its own: a process limit, or memory).
    bool lackedThread() const;
    /// For tests: the reader behaves as when the kernel has dropped events.
    void simulateDroppedEventsForTesting();

    struct Impl; // the watch tables and the reader thread

private:
    FileEventStream() = default;
    std::unique_ptr<Impl> impl_;
};

} // namespace sorvel
