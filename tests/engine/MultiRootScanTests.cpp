#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>

#include "engine/MultiRootScan.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// An independent measure: allocated bytes of regular files below path, not entering
// excluded paths, skipped names or other devices; files with several links counted
// once across every call that shares `seen`.
struct Counter {
    std::set<std::pair<dev_t, ino_t>> seen;
    std::set<std::string> excluded;

    long long count(const std::string& path) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0) return 0;
        return count(path, st.st_dev);
    }
    long long count(const std::string& path, dev_t device) {
        long long total = 0;
        DIR* dir = opendir(path.c_str());
        if (!dir) return 0;
        std::vector<std::string> names;
        while (dirent* e = readdir(dir)) names.emplace_back(e->d_name);
        closedir(dir);
        for (const auto& name : names) {
            if (name == "." || name == ".." || name == ".Spotlight-V100" || name == ".fseventsd" ||
                name == ".DocumentRevisions-V100")
                continue;
            const std::string child = path + "/" + name;
            if (excluded.count(child)) continue;
            struct stat st {};
            if (lstat(child.c_str(), &st) != 0) continue;
            if (S_ISDIR(st.st_mode)) {
                if (st.st_dev == device) total += count(child, device);
            } else if (S_ISREG(st.st_mode)) {
                if (st.st_nlink > 1 && !seen.insert({st.st_dev, st.st_ino}).second) continue;
                total += static_cast<long long>(st.st_blocks) * 512;
            }
        }
        return total;
    }
};

void hardLink(const std::string& from, const std::string& to) {
    test::makeDirs(to.substr(0, to.rfind('/')));
    ASSERT_EQ(link(from.c_str(), to.c_str()), 0);
}

// A home library of realistic shape, with cloud folders that must never be entered
// and one file hard-linked into three categories.
void buildHome(const test::FakeHome& home) {
    test::writeFileOfSize(home / "Library/Caches/com.example.app/Cache.db", 40000);
    test::writeFileOfSize(home / "Library/Caches/com.example.app/fsCachedData/1", 9000);
    test::writeFileOfSize(home / "Library/Application Support/Example/state.sqlite", 30000);
    test::writeFileOfSize(home / "Library/Application Support/CloudDocs/session/db", 900000);
    test::writeFileOfSize(home / "Library/Application Support/FileProvider/x", 700000);
    test::writeFileOfSize(home / "Library/Mobile Documents/com~apple~CloudDocs/doc", 800000);
    test::writeFileOfSize(home / "Library/CloudStorage/Drive/file", 600000);
    test::writeFileOfSize(home / "Library/Containers/com.example.app/Data/file", 30000);
    test::writeFileOfSize(home / "Library/Group Containers/group.example/file", 10000);
    test::writeFileOfSize(home / "Library/Developer/Xcode/DerivedData/App-abc/Build/out", 50000);
    test::writeFileOfSize(home / "Library/Mail/V10/box/1.emlx", 20000);
    test::writeFileOfSize(home / "Library/Messages/chat.db", 20000);
    test::writeFileOfSize(home / "Library/Logs/DiagnosticReports/crash.ips", 12000);
    test::writeFileOfSize(home / "Library/Preferences/com.example.plist", 4000);
    test::writeFileOfSize(home / ".local/share/Trash/files/old.zip", 25000);
    test::writeFileOfSize(home / "Library/Caches/shared.bin", 64000);
    hardLink(home / "Library/Caches/shared.bin", home / "Library/Preferences/shared.bin");
    hardLink(home / "Library/Caches/shared.bin", home / "Library/Developer/shared.bin");
}

std::vector<std::string> ids(const ScanResult& result) {
    std::vector<std::string> out;
    for (const auto& c : result.categories) out.push_back(c.id());
    return out;
}

} // namespace

TEST(MultiRootScan, SystemDataMeasuresEveryRootOnceInDisplayOrder) {
    test::FakeHome home;
    buildHome(home);
    ScanControl control;
    ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::systemData);

    // vmSwap has no root here and is left out; the rest keep display order.
    EXPECT_EQ(ids(result), (std::vector<std::string>{"caches", "appSupport", "containers", "developer", "mail",
                                                     "logs", "trash", "otherLibrary"}));
    EXPECT_EQ(result.scope, ScanScope::systemData);
    EXPECT_EQ(result.duration, 0);
    EXPECT_TRUE(result.cleanupItems.empty());
    EXPECT_TRUE(result.fullDiskAccess); // ~/Library/Mail exists and can be listed

    // Every root handed over exactly once, and only roots of the result.
    // A root that counts files named in other roots too is handed over as walked, and is in
    // the result as a copy of itself (the same identity) with those files counted.
    std::map<UUID, int> handed;
    for (const auto& done : control.takeCompleted()) {
        handed[done.node->id]++;
        const auto* category = result.category(done.categoryID);
        ASSERT_NE(category, nullptr) << done.categoryID;
        bool inCategory = false;
        for (const auto& root : category->roots) inCategory |= root->id == done.node->id;
        EXPECT_TRUE(inCategory) << done.node->path;
    }
    size_t rootCount = 0;
    for (const auto& c : result.categories) rootCount += c.roots.size();
    EXPECT_EQ(handed.size(), rootCount);
    for (const auto& [id, times] : handed) EXPECT_EQ(times, 1);

    // Each root against an independent count with the category's exclusions; the
    // hard-linked file lands in exactly one of them.
    const long long shared = test::allocatedSize(home / "Library/Caches/shared.bin");
    Counter all;
    long long expectedTotal = 0, scannedTotal = 0;
    int rootsHoldingShared = 0;
    for (const auto& c : result.categories) {
        for (const auto& root : c.roots) {
            Counter alone;
            alone.excluded = c.category.excludedPaths;
            // Count the linked file in no root, to see where the scan put it.
            alone.seen.insert([&] {
                struct stat st {};
                lstat((home / "Library/Caches/shared.bin").c_str(), &st);
                return std::make_pair(st.st_dev, st.st_ino);
            }());
            const long long withoutShared = alone.count(root->path);
            EXPECT_TRUE(root->size == withoutShared || root->size == withoutShared + shared) << root->path;
            if (root->size == withoutShared + shared) ++rootsHoldingShared;
            all.excluded = c.category.excludedPaths;
            expectedTotal += all.count(root->path);
            scannedTotal += root->size;
        }
    }
    EXPECT_EQ(rootsHoldingShared, 1);
    EXPECT_EQ(scannedTotal, expectedTotal);

    // The cloud folders were never entered.
    EXPECT_EQ(result.node(home / "Library/Application Support/CloudDocs"), nullptr);
    EXPECT_EQ(result.node(home / "Library/Mobile Documents"), nullptr);
    EXPECT_EQ(result.node(home / "Library/CloudStorage"), nullptr);
    EXPECT_LT(result.category("appSupport")->total(), 200000);
    // otherLibrary holds Preferences but none of the other categories' trees.
    const auto* other = result.category("otherLibrary");
    const auto library = std::find_if(other->roots.begin(), other->roots.end(),
                                      [&](const ScanNodePtr& r) { return r->path == home / "Library"; });
    ASSERT_NE(library, other->roots.end());
    for (const auto& child : (*library)->children) EXPECT_TRUE(child->name == "Preferences") << child->name;
    // Its other roots are the desktop's base folders, still empty.
    for (const auto& root : other->roots) {
        if (root != *library) {
            EXPECT_EQ(root->size, 0) << root->path;
        }
    }
}

// The Trash's items are what its files/ holds, loose files and folders alike, whatever
// their size; the info records are no items, and a folder's own small files stay inside it.
TEST(MultiRootScan, TheTrashListsEveryItemItHolds) {
    struct Row {
        std::vector<std::string> files; // under files/, each of 100 bytes
        std::vector<std::string> items; // the rows of the category's level, by name
        int64_t fileCount;
    };
    const std::vector<Row> rows{
        {{"a.txt", "b.txt"}, {"a.txt", "b.txt"}, 2},
        {{"a.txt", "dir/x", "dir/y"}, {"a.txt", "dir"}, 3},
        {{"1", "2", "3", "d/x", "e/y/z"}, {"1", "2", "3", "d", "e"}, 5},
    };
    for (const auto& row : rows) {
        test::FakeHome home;
        for (const auto& file : row.files) {
            test::writeFileOfSize(home / (".local/share/Trash/files/" + file), 100);
            test::writeFileOfSize(home / (".local/share/Trash/info/" + file.substr(0, file.find('/')) + ".trashinfo"),
                                  100);
        }
        ScanControl control;
        auto result = MultiRootScan::scanSynchronously(control, ScanScope::systemData, std::set<std::string>{"trash"});
        ASSERT_EQ(ids(result), std::vector<std::string>{"trash"});
        std::vector<std::string> names;
        for (const auto& item : result.categories[0].browsableRows())
            names.push_back(item.isDirectory() ? item.node()->name : item.fileEntry().name);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, row.items) << row.files.size() << " files";
        EXPECT_EQ(result.categories[0].roots.at(0)->fileCount, row.fileCount);
        for (const auto& item : result.categories[0].browsableRows())
            if (item.isDirectory()) {
                EXPECT_TRUE(item.node()->largestFiles.empty()) << item.node()->name;
            }
    }
}

// A live re-walk of the Trash's files/ keeps every file too; of another root it does not.
TEST(WalkOptions, OnlyTheTrashKeepsEveryFile) {
    test::FakeHome home;
    const std::string trash = home / ".local/share/Trash/files";
    EXPECT_EQ(MultiRootScan::walkOptions(trash, ScanScope::systemData).everyFileFolder, trash);
    EXPECT_EQ(MultiRootScan::walkOptions(home / "Library/Caches/x", ScanScope::systemData).everyFileFolder, "");
}

TEST(MultiRootScan, RootsOfACategoryComeLargestFirst) {
    test::FakeHome home;
    buildHome(home);
    ScanControl control;
    auto result = MultiRootScan::scanSynchronously(control, ScanScope::systemData, std::set<std::string>{"containers"});
    ASSERT_EQ(ids(result), std::vector<std::string>{"containers"});
    const auto& roots = result.categories[0].roots;
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(roots[0]->path, home / "Library/Containers");
    EXPECT_EQ(roots[1]->path, home / "Library/Group Containers");
    EXPECT_GT(roots[0]->size, roots[1]->size);

    // Equal sizes keep the order of the category's roots.
    test::FakeHome even;
    test::makeDirs(even / "Library/Containers");
    test::makeDirs(even / "Library/Group Containers");
    ScanControl again;
    auto tie = MultiRootScan::scanSynchronously(again, ScanScope::systemData, std::set<std::string>{"containers"});
    ASSERT_EQ(tie.categories.size(), 1u);
    ASSERT_EQ(tie.categories[0].roots.size(), 2u);
    EXPECT_EQ(tie.categories[0].roots[0]->path, even / "Library/Containers");
}

TEST(MultiRootScan, LimitedToNarrowsTheCategories) {
    test::FakeHome home;
    buildHome(home);
    {
        ScanControl control;
        auto none = MultiRootScan::scanSynchronously(control, ScanScope::systemData, std::set<std::string>{});
        EXPECT_TRUE(none.categories.empty());
        EXPECT_TRUE(control.takeCompleted().empty());
    }
    {
        // One job: walked on the calling thread and still handed to the control.
        ScanControl control;
        auto developer =
            MultiRootScan::scanSynchronously(control, ScanScope::systemData, std::set<std::string>{"developer"});
        EXPECT_EQ(ids(developer), std::vector<std::string>{"developer"});
        auto handed = control.takeCompleted();
        ASSERT_EQ(handed.size(), 1u);
        EXPECT_EQ(handed[0].categoryID, "developer");
        EXPECT_EQ(handed[0].node->id, developer.categories[0].roots[0]->id);
    }
    {
        ScanControl control;
        auto unknown = MultiRootScan::scanSynchronously(control, ScanScope::systemData, std::set<std::string>{"nope"});
        EXPECT_TRUE(unknown.categories.empty());
    }
}

TEST(MultiRootScan, AScopeWithoutExistingRootsGivesAnEmptyResult) {
    test::FakeHome home(test::FakeHome::Base::bare);
    ScanControl control;
    auto result = MultiRootScan::scanSynchronously(
        control, ScanScope::systemData, std::set<std::string>{"caches", "developer", "trash", "vmSwap"});
    EXPECT_TRUE(result.categories.empty());
    EXPECT_TRUE(control.takeCompleted().empty());
}

TEST(MultiRootScan, ProbesAreTakenBeforeWalking) {
    test::FakeHome home;
    test::makeDirs(home / "Library/Mail");
    ScanControl control;
    auto result = MultiRootScan::scanSynchronously(control, ScanScope::systemData, std::set<std::string>{"mail"});
    EXPECT_TRUE(result.fullDiskAccess);
    EXPECT_GT(result.volume.totalCapacity, 0);
    EXPECT_TRUE(result.snapshots.empty());
}

TEST(MultiRootScan, ANestedRootOfOneCategoryIsCountedOnce) {
    test::TempDir top;
    test::writeFileOfSize(top / "usr/bin/tool", 30000);
    test::writeFileOfSize(top / "usr/local/bin/extra", 50000);
    auto categories = DisplayCategory::wholeDiskCategories(top.path());
    ASSERT_EQ(categories.size(), 1u);
    ScanControl control;
    ScanResult result;
    MultiRootScan::walkCategories(control, categories, result);
    ASSERT_EQ(result.categories.size(), 1u);
    const auto& roots = result.categories[0].roots;
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(result.categories[0].total(), test::independentTotal(top / "usr"));
    EXPECT_EQ(roots[0]->path, top / "usr/local");
    EXPECT_EQ(roots[0]->size, test::independentTotal(top / "usr/local"));
    EXPECT_EQ(roots[1]->size, test::independentTotal(top / "usr/bin"));
}

TEST(MultiRootScan, AFolderNamedTwiceIsWalkedOnce) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "a/file", 8192);
    DisplayCategory twice;
    twice.id = "twice";
    twice.roots = {dir / "a", dir / "a/", dir.path() + "//a"};
    ScanControl control;
    ScanResult result;
    MultiRootScan::walkCategories(control, {twice}, result);
    ASSERT_EQ(result.categories.size(), 1u);
    EXPECT_EQ(result.categories[0].roots.size(), 1u);
    EXPECT_EQ(result.categories[0].total(), test::independentTotal(dir / "a"));
}

// A root missing at the scan is noted once, with its category, so it can be measured when
// it comes into being; one that exists is not missing.
TEST(MultiRootScan, MissingRootsAreNotedOnce) {
    test::TempDir dir;
    test::writeFileOfSize(dir / "there/file", 4096);
    DisplayCategory some, none;
    some.id = "some";
    some.roots = {dir / "there", dir / "gone", dir / "gone/"};
    none.id = "none";
    none.roots = {dir / "never/made"};
    ScanControl control;
    ScanResult result;
    MultiRootScan::walkCategories(control, {some, none}, result);
    ASSERT_EQ(result.categories.size(), 1u);
    const std::vector<ScanResult::MissingRoot> expected = {{"some", dir / "gone"}, {"none", dir / "never/made"}};
    EXPECT_EQ(result.missingRoots, expected);
}

TEST(MultiRootScan, AnUnreadableRootComesBackDenied) {
    test::FakeHome home;
    test::writeFileOfSize(home / "Library/Developer/x", 4096);
    chmod((home / "Library/Developer").c_str(), 0700);
    int status = test::runAsUnprivileged([] {
        ScanControl control;
        auto result =
            MultiRootScan::scanSynchronously(control, ScanScope::systemData, std::set<std::string>{"developer"});
        if (result.categories.size() != 1) return 1;
        const auto& root = result.categories[0].roots[0];
        return root->accessDenied && root->size == 0 ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
}

TEST(WalkOptions, FirstCategoryInDisplayOrderDecides) {
    test::FakeHome home;
    auto preferences = MultiRootScan::walkOptions(home / "Library/Preferences", ScanScope::systemData);
    EXPECT_EQ(preferences.excludedPaths, StorageCategories::excludedPaths(StorageCategory::otherLibrary));
    EXPECT_TRUE(preferences.stayOnDevice);
    EXPECT_EQ(preferences.maxNodeDepth, 10);
    EXPECT_EQ(preferences.largestFilesPerDirectory, 8);
    EXPECT_EQ(preferences.largeFileThreshold, 8'000'000);
    EXPECT_EQ(preferences.skippedNames.size(), 3u);

    auto caches = MultiRootScan::walkOptions(home / "Library/Caches/x", ScanScope::systemData);
    EXPECT_EQ(caches.excludedPaths, StorageCategories::globallyExcludedPaths());

    auto outside = MultiRootScan::walkOptions("/opt", ScanScope::systemData);
    EXPECT_EQ(outside.excludedPaths, StorageCategories::globallyExcludedPaths());
    EXPECT_TRUE(outside.stayOnDevice);

    auto cachesSibling = MultiRootScan::walkOptions(home / "Library/CachesOld", ScanScope::systemData);
    EXPECT_EQ(cachesSibling.excludedPaths, StorageCategories::excludedPaths(StorageCategory::otherLibrary));
}

TEST(WalkOptions, WholeDiskPathsGetTheMountPointExclusions) {
    auto usr = MultiRootScan::walkOptions("/usr/bin", ScanScope::wholeDisk);
    for (const auto& p : DisplayCategory::wholeDiskExclusions()) EXPECT_TRUE(usr.excludedPaths.count(p)) << p;
    for (const auto& p : StorageCategories::globallyExcludedPaths()) EXPECT_TRUE(usr.excludedPaths.count(p)) << p;
    auto nowhere = MultiRootScan::walkOptions("/proc/self", ScanScope::wholeDisk);
    EXPECT_EQ(nowhere.excludedPaths, StorageCategories::globallyExcludedPaths());
}

// A root behind a folder this user may not search is unreadable, not absent (Mail here does
// not even exist): its category is listed as such, and the hiding folder counts once.
TEST(MultiRootScan, RootsBehindAnUnsearchableFolderComeBackDenied) {
    for (const std::string locked : {"Library", ""}) {
        test::FakeHome home;
        test::writeFileOfSize(home / "Library/Caches/app/blob", 8192);
        const std::string folder = locked.empty() ? home.path() : home / locked;
        chmod(folder.c_str(), 0);
        const int status = test::runAsUnprivileged([&] {
            ScanControl control;
            const auto result = MultiRootScan::scanSynchronously(control, ScanScope::systemData);
            for (const char* root : {"Library/Caches", "Library/Mail", "Library"})
                if (const auto node = result.node(home / root); !node || !node->accessDenied) return 1;
            return result.unreadableFolders == 1 ? 0 : 2;
        });
        chmod(folder.c_str(), 0755);
        EXPECT_EQ(status, 0) << "locked: ~/" << locked;
    }
}
