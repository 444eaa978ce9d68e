#include "engine/ScanControl.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <utility>

#include "engine/SharedLinks.h"
#include "platform/Path.h"

namespace sorvel {

namespace {

std::string_view trimmed(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    return path;
}

// Whether a walk of `top` reaches `path`: inside it, and in none of the roots it leaves out.
bool walkedFrom(std::string_view path, std::string_view top, const std::set<std::string>& leftOut) {
    return isPathInside(path, top) &&
           std::none_of(leftOut.begin(), leftOut.end(), [&](const auto& root) { return isPathInside(path, trimmed(root)); });
}

} // namespace

uint32_t ScanControl::Inodes::folderId(std::string_view path) {
    // Names come folder by folder: the last folder asked for is most often asked again.
    if (lastFolder != kNoFolder && folders[lastFolder] == path) return lastFolder;
    auto [it, added] = folderIds.try_emplace(std::string(path), static_cast<uint32_t>(folders.size()));
    if (added) folders.emplace_back(path);
    return lastFolder = it->second;
}

void ScanControl::Inodes::addHolder(InodeKey key, uint32_t folder) {
    auto& held = names[key].holders;
    for (uint32_t& h : held) {
        if (h == folder) return;
        if (h == kNoFolder) {
            h = folder;
            return;
        }
    }
    auto& more = moreHolders[key];
    if (std::find(more.begin(), more.end(), folder) == more.end()) more.push_back(folder);
}

void ScanControl::Inodes::setOwner(InodeKey key, uint32_t folder) {
    auto& owner = names[key].owner;
    if (owner == kNoFolder) owner = folder;
}

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
    const uint32_t folder = inodes_.keepsOwners ? inodes_.folderId(countedIn) : Inodes::kNoFolder;
    if (inodes_.keepsOwners) inodes_.addHolder(key, folder);
    if (counted || !inodes_.seen.insert(key).second) return false;
    if (inodes_.keepsOwners) inodes_.setOwner(key, folder);
    return true;
}

bool ScanControl::meetLinked(InodeKey key, const std::string& path, uint64_t links, int64_t size, ScanNode* folder,
                             bool direct, bool isFile) {
    if (knowsInodes_.load(std::memory_order_acquire)) {
        std::lock_guard g(lock_);
        if (inodes_.keepsOwners) inodes_.addHolder(key, inodes_.folderId(path));
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
    // Owners are gathered by folder number, each folder's path once.
    std::vector<std::pair<InodeKey, uint32_t>> counted;
    std::vector<std::string> folders;
    std::unordered_map<const ScanNode*, uint32_t> folderOf;
    size_t newlyLinked = 0;
    linked_.settle(
        roots,
        [&](LinkedFiles::Key k, const ScanNode& owner, bool everyNameMet) {
            const InodeKey key{k.device, k.inode};
            auto [at, added] = folderOf.try_emplace(&owner, static_cast<uint32_t>(folders.size()));
            if (added) folders.emplace_back(folderPath(owner.path));
            counted.emplace_back(key, at->second);
            if (!everyNameMet && !released.count(key)) ++newlyLinked;
        },
        false);
    std::lock_guard g(lock_);
    std::vector<uint32_t> ids;
    ids.reserve(folders.size());
    for (const auto& folder : folders) ids.push_back(inodes_.folderId(folder));
    for (const auto& [key, folder] : counted) {
        inodes_.seen.insert(key);
        inodes_.setOwner(key, ids[folder]);
    }
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

void ScanControl::releaseInodes(const std::string& folder, const std::set<std::string>& leftOut) {
    const std::string_view top = trimmed(folder);
    std::lock_guard g(lock_);
    released_.clear();
    // Decided once per folder, not once per file. A root left out of the walk keeps its own.
    std::vector<char> inside(inodes_.folders.size());
    for (size_t i = 0; i < inside.size(); ++i) inside[i] = walkedFrom(trimmed(inodes_.folders[i]), top, leftOut);
    const auto released = [&](uint32_t id) { return id != Inodes::kNoFolder && inside[id]; };
    for (auto it = inodes_.moreHolders.begin(); it != inodes_.moreHolders.end();) {
        auto& more = it->second;
        more.erase(std::remove_if(more.begin(), more.end(), released), more.end());
        it = more.empty() ? inodes_.moreHolders.erase(it) : std::next(it);
    }
    for (auto it = inodes_.names.begin(); it != inodes_.names.end();) {
        auto& names = it->second;
        if (released(names.owner)) {
            inodes_.seen.erase(it->first);
            released_.push_back(it->first);
            names.owner = Inodes::kNoFolder;
        }
        // The walk that follows names again the links still in the folder.
        auto& held = names.holders;
        for (uint32_t& h : held)
            if (released(h)) h = Inodes::kNoFolder;
        if (held[0] == Inodes::kNoFolder) std::swap(held[0], held[1]);
        // A holder past the inline ones takes a freed place.
        for (uint32_t& h : held) {
            auto more = h == Inodes::kNoFolder ? inodes_.moreHolders.find(it->first) : inodes_.moreHolders.end();
            if (more == inodes_.moreHolders.end()) continue;
            h = more->second.back();
            more->second.pop_back();
            if (more->second.empty()) inodes_.moreHolders.erase(more);
        }
        const bool empty = names.owner == Inodes::kNoFolder && held[0] == Inodes::kNoFolder;
        it = empty ? inodes_.names.erase(it) : std::next(it);
    }
}

std::vector<std::string> ScanControl::uncountedElsewhere(const std::string& folder,
                                                         const std::set<std::string>& leftOut) {
    const std::string_view top = trimmed(folder);
    std::lock_guard g(lock_);
    std::vector<std::string> out;
    std::unordered_set<uint32_t> listed;
    for (const auto& key : released_) {
        if (inodes_.seen.count(key)) continue; // counted again
        inodes_.forEachHolder(key, [&](uint32_t id) {
            const std::string& holder = inodes_.folders[id];
            if (!walkedFrom(trimmed(holder), top, leftOut) && listed.insert(id).second) out.push_back(holder);
        });
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
