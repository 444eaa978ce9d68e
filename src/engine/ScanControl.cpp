#include "engine/ScanControl.h"

#include <string_view>

#include "platform/Path.h"

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

bool ScanControl::insertInode(InodeKey key, const std::string& countedIn) {
    std::lock_guard g(lock_);
    if (!seenInodes_.insert(key).second) return false;
    if (keepsOwners_) owners_.emplace(key, countedIn);
    return true;
}

void ScanControl::keepInodeOwners() {
    std::lock_guard g(lock_);
    keepsOwners_ = true;
}

void ScanControl::releaseInodes(const std::string& folder) {
    std::string_view top = folder;
    while (top.size() > 1 && top.back() == '/') top.remove_suffix(1);
    std::lock_guard g(lock_);
    for (auto it = owners_.begin(); it != owners_.end();) {
        std::string_view owner = it->second;
        while (owner.size() > 1 && owner.back() == '/') owner.remove_suffix(1);
        if (isPathInside(owner, top)) {
            seenInodes_.erase(it->first);
            it = owners_.erase(it);
        } else {
            ++it;
        }
    }
}

void ScanControl::addProgress(int64_t bytes, int64_t files, const std::string& path) {
    std::lock_guard g(lock_);
    bytes_ += bytes;
    files_ += files;
    currentPath_ = path;
}

} // namespace sorvel
