#include "engine/TreeMoves.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/PathText.h"
#include "platform/Path.h"

namespace sorvel::TreeMoves {
namespace {

// Thousands of moved items may share one folder: the chains to them are copied once, and a
// folder's children are found by name through an index rather than one by one.
class Editor {
public:
    explicit Editor(ScanResult& result) : result_(result) {}

    struct Found {
        std::vector<ScanNode*> chain; // writable copies, the root first
        std::vector<std::string_view> rest; // the path's pieces below the last one
        size_t slot = 0;                    // the last one's place among its parent's children
    };

    std::optional<Found> open(std::string_view path) {
        for (auto& category : result_.categories) {
            // A place this category leaves out (the Trash in the data folder) is another's.
            const auto& excluded = category.category.excludedPaths;
            if (std::any_of(excluded.begin(), excluded.end(),
                            [&](const std::string& folder) { return isPathInside(path, folder); }))
                continue;
            for (auto& root : category.roots) {
                if (!root) continue;
                const std::string rootPath = root->path; // own() below may free the node it names
                const bool equal = path == rootPath;
                const bool below = !equal && (rootPath == "/" ? path.starts_with("/")
                                                              : path.starts_with(rootPath + "/"));
                if (!equal && !below) continue;
                Found found;
                found.chain.push_back(own(root, 0));
                if (equal) return found;
                const auto all = pathPieces(path.substr(rootPath == "/" ? 1 : rootPath.size() + 1));
                size_t used = 0;
                for (; used < all.size(); ++used) {
                    ScanNode& current = *found.chain.back();
                    const auto slot = childSlot(current, all[used]);
                    if (!slot) break;
                    found.chain.push_back(own(current.children[*slot], found.chain.size()));
                    found.slot = *slot;
                }
                found.rest.assign(all.begin() + static_cast<std::ptrdiff_t>(used), all.end());
                return found;
            }
        }
        return std::nullopt;
    }

    // Totals from the children again, deepest first, where the tree keeps the children; a
    // folder whose children were dropped below the kept depth keeps the figures it was given.
    void finish() {
        std::stable_sort(touched_.begin(), touched_.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        for (auto& [depth, node] : touched_) {
            auto& children = node->children;
            children.erase(std::remove(children.begin(), children.end(), nullptr), children.end());
            if (!collapsed_.count(node.get())) node->rollUpTotals();
        }
    }

private:
    ScanNode* own(ScanNodePtr& slot, size_t depth) {
        if (owned_.count(slot.get())) return slot.get();
        auto copy = std::make_shared<ScanNode>(*slot);
        if (copy->children.empty() && copy->size != copy->directFileSize) collapsed_.insert(copy.get());
        owned_.insert(copy.get());
        touched_.emplace_back(depth, copy); // held: a node taken off is still rolled up harmlessly
        slot = std::move(copy);
        return slot.get();
    }

    std::optional<size_t> childSlot(const ScanNode& node, std::string_view name) {
        const auto& children = node.children;
        if (children.size() < 32) {
            for (size_t i = 0; i < children.size(); ++i)
                if (children[i] && children[i]->name == name) return i;
            return std::nullopt;
        }
        auto [entry, made] = index_.try_emplace(&node);
        if (made)
            for (size_t i = 0; i < children.size(); ++i)
                if (children[i]) entry->second.emplace(children[i]->name, i);
        const auto hit = entry->second.find(std::string(name));
        if (hit == entry->second.end() || !children[hit->second]) return std::nullopt;
        return hit->second;
    }

    ScanResult& result_;
    std::unordered_set<const ScanNode*> owned_;
    std::unordered_set<const ScanNode*> collapsed_;
    std::vector<std::pair<size_t, ScanNodePtr>> touched_;
    // Names held as copies: a child replaced by own() may be the last holder of its name.
    std::unordered_map<const ScanNode*, std::unordered_map<std::string, size_t>> index_;
};

// What left its old place, to be counted at the new one alike.
struct Taken {
    int64_t size = 0;
    int64_t files = 0;
    bool folder = false;
    ScanNodePtr node; // the folder as the tree had it
};

void shift(const std::vector<ScanNode*>& chain, size_t count, int64_t size, int64_t files, int64_t folders) {
    for (size_t i = 0; i < count; ++i) {
        chain[i]->size += size;
        chain[i]->fileCount += files;
        chain[i]->dirCount += folders;
    }
}

std::optional<Taken> takeOff(Editor& editor, const Move& move) {
    auto found = editor.open(move.from);
    if (!found) return std::nullopt;
    auto& chain = found->chain;
    if (found->rest.empty()) {
        if (chain.size() == 1) return std::nullopt; // a whole root stays: the walk says when it is gone
        ScanNode& parent = *chain[chain.size() - 2];
        ScanNodePtr node = std::move(parent.children[found->slot]); // left empty, dropped at the end
        shift(chain, chain.size() - 1, -node->size, -node->fileCount, -(node->dirCount + 1));
        return Taken{node->size, node->fileCount, true, std::move(node)};
    }
    ScanNode& holder = *chain.back();
    const bool collapsed = holder.children.empty() && holder.size != holder.directFileSize;
    Taken taken{std::max<int64_t>(move.size, 0), 1, move.folder.value_or(false), nullptr};
    if (found->rest.size() == 1 && !taken.folder) {
        // One of the folder's own files: listed when it was among the largest, else only summed.
        auto& files = holder.largestFiles;
        const auto listed = std::find_if(files.begin(), files.end(), [&](const FileEntry& f) { return f.path == move.from; });
        if (listed != files.end()) {
            taken.size = listed->size;
            files.erase(listed);
        }
        taken.size = std::min(taken.size, holder.directFileSize);
        holder.directFileSize -= taken.size;
        holder.directFileCount = std::max<int64_t>(holder.directFileCount - 1, 0);
    } else if (collapsed) {
        // Below the kept depth: only the figures of the folders that hold it know of it.
        taken.size = std::min(taken.size, holder.size - holder.directFileSize);
        taken.files = 0;
    } else {
        return std::nullopt; // a folder the walk never saw: not counted anywhere
    }
    shift(chain, chain.size(), -taken.size, -taken.files, 0);
    return taken;
}

bool putDown(Editor& editor, const Move& move, const Taken& taken) {
    if (move.to.empty() || taken.size <= 0) return false;
    auto found = editor.open(move.to);
    if (!found || found->rest.empty()) return false; // outside every root, or already there
    auto& chain = found->chain;
    ScanNode& holder = *chain.back();
    const bool direct = found->rest.size() == 1;
    const bool collapsed = holder.children.empty() && holder.size != holder.directFileSize;
    if (!direct && !collapsed) return false; // inside a folder the tree does not know
    const std::string name = lastPathComponent(move.to);
    if (direct && taken.folder && !collapsed) {
        // Its subfolders are not known under the new place: the folder stands alone until
        // the Trash is measured again.
        auto node = ScanNode::make(name, move.to);
        node->size = node->directFileSize = taken.size;
        node->fileCount = node->directFileCount = taken.files;
        if (taken.node) {
            node->modified = taken.node->modified;
            node->accessDenied = taken.node->accessDenied;
            node->unreadableFolders = taken.node->unreadableFolders;
            node->walkCut = node->partial = taken.node->partial;
        }
        holder.children.push_back(std::move(node));
        shift(chain, chain.size(), taken.size, taken.files, 1);
        return true;
    }
    if (direct && !taken.folder) {
        auto& files = holder.largestFiles;
        if (std::any_of(files.begin(), files.end(), [&](const FileEntry& f) { return f.path == move.to; })) return false;
        FileEntry entry;
        entry.name = name;
        entry.path = move.to;
        entry.size = taken.size;
        const auto place = std::find_if(files.begin(), files.end(), [&](const FileEntry& f) { return f.size < taken.size; });
        files.insert(place, std::move(entry));
        holder.directFileSize += taken.size;
        holder.directFileCount += 1;
    }
    shift(chain, chain.size(), taken.size, taken.files, 0);
    return true;
}

} // namespace

bool apply(const std::vector<Move>& moves, ScanResult& result) {
    Editor editor(result);
    bool changed = false;
    for (const auto& move : moves) {
        Move clean = move;
        clean.from = trimmedTrailingSlash(move.from);
        clean.to = move.to.empty() ? std::string() : trimmedTrailingSlash(move.to);
        const auto taken = takeOff(editor, clean);
        if (taken) changed = true;
        // Not counted before (outside the scanned roots): counted from now on where it lies.
        const Taken placed = taken ? *taken
                                   : Taken{std::max<int64_t>(move.size, 0), 1, move.folder.value_or(false), nullptr};
        if (putDown(editor, clean, placed)) changed = true;
    }
    editor.finish();
    return changed;
}

} // namespace sorvel::TreeMoves
