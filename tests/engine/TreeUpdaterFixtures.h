#pragma once
// Hand-built trees for the tree updater tests: every node's totals are set so that the
// roll-up invariants hold before anything is spliced.
#include <string>
#include <vector>

#include "engine/ScanResult.h"

namespace sorvel::test {

/// A directory node with its own files; totals start as its own files only.
inline ScanNodePtr dirNode(const std::string& path, int64_t ownBytes = 0, int64_t ownFiles = 0) {
    auto slash = path.find_last_of('/');
    auto n = ScanNode::make(slash == std::string::npos ? path : path.substr(slash + 1), path);
    n->directFileSize = n->size = ownBytes;
    n->directFileCount = n->fileCount = ownFiles;
    return n;
}

/// Adds a child and folds its totals into the parent (not into further ancestors).
inline ScanNodePtr addChild(const ScanNodePtr& parent, const std::string& name, int64_t ownBytes = 0,
                            int64_t ownFiles = 0) {
    auto c = dirNode(parent->path + "/" + name, ownBytes, ownFiles);
    parent->children.push_back(c);
    return c;
}

/// Recomputes totals bottom-up, as a walk leaves them.
inline void rollUpAll(ScanNode& node) {
    node.size = node.directFileSize;
    node.fileCount = node.directFileCount;
    node.dirCount = static_cast<int64_t>(node.children.size());
    for (auto& c : node.children) {
        rollUpAll(*c);
        node.size += c->size;
        node.fileCount += c->fileCount;
        node.dirCount += c->dirCount;
    }
    sortBySizeDescending(node.children);
}

inline CategoryResult categoryOf(const std::string& id, std::vector<ScanNodePtr> roots) {
    DisplayCategory d;
    d.id = id;
    d.title = id;
    d.roots.clear();
    for (auto& r : roots) d.roots.push_back(r->path);
    return CategoryResult{d, std::move(roots)};
}

inline ScanResult resultOf(std::vector<CategoryResult> categories) {
    ScanResult r;
    r.categories = std::move(categories);
    return r;
}

} // namespace sorvel::test
