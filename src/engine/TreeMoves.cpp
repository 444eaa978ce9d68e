#include "engine/TreeMoves.h"

#include <algorithm>
#include <sys/stat.h>
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

    bool collapsed(const ScanNode& node) const { return collapsed_.count(&node) > 0; }

private:
    ScanNode* own(ScanNodePtr& slot, size_t depth) {
        if (owned_.count(slot.get())) return slot.get();
        auto copy = std::make_shared<ScanNode>(*slot);
        // Nodes below it were dropped: a walk keeps their figures in it, whatever their bytes.
        if (copy->children.empty() && copy->dirCount > 0) collapsed_.insert(copy.get());
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

// What an item counts for, to be counted at its new place alike.
struct Taken {
    int64_t size = 0;
    int64_t files = 0;
    int64_t folders = 0; // itself included, when a folder
    int64_t unreadable = 0;
    bool folder = false;
    ScanNodePtr node; // the item as the tree or a walk had it; none when only its size is known
};

Taken figuresOf(const ScanNodePtr& node, bool folder) {
    return {node->size, node->fileCount, node->dirCount + (folder ? 1 : 0), node->unreadableFolders, folder, node};
}

// What the move says of the item where the tree knows nothing of it.
Taken described(const Move& move) {
    const bool folder = move.folder.value_or(false);
    if (move.measured) return figuresOf(move.measured, folder);
    // A folder of unknown contents counts its bytes only; a file is one file.
    return {std::max<int64_t>(move.size, 0), move.folder == false ? 1 : 0, folder ? 1 : 0, 0, folder, nullptr};
}

void shift(const std::vector<ScanNode*>& chain, size_t count, const Taken& item, int sign) {
    for (size_t i = 0; i < count; ++i) {
        chain[i]->size += sign * item.size;
        chain[i]->fileCount += sign * item.files;
        chain[i]->dirCount += sign * item.folders;
    }
}

// A folder whose nodes below were dropped keeps the word for what it hides: what leaves
// or joins it changes that word too, as no roll-up from children can.
void reword(ScanNode& holder, const Taken& item, int sign) {
    holder.unreadableFolders =
        std::max<int64_t>(holder.unreadableFolders + sign * item.unreadable, holder.accessDenied ? 1 : 0);
    if (sign > 0) {
        const bool itemUnread = item.node ? item.node->nothingReadable : false;
        holder.nothingReadable = holder.nothingReadable && itemUnread;
        if (item.node && item.node->partial) holder.partial = true;
    } else if (holder.dirCount == 0) {
        // Nothing hidden is left: only its own files say how it was read.
        holder.nothingReadable = holder.accessDenied;
        holder.partial = holder.walkCut;
    }
}

// A copy of the node placed at `path`, everything below named from there, keeping nodes
// `levels` deep at most (the figures of those dropped stay in the folders above).
ScanNodePtr placedAt(const ScanNode& node, const std::string& path, int levels) {
    auto copy = ScanNode::make(lastPathComponent(path), path);
    copy->size = node.size;
    copy->directFileSize = node.directFileSize;
    copy->directFileCount = node.directFileCount;
    copy->fileCount = node.fileCount;
    copy->dirCount = node.dirCount;
    copy->accessDenied = node.accessDenied;
    copy->unreadableFolders = node.unreadableFolders;
    copy->nothingReadable = node.nothingReadable;
    copy->modified = node.modified;
    copy->walkCut = node.walkCut;
    copy->partial = node.partial;
    copy->largestFiles = node.largestFiles;
    for (auto& file : copy->largestFiles) file.path = path + "/" + file.name;
    if (levels <= 0) {
        // As a walk leaves a folder at the kept depth: the cut ones below go with the nodes.
        if (!node.children.empty()) copy->walkCut = node.partial;
        return copy;
    }
    copy->children.reserve(node.children.size());
    for (const auto& child : node.children)
        if (child) copy->children.push_back(placedAt(*child, path + "/" + child->name, levels - 1));
    return copy;
}

std::optional<Taken> takeOff(Editor& editor, const Move& move) {
    auto found = editor.open(move.from);
    if (!found) return std::nullopt;
    auto& chain = found->chain;
    if (found->rest.empty()) {
        if (chain.size() == 1) return std::nullopt; // a whole root stays: the walk says when it is gone
        ScanNode& parent = *chain[chain.size() - 2];
        ScanNodePtr node = std::move(parent.children[found->slot]); // left empty, dropped at the end
        Taken taken = figuresOf(node, true);
        shift(chain, chain.size() - 1, taken, -1);
        return taken;
    }
    ScanNode& holder = *chain.back();
    const bool collapsed = editor.collapsed(holder);
    if (found->rest.size() == 1 && move.folder != true) {
        // One of the folder's own files (of unknown kind, and not a folder the tree keeps):
        // listed when it was among the largest, else only summed.
        Taken taken = described(move);
        taken.files = 1;
        auto& files = holder.largestFiles;
        const auto listed = std::find_if(files.begin(), files.end(), [&](const FileEntry& f) { return f.path == move.from; });
        if (listed != files.end()) {
            taken.size = listed->size;
            files.erase(listed);
        }
        taken.size = std::min(taken.size, holder.directFileSize);
        holder.directFileSize -= taken.size;
        holder.directFileCount = std::max<int64_t>(holder.directFileCount - 1, 0);
        shift(chain, chain.size(), taken, -1);
        return taken;
    }
    if (!collapsed) return std::nullopt; // a folder the walk never saw: not counted anywhere
    // Below the kept depth: only the figures of the folders that hold it know of it.
    Taken taken = described(move);
    taken.size = std::min(taken.size, holder.size - holder.directFileSize);
    taken.files = std::min(taken.files, holder.fileCount - holder.directFileCount);
    taken.folders = std::min(taken.folders, holder.dirCount);
    shift(chain, chain.size(), taken, -1);
    reword(holder, taken, -1);
    return taken;
}

bool putDown(Editor& editor, const Move& move, const Taken& taken, int keptDepth) {
    if (move.to.empty()) return false;
    auto found = editor.open(move.to);
    if (!found || found->rest.empty()) return false; // outside every root, or already there
    auto& chain = found->chain;
    ScanNode& holder = *chain.back();
    const bool direct = found->rest.size() == 1;
    const bool collapsed = editor.collapsed(holder);
    if (!direct && !collapsed) return false; // inside a folder the tree does not know
    if (collapsed) {
        shift(chain, chain.size(), taken, 1);
        reword(holder, taken, 1);
        return true;
    }
    const std::string name = lastPathComponent(move.to);
    if (taken.folder) {
        const int levels = keptDepth - static_cast<int>(chain.size());
        ScanNodePtr node;
        if (taken.node) {
            node = placedAt(*taken.node, move.to, levels);
        } else {
            // Only its bytes are known: it stands as a folder of its own files.
            node = ScanNode::make(name, move.to);
            node->size = node->directFileSize = taken.size;
            node->fileCount = node->directFileCount = taken.files;
        }
        holder.children.push_back(std::move(node));
        shift(chain, chain.size(), taken, 1);
        return true;
    }
    auto& files = holder.largestFiles;
    if (std::any_of(files.begin(), files.end(), [&](const FileEntry& f) { return f.path == move.to; })) return false;
    FileEntry entry;
    entry.name = name;
    entry.path = move.to;
    entry.size = taken.size;
    if (taken.node) entry.modified = taken.node->modified;
    const auto place = std::find_if(files.begin(), files.end(), [&](const FileEntry& f) { return f.size < taken.size; });
    files.insert(place, std::move(entry));
    holder.directFileSize += taken.size;
    holder.directFileCount += 1;
    shift(chain, chain.size(), taken, 1);
    return true;
}

// The node the tree keeps for exactly this path, or none.
bool kept(const std::string& path, const ScanResult& result) {
    return result.node(path) != nullptr;
}

bool inSomeRoot(const std::string& path, const ScanResult& result) {
    for (const auto& category : result.categories)
        for (const auto& root : category.roots)
            if (root && isPathInside(path, root->path)) return true;
    return false;
}

} // namespace

bool needsMeasuring(const Move& move, const ScanResult& result) {
    if (move.to.empty() || move.folder == false || move.measured) return false;
    const std::string from = trimmedTrailingSlash(move.from);
    if (kept(from, result)) return false;
    return inSomeRoot(from, result) || inSomeRoot(trimmedTrailingSlash(move.to), result);
}

void measure(std::vector<Move>& moves, const Walk& walk) {
    for (auto& move : moves) {
        if (move.to.empty() || move.measured) continue;
        const std::string to = trimmedTrailingSlash(move.to);
        struct stat st;
        if (::lstat(to.c_str(), &st) != 0) continue; // gone again: its size is all there is
        move.folder = S_ISDIR(st.st_mode);
        if (*move.folder) move.measured = walk(to);
    }
}

bool apply(const std::vector<Move>& moves, ScanResult& result, int keptDepth) {
    Editor editor(result);
    bool changed = false;
    for (const auto& move : moves) {
        Move clean = move;
        clean.from = trimmedTrailingSlash(move.from);
        clean.to = move.to.empty() ? std::string() : trimmedTrailingSlash(move.to);
        const auto taken = takeOff(editor, clean);
        if (taken) changed = true;
        // Not counted before (outside the scanned roots): counted from now on where it lies.
        if (putDown(editor, clean, taken ? *taken : described(clean), keptDepth)) changed = true;
    }
    editor.finish();
    return changed;
}

} // namespace sorvel::TreeMoves
