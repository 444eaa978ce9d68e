#pragma once
// Scan results built by hand, for testing rules without touching the disk.
#include <string>
#include <vector>

#include "engine/ScanResult.h"
#include "platform/Path.h"

namespace sorvel::test {

/// A node at `path` of `size` bytes with the given children, kept in the given order.
inline ScanNodePtr node(const std::string &path, int64_t size, std::vector<ScanNodePtr> children = {}) {
    auto n = ScanNode::make(lastPathComponent(path), path);
    n->size = size;
    n->children = std::move(children);
    return n;
}

/// A result with one category holding the given roots.
inline ScanResult resultWith(std::vector<ScanNodePtr> roots) {
    ScanResult result;
    CategoryResult category;
    category.category.id = "test";
    category.category.title = "Test";
    category.roots = std::move(roots);
    result.categories.push_back(std::move(category));
    return result;
}

} // namespace sorvel::test
