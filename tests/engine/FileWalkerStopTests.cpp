// A walk a stop cuts short: every folder whose walk did not finish says it is partial, up
// to the root, and every folder that does not say so carries its whole figures.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "engine/FileWalker.h"
#include "engine/MultiRootScan.h"
#include "support/TestSupport.h"
#include "WalkerTestTree.h"

using namespace sorvel;

namespace {

constexpr int kNever = -1;

// Every folder holds a file, so a cut always leaves something out: partial then means short.
void makeTree(const test::ScratchDir& dir, const std::string& top, int wide) {
    for (int a = 0; a < wide; ++a) {
        const std::string folder = top + "/a" + std::to_string(a);
        test::writeFileOfSize(dir / (folder + "/f"), 4096);
        for (int b = 0; b < 12; ++b) {
            test::writeFileOfSize(dir / (folder + "/b" + std::to_string(b) + "/f"), 4096);
            test::writeFileOfSize(dir / (folder + "/b" + std::to_string(b) + "/c/d/f"), 4096);
            test::writeFileOfSize(dir / (folder + "/b" + std::to_string(b) + "/c/f"), 4096);
        }
    }
}

// Runs `walk` with a stop once `afterFiles` files were counted (0: before it starts).
ScanNodePtr stoppedWalk(ScanControl& control, int afterFiles, const std::function<ScanNodePtr()>& walk) {
    if (afterFiles == 0) control.cancel();
    std::atomic<bool> done{false};
    std::thread stopper([&] {
        if (afterFiles <= 0) return;
        while (!done && control.progress().files < afterFiles) std::this_thread::yield();
        control.cancel();
    });
    ScanNodePtr root = walk();
    done = true;
    stopper.join();
    return root;
}

// Whole or partial, each named folder against what is on disk.
void expectTruthful(const ScanNode& node) {
    bool below = node.walkCut;
    for (const auto& child : node.children) {
        below = below || child->partial;
        expectTruthful(*child);
    }
    EXPECT_EQ(node.partial, below) << node.path;
    if (node.path.empty()) return;
    const int64_t onDisk = test::independentTotal(node.path);
    if (node.partial) {
        EXPECT_LT(node.size, onDisk) << node.path;
    } else {
        EXPECT_EQ(node.size, onDisk) << node.path;
    }
}

} // namespace

TEST(WalkStopped, EveryCutFolderIsPartialAndEveryOtherIsWhole) {
    struct Row {
        const char* moment;
        int afterFiles;
        bool parallel;
        int keptDepth;
    };
    const Row rows[] = {
        {"never", kNever, true, 10},        {"before the start", 0, false, 10},
        {"before the start", 0, true, 10},  {"after the first folder", 1, false, 10},
        {"early", 30, true, 10},            {"midway", 300, false, 10},
        {"midway", 300, true, 10},          {"near the end", 880, true, 10},
        {"midway, deep folders dropped", 300, false, 1},
        {"midway, deep folders dropped", 300, true, 2},
    };
    test::ScratchDir dir;
    makeTree(dir, "t", 24);
    const int64_t full = test::independentTotal(dir / "t");
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.moment) + (row.parallel ? ", parallel" : ", sequential") + ", depth " +
                     std::to_string(row.keptDepth));
        ScanControl control;
        FileWalker::Options options;
        options.maxNodeDepth = row.keptDepth;
        const ScanNodePtr root = stoppedWalk(control, row.afterFiles, [&] {
            return row.parallel ? FileWalker::walkParallel(dir / "t", control, options)
                                : FileWalker::walk(dir / "t", control, options);
        });
        ASSERT_TRUE(root);
        expectTruthful(*root);
        if (row.afterFiles == kNever) {
            EXPECT_EQ(root->size, full);
        } else if (row.afterFiles == 0) {
            EXPECT_TRUE(root->partial && root->size == 0);
        }
    }
}

// Several roots of several categories, as a System Data or Whole Disk scan walks them: the
// roots a stop cut short reach the control like the others, and their categories say so.
TEST(WalkStopped, EachCategoryKnowsWhichOfItsRootsWereCut) {
    test::ScratchDir dir;
    for (const char* top : {"one", "two", "three", "four"}) makeTree(dir, top, 6);
    std::vector<DisplayCategory> categories(2);
    categories[0].id = "first";
    categories[0].roots = {dir / "one", dir / "two"};
    categories[1].id = "second";
    categories[1].roots = {dir / "three", dir / "four", dir / "absent"};
    for (const int afterFiles : {kNever, 0, 20, 400, 800}) {
        SCOPED_TRACE(afterFiles);
        ScanControl control;
        ScanResult result;
        stoppedWalk(control, afterFiles, [&] {
            MultiRootScan::walkCategories(control, categories, result);
            return ScanNodePtr();
        });
        size_t cut = 0;
        for (const auto& category : result.categories) {
            bool partial = false;
            for (const auto& root : category.roots) {
                expectTruthful(*root);
                partial = partial || root->partial;
                cut += root->partial ? 1 : 0;
            }
            EXPECT_EQ(category.partial(), partial) << category.id();
        }
        EXPECT_EQ(result.partial(), cut > 0);
        EXPECT_EQ(control.takeCompleted().size(), 4u); // cut or whole, every existing root
        if (afterFiles == kNever) {
            EXPECT_EQ(cut, 0u);
        } else if (afterFiles == 0) {
            EXPECT_EQ(cut, 4u);
        }
    }
}
