#include "engine/TreeUpdater.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/Graphemes.h"
#include "engine/PathText.h"
#include "engine/Reading.h"

namespace sorvel::TreeUpdater {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Equal, or the folder followed by "/" begins the path.
bool liesIn(std::string_view path, std::string_view folder) {
    if (path == folder) return true;
    return path.size() > folder.size() && startsWith(path, folder) && path[folder.size()] == '/';
}

} // namespace

std::optional<std::string> firmlinkAlternate(const std::string& path) {
    if (startsWith(path, "/private/")) return path.substr(8);
    for (std::string_view top : {"/var", "/tmp", "/etc"}) {
        if (liesIn(path, top)) return "/private" + path;
    }
    return std::nullopt;
}

std::optional<Location> search(const std::string& path, const ScanResult& result) {
    for (size_t c = 0; c < result.categories.size(); ++c) {
        // A place this category leaves out (another's root inside one of its own) is that
        // other category's to update.
        const auto& excluded = result.categories[c].category.excludedPaths;
        if (std::any_of(excluded.begin(), excluded.end(),
                        [&](const std::string& folder) { return liesIn(path, folder); }))
            continue;
        const auto& roots = result.categories[c].roots;
        // The deepest root holding the path: a root nested in another is left out of the
        // outer one's walk, and measured as itself.
        std::optional<size_t> holding;
        for (size_t r = 0; r < roots.size(); ++r) {
            if (!roots[r]) continue;
            const std::string& rootPath = roots[r]->path;
            // A root stored as "/" holds every absolute path.
            const bool holds = path == rootPath ||
                               (rootPath == "/" ? startsWith(path, "/") : startsWith(path, rootPath + "/"));
            if (holds && (!holding || rootPath.size() > roots[*holding]->path.size())) holding = r;
        }
        if (holding) {
            const size_t r = *holding;
            const ScanNodePtr& root = roots[r];
            const std::string& rootPath = root->path;
            const bool equal = path == rootPath;

            Location location;
            location.categoryIndex = static_cast<int>(c);
            location.rootIndex = static_cast<int>(r);
            location.chain.push_back(root);
            if (equal) return location;

            const std::string_view rest =
                std::string_view(path).substr(rootPath == "/" ? 1 : rootPath.size() + 1);
            ScanNodePtr current = root;
            for (std::string_view piece : pathPieces(rest)) {
                ScanNodePtr next;
                for (const auto& child : current->children) {
                    if (child && child->name == piece) {
                        next = child;
                        break;
                    }
                }
                if (!next) break;
                location.chain.push_back(next);
                current = std::move(next);
            }
            return location;
        }
    }
    return std::nullopt;
}

std::optional<Location> locate(const std::string& path, const ScanResult& result) {
    const std::string trimmed = trimmedTrailingSlash(path);
    if (auto found = search(trimmed, result)) return found;
    if (auto other = firmlinkAlternate(trimmed)) return search(*other, result);
    return std::nullopt;
}

std::vector<std::string> coalesce(const std::vector<std::string>& paths, const ScanResult& result) {
    struct Found {
        size_t length;
        std::string path;
        std::pair<int, int> root; // category and root it lies in
    };
    std::vector<Found> distinct;
    std::unordered_set<std::string> seen;
    for (const auto& path : paths) {
        auto location = locate(path, result);
        if (!location) continue;
        const std::string& found = location->chain.back()->path;
        if (seen.insert(found).second)
            distinct.push_back({Graphemes::characterCount(found), found, {location->categoryIndex, location->rootIndex}});
    }
    std::stable_sort(distinct.begin(), distinct.end(),
                     [](const Found& a, const Found& b) { return a.length < b.length; });
    std::vector<Found> kept;
    for (auto& found : distinct) {
        // Only a folder of the same root covers it: another root's walk leaves this root out
        // (a Trash inside a folder of another category), so measuring that would miss it.
        const bool covered = std::any_of(kept.begin(), kept.end(), [&](const Found& outer) {
            return outer.root == found.root &&
                   (found.path == outer.path ||
                    startsWith(found.path, outer.path == "/" ? std::string("/") : outer.path + "/"));
        });
        if (!covered) kept.push_back(std::move(found));
    }
    std::vector<std::string> directories;
    directories.reserve(kept.size());
    for (auto& found : kept) directories.push_back(std::move(found.path));
    return directories;
}

int64_t apply(ScanNodePtr replacement, const Location& location, ScanResult& result) {
    const auto& chain = location.chain;
    if (chain.empty()) return 0;
    if (location.categoryIndex < 0 || static_cast<size_t>(location.categoryIndex) >= result.categories.size())
        return 0;
    auto& roots = result.categories[static_cast<size_t>(location.categoryIndex)].roots;
    if (location.rootIndex < 0 || static_cast<size_t>(location.rootIndex) >= roots.size()) return 0;
    const ScanNodePtr& target = chain.back();
    const int64_t oldSize = target->size;
    const int64_t newSize = replacement ? replacement->size : 0;

    if (chain.size() == 1) {
        // A category root: it keeps its slot (and its place in the order) even when gone.
        roots[static_cast<size_t>(location.rootIndex)] =
            replacement ? std::move(replacement) : ScanNode::make(target->name, target->path);
        return newSize - oldSize;
    }

    // Copies of the ancestors, each keeping its identity; the originals stay as they were.
    std::vector<ScanNodePtr> copies;
    copies.reserve(chain.size() - 1);
    for (size_t i = 0; i + 1 < chain.size(); ++i) copies.push_back(std::make_shared<ScanNode>(*chain[i]));
    for (size_t i = 0; i + 2 < chain.size(); ++i) {
        auto& children = copies[i]->children;
        const ScanNodePtr& below = chain[i + 1];
        auto slot = std::find(children.begin(), children.end(), below);
        if (slot == children.end())
            slot = std::find_if(children.begin(), children.end(),
                                [&](const ScanNodePtr& child) { return child && child->path == below->path; });
        if (slot != children.end()) *slot = copies[i + 1];
    }

    auto& siblings = copies.back()->children;
    auto slot = std::find_if(siblings.begin(), siblings.end(),
                             [&](const ScanNodePtr& child) { return child && child->path == target->path; });
    if (slot != siblings.end()) {
        if (replacement) *slot = std::move(replacement);
        else siblings.erase(slot);
    } else if (replacement) {
        siblings.push_back(std::move(replacement));
    }
    // From the parent up, so each node's children are final before it is totalled.
    for (size_t i = copies.size(); i-- > 0;) copies[i]->rollUpTotals();
    roots[static_cast<size_t>(location.rootIndex)] = copies.front();
    return newSize - oldSize;
}

namespace {

// The turns between two walks into `turns`; with `comings`, also the folders not readable
// that came or went there.
void compareReadings(const ScanNode& before, const ScanNode& after, std::vector<ReadingTurn>& turns,
                     std::vector<ReadingTurn>* comings) {
    if (before.accessDenied != after.accessDenied) {
        turns.push_back({after.path, !after.accessDenied, after.size - before.size});
        return;
    }
    // Nothing below was refused either time: nothing turned.
    if (after.accessDenied || (before.unreadableFolders <= 0 && after.unreadableFolders <= 0)) return;
    // Past the kept depth neither walk names its folders.
    if (before.children.empty() && after.children.empty()) return;
    std::unordered_map<std::string_view, const ScanNode*> old;
    old.reserve(before.children.size());
    for (const auto& child : before.children)
        if (child) old.emplace(child->name, child.get());
    for (const auto& child : after.children) {
        if (!child) continue;
        if (auto found = old.find(child->name); found != old.end()) {
            compareReadings(*found->second, *child, turns, comings);
            old.erase(found);
        } else if (comings && readingOf(*child) == Reading::none) {
            comings->push_back({child->path, false, child->size, ReadingTurn::Kind::arrived});
        }
    }
    if (!comings) return;
    for (const auto& child : before.children)
        if (child && old.count(child->name) && readingOf(*child) == Reading::none)
            comings->push_back({child->path, false, -child->size, ReadingTurn::Kind::left});
}

} // namespace

std::vector<ReadingTurn> readingTurns(const ScanNode& before, const ScanNode& after) {
    std::vector<ReadingTurn> turns;
    compareReadings(before, after, turns, nullptr);
    return turns;
}

std::vector<ReadingTurn> unreadComings(const ScanNode& before, const ScanNode& after) {
    std::vector<ReadingTurn> turns, comings;
    compareReadings(before, after, turns, &comings);
    return comings;
}

std::vector<Remeasured> remeasure(std::vector<std::string> directories, ScanResult& result, ScanControl& control,
                                  const OptionsFor& options, const Walk& walk) {
    std::vector<Remeasured> measured;
    std::unordered_set<std::string> done;
    for (size_t next = 0; next < directories.size() && !control.cancelled(); ++next) {
        auto location = locate(directories[next], result);
        if (!location) continue;
        std::string located = location->chain.back()->path;
        if (!done.insert(located).second) continue;
        // The folder's own hard-linked files are counted afresh; those counted in other
        // folders stay counted there.
        auto walked = options(located);
        control.releaseInodes(located, walked.excludedPaths);
        ScanNodePtr fresh = walk(located, control, walked);
        if (control.cancelled()) break;
        // A file that gained a name here may be counted already through its first name,
        // taken then for a file of one name: its root is measured again whole.
        if (location->chain.size() > 1 && control.newlyLinked() > 0) {
            location->chain.resize(1);
            located = location->chain.front()->path;
            done.insert(located);
            walked = options(located);
            control.releaseInodes(located, walked.excludedPaths);
            fresh = walk(located, control, walked);
            if (control.cancelled()) break;
        }
        // A file it counted and no longer holds may keep a name elsewhere: that folder
        // counts it from now on, so the total does not lose it.
        for (auto& holder : control.uncountedElsewhere(located, walked.excludedPaths))
            directories.push_back(std::move(holder));
        std::vector<ReadingTurn> turns;
        if (fresh) {
            std::vector<ReadingTurn> comings;
            compareReadings(*location->chain.back(), *fresh, turns, &comings);
            turns.insert(turns.end(), comings.begin(), comings.end());
        }
        measured.push_back({located, apply(std::move(fresh), *location, result), std::move(turns)});
    }
    return measured;
}

} // namespace sorvel::TreeUpdater
