#include "engine/ScanNode.h"

#include <algorithm>
#include <atomic>

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

namespace {
std::atomic<ScanNode::Here> reclaimHere{nullptr};
std::atomic<ScanNode::Away> reclaimAway{nullptr};
} // namespace

void ScanNode::reclaimElsewhere(Here here, Away away) {
    reclaimAway.store(away);
    reclaimHere.store(here);
}

ScanNode::~ScanNode() {
    if (children.empty() || dirCount < kReclaimedFrom) return;
    const Here here = reclaimHere.load(std::memory_order_relaxed);
    if (!here || !here()) return;
    if (const Away away = reclaimAway.load()) away(std::move(children));
}

void ScanNode::rollUpTotals() {
    int64_t newSize = directFileSize;
    int64_t files = directFileCount;
    int64_t shared = directSharedSize;
    int64_t dirs = static_cast<int64_t>(children.size());
    int64_t unreadable = accessDenied ? 1 : 0;
    int64_t unwritableCount = unwritable ? 1 : 0;
    bool cut = walkCut;
    // An empty folder beside a refused one was read: only refusals all the way down leave
    // nothing read.
    bool refusedOnly = directFileCount == 0 && !children.empty() && !walkCut;
    for (const auto& child : children) {
        cut = cut || child->partial;
        newSize += child->size;
        files += child->fileCount;
        shared += child->sharedSize;
        dirs += child->dirCount;
        unreadable += child->unreadableFolders;
        unwritableCount += child->unwritableFolders;
        refusedOnly = refusedOnly && child->nothingReadable;
    }
    nothingReadable = accessDenied || refusedOnly;
    unreadableFolders = unreadable;
    unwritableFolders = unwritableCount;
    partial = cut;
    size = newSize;
    fileCount = files;
    sharedSize = shared;
    dirCount = dirs;
    sortBySizeDescending(children);
}

void sortBySizeDescending(std::vector<ScanNodePtr>& nodes) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const ScanNodePtr& a, const ScanNodePtr& b) { return a->size > b->size; });
}

} // namespace sorvel
