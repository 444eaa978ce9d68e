#pragma once
// One stream of file-system events over a set of directory trees, handing each batch of
// changed directories to a function. It knows nothing of scans or trees: it reports
// paths. Batches arrive on the watcher's own serial queue, never two at once; whoever
// supplies the function hops to its own thread or lock.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileEvents.h"
#include "platform/SerialQueue.h"

namespace sorvel {

class FileSystemWatcher final {
public:
    using OnChange = std::function<void(const std::vector<std::string>&)>;

    /// Creates the watcher and its queue; nothing is watched yet.
    explicit FileSystemWatcher(OnChange onChange);
    /// As stop(): the stream is torn down before the watcher goes away.
    ~FileSystemWatcher();
    FileSystemWatcher(const FileSystemWatcher&) = delete;
    FileSystemWatcher& operator=(const FileSystemWatcher&) = delete;

    /// Replaces any running stream by one over these absolute directory paths; an empty
    /// list only stops the running one. A stream that cannot be made leaves it stopped.
    void start(const std::vector<std::string>& paths);
    /// Stops, invalidates and releases the running stream, if any.
    void stop();

    /// True while a stream runs.
    bool isRunning() const { return stream_ != nullptr; }
    /// Folders of the running stream that the process's share of watches (or the
    /// system's) left unwatched: changes in them go unseen. And the folders it watches.
    size_t unwatchedFolders() const;
    /// Some unwatched folders were left out for their paths' length (FileEventStream).
    bool leftOutForLength() const;
    bool leftOutForShare() const;
    size_t watchedFolders() const;
    /// Asked now and then while `start` sets up a stream; true gives the set-up up and
    /// leaves the watcher stopped. May be called from the thread that calls `start`.
    void setCancellation(std::function<bool()> cancelled) { cancelled_ = std::move(cancelled); }
    /// Streams started from now on count the folders past the share after `start` returns
    /// (see FileEventStream::setCountLater); true while the running one still counts.
    void setCountLater(bool later) { countLater_ = later; }
    bool stillCounting() const { return stream_ && stream_->stillCounting(); }
    /// Streams started from now on watch each path alone, not the folders in it (see
    /// FileEventStream::setShallow).
    void setShallow(bool shallow) { shallow_ = shallow; }
    /// The last `start` watched nothing because no watch was left to take.
    bool shortOfWatches() const { return shortOfWatches_; }
    /// The last `start` watched nothing because no thread could be started for it.
    bool lackedThread() const { return lackedThread_; }
    /// For tests: the running stream behaves as when the kernel has dropped events.
    void simulateDroppedEventsForTesting() {
        if (stream_) stream_->simulateDroppedEventsForTesting();
    }

    const OnChange onChange;
    static constexpr double latency = 1.5;

private:
    SerialQueue queue_{"sorvel.fsevents"};
    std::unique_ptr<FileEventStream> stream_;
    std::function<bool()> cancelled_;
    bool countLater_ = false;
    bool shallow_ = false;
    bool shortOfWatches_ = false;
    bool lackedThread_ = false;
};

} // namespace sorvel
