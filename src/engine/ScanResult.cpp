#include "engine/ScanResult.h"

#include <algorithm>

#include "engine/PathText.h"
#include "engine/FileWalker.h"
#include "engine/Reading.h"
#include "platform/Path.h"

namespace sorvel {

int64_t CategoryResult::total() const {
    int64_t sum = 0;
    for (const auto& root : roots) sum += root->size;
    return sum;
}

int64_t CategoryResult::unreadableFolders() const {
    int64_t sum = 0;
    for (const auto& root : roots) sum += std::max<int64_t>(root->unreadableFolders, root->accessDenied ? 1 : 0);
    return sum;
}

bool CategoryResult::unreadable() const {
    // What its roots come from could not be read: none read stands for all it holds.
    if (category.unreadable)
        return std::all_of(roots.begin(), roots.end(), [](const auto& r) { return readingOf(*r) == Reading::none; });
    // A root holding nothing but refused folders was not read either.
    return !roots.empty() &&
           std::all_of(roots.begin(), roots.end(), [](const auto& r) { return readingOf(*r) == Reading::none; });
}

std::vector<std::string> CategoryResult::linkNotes() const {
    std::vector<std::string> notes;
    for (const auto& root : roots)
        if (root && root->linkTarget) notes.push_back(linkNote(*root));
    return notes;
}

std::string linkNote(const ScanNode& root) {
    return tildeAbbreviated(root.path) + " is a link to " + root.linkTarget.value_or(std::string()) + ", not followed";
}

bool CategoryResult::partial() const {
    return std::any_of(roots.begin(), roots.end(), [](const auto& r) { return r->partial; });
}

namespace {

// The parts' readings joined. As for one folder: a stop before any of it counted a byte
// leaves no figure, even beside an empty part read whole.
template <typename Parts, typename ReadingOf>
Reading joinedReading(const Parts& parts, ReadingOf readingOf, bool cut, int64_t total) {
    if (parts.empty()) return Reading::whole;
    Reading reading = readingOf(parts.front());
    for (size_t i = 1; i < parts.size(); ++i) reading = joined(reading, readingOf(parts[i]));
    if (reading == Reading::partial && cut && total <= 0) return Reading::unmeasured;
    return reading;
}

} // namespace

Reading CategoryResult::reading() const {
    return joinedReading(roots, [](const ScanNodePtr& root) { return readingOf(*root); }, partial(), total());
}

std::vector<ScanResult::DiskFigures> ScanResult::diskFigures() const {
    std::vector<DiskFigures> out;
    out.push_back({disks.disks.empty() ? std::string() : disks.disks.front().mountPoint, volume, 0});
    for (size_t i = 1; i < disks.disks.size(); ++i)
        out.push_back({disks.disks[i].mountPoint, disks.disks[i].volume, 0});
    for (const auto& category : categories)
        for (const auto& root : category.roots) out[disks.diskOf(root->path)].scanned += root->size;
    // A disk that holds none of what was measured has nothing to say beside the others.
    for (size_t i = out.size(); i-- > 1;)
        if (out[i].scanned == 0) out.erase(out.begin() + static_cast<std::ptrdiff_t>(i));
    return out;
}

bool ScanResult::notMeasured() const {
    int64_t total = 0;
    for (const auto& category : categories) total += category.total();
    return joinedReading(categories, [](const CategoryResult& c) { return c.reading(); }, partial(), total) ==
           Reading::unmeasured;
}

bool ScanResult::partial() const {
    return std::any_of(categories.begin(), categories.end(), [](const auto& c) { return c.partial(); });
}

bool ScanResult::nothingReadable() const {
    return !categories.empty() &&
           std::all_of(categories.begin(), categories.end(), [](const auto& c) { return c.unreadable(); });
}

std::vector<BrowseRow> CategoryResult::browsableRows() const {
    // One folder root: the category opens straight onto the root's contents. A root that
    // is a file (a swap file) is a row of its own.
    if (roots.size() == 1 && !roots.front()->isFile) return roots.front()->browsableRows();
    std::vector<BrowseRow> rows;
    for (const auto& root : roots) {
        if (root->size < 1) continue;
        if (root->isFile) rows.push_back(BrowseRow::file(FileEntry{UUID::random(), root->name, root->path, root->size,
                                                                   root->modified}));
        else rows.push_back(BrowseRow::directory(root));
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const BrowseRow& a, const BrowseRow& b) { return a.size() > b.size(); });
    return rows;
}

namespace {

// The node at `target`, or else the deepest node of the tree above it (`found` false);
// none when no root holds the path.
ScanNodePtr deepestAt(const std::vector<CategoryResult>& categories, const std::string& target, bool& found) {
    found = false;
    ScanNodePtr above; // the first root's deepest node: another root may hold the path whole
    for (const auto& category : categories) {
        for (const auto& root : category.roots) {
            if (root->path == target) {
                found = true;
                return root;
            }
            const std::string prefix = root->path + "/";
            if (target.compare(0, prefix.size(), prefix) != 0) continue;
            ScanNodePtr current = root;
            size_t start = prefix.size();
            bool whole = true;
            while (start <= target.size()) {
                size_t end = target.find('/', start);
                if (end == std::string::npos) end = target.size();
                if (end > start) {
                    const std::string_view component(target.data() + start, end - start);
                    ScanNodePtr next;
                    for (const auto& child : current->children)
                        if (child->name == component) {
                            next = child;
                            break;
                        }
                    if (!next) {
                        whole = false;
                        break;
                    }
                    current = std::move(next);
                }
                start = end + 1;
            }
            if (whole) {
                found = true;
                return current;
            }
            if (!above) above = std::move(current);
        }
    }
    return above;
}

} // namespace

ScanNodePtr ScanResult::node(const std::string& path) const {
    bool found = false;
    ScanNodePtr deepest = deepestAt(categories, trimmedTrailingSlash(path), found);
    return found ? deepest : nullptr;
}

Measured ScanResult::measured(const std::string& path) const {
    const std::string target = trimmedTrailingSlash(path);
    bool found = false;
    const ScanNodePtr deepest = deepestAt(categories, target, found);
    if (found) return Measured::of(*deepest);
    if (deepest && readingOf(*deepest) == Reading::none) return Measured::unread();
    // Its folder was left unread by a stop, whole or below the kept depth: nothing of it is
    // known, not even that it is empty. A folder listed before the stop names every folder
    // in it, so a name it lacks is measured afresh.
    if (deepest && deepest->partial && deepest->children.empty()) return Measured::unmeasured();
    ScanControl control;
    const ScanNodePtr walked = FileWalker::walk(target, control);
    if (walked) return Measured::of(*walked);
    return refusedToRead(target) ? Measured::unread() : Measured::wholeRead(0);
}

bool ScanResult::leaveRoot(const std::string& path) {
    bool left = false;
    for (auto category = categories.begin(); category != categories.end();) {
        auto& roots = category->roots;
        const auto before = roots.size();
        std::erase_if(roots, [&](const ScanNodePtr& r) { return r && r->path == path; });
        if (roots.size() == before) {
            ++category;
            continue;
        }
        left = true;
        const MissingRoot missing{category->id(), path};
        if (std::find(missingRoots.begin(), missingRoots.end(), missing) == missingRoots.end())
            missingRoots.push_back(missing);
        category = roots.empty() ? categories.erase(category) : category + 1;
    }
    return left;
}

const CategoryResult* ScanResult::category(const std::string& id) const {
    for (const auto& c : categories)
        if (c.category.id == id) return &c;
    return nullptr;
}

int64_t ScanResult::sharedBytes(const std::string& path) const {
    const ScanNodePtr at = node(path);
    return at ? std::clamp<int64_t>(at->sharedSize, 0, std::max<int64_t>(at->size, 0)) : 0;
}

int64_t ScanResult::reclaimable() const {
    int64_t sum = 0;
    for (const auto& item : cleanupItems)
        if (item.risk == CleanupRisk::safe) sum += item.size();
    return sum;
}

std::vector<CategoryResult> ScanResult::sortedCategories() const {
    std::vector<CategoryResult> sorted = categories;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const CategoryResult& a, const CategoryResult& b) { return a.total() > b.total(); });
    return sorted;
}

} // namespace sorvel
