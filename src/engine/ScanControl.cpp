#include "engine/ScanControl.h"

namespace sorvel {

void ScanControl::cancel() {
    std::lock_guard g(lock_);
    cancelled_ = true;
}

bool ScanControl::cancelled() const {
    std::lock_guard g(lock_);
    return cancelled_;
}

ScanControl::Progress ScanControl::progress() const {
    std::lock_guard g(lock_);
    return Progress{bytes_, files_, currentPath_};
}

void ScanControl::finish(const std::string& categoryID, ScanNodePtr node) {
    std::lock_guard g(lock_);
    completed_.push_back(Completed{categoryID, std::move(node)});
}

std::vector<ScanControl::Completed> ScanControl::takeCompleted() {
    std::vector<Completed> taken;
    std::lock_guard g(lock_);
    taken.reserve(completed_.capacity());
    taken.swap(completed_);
    // keep the capacity with the control, as the list is refilled on every poll
    completed_.reserve(taken.capacity());
    return taken;
}

bool ScanControl::insertInode(InodeKey key) {
    std::lock_guard g(lock_);
    return seenInodes_.insert(key).second;
}

void ScanControl::addProgress(int64_t bytes, int64_t files, const std::string& path) {
    std::lock_guard g(lock_);
    bytes_ += bytes;
    files_ += files;
    currentPath_ = path;
}

} // namespace sorvel
