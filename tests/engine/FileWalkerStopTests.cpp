// A stop leaves each folder it cut, and each above, partial; every other folder whole.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/FileWalker.h"
#include "engine/MultiRootScan.h"
#include "WalkerTestTree.h"

using namespace sorvel;

// Every folder holds a file, so a cut always leaves something out: partial means short.
static void expectTruthful(const ScanNode& node) {
    bool below = node.walkCut;
    for (const auto& child : node.children) {
        below = below || child->partial;
        expectTruthful(*child);
    }
    EXPECT_EQ(node.partial, below) << node.path;
    const int64_t onDisk = test::independentTotal(node.path);
    EXPECT_TRUE(node.partial ? node.size < onDisk : node.size == onDisk) << node.path << " " << node.size;
}

TEST(WalkStopped, EveryCutFolderIsPartialAndEveryOtherIsWhole) {
    enum Mode { sequential, parallel, categories };
    struct Row { int stopAfterFiles; Mode mode; int keptDepth = 10; }; // stop: -1 never, 0 before the start
    const Row rows[] = {{-1, categories}, {0, sequential}, {0, categories},  {1, sequential},    {10, parallel},
                        {40, sequential}, {40, parallel},  {90, categories}, {40, sequential, 1}, {40, parallel, 2}};
    test::ScratchDir dir;
    for (const char* top : {"t/one", "t/two", "t/three"})
        for (int a = 0; a < 8; ++a)
            for (const char* file : {"/f", "/b/f", "/b/c/f", "/b/c/d/f", "/e/f"})
                test::writeFileOfSize(dir / (top + ("/a" + std::to_string(a)) + file), 4096);
    std::vector<DisplayCategory> shown(2);
    shown[0].id = "first";
    shown[0].roots = {dir / "t/one"};
    shown[1].id = "second";
    shown[1].roots = {dir / "t/two", dir / "t/three", dir / "t/absent"};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.stopAfterFiles) + " files, mode " + std::to_string(row.mode));
        ScanControl control;
        if (row.stopAfterFiles == 0) control.cancel();
        std::atomic<bool> done{false};
        std::thread stopper([&] {
            while (!done && control.progress().files < row.stopAfterFiles) std::this_thread::yield();
            if (row.stopAfterFiles > 0) control.cancel();
        });
        FileWalker::Options options;
        options.maxNodeDepth = row.keptDepth;
        ScanResult result;
        if (row.mode == categories) MultiRootScan::walkCategories(control, shown, result);
        else
            result.categories = {{{}, {row.mode == parallel ? FileWalker::walkParallel(dir / "t", control, options)
                                                            : FileWalker::walk(dir / "t", control, options)}}};
        done = true;
        stopper.join();
        for (const auto& category : result.categories) {
            bool cut = false;
            for (const auto& root : category.roots) {
                expectTruthful(*root);
                cut = cut || root->partial;
                if (row.stopAfterFiles <= 0) { EXPECT_EQ(root->partial, row.stopAfterFiles == 0); }
                EXPECT_TRUE(row.stopAfterFiles != 0 || root->size == 0);
            }
            EXPECT_EQ(category.partial(), cut);
        }
        // Cut short or whole, every existing root reaches the control.
        EXPECT_EQ(control.takeCompleted().size(), row.mode == categories ? 3u : 0u);
    }
}
