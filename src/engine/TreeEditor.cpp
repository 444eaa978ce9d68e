#include "engine/TreeEditor.h"

#include <algorithm>
#include <iterator>

#include "engine/PathText.h"
#include "platform/Path.h"

namespace sorvel {

std::optional<TreeEditor::Found> TreeEditor::open(std::string_view path) {
    for (size_t c = 0; c < result_.categories.size(); ++c) {
        auto& category = result_.categories[c];
        // A place this category leaves out (the Trash in the data folder) is another's.
        const auto& excluded = category.category.excludedPaths;
        if (std::any_of(excluded.begin(), excluded.end(),
                        [&](const std::string& folder) { return isPathInside(path, folder); }))
            continue;
        for (size_t r = 0; r < category.roots.size(); ++r) {
            auto& root = category.roots[r];
            if (!root || !isPathInside(path, root->path)) continue;
            const std::string_view rootPath = root->path;
            const bool equal = path == rootPath;
            const size_t rootLength = rootPath == "/" ? 1 : rootPath.size() + 1;
            Found found;
            found.category = c;
            found.root = r;
            found.chain.push_back(own(root, 0)); // may free the node rootPath names
            if (equal) return found;
            const auto all = pathPieces(path.substr(rootLength));
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

ScanNode* TreeEditor::own(ScanNodePtr& slot, size_t depth) {
    if (owned_.count(slot.get())) return slot.get();
    auto copy = std::make_shared<ScanNode>(*slot);
    // Nodes below it were dropped: a walk keeps their figures in it, whatever their bytes.
    if (copy->children.empty() && copy->dirCount > 0) collapsed_.insert(copy.get());
    owned_.insert(copy.get());
    touched_.emplace_back(depth, copy); // held: a node taken off is still rolled up harmlessly
    slot = std::move(copy);
    return slot.get();
}

std::optional<size_t> TreeEditor::childSlot(const ScanNode& node, std::string_view name) {
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
    const auto hit = entry->second.find(name);
    if (hit == entry->second.end() || !children[hit->second]) return std::nullopt;
    return hit->second;
}

void TreeEditor::addChild(ScanNode& folder, ScanNodePtr child) {
    if (auto entry = index_.find(&folder); entry != index_.end())
        entry->second.emplace(child->name, folder.children.size());
    folder.children.push_back(std::move(child));
}

TreeEditor::Listing& TreeEditor::listingOf(ScanNode& folder) {
    auto [entry, made] = listings_.try_emplace(&folder);
    Listing& listing = entry->second;
    if (made) {
        // The folder's own list stays as it is until the end: the index names its paths.
        const auto& files = folder.largestFiles;
        listing.gone.assign(files.size(), false);
        listing.where.reserve(files.size());
        for (size_t i = 0; i < files.size(); ++i) listing.where.try_emplace(files[i].path, false, i);
    }
    return listing;
}

std::optional<FileEntry> TreeEditor::unlist(ScanNode& folder, std::string_view path) {
    if (folder.largestFiles.empty() && !listings_.count(&folder)) return std::nullopt;
    Listing& listing = listingOf(folder);
    const auto hit = listing.where.find(path);
    if (hit == listing.where.end()) return std::nullopt;
    const auto [added, index] = hit->second;
    listing.where.erase(hit);
    if (added) {
        listing.addedGone[index] = true;
        return listing.added[index];
    }
    listing.gone[index] = true;
    return folder.largestFiles[index];
}

bool TreeEditor::listed(ScanNode& folder, std::string_view path) {
    if (folder.largestFiles.empty() && !listings_.count(&folder)) return false;
    return listingOf(folder).where.count(path) > 0;
}

void TreeEditor::list(ScanNode& folder, FileEntry entry) {
    Listing& listing = listingOf(folder);
    listing.added.push_back(std::move(entry));
    listing.addedGone.push_back(false);
    listing.where.try_emplace(listing.added.back().path, true, listing.added.size() - 1);
}

// The files kept, in their order, merged with those added, largest first: an added file goes
// after the files of its size already there, and after those of its size added before it.
void TreeEditor::applyListing(ScanNode& folder, Listing& listing) {
    std::vector<FileEntry> kept;
    kept.reserve(folder.largestFiles.size());
    for (size_t i = 0; i < folder.largestFiles.size(); ++i)
        if (!listing.gone[i]) kept.push_back(std::move(folder.largestFiles[i]));
    std::vector<FileEntry> added;
    added.reserve(listing.added.size());
    for (size_t i = 0; i < listing.added.size(); ++i)
        if (!listing.addedGone[i]) added.push_back(std::move(listing.added[i]));
    const auto larger = [](const FileEntry& a, const FileEntry& b) { return a.size > b.size; };
    std::stable_sort(added.begin(), added.end(), larger);
    std::vector<FileEntry> merged;
    merged.reserve(kept.size() + added.size());
    std::merge(std::make_move_iterator(kept.begin()), std::make_move_iterator(kept.end()),
               std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()),
               std::back_inserter(merged), larger);
    folder.largestFiles = std::move(merged);
}

void TreeEditor::settle(ScanNode& folder) {
    if (listings_.empty()) return;
    // Only nodes this edit copied can hold edits, and all their folders above are copies too.
    std::vector<ScanNode*> stack{&folder};
    while (!stack.empty()) {
        ScanNode* node = stack.back();
        stack.pop_back();
        if (auto entry = listings_.find(node); entry != listings_.end()) {
            applyListing(*node, entry->second);
            listings_.erase(entry);
        }
        for (const auto& child : node->children)
            if (child && owned_.count(child.get())) stack.push_back(child.get());
    }
}

ScanNodePtr TreeEditor::dropRoot(size_t category, size_t root) {
    ScanNodePtr node = std::move(result_.categories[category].roots[root]); // the slot left empty
    left_.push_back({result_.categories[category].id(), node->path});
    emptied_.insert(category);
    return node;
}

ScanNodePtr TreeEditor::leave(const Found& found) { return dropRoot(found.category, found.root); }

std::vector<ScanNodePtr> TreeEditor::leaveBelow(std::string_view path) {
    std::vector<ScanNodePtr> gone;
    for (size_t c = 0; c < result_.categories.size(); ++c)
        for (size_t r = 0; r < result_.categories[c].roots.size(); ++r) {
            const auto& root = result_.categories[c].roots[r];
            if (!root || root->path == path || !isPathInside(root->path, path)) continue;
            gone.push_back(dropRoot(c, r));
        }
    return gone;
}

void TreeEditor::finish() {
    for (auto& [folder, listing] : listings_) applyListing(*folder, listing);
    listings_.clear();
    std::stable_sort(touched_.begin(), touched_.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (auto& [depth, node] : touched_) {
        auto& children = node->children;
        children.erase(std::remove(children.begin(), children.end(), nullptr), children.end());
        if (!collapsed_.count(node.get())) node->rollUpTotals();
    }
    if (left_.empty()) return;
    auto& categories = result_.categories;
    std::vector<CategoryResult> kept;
    kept.reserve(categories.size());
    for (size_t c = 0; c < categories.size(); ++c) {
        auto& roots = categories[c].roots;
        if (emptied_.count(c)) roots.erase(std::remove(roots.begin(), roots.end(), nullptr), roots.end());
        // A category with no root left is no category, as a scan leaves it.
        if (!emptied_.count(c) || !roots.empty()) kept.push_back(std::move(categories[c]));
    }
    categories = std::move(kept);
    auto& missing = result_.missingRoots;
    for (auto& root : left_)
        if (std::find(missing.begin(), missing.end(), root) == missing.end()) missing.push_back(std::move(root));
    left_.clear();
    emptied_.clear();
}

} // namespace sorvel
