#include "engine/ScanNode.h"

#include <algorithm>

namespace sorvel {

UUID BrowseRow::id() const { return isDirectory() ? node()->id : fileEntry().id; }
int64_t BrowseRow::size() const { return isDirectory() ? node()->size : fileEntry().size; }

std::vector<BrowseRow> ScanNode::browsableRows() const {
    std::vector<BrowseRow> rows;
    rows.reserve(children.size() + largestFiles.size());
    for (const auto& child : children) rows.push_back(BrowseRow::directory(child));
    for (const auto& file : largestFiles) rows.push_back(BrowseRow::file(file));
    std::stable_sort(rows.begin(), rows.end(),
                     [](const BrowseRow& a, const BrowseRow& b) { return a.size() > b.size(); });
    return rows;
}

void sortBySizeDescending(std::vector<ScanNodePtr>& nodes) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const ScanNodePtr& a, const ScanNodePtr& b) { return a->size > b->size; });
}

} // namespace sorvel
