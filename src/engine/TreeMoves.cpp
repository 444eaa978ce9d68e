#include "engine/TreeMoves.h"

#include <algorithm>
#include <sys/stat.h>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "engine/PathText.h"
#include "engine/TreeEditor.h"
#include "platform/Path.h"

namespace sorvel::TreeMoves {
namespace {

// What an item counts for, to be counted at its new place alike.
struct Taken {
    int64_t size = 0;
    int64_t files = 0;
    int64_t folders = 0; // itself included, when a folder
    int64_t unreadable = 0;
    bool folder = false;
    ScanNodePtr node; // the item as the tree or a walk had it; none when only its size is known
    bool heldRoots = false; // roots lay below it: the tree's node lacks their figures
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
    copy->unwritable = node.unwritable;
    copy->unwritableFolders = node.unwritableFolders;
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

std::optional<Taken> takeOff(TreeEditor& editor, const Move& move, bool holdsRoots) {
    // Roots below a folder that moved (a cache root inside an app's folder) went with it.
    const bool heldRoots = holdsRoots && move.folder != false && !editor.leaveBelow(move.from).empty();
    auto found = editor.open(move.from);
    if (!found) return std::nullopt;
    auto& chain = found->chain;
    if (found->rest.empty()) {
        if (chain.size() == 1) {
            // A whole root moved: it leaves the tree, and is looked out for should it come back.
            editor.settle(*chain.front());
            ScanNodePtr root = editor.leave(*found);
            Taken taken = figuresOf(root, !root->isFile);
            taken.heldRoots = heldRoots;
            return taken;
        }
        ScanNode& parent = *chain[chain.size() - 2];
        editor.settle(*chain.back()); // copied elsewhere with its files in order
        ScanNodePtr node = std::move(parent.children[found->slot]); // left empty, dropped at the end
        Taken taken = figuresOf(node, true);
        taken.heldRoots = heldRoots;
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
        if (const auto listed = editor.unlist(holder, move.from)) taken.size = listed->size;
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

bool putDown(TreeEditor& editor, const Move& move, const Taken& taken, int keptDepth) {
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
        editor.addChild(holder, std::move(node));
        shift(chain, chain.size(), taken, 1);
        return true;
    }
    if (editor.listed(holder, move.to)) return false;
    FileEntry entry;
    entry.name = name;
    entry.path = move.to;
    entry.size = taken.size;
    if (taken.node) entry.modified = taken.node->modified;
    editor.list(holder, std::move(entry));
    holder.directFileSize += taken.size;
    holder.directFileCount += 1;
    shift(chain, chain.size(), taken, 1);
    return true;
}

// Paths looked up in a tree only read: a big folder's children through an index by name, and
// the roots in order, so that thousands of items are looked up at the cost of a few each.
class Finder {
public:
    explicit Finder(const ScanResult& result) : result_(result) {
        for (const auto& category : result.categories)
            for (const auto& root : category.roots)
                if (root) roots_.push_back(root->path);
        std::sort(roots_.begin(), roots_.end());
    }

    // As `ScanResult::node`: whether the tree keeps a node for exactly this path.
    bool kept(std::string_view path) {
        for (const auto& category : result_.categories)
            for (const auto& root : category.roots) {
                if (!root || !isPathInside(path, root->path)) continue;
                if (path == root->path) return true;
                const ScanNode* current = root.get();
                for (const auto piece : pathPieces(path.substr(root->path == "/" ? 1 : root->path.size() + 1)))
                    if (!(current = child(*current, piece))) break;
                if (current) return true;
            }
        return false;
    }

    bool inSomeRoot(std::string_view path) const {
        for (const auto& category : result_.categories)
            for (const auto& root : category.roots)
                if (root && isPathInside(path, root->path)) return true;
        return false;
    }

    // Some root lies below the path.
    bool holdsRoot(std::string_view path) const {
        if (path == "/") return std::any_of(roots_.begin(), roots_.end(), [](const std::string& r) { return r != "/"; });
        const std::string prefix = std::string(path) + "/";
        const auto at = std::lower_bound(roots_.begin(), roots_.end(), prefix);
        return at != roots_.end() && at->starts_with(prefix);
    }

private:
    const ScanNode* child(const ScanNode& node, std::string_view name) {
        const auto& children = node.children;
        if (children.size() < 32) {
            for (const auto& c : children)
                if (c && c->name == name) return c.get();
            return nullptr;
        }
        auto [entry, made] = index_.try_emplace(&node);
        if (made)
            for (const auto& c : children)
                if (c) entry->second.emplace(c->name, c.get());
        const auto hit = entry->second.find(name);
        return hit == entry->second.end() ? nullptr : hit->second;
    }

    const ScanResult& result_;
    std::vector<std::string> roots_;
    std::unordered_map<const ScanNode*, std::unordered_map<std::string_view, const ScanNode*>> index_;
};

bool needsMeasuring(const Move& move, Finder& finder) {
    if (move.to.empty() || move.folder == false || move.measured) return false;
    const std::string from = trimmedTrailingSlash(move.from);
    // A root below it is no part of the tree's node: the whole is counted where it went.
    if (finder.kept(from) && !finder.holdsRoot(from)) return false;
    return finder.inSomeRoot(from) || finder.inSomeRoot(trimmedTrailingSlash(move.to));
}

} // namespace

bool needsMeasuring(const Move& move, const ScanResult& result) {
    Finder finder(result);
    return needsMeasuring(move, finder);
}

std::vector<size_t> needingMeasure(const std::vector<Move>& moves, const ScanResult& result) {
    Finder finder(result);
    std::vector<size_t> chosen;
    for (size_t i = 0; i < moves.size(); ++i)
        if (needsMeasuring(moves[i], finder)) chosen.push_back(i);
    return chosen;
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
    const Finder finder(result);
    TreeEditor editor(result);
    bool changed = false;
    for (const auto& move : moves) {
        Move clean = move;
        clean.from = trimmedTrailingSlash(move.from);
        clean.to = move.to.empty() ? std::string() : trimmedTrailingSlash(move.to);
        const auto taken = takeOff(editor, clean, finder.holdsRoot(clean.from));
        if (taken) changed = true;
        // Not counted before (outside the scanned roots): counted from now on where it lies;
        // one that held roots is counted as walked where it lies, with theirs.
        const bool whole = taken && !(taken->heldRoots && clean.measured);
        if (putDown(editor, clean, whole ? *taken : described(clean), keptDepth)) changed = true;
    }
    editor.finish();
    return changed;
}

} // namespace sorvel::TreeMoves
