#include "engine/ScanControl.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

#include "engine/SharedLinks.h"
#include "platform/Path.h"

namespace sorvel {

void ScanControl::cancel() { cancelled_.store(true); }

bool ScanControl::cancelled() const { return cancelled_.load(); }

ScanControl::Progress ScanControl::progress() const {
    std::lock_guard g(progressLock_);
    return Progress{bytes_, files_, currentPath_};
}

void ScanControl::finish(const std::string& categoryID, ScanNodePtr node) {
    std::lock_guard g(progressLock_);
    completed_.push_back(Completed{categoryID, std::move(node)});
}

std::vector<ScanControl::Completed> ScanControl::takeCompleted() {
    std::vector<Completed> taken;
    std::lock_guard g(progressLock_);
    taken.reserve(completed_.capacity());
    taken.swap(completed_);
    // keep the capacity with the control, as the list is refilled on every poll
    completed_.reserve(taken.capacity());
    return taken;
}

bool ScanControl::insertInode(InodeKey key) {
    if (linked_.counted({key.device, key.inode})) return false;
    std::lock_guard g(lock_);
    knowsInodes_.store(true, std::memory_order_release);
    return inodes_.seen.insert(key).second;
}

bool ScanControl::insertInode(InodeKey key, const std::string& countedIn) {
    const bool counted = linked_.counted({key.device, key.inode});
    std::lock_guard g(lock_);
    knowsInodes_.store(true, std::memory_order_release);
    if (inodes_.keepsOwners) inodes_.holders[key].insert(countedIn);
    if (counted || !inodes_.seen.insert(key).second) return false;
    if (inodes_.keepsOwners) inodes_.owners.emplace(key, countedIn);
    return true;
}

bool ScanControl::meetLinked(InodeKey key, const std::string& path, uint64_t links, int64_t size, ScanNode* folder,
                             bool direct, bool isFile) {
    if (knowsInodes_.load(std::memory_order_acquire)) {
        std::lock_guard g(lock_);
        if (inodes_.keepsOwners) inodes_.holders[key].insert(path);
        if (inodes_.seen.count(key)) return false;
    }
    return linked_.meet({key.device, key.inode}, links, size, folder, direct, isFile);
}

void ScanControl::listLinked(InodeKey key, ScanNode* folder, FileEntry entry, size_t keep) {
    linked_.list({key.device, key.inode}, folder, std::move(entry), keep);
}

void ScanControl::holdLinked(bool held) { holdsLinked_.store(held); }

void ScanControl::settleLinked(const std::vector<ScanNodePtr*>& roots) {
    if (holdsLinked_.load()) return;
    bool keepsOwners = false;
    std::unordered_set<InodeKey, InodeKeyHash> released;
    {
        std::lock_guard g(lock_);
        keepsOwners = inodes_.keepsOwners;
        if (keepsOwners) released.insert(released_.begin(), released_.end());
    }
    if (!keepsOwners) {
        // The table itself remembers what was counted: nothing more is built per file.
        linked_.settle(roots, nullptr, true);
        std::lock_guard g(lock_);
        newlyLinked_ = 0;
        return;
    }
    // Gathered first and taken in after: a long settle never holds what progress reads.
    std::vector<InodeKey> counted;
    std::vector<std::pair<InodeKey, std::string>> owners;
    size_t newlyLinked = 0;
    linked_.settle(
        roots,
        [&](LinkedFiles::Key k, const ScanNode& owner, bool everyNameMet) {
            const InodeKey key{k.device, k.inode};
            counted.push_back(key);
            owners.emplace_back(key, std::string(folderPath(owner.path)));
            if (!everyNameMet && !released.count(key)) ++newlyLinked;
        },
        false);
    std::lock_guard g(lock_);
    inodes_.seen.insert(counted.begin(), counted.end());
    for (auto& [key, owner] : owners) inodes_.owners.emplace(key, std::move(owner));
    newlyLinked_ = newlyLinked;
    knowsInodes_.store(!inodes_.seen.empty() || inodes_.keepsOwners, std::memory_order_release);
}

size_t ScanControl::newlyLinked() const {
    std::lock_guard g(lock_);
    return newlyLinked_;
}

void ScanControl::keepInodeOwners() {
    std::vector<InodeKey> counted;
    linked_.takeCounted([&](LinkedFiles::Key k) { counted.push_back({k.device, k.inode}); });
    std::lock_guard g(lock_);
    inodes_.seen.insert(counted.begin(), counted.end());
    inodes_.keepsOwners = true;
    knowsInodes_.store(true, std::memory_order_release);
}

void ScanControl::releaseInodes(const std::string& folder) {
    std::string_view top = folder;
    while (top.size() > 1 && top.back() == '/') top.remove_suffix(1);
    std::lock_guard g(lock_);
    released_.clear();
    for (auto it = inodes_.owners.begin(); it != inodes_.owners.end();) {
        std::string_view owner = it->second;
        while (owner.size() > 1 && owner.back() == '/') owner.remove_suffix(1);
        if (isPathInside(owner, top)) {
            inodes_.seen.erase(it->first);
            released_.push_back(it->first);
            it = inodes_.owners.erase(it);
        } else {
            ++it;
        }
    }
    // The walk that follows names again the links still in the folder.
    for (auto it = inodes_.holders.begin(); it != inodes_.holders.end();) {
        auto& folders = it->second;
        for (auto f = folders.begin(); f != folders.end();) {
            std::string_view holder = *f;
            while (holder.size() > 1 && holder.back() == '/') holder.remove_suffix(1);
            f = isPathInside(holder, top) ? folders.erase(f) : std::next(f);
        }
        it = folders.empty() ? inodes_.holders.erase(it) : std::next(it);
    }
}

std::vector<std::string> ScanControl::uncountedElsewhere(const std::string& folder) {
    std::string_view top = folder;
    while (top.size() > 1 && top.back() == '/') top.remove_suffix(1);
    std::lock_guard g(lock_);
    std::vector<std::string> out;
    std::unordered_set<std::string> listed;
    for (const auto& key : released_) {
        if (inodes_.seen.count(key)) continue; // counted again
        auto it = inodes_.holders.find(key);
        if (it == inodes_.holders.end()) continue;
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

ScanControl::Inodes ScanControl::inodes() const {
    Inodes copy;
    {
        std::lock_guard g(lock_);
        copy = inodes_;
    }
    linked_.forEachCounted([&](LinkedFiles::Key k) { copy.seen.insert({k.device, k.inode}); });
    return copy;
}

ScanControl::Inodes ScanControl::takeInodes() {
    Inodes taken;
    {
        std::lock_guard g(lock_);
        released_.clear();
        knowsInodes_.store(false, std::memory_order_release);
        taken = std::exchange(inodes_, {});
    }
    linked_.takeCounted([&](LinkedFiles::Key k) { taken.seen.insert({k.device, k.inode}); });
    return taken;
}

void ScanControl::adoptInodes(Inodes inodes) {
    linked_.takeCounted([](LinkedFiles::Key) {});
    std::lock_guard g(lock_);
    released_.clear();
    inodes_ = std::move(inodes);
    knowsInodes_.store(!inodes_.seen.empty() || inodes_.keepsOwners, std::memory_order_release);
}

void ScanControl::addProgress(int64_t bytes, int64_t files, const std::string& path) {
    std::lock_guard g(progressLock_);
    bytes_ += bytes;
    files_ += files;
    currentPath_ = path;
}

void ScanControl::noteUnreadable() {
    std::lock_guard g(lock_);
    ++unreadable_;
}

int64_t ScanControl::unreadableFolders() const {
    std::lock_guard g(lock_);
    return unreadable_;
}

void ScanControl::noteOtherMount() {
    std::lock_guard g(lock_);
    ++otherMounts_;
}

int64_t ScanControl::otherMounts() const {
    std::lock_guard g(lock_);
    return otherMounts_;
}

} // namespace sorvel
