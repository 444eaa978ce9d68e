// A category root that moves (a Flatpak app's cache folder, offered whole), or lies inside a
// folder that moves (the app's whole folder), leaves the tree: after the fold every root the
// tree lists reads what a fresh walk of the disk reads, the roots gone are listed as missing
// and none of their bytes is counted twice. And the Trash, which lists every file it holds,
// lists them largest first after a batch however they came and went.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/FileWalker.h"
#include "engine/TreeMoves.h"
#include "platform/Path.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// Below the test folder: "apps" is a category root holding each app's folder but its cache,
// each cache a root of "caches" beside "cache"; "logs" is a category of one root.
struct Places {
    TempDir dir;
    std::map<std::string, std::vector<std::string>> roots{
        {"apps", {"apps"}}, {"caches", {"cache", "apps/one/cache", "apps/two/cache"}}, {"logs", {"logs"}}, {"trash", {"trash"}}};

    Places() {
        writeFileOfSize(dir / "apps/one/cache/blob", 40'000);
        writeFileOfSize(dir / "apps/one/cache/sub/x", 8'000);
        writeFileOfSize(dir / "apps/one/data", 20'000);
        writeFileOfSize(dir / "apps/two/cache/x", 30'000);
        writeFileOfSize(dir / "cache/y", 10'000);
        writeFileOfSize(dir / "logs/app.log", 12'000);
        writeFileOfSize(dir / "trash/old", 4'000);
        for (const auto& [id, paths] : roots) {
            CategoryResult category{definition(id), {}};
            for (const auto& p : paths) category.roots.push_back(walk(dir / p));
            result.categories.push_back(std::move(category));
        }
    }

    DisplayCategory definition(const std::string& id) const {
        DisplayCategory d;
        d.id = id;
        if (id == "apps") d.excludedPaths = {dir / "apps/one/cache", dir / "apps/two/cache"};
        return d;
    }

    FileWalker::Options options(const std::string& path) const {
        FileWalker::Options o;
        if (isPathInside(path, dir / "trash")) o.everyFileFolder = dir / "trash";
        if (isPathInside(path, dir / "apps")) o.excludedPaths = definition("apps").excludedPaths;
        return o;
    }

    ScanNodePtr walk(const std::string& path) const {
        ScanControl control;
        return FileWalker::walkParallel(path, control, options(path));
    }

    // Moved into the Trash on disk, and folded as a mover folds it (walked where it lies
    // now when the tree keeps no node of all it holds).
    void moveToTrash(const std::vector<std::string>& items) {
        std::vector<TreeMoves::Move> moves;
        for (const auto& item : items) {
            const std::string from = dir / item, to = dir / ("trash/" + lastPathComponent(from) + "." + std::to_string(++moved));
            const ScanNodePtr before = walk(from);
            EXPECT_EQ(std::rename(from.c_str(), to.c_str()), 0) << from;
            moves.push_back({from, to, before ? before->size : 0, true, nullptr});
        }
        const auto chosen = TreeMoves::needingMeasure(moves, result);
        std::vector<TreeMoves::Move> measuring;
        for (const size_t i : chosen) measuring.push_back(moves[i]);
        TreeMoves::measure(measuring, [&](const std::string& path) { return walk(path); });
        for (size_t k = 0; k < chosen.size(); ++k) moves[chosen[k]] = measuring[k];
        EXPECT_TRUE(TreeMoves::apply(moves, result));
    }

    // Every root against the disk; empty when all agree.
    std::string disagreement() const {
        std::ostringstream out;
        std::set<std::string> listed;
        for (const auto& category : result.categories) {
            if (category.roots.empty()) out << category.id() << ": a category with no root\n";
            for (const auto& root : category.roots) {
                listed.insert(root->path);
                const ScanNodePtr disk = walk(root->path);
                if (!disk) out << root->path << ": listed, not on disk\n";
                else if (disk->size != root->size || disk->fileCount != root->fileCount || disk->dirCount != root->dirCount)
                    out << root->path << ": listed " << root->size << " B " << root->fileCount << " files " << root->dirCount
                        << " folders, disk " << disk->size << " B " << disk->fileCount << " files " << disk->dirCount << "\n";
            }
        }
        std::set<std::string> missing;
        for (const auto& m : result.missingRoots) missing.insert(m.path);
        for (const auto& [id, paths] : roots)
            for (const auto& p : paths) {
                const bool onDisk = exists(dir / p);
                if (onDisk && !listed.count(dir / p)) out << p << ": on disk, not listed\n";
                if (!onDisk && !missing.count(dir / p)) out << p << ": gone, not looked out for\n";
            }
        return out.str();
    }

    ScanResult result;
    int moved = 0;
};

struct Case {
    std::string name;
    std::vector<std::vector<std::string>> batches;
    std::set<std::string> categoriesLeft; // listed after the last batch
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class MovedRoots : public ::testing::TestWithParam<Case> {};

TEST_P(MovedRoots, LeaveTheTreeAndEveryRootListedReadsTheDisk) {
    Places places;
    ASSERT_EQ(places.disagreement(), "");
    for (const auto& batch : GetParam().batches) {
        places.moveToTrash(batch);
        EXPECT_EQ(places.disagreement(), "") << "after " << batch.front();
    }
    std::set<std::string> ids;
    for (const auto& category : places.result.categories) ids.insert(category.id());
    EXPECT_EQ(ids, GetParam().categoriesLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Roots, MovedRoots,
    ::testing::Values(Case{"ARootMovedWhole", {{"apps/one/cache"}}, {"apps", "caches", "logs", "trash"}},
                      Case{"TheLastRootOfItsCategoryTakesTheCategory", {{"logs"}}, {"apps", "caches", "trash"}},
                      Case{"ARootInsideAFolderThatMoved", {{"apps/one"}}, {"apps", "caches", "logs", "trash"}},
                      Case{"EveryRootOfACategoryInOneBatch", {{"cache", "apps/two/cache", "apps/one/cache", "logs/app.log"}},
                           {"apps", "logs", "trash"}},
                      Case{"ARootThenTheFolderThatHeldIt", {{"apps/two/cache"}, {"apps/two"}}, {"apps", "caches", "logs", "trash"}}),
    [](const auto& info) { return info.param.name; });

// Files of equal and different sizes come into a Trash listing every file it holds, some
// leave it again in the same batch: it lists what a fresh walk lists, largest first.
TEST(TrashListing, ListsEveryFileItHoldsLargestFirstAfterABatch) {
    TempDir dir;
    const std::vector<int64_t> sizes = {4096, 12288, 0, 4096, 8192, 12288, 4096, 0, 20480};
    for (size_t i = 0; i < sizes.size(); ++i) writeFileOfSize(dir / ("logs/f" + std::to_string(i)), sizes[i]);
    writeFileOfSize(dir / "trash/old-small", 4096);
    writeFileOfSize(dir / "trash/old-big", 12288);
    makeDirs(dir / "elsewhere");
    FileWalker::Options logsOptions, trashOptions;
    trashOptions.everyFileFolder = dir / "trash";
    ScanControl control;
    ScanResult result;
    DisplayCategory logs, trash;
    logs.id = "logs";
    trash.id = "trash";
    result.categories.push_back({logs, {FileWalker::walkParallel(dir / "logs", control, logsOptions)}});
    result.categories.push_back({trash, {FileWalker::walkParallel(dir / "trash", control, trashOptions)}});
    std::vector<TreeMoves::Move> moves;
    for (size_t i = 0; i < sizes.size(); ++i) {
        const std::string from = dir / ("logs/f" + std::to_string(i)), to = dir / ("trash/f" + std::to_string(i));
        ASSERT_EQ(std::rename(from.c_str(), to.c_str()), 0);
        moves.push_back({from, to, sizes[i], false, nullptr});
    }
    // Out again: one that came in this batch, and one that was there before.
    for (const std::string name : {"f4", "old-big"}) {
        const std::string from = dir / ("trash/" + name), to = dir / ("elsewhere/" + name);
        ASSERT_EQ(std::rename(from.c_str(), to.c_str()), 0);
        moves.push_back({from, to, 0, false, nullptr});
    }
    ASSERT_TRUE(TreeMoves::apply(moves, result));
    const ScanNodePtr shown = result.categories[1].roots.front();
    const ScanNodePtr fresh = FileWalker::walkParallel(dir / "trash", control, trashOptions);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(shown->size, fresh->size);
    std::multiset<std::pair<std::string, int64_t>> listed, onDisk;
    for (const auto& f : shown->largestFiles) listed.insert({f.path, f.size});
    for (const auto& f : fresh->largestFiles) onDisk.insert({f.path, f.size});
    EXPECT_EQ(listed, onDisk);
    EXPECT_TRUE(std::is_sorted(shown->largestFiles.begin(), shown->largestFiles.end(),
                               [](const FileEntry& a, const FileEntry& b) { return a.size > b.size; }));
}

// A root gone from the disk, told by a walk: it leaves its category, the category too when
// it was the last, and is looked out for once.
TEST(LeavingRoot, TakesItsCategoryOnlyWhenItWasTheLastAndIsListedMissingOnce) {
    ScanResult result;
    DisplayCategory logs, caches;
    logs.id = "logs";
    caches.id = "caches";
    result.categories.push_back({logs, {ScanNode::make("logs", "/h/logs")}});
    result.categories.push_back({caches, {ScanNode::make("a", "/h/a"), ScanNode::make("b", "/h/b")}});
    EXPECT_FALSE(result.leaveRoot("/h/nowhere"));
    EXPECT_FALSE(result.leaveRoot("/h/logs/below"));
    EXPECT_EQ(result.categories.size(), 2u);
    EXPECT_TRUE(result.leaveRoot("/h/a"));
    ASSERT_EQ(result.categories.size(), 2u);
    EXPECT_EQ(result.categories[1].roots.size(), 1u);
    EXPECT_TRUE(result.leaveRoot("/h/logs"));
    ASSERT_EQ(result.categories.size(), 1u);
    EXPECT_EQ(result.categories[0].id(), "caches");
    EXPECT_FALSE(result.leaveRoot("/h/logs"));
    const std::vector<ScanResult::MissingRoot> missing = {{"caches", "/h/a"}, {"logs", "/h/logs"}};
    EXPECT_EQ(result.missingRoots, missing);
}

} // namespace
