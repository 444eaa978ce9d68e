#include "engine/LinkedFiles.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "engine/SharedLinks.h"

namespace sorvel {
namespace {

// The length of the deepest folder holding both: a component is never cut in two.
size_t commonFolderLength(std::string_view a, std::string_view b) {
    if (a == "/" || b == "/") return 1;
    const size_t shorter = std::min(a.size(), b.size());
    size_t same = 0;
    while (same < shorter && a[same] == b[same]) ++same;
    if (same == a.size() && (same == b.size() || b[same] == '/')) return same;
    if (same == b.size() && a[same] == '/') return same;
    const size_t slash = same == 0 ? std::string_view::npos : a.rfind('/', same - 1);
    if (slash == std::string_view::npos) return 0;
    return slash == 0 ? 1 : slash;
}

uint32_t clamped(uint64_t value) { return static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX)); }

constexpr uint32_t kLongestCommon = (1u << 30) - 1;

// What the files counted in one folder add to it, summed as the table is gone through.
struct Owned {
    size_t length = 0; // of the folder's path
    int64_t bytes = 0, files = 0, directBytes = 0, directFiles = 0;
    int64_t shared = 0; // of `bytes`, what has a name outside the folder or never met
    // Shared here, freed by a folder above holding every name: that folder's path length, and the bytes.
    std::vector<std::pair<uint32_t, int64_t>> freedAbove;

    void add(int64_t size, bool isFile, bool direct, bool everyNameMet, uint32_t commonLength) {
        bytes += size;
        files += isFile ? 1 : 0;
        if (direct) {
            directBytes += size;
            directFiles += isFile ? 1 : 0;
        }
        if (everyNameMet && commonLength >= length) return; // every name lies here
        shared += size;
        if (!everyNameMet) return;
        for (auto& [at, freed] : freedAbove)
            if (at == commonLength) return void(freed += size);
        freedAbove.emplace_back(commonLength, size);
    }
};

struct Shown {
    ScanNode* folder;
    FileEntry entry;
    size_t keep;
};

// One pass over a tree, copying the nodes whose figures the counted files change.
class Settler {
public:
    Settler(std::unordered_map<const ScanNode*, Owned> owned, std::vector<Shown> shown)
        : owned_(std::move(owned)), shown_(std::move(shown)) {
        std::stable_sort(shown_.begin(), shown_.end(), [](const Shown& a, const Shown& b) { return a.folder < b.folder; });
    }

    ScanNodePtr visit(const ScanNodePtr& node) {
        const size_t length = folderPath(node->path).size();
        chain_.push_back({length, 0});
        const auto found = owned_.find(node.get());
        const Owned* own = found == owned_.end() ? nullptr : &found->second;
        // Every name of these lies in a folder above: from there up, moving frees the file.
        if (own)
            for (const auto& [at, freed] : own->freedAbove)
                for (size_t k = chain_.size() - 1; k-- > 0;)
                    if (chain_[k].length == at) {
                        chain_[k].freedHere += freed;
                        break;
                    }
        std::vector<ScanNodePtr> children;
        bool childChanged = false;
        int64_t childBytes = 0, childFiles = 0;
        for (size_t i = 0; i < node->children.size(); ++i) {
            const ScanNodePtr& child = node->children[i];
            if (!child) continue;
            ScanNodePtr settled = visit(child);
            if (settled == child) continue;
            if (!childChanged) children = node->children;
            childChanged = true;
            childBytes += settled->size - child->size;
            childFiles += settled->fileCount - child->fileCount;
            children[i] = std::move(settled);
        }
        const int64_t freedHere = chain_.back().freedHere;
        chain_.pop_back();
        const auto [shownFirst, shownLast] = std::equal_range(
            shown_.begin(), shown_.end(), Shown{node.get(), {}, 0},
            [](const Shown& a, const Shown& b) { return a.folder < b.folder; });
        if (!own && !childChanged && freedHere == 0 && shownFirst == shownLast) return node;

        auto copy = std::make_shared<ScanNode>(*node);
        if (childChanged) copy->children = std::move(children);
        const Owned none;
        const Owned& add = own ? *own : none;
        copy->size += add.bytes + childBytes;
        copy->fileCount += add.files + childFiles;
        copy->directFileSize += add.directBytes;
        copy->directFileCount += add.directFiles;
        copy->directSharedSize += add.shared - freedHere;
        copy->sharedSize = copy->directSharedSize;
        for (const auto& child : copy->children)
            if (child) copy->sharedSize += child->sharedSize;
        if (childChanged) sortBySizeDescending(copy->children);
        if (shownFirst != shownLast) {
            for (auto it = shownFirst; it != shownLast; ++it) copy->largestFiles.push_back(std::move(it->entry));
            std::stable_sort(copy->largestFiles.begin(), copy->largestFiles.end(),
                             [](const FileEntry& a, const FileEntry& b) { return a.size > b.size; });
            if (shownFirst->keep > 0 && copy->largestFiles.size() > shownFirst->keep)
                copy->largestFiles.resize(shownFirst->keep);
        }
        return copy;
    }

private:
    struct Level {
        size_t length;     // of the folder's path
        int64_t freedHere; // bytes of files below whose every name lies in this folder
    };
    std::unordered_map<const ScanNode*, Owned> owned_;
    std::vector<Shown> shown_;
    std::vector<Level> chain_;
};

} // namespace

size_t LinkedFiles::hashOf(const Key& key) {
    // Inode numbers run in sequence: mixed, so that both the shard and the slot spread.
    uint64_t h = key.inode ^ (key.device * 0x9E3779B97F4A7C15ULL);
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ULL;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBULL;
    return static_cast<size_t>(h ^ (h >> 31));
}

const LinkedFiles::Entry* LinkedFiles::Shard::find(const Key& key, size_t hash) const {
    if (index.empty()) return nullptr;
    const size_t mask = index.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const uint32_t at = index[i];
        if (at == 0) return nullptr;
        if (entries[at - 1].key == key) return &entries[at - 1];
    }
}

LinkedFiles::Entry* LinkedFiles::Shard::find(const Key& key, size_t hash) {
    return const_cast<Entry*>(std::as_const(*this).find(key, hash));
}

LinkedFiles::Entry& LinkedFiles::Shard::add(const Key& key, size_t hash) {
    // At most half the index in use: a look-up stays a step or two.
    if ((entries.size() + 1) * 2 > index.size()) {
        std::vector<uint32_t> grown(std::max<size_t>(index.size() * 2, 64), 0);
        const size_t mask = grown.size() - 1;
        for (size_t n = 0; n < entries.size(); ++n) {
            size_t i = hashOf(entries[n].key) & mask;
            while (grown[i] != 0) i = (i + 1) & mask;
            grown[i] = static_cast<uint32_t>(n + 1);
        }
        index.swap(grown);
    }
    const size_t mask = index.size() - 1;
    size_t i = hash & mask;
    while (index[i] != 0) i = (i + 1) & mask;
    Entry& entry = entries.emplace_back();
    entry.key = key;
    index[i] = static_cast<uint32_t>(entries.size());
    return entry;
}

void LinkedFiles::Shard::clear() {
    std::deque<Entry>().swap(entries);
    std::vector<uint32_t>().swap(index);
    counted = 0;
}

bool LinkedFiles::meet(Key key, uint64_t links, int64_t size, ScanNode* folder, bool direct, bool isFile) {
    const std::string_view path = folderPath(folder->path);
    const size_t hash = hashOf(key);
    Shard& shard = shards_[shardOf(hash)];
    std::lock_guard g(shard.lock);
    Entry* found = shard.find(key, hash);
    if (!found) {
        Entry& file = shard.add(key, hash);
        file.size = size;
        file.owner = folder;
        file.unmet = clamped(links) - std::min<uint32_t>(clamped(links), 1);
        file.commonLength = std::min<uint32_t>(clamped(path.size()), kLongestCommon);
        file.direct = direct;
        file.isFile = isFile;
        return true;
    }
    Entry& file = *found;
    if (!file.owner) return false; // counted before
    if (file.unmet > 0) --file.unmet;
    if (folder == file.owner) {
        file.direct = file.direct || direct;
        return false;
    }
    const std::string_view owner = folderPath(file.owner->path);
    file.commonLength = std::min<uint32_t>(clamped(commonFolderLength(owner.substr(0, file.commonLength), path)),
                                           kLongestCommon);
    if (path < owner) {
        file.owner = folder;
        file.direct = direct;
    }
    return false;
}

void LinkedFiles::list(Key key, ScanNode* folder, FileEntry entry, size_t keep) {
    std::lock_guard g(listedLock_);
    listed_.push_back(Listed{key, folder, std::move(entry), keep});
}

bool LinkedFiles::counted(Key key) const {
    if (!remembers_.load(std::memory_order_acquire)) return false;
    const size_t hash = hashOf(key);
    const Shard& shard = shards_[shardOf(hash)];
    std::lock_guard g(shard.lock);
    const Entry* found = shard.counted > 0 ? shard.find(key, hash) : nullptr;
    return found && !found->owner;
}

void LinkedFiles::forEachCounted(const std::function<void(Key)>& each) const {
    for (const auto& shard : shards_) {
        std::lock_guard g(shard.lock);
        if (shard.counted == 0) continue;
        for (const auto& file : shard.entries)
            if (!file.owner) each(file.key);
    }
}

void LinkedFiles::takeCounted(const std::function<void(Key)>& each) {
    if (!remembers_.exchange(false)) return;
    for (auto& shard : shards_) {
        std::lock_guard g(shard.lock);
        if (shard.counted == 0) continue;
        for (const auto& file : shard.entries)
            if (!file.owner) each(file.key);
        // Only what is still to count stays.
        std::deque<Entry> pending;
        for (const auto& file : shard.entries)
            if (file.owner) pending.push_back(file);
        shard.clear();
        for (const auto& file : pending) shard.add(file.key, hashOf(file.key)) = file;
    }
}

void LinkedFiles::settle(const std::vector<ScanNodePtr*>& roots, const Counted& counted, bool remember) {
    std::vector<Listed> listed;
    {
        std::lock_guard g(listedLock_);
        listed.swap(listed_);
    }
    // A name is listed only where its file is counted, once: the first of its names there.
    std::sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) {
        if (a.key.device != b.key.device) return a.key.device < b.key.device;
        if (a.key.inode != b.key.inode) return a.key.inode < b.key.inode;
        return a.entry.name < b.entry.name;
    });
    std::vector<Shown> shown;
    const Key* lastShown = nullptr;
    for (auto& name : listed) {
        if (lastShown && *lastShown == name.key) continue;
        const size_t hash = hashOf(name.key);
        Shard& shard = shards_[shardOf(hash)];
        std::lock_guard g(shard.lock);
        const Entry* file = shard.find(name.key, hash);
        if (!file || file->owner != name.folder) continue;
        shown.push_back(Shown{name.folder, std::move(name.entry), name.keep});
        lastShown = &name.key;
    }

    // Summed per folder as the table is gone through: nothing is copied per file.
    std::unordered_map<const ScanNode*, Owned> owned;
    for (auto& shard : shards_) {
        std::lock_guard g(shard.lock);
        for (auto& file : shard.entries) {
            if (!file.owner) continue;
            const bool everyNameMet = file.unmet == 0;
            if (counted) counted(file.key, *file.owner, everyNameMet);
            auto [at, added] = owned.try_emplace(file.owner);
            if (added) at->second.length = folderPath(file.owner->path).size();
            at->second.add(file.size, file.isFile, file.direct, everyNameMet, file.commonLength);
            file.owner = nullptr;
            ++shard.counted;
        }
        if (!remember) shard.clear();
    }
    if (remember && !owned.empty()) remembers_.store(true, std::memory_order_release);
    if (owned.empty() && shown.empty()) return;
    Settler settler(std::move(owned), std::move(shown));
    for (ScanNodePtr* root : roots)
        if (root && *root) *root = settler.visit(*root);
}

} // namespace sorvel
