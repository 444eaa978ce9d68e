// Thousands of files of several names, walked by parallel threads: each counted once, in
// the folder whose path sorts first, with the same figures every run, and remembered by
// the control that counted them until it hands them over.
#include <gtest/gtest.h>

#include <unistd.h>

#include <optional>

#include "engine/FileWalker.h"
#include "support/TestSupport.h"
#include "WalkerTestTree.h"

using namespace sorvel;

using test::child;

namespace {

struct Row {
    const char* name;
    int files;     // in store/bNN, each with a second name in proj/pNN
    int outside;   // of them, this many with a third name outside the walked tree
    int everyThird; // of them, every third with a third name in cache/
};

struct Figures {
    int64_t size = 0, files = 0, shared = 0, storeSize = 0, projSize = 0, cacheSize = 0, projShared = 0;
    friend bool operator==(const Figures&, const Figures&) = default;
};

Figures figuresOf(const ScanNode& root) {
    Figures f{root.size, root.fileCount, root.sharedSize};
    if (auto n = child(root, "store")) f.storeSize = n->size;
    if (auto n = child(root, "proj")) {
        f.projSize = n->size;
        f.projShared = n->sharedSize;
    }
    if (auto n = child(root, "cache")) f.cacheSize = n->size;
    return f;
}

} // namespace

TEST(LinkedFilesCount, ManyLinkedFilesCountedOnceInTheFirstFolderTheSameEveryRun) {
    const Row rows[] = {
        {"every name in the tree", 4000, 0, 0},
        {"some names outside it", 4000, 1500, 0},
        {"a third name in a folder that sorts first", 4000, 0, 3},
    };
    const test::MemoryScratch scratch; // made and removed in a moment
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempDir dir, away;
        const std::string top = dir / "top";
        int64_t total = 0, outsideBytes = 0;
        for (int i = 0; i < row.files; ++i) {
            const std::string bucket = std::to_string(i % 64), name = "/f" + std::to_string(i);
            const std::string stored = top + "/store/b" + bucket + name;
            test::writeFileOfSize(stored, 1 + (i % 3) * 4096);
            const int64_t size = test::allocatedSize(stored);
            total += size;
            test::makeDirs(top + "/proj/p" + bucket);
            ASSERT_EQ(::link(stored.c_str(), (top + "/proj/p" + bucket + name).c_str()), 0);
            if (i < row.outside) {
                outsideBytes += size;
                ASSERT_EQ(::link(stored.c_str(), (away.path() + "/o" + std::to_string(i)).c_str()), 0);
            }
            if (row.everyThird && i % row.everyThird == 0) {
                test::makeDirs(top + "/cache/c" + bucket);
                ASSERT_EQ(::link(stored.c_str(), (top + "/cache/c" + bucket + name).c_str()), 0);
            }
        }
        ASSERT_EQ(total, test::independentTotal(top));

        std::optional<Figures> first;
        for (int run = 0; run < 6; ++run) {
            ScanControl control;
            const auto root = FileWalker::walkParallel(top, control);
            ASSERT_TRUE(root);
            const Figures now = figuresOf(*root);
            EXPECT_EQ(now.size, total) << "run " << run;
            EXPECT_EQ(now.files, row.files) << "run " << run;
            // Named outside: shared at the top; named only inside: freed there.
            EXPECT_EQ(now.shared, outsideBytes) << "run " << run;
            EXPECT_EQ(now.storeSize, 0) << "proj and cache sort before store";
            EXPECT_EQ(now.cacheSize + now.projSize, total) << "run " << run;
            if (!first) first = now;
            EXPECT_EQ(now, *first) << "run " << run;

            // The control remembers what it counted: walked again, nothing counts twice,
            // until it hands them over.
            EXPECT_EQ(FileWalker::walk(top + "/store", control)->size, 0) << "run " << run;
            EXPECT_TRUE(control.insertInode({0, 0}));
            const auto counted = control.takeInodes();
            EXPECT_EQ(counted.seen.size(), static_cast<size_t>(row.files) + 1) << "run " << run;
            EXPECT_EQ(FileWalker::walk(top + "/store", control)->size, total) << "run " << run;
        }
        EXPECT_EQ(first->projShared, first->projSize) << "every file of proj has a name outside it";
    }
}
