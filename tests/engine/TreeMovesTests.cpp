// Items moved between scanned roots, folded into the tree in batches: after every batch each
// root's figures are those a fresh walk of the disk gives, so every item counts in exactly
// one place; the tree handed out before stays as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <optional>
#include <string>
#include <vector>

#include "engine/FileWalker.h"
#include "engine/TreeMoves.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct Item {
    std::string from;   // below the logs root, or outside both roots ("outside/...")
    std::string where;  // "trash", "elsewhere" (a place in no root) or "unknown"
    bool tellKind = true;
};

struct Case {
    std::string name;
    std::vector<std::string> files; // made below the test folder, 40 KB each
    std::vector<std::vector<Item>> batches;
    int maxNodeDepth = 10;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Roots {
public:
    explicit Roots(const Case& c) : depth_(c.maxNodeDepth) {
        makeDirs(logs());
        makeDirs(trash());
        makeDirs(dir_ / "elsewhere");
        for (const auto& f : c.files) writeFileOfSize(dir_ / f, 40'000);
        writeFileOfSize(trash() + "/old", 40'000); // the Trash was not empty
        result.categories.push_back({category("logs"), {walk(logs())}});
        result.categories.push_back({category("trash"), {walk(trash())}});
    }
    std::string logs() const { return dir_ / "logs"; }
    std::string trash() const { return dir_ / "trash"; }
    std::string path(const std::string& relative) const { return dir_ / relative; }

    // Moved on disk as the Trash would, and described as its mover would.
    TreeMoves::Move move(const Item& item) {
        const std::string from = path(item.from);
        const std::string name = from.substr(from.rfind('/') + 1) + "." + std::to_string(++moved_);
        const std::string to = item.where == "elsewhere" ? path("elsewhere/" + name) : trash() + "/" + name;
        ScanControl control;
        const ScanNodePtr measured = FileWalker::walkParallel(from, control, options(from));
        const bool folder = isFolder(from);
        EXPECT_EQ(std::rename(from.c_str(), to.c_str()), 0) << from;
        TreeMoves::Move move{from, item.where == "unknown" ? std::string() : to, measured ? measured->size : 0, {}, nullptr};
        if (item.tellKind) move.folder = folder;
        return move;
    }

    int64_t fresh(const std::string& root) {
        ScanControl control;
        const ScanNodePtr node = FileWalker::walkParallel(root, control, options(root));
        return node ? node->size : -1;
    }
    int64_t counted(size_t category) const { return result.categories[category].roots.front()->size; }

    ScanResult result;

private:
    static bool isFolder(const std::string& path) {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    static DisplayCategory category(const std::string& id) {
        DisplayCategory d;
        d.id = id;
        return d;
    }
    FileWalker::Options options(const std::string& root) const {
        FileWalker::Options o;
        o.maxNodeDepth = depth_;
        if (root == trash()) o.everyFileFolder = trash();
        return o;
    }
    ScanNodePtr walk(const std::string& root) {
        ScanControl control;
        return FileWalker::walkParallel(root, control, options(root));
    }

    TempDir dir_;
    int depth_;
    int moved_ = 0;
};

const std::vector<Case> kCases = {
    {"FoldersInThreeBatches",
     {"logs/a/x", "logs/a/y", "logs/b/x", "logs/c/deep/x", "logs/keep/x"},
     {{{"logs/a", "trash"}}, {{"logs/b", "trash"}, {"logs/c", "trash"}}, {{"logs/keep/x", "trash"}}}},
    {"SmallFilesOnlySummedInTheirFolder",
     {"logs/app/1.log", "logs/app/2.log", "logs/app/3.log", "logs/4.log"},
     {{{"logs/app/1.log", "trash"}, {"logs/app/2.log", "trash"}}, {{"logs/4.log", "trash"}}}},
    {"FilesAndFoldersOfUnknownKind",
     {"logs/app/1.log", "logs/sub/x", "logs/2.log"},
     {{{"logs/app/1.log", "trash", false}, {"logs/sub", "trash", false}}, {{"logs/2.log", "trash", false}}}},
    {"BelowTheKeptDepth",
     {"logs/a/b/c/1.log", "logs/a/b/c/2.log", "logs/a/b/d/x", "logs/a/b/d/y"},
     {{{"logs/a/b/c/1.log", "trash"}}, {{"logs/a/b/d", "trash"}}},
     1},
    {"FromOutsideEveryRootTheTrashGrows",
     {"outside/dir/x", "outside/f.log", "logs/x"},
     {{{"outside/dir", "trash"}}, {{"outside/f.log", "trash"}, {"logs/x", "trash"}}}},
    {"ToAPlaceInNoRootOrUnknownOnlyLeaves",
     {"logs/a/x", "logs/b/x", "logs/c.log"},
     {{{"logs/a", "elsewhere"}}, {{"logs/b", "unknown"}, {"logs/c.log", "unknown"}}}},
    {"ThousandsFromOneFolder", {}, {}},
};

std::vector<Case> withBigCase() {
    auto cases = kCases;
    Case& big = cases.back();
    std::vector<Item> first, second;
    for (int i = 0; i < 1200; ++i) {
        const std::string f = "logs/many/d" + std::to_string(i) + (i % 3 == 0 ? "/x" : ".log");
        big.files.push_back(f);
        const std::string item = i % 3 == 0 ? "logs/many/d" + std::to_string(i) : f;
        (i < 700 ? first : second).push_back({item, "trash"});
    }
    big.batches = {first, second};
    return cases;
}

class TreeMovesBatches : public ::testing::TestWithParam<Case> {};

TEST_P(TreeMovesBatches, EachRootMatchesTheDiskAfterEveryBatch) {
    const Case& c = GetParam();
    Roots roots(c);
    ASSERT_EQ(roots.counted(0), roots.fresh(roots.logs()));
    ASSERT_EQ(roots.counted(1), roots.fresh(roots.trash()));
    for (size_t b = 0; b < c.batches.size(); ++b) {
        const ScanResult before = roots.result;
        const int64_t logsBefore = roots.counted(0), trashBefore = roots.counted(1);
        std::vector<TreeMoves::Move> moves;
        for (const auto& item : c.batches[b]) moves.push_back(roots.move(item));
        EXPECT_TRUE(TreeMoves::apply(moves, roots.result)) << "batch " << b;
        EXPECT_EQ(roots.counted(0), roots.fresh(roots.logs())) << "batch " << b;
        const bool trashKnows = c.batches[b].front().where == "trash";
        EXPECT_EQ(roots.counted(1), trashKnows ? roots.fresh(roots.trash()) : trashBefore) << "batch " << b;
        // The tree handed out before the batch is untouched.
        EXPECT_EQ(before.categories[0].roots.front()->size, logsBefore);
        EXPECT_EQ(before.categories[1].roots.front()->size, trashBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(Moves, TreeMovesBatches, ::testing::ValuesIn(withBigCase()),
                         [](const auto& info) { return info.param.name; });

// What cannot be taken off again, or is already counted where it went, is not counted twice.
TEST(TreeMovesOnce, AFolderGoneAndAnItemAlreadyListedChangeNothing) {
    Case c{"", {"logs/a/x"}, {}};
    Roots roots(c);
    auto move = roots.move({"logs/a", "trash"});
    ASSERT_TRUE(TreeMoves::apply({move}, roots.result));
    const int64_t logs = roots.counted(0), trash = roots.counted(1);
    EXPECT_FALSE(TreeMoves::apply({move}, roots.result));
    EXPECT_EQ(roots.counted(0), logs);
    EXPECT_EQ(roots.counted(1), trash);
    EXPECT_EQ(trash, roots.fresh(roots.trash()));
}

} // namespace
