#include "engine/LinkedFiles.h"

#include <algorithm>
#include <string_view>

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

struct Owned {
    ScanNode* owner;
    int64_t size;
    uint32_t commonLength;
    bool everyNameMet;
    bool direct;
    bool isFile;
};

struct Shown {
    ScanNode* folder;
    FileEntry entry;
    size_t keep;
};

// One pass over a tree, copying the nodes whose figures the counted files change.
class Settler {
public:
    Settler(std::vector<Owned> owned, std::vector<Shown> shown) : owned_(std::move(owned)), shown_(std::move(shown)) {
        std::sort(owned_.begin(), owned_.end(), [](const Owned& a, const Owned& b) { return a.owner < b.owner; });
        std::stable_sort(shown_.begin(), shown_.end(), [](const Shown& a, const Shown& b) { return a.folder < b.folder; });
    }

    ScanNodePtr visit(const ScanNodePtr& node) {
        const size_t length = folderPath(node->path).size();
        chain_.push_back({length, 0});
        int64_t bytes = 0, files = 0, directBytes = 0, directFiles = 0, shared = 0;
        const auto [first, last] = std::equal_range(owned_.begin(), owned_.end(), Owned{node.get(), 0, 0, false, false, false},
                                                    [](const Owned& a, const Owned& b) { return a.owner < b.owner; });
        for (auto it = first; it != last; ++it) {
            bytes += it->size;
            files += it->isFile ? 1 : 0;
            if (it->direct) {
                directBytes += it->size;
                directFiles += it->isFile ? 1 : 0;
            }
            if (it->everyNameMet && it->commonLength >= length) continue; // every name lies here
            shared += it->size;
            // Every name lies in a folder above: from there up, moving frees the file.
            if (!it->everyNameMet) continue;
            for (size_t k = chain_.size() - 1; k-- > 0;)
                if (chain_[k].length == it->commonLength) {
                    chain_[k].freedHere += it->size;
                    break;
                }
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
        if (first == last && !childChanged && freedHere == 0 && shownFirst == shownLast) return node;

        auto copy = std::make_shared<ScanNode>(*node);
        if (childChanged) copy->children = std::move(children);
        copy->size += bytes + childBytes;
        copy->fileCount += files + childFiles;
        copy->directFileSize += directBytes;
        copy->directFileCount += directFiles;
        copy->directSharedSize += shared - freedHere;
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
    std::vector<Owned> owned_;
    std::vector<Shown> shown_;
    std::vector<Level> chain_;
};

} // namespace

LinkedFiles::Shard& LinkedFiles::shardOf(const Key& key) {
    const size_t hash = KeyHash{}(key);
    return shards_[(hash ^ (hash >> 29)) % kShards];
}

bool LinkedFiles::meet(Key key, uint64_t links, int64_t size, ScanNode* folder, bool direct, bool isFile) {
    const std::string_view path = folderPath(folder->path);
    Shard& shard = shardOf(key);
    std::lock_guard g(shard.lock);
    auto [it, added] = shard.files.try_emplace(key);
    Entry& file = it->second;
    if (added) {
        file = Entry{size, folder, clamped(links), 1, clamped(path.size()), direct, isFile};
        return true;
    }
    if (file.namesMet < UINT32_MAX) ++file.namesMet;
    if (folder == file.owner) {
        file.direct = file.direct || direct;
        return false;
    }
    const std::string_view owner = folderPath(file.owner->path);
    file.commonLength = clamped(commonFolderLength(owner.substr(0, file.commonLength), path));
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

bool LinkedFiles::empty() const {
    for (const auto& shard : shards_) {
        std::lock_guard g(shard.lock);
        if (!shard.files.empty()) return false;
    }
    return true;
}

void LinkedFiles::settle(const std::vector<ScanNodePtr*>& roots, const Counted& counted) {
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
        Shard& shard = shardOf(name.key);
        std::lock_guard g(shard.lock);
        const auto it = shard.files.find(name.key);
        if (it == shard.files.end() || it->second.owner != name.folder) continue;
        shown.push_back(Shown{name.folder, std::move(name.entry), name.keep});
        lastShown = &name.key;
    }

    std::vector<Owned> owned;
    for (auto& shard : shards_) {
        std::lock_guard g(shard.lock);
        owned.reserve(owned.size() + shard.files.size());
        for (const auto& [key, file] : shard.files) {
            const bool everyNameMet = file.namesMet >= file.links;
            if (counted) counted(key, *file.owner, everyNameMet);
            owned.push_back(Owned{file.owner, file.size, file.commonLength, everyNameMet, file.direct, file.isFile});
        }
        std::unordered_map<Key, Entry, KeyHash>().swap(shard.files);
    }
    if (owned.empty() && shown.empty()) return;
    Settler settler(std::move(owned), std::move(shown));
    for (ScanNodePtr* root : roots)
        if (root && *root) *root = settler.visit(*root);
}

} // namespace sorvel
