#pragma once
// Helpers shared by the walker tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

#include "support/TestSupport.h"

#include "engine/ScanNode.h"

namespace sorvel::test {

/// Where trees of many entries are built: a memory file system when there is one, as
/// creating files on some disks costs milliseconds each.
inline std::optional<std::string> fastScratch() {
    if (access("/dev/shm", W_OK | X_OK) == 0) return std::string("/dev/shm");
    return std::nullopt;
}

/// A TempDir on the fast scratch file system when there is one.
class ScratchDir {
public:
    ScratchDir() : env_("TMPDIR", fastScratch() ? fastScratch() : currentTmp()), dir_() {}
    const std::string& path() const { return dir_.path(); }
    std::string operator/(const std::string& relative) const { return dir_ / relative; }

private:
    static std::optional<std::string> currentTmp() {
        const char* t = std::getenv("TMPDIR");
        return t ? std::optional<std::string>(t) : std::nullopt;
    }
    ScopedEnv env_;
    TempDir dir_;
};

/// Every node below `node` keeps the roll-up invariants: size and counts add up, children
/// are largest first and their paths extend the parent's.
inline void expectConsistent(const ScanNode& node) {
    int64_t size = node.directFileSize, files = node.directFileCount;
    int64_t dirs = static_cast<int64_t>(node.children.size());
    for (size_t i = 0; i < node.children.size(); ++i) {
        const auto& c = *node.children[i];
        size += c.size;
        files += c.fileCount;
        dirs += c.dirCount;
        std::string expected = node.path;
        if (expected.back() != '/') expected += '/';
        EXPECT_EQ(c.path, expected + c.name);
        if (i > 0) {
            EXPECT_GE(node.children[i - 1]->size, c.size);
        }
        expectConsistent(c);
    }
    if (!node.children.empty()) {
        EXPECT_EQ(node.size, size) << node.path;
        EXPECT_EQ(node.fileCount, files) << node.path;
        EXPECT_EQ(node.dirCount, dirs) << node.path;
    }
}

/// The two trees have the same shape, names and totals.
inline void expectSameTree(const ScanNode& a, const ScanNode& b) {
    EXPECT_EQ(a.path, b.path);
    EXPECT_EQ(a.size, b.size) << a.path;
    EXPECT_EQ(a.directFileSize, b.directFileSize) << a.path;
    EXPECT_EQ(a.directFileCount, b.directFileCount) << a.path;
    EXPECT_EQ(a.fileCount, b.fileCount) << a.path;
    EXPECT_EQ(a.dirCount, b.dirCount) << a.path;
    EXPECT_EQ(a.accessDenied, b.accessDenied) << a.path;
    EXPECT_EQ(a.largestFiles.size(), b.largestFiles.size()) << a.path;
    ASSERT_EQ(a.children.size(), b.children.size()) << a.path;
    for (size_t i = 0; i < a.children.size(); ++i) expectSameTree(*a.children[i], *b.children[i]);
}

/// Depth of the deepest node that still keeps children, counting the root as 0.
inline int deepestNodeWithChildren(const ScanNode& node, int depth = 0) {
    int deepest = node.children.empty() ? -1 : depth;
    for (const auto& c : node.children) deepest = std::max(deepest, deepestNodeWithChildren(*c, depth + 1));
    return deepest;
}

/// The child node with that name, or null.
inline const ScanNode* child(const ScanNode& node, const std::string& name) {
    for (const auto& c : node.children)
        if (c->name == name) return c.get();
    return nullptr;
}

} // namespace sorvel::test
