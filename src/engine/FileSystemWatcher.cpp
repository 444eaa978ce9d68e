#include "engine/FileSystemWatcher.h"

namespace sorvel {

FileSystemWatcher::FileSystemWatcher(OnChange onChange) : onChange(std::move(onChange)) {}

FileSystemWatcher::~FileSystemWatcher() {
    stop();
}

void FileSystemWatcher::start(const std::vector<std::string>& paths) {
    stop();
    shortOfWatches_ = lackedThread_ = false;
    if (paths.empty()) return;
    // The stream refers back to this watcher without owning it; stop() and the destructor
    // tear the stream down first, so it never outlives the watcher.
    auto stream = FileEventStream::create(
        [this](size_t count, const std::vector<std::string>& changed) {
            if (count >= 1 && onChange) onChange(changed);
        },
        paths, FileEventStream::kEventIdSinceNow, latency,
        FileEventStream::kCreateFlagUseCFTypes | FileEventStream::kCreateFlagNoDefer |
            FileEventStream::kCreateFlagWatchRoot);
    if (!stream) return;
    stream->setDispatchQueue(&queue_);
    if (cancelled_) stream->setCancellation(cancelled_);
    stream->setCountLater(countLater_);
    stream->setShallow(shallow_);
    if (!stream->start()) { // released here; the watcher stays stopped
        shortOfWatches_ = stream->shortOfWatches();
        lackedThread_ = stream->lackedThread();
        return;
    }
    stream_ = std::move(stream);
}

void FileSystemWatcher::stop() {
    if (!stream_) return;
    stream_->stop();
    stream_->invalidate();
    stream_.reset();
}

size_t FileSystemWatcher::unwatchedFolders() const {
    return stream_ ? stream_->unwatchedFolders() : 0;
}

bool FileSystemWatcher::leftOutForLength() const {
    return stream_ && stream_->leftOutForLength();
}

bool FileSystemWatcher::leftOutForShare() const {
    return stream_ && stream_->leftOutForShare();
}

size_t FileSystemWatcher::watchedFolders() const {
    return stream_ ? stream_->watchedFolders() : 0;
}

} // namespace sorvel
