#include "engine/ScanControl.h"

#include <algorithm>
#include <iterator>
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
    if (keepsOwners_) holders_[key].insert(countedIn);
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
    released_.clear();
    for (auto it = owners_.begin(); it != owners_.end();) {
        std::string_view owner = it->second;
        while (owner.size() > 1 && owner.back() == '/') owner.remove_suffix(1);
        if (isPathInside(owner, top)) {
            seenInodes_.erase(it->first);
            released_.push_back(it->first);
            it = owners_.erase(it);
        } else {
            ++it;
        }
    }
    // The walk that follows names again the links still in the folder.
    for (auto it = holders_.begin(); it != holders_.end();) {
        auto& folders = it->second;
        for (auto f = folders.begin(); f != folders.end();) {
            std::string_view holder = *f;
            while (holder.size() > 1 && holder.back() == '/') holder.remove_suffix(1);
            f = isPathInside(holder, top) ? folders.erase(f) : std::next(f);
        }
        it = folders.empty() ? holders_.erase(it) : std::next(it);
    }
}

std::vector<std::string> ScanControl::uncountedElsewhere(const std::string& folder) {
    std::string_view top = folder;
    while (top.size() > 1 && top.back() == '/') top.remove_suffix(1);
    std::lock_guard g(lock_);
    std::vector<std::string> out;
    std::unordered_set<std::string> listed;
    for (const auto& key : released_) {
        if (seenInodes_.count(key)) continue; // counted again
        auto it = holders_.find(key);
        if (it == holders_.end()) continue;
        for (const auto& holder : it->second) {
            std::string_view h = holder;
            while (h.size() > 1 && h.back() == '/') h.remove_suffix(1);
            if (!isPathInside(h, top) && listed.insert(holder).second) out.push_back(holder);
        }
    }
    released_.clear();
    std::sort(out.begin(), out.end());
    return out;
}

void ScanControl::addProgress(int64_t bytes, int64_t files, const std::string& path) {
    std::lock_guard g(lock_);
    bytes_ += bytes;
    files_ += files;
    currentPath_ = path;
}

} // namespace sorvel
