// What a walk leaves behind: no descriptor stays open on any way out of a directory
// read, a cancelled walk stops opening folders at once, and walks started from many
// parallel jobs at the same time neither block each other nor lose counts.
#include <gtest/gtest.h>

#include <atomic>
#include <dirent.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "engine/FileWalker.h"
#include "engine/Parallel.h"
#include "platform/Concurrency.h"
#include "support/TestSupport.h"
#include "WalkerTestTree.h"

using namespace sorvel;

namespace {

int openDescriptors() {
    int count = 0;
    DIR* d = opendir("/proc/self/fd");
    if (!d) return -1;
    while (auto* e = readdir(d))
        if (e->d_name[0] != '.') ++count;
    closedir(d);
    return count - 1; // the listing's own descriptor
}

} // namespace

TEST(FileWalkerResources, NoDescriptorIsLeftOpenOnAnyWayOut) {
    test::ScratchDir dir;
    // Readable folders, folders closed to others, folders that are really files or links
    // (opened with no-follow), and folders of many entries that take several batches.
    for (int i = 0; i < 60; ++i) {
        const std::string base = dir / ("d" + std::to_string(i));
        test::writeFileOfSize(base + "/open/f", 100);
        test::writeFileOfSize(base + "/locked/inner/f", 100);
        ASSERT_EQ(chmod((base + "/locked").c_str(), 0700), 0);
        test::makeDirs(base + "/locked-empty");
        ASSERT_EQ(chmod((base + "/locked-empty").c_str(), 0), 0);
        ASSERT_EQ(symlink("open", (base + "/link").c_str()), 0);
    }
    for (int i = 0; i < 3000; ++i) test::writeFile(dir / ("d0/open/many-" + std::to_string(i)), "");

    int status = test::runAsUnprivileged([&] {
        concurrentPerform(8, [](size_t) {}); // the worker pool exists before counting
        const int before = openDescriptors();
        if (before < 0) return 10;
        for (int round = 0; round < 3; ++round) {
            ScanControl c1, c2;
            auto sequential = FileWalker::walk(dir.path(), c1);
            auto parallel = FileWalker::walkParallel(dir.path(), c2);
            if (!sequential || !parallel) return 11;
            if (sequential->fileCount != 3060 || parallel->fileCount != 3060) return 12;
            const ScanNode* d1 = test::child(*sequential, "d1");
            if (!d1 || !test::child(*d1, "locked") || !test::child(*d1, "locked")->accessDenied) return 13;
            // Start paths that cannot be opened as folders.
            ScanControl c3;
            FileWalker::walk(dir / "d1/locked", c3);
            FileWalker::walkParallel(dir / "d1/locked-empty", c3);
            FileWalker::walk(dir / "d1/link", c3);
            FileWalker::walk(dir / "missing", c3);
        }
        const int after = openDescriptors();
        if (after != before) {
            std::fprintf(stderr, "descriptors before %d, after %d\n", before, after);
            return 14;
        }
        return 0;
    });
    EXPECT_EQ(status, 0);
}

TEST(FileWalkerResources, ACancelledWalkStopsOpeningFoldersAtOnce) {
    test::ScratchDir dir;
    for (int a = 0; a < 40; ++a)
        for (int b = 0; b < 40; ++b)
            test::writeFile(dir / ("a" + std::to_string(a) + "/b" + std::to_string(b) + "/f"), "x");
    for (int parallel = 0; parallel < 2; ++parallel) {
        ScanControl control;
        std::atomic<int64_t> filesAtCancel{-1};
        std::thread canceller([&] {
            while (control.progress().files < 100) std::this_thread::yield();
            control.cancel();
            filesAtCancel = control.progress().files;
        });
        auto root = parallel ? FileWalker::walkParallel(dir.path(), control) : FileWalker::walk(dir.path(), control);
        canceller.join();
        ASSERT_TRUE(root);
        // Each thread may finish the one folder it had begun; nothing is opened after.
        const int64_t threads = parallel ? activeProcessorCount() : 1;
        EXPECT_LE(control.progress().files - filesAtCancel.load(), threads) << (parallel ? "parallel" : "sequential");
        // The partial tree holds exactly what was read.
        EXPECT_EQ(root->fileCount, control.progress().files);
        EXPECT_EQ(root->size, control.progress().bytes);
        test::expectConsistent(*root);
    }
}

TEST(FileWalkerResources, ParallelWalksFromParallelJobsAndOutsideThreads) {
    test::ScratchDir dir;
    const int roots = 12;
    for (int r = 0; r < roots; ++r)
        for (int i = 0; i < 20; ++i)
            for (int j = 0; j < 3; ++j)
                test::writeFile(dir / ("r" + std::to_string(r) + "/d" + std::to_string(i) + "/e" + std::to_string(j) + "/f"),
                                "x");
    std::vector<int64_t> expected(roots);
    {
        ScanControl control;
        for (int r = 0; r < roots; ++r) expected[r] = FileWalker::walk(dir / ("r" + std::to_string(r)), control)->size;
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&] {
            for (int round = 0; round < 5; ++round) {
                ScanControl control;
                auto nodes = Parallel::map(roots, [&](size_t r) {
                    return FileWalker::walkParallel(dir / ("r" + std::to_string(r)), control);
                });
                for (int r = 0; r < roots; ++r)
                    if (!nodes[r] || nodes[r]->fileCount != 60 || nodes[r]->size != expected[r]) ++wrong;
                if (control.progress().files != roots * 60) ++wrong;
            }
        });
    }
    for (auto& c : callers) c.join();
    EXPECT_EQ(wrong.load(), 0);
}
