#include "engine/ScanResult.h"

#include <algorithm>

#include "engine/PathText.h"
#include "engine/Reading.h"

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
    // A root holding nothing but refused folders was not read either.
    return !roots.empty() &&
           std::all_of(roots.begin(), roots.end(), [](const auto& r) { return readingOf(*r) == Reading::none; });
}

bool CategoryResult::partial() const {
    return std::any_of(roots.begin(), roots.end(), [](const auto& r) { return r->partial; });
}

bool ScanResult::partial() const {
    return std::any_of(categories.begin(), categories.end(), [](const auto& c) { return c.partial(); });
}

bool ScanResult::nothingReadable() const {
    return !categories.empty() &&
           std::all_of(categories.begin(), categories.end(), [](const auto& c) { return c.unreadable(); });
}

std::vector<BrowseRow> CategoryResult::browsableRows() const {
    // One root: the category opens straight onto the root's contents.
    if (roots.size() == 1) return roots.front()->browsableRows();
    std::vector<BrowseRow> rows;
    for (const auto& root : roots)
        if (root->size >= 1) rows.push_back(BrowseRow::directory(root));
    std::stable_sort(rows.begin(), rows.end(),
                     [](const BrowseRow& a, const BrowseRow& b) { return a.size() > b.size(); });
    return rows;
}

ScanNodePtr ScanResult::node(const std::string& path) const {
    const std::string target = trimmedTrailingSlash(path);
    for (const auto& category : categories) {
        for (const auto& root : category.roots) {
            if (root->path == target) return root;
            const std::string prefix = root->path + "/";
            if (target.compare(0, prefix.size(), prefix) != 0) continue;
            ScanNodePtr current = root;
            size_t start = prefix.size();
            bool found = true;
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
                        found = false;
                        break;
                    }
                    current = std::move(next);
                }
                start = end + 1;
            }
            if (found) return current;
        }
    }
    return nullptr;
}

const CategoryResult* ScanResult::category(const std::string& id) const {
    for (const auto& c : categories)
        if (c.category.id == id) return &c;
    return nullptr;
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
