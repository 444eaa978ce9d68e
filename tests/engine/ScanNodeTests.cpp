// The size tree's nodes and rows, and the scan control shared by a walk's threads.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "engine/ScanControl.h"
#include "engine/ScanNode.h"

using namespace sorvel;

TEST(ScanNode, ANewNodeIsEmptyWithItsOwnIdentity) {
    auto a = ScanNode::make("x", "/p/x");
    auto b = ScanNode::make("x", "/p/x");
    EXPECT_NE(a->id, b->id);
    EXPECT_EQ(a->size, 0);
    EXPECT_EQ(a->fileCount, 0);
    EXPECT_EQ(a->dirCount, 0);
    EXPECT_TRUE(a->children.empty());
    EXPECT_TRUE(a->largestFiles.empty());
    EXPECT_FALSE(a->accessDenied);
    EXPECT_FALSE(a->modified.has_value());
    EXPECT_TRUE(a->browsableRows().empty());
}

TEST(ScanNode, RowsAreLargestFirstWithFoldersBeforeFilesAtEqualSize) {
    auto node = ScanNode::make("root", "/root");
    auto small = ScanNode::make("small", "/root/small");
    small->size = 10;
    auto tie = ScanNode::make("tie", "/root/tie");
    tie->size = 500;
    node->children = {tie, small};
    FileEntry big{UUID::random(), "big", "/root/big", 900, std::nullopt};
    FileEntry same{UUID::random(), "same", "/root/same", 500, std::nullopt};
    node->largestFiles = {big, same};
    auto rows = node->browsableRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_FALSE(rows[0].isDirectory());
    EXPECT_EQ(rows[0].id(), big.id);
    EXPECT_TRUE(rows[1].isDirectory());
    EXPECT_EQ(rows[1].id(), tie->id);
    EXPECT_EQ(rows[2].id(), same.id);
    EXPECT_EQ(rows[3].size(), 10);
}

TEST(ScanControl, HardLinkKeysAreNewOnlyOnce) {
    ScanControl control;
    EXPECT_TRUE(control.insertInode({1, 42}));
    EXPECT_FALSE(control.insertInode({1, 42}));
    EXPECT_TRUE(control.insertInode({2, 42})); // same inode number on another device
    EXPECT_TRUE(control.insertInode({(1ULL << 40) | 1, 42})); // device numbers wider than 32 bits
}

TEST(ScanControl, FinishedRootsAreTakenOnce) {
    ScanControl control;
    control.finish("caches", ScanNode::make("a", "/a"));
    control.finish("logs", ScanNode::make("b", "/b"));
    auto taken = control.takeCompleted();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].categoryID, "caches");
    EXPECT_EQ(taken[1].node->name, "b");
    EXPECT_TRUE(control.takeCompleted().empty());
}

TEST(ScanControl, ProgressAddsUpAcrossThreadsAndCancelStays) {
    ScanControl control;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) control.addProgress(3, 1, "/somewhere");
        });
    for (auto& th : threads) th.join();
    auto p = control.progress();
    EXPECT_EQ(p.bytes, 24000);
    EXPECT_EQ(p.files, 8000);
    EXPECT_EQ(p.currentPath, "/somewhere");
    EXPECT_FALSE(control.cancelled());
    control.cancel();
    control.cancel();
    EXPECT_TRUE(control.cancelled());
}
