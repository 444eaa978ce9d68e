#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "engine/DisplayCategory.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

std::vector<std::string> ids(const std::vector<DisplayCategory>& categories) {
    std::vector<std::string> out;
    for (const auto& c : categories) out.push_back(c.id);
    return out;
}

const DisplayCategory* find(const std::vector<DisplayCategory>& categories, const std::string& id) {
    for (const auto& c : categories)
        if (c.id == id) return &c;
    return nullptr;
}

} // namespace

TEST(WholeDiskCategories, OneCategoryPerTopLevelDirectoryInByteOrder) {
    test::TempDir top;
    for (const char* d : {"Users", "System", "Applications", "Library", "opt", "Volumes", ".vol", ".hidden"})
        test::makeDirs(top / d);
    test::writeFile(top / "file", "x");
    ASSERT_EQ(symlink((top / "Users").c_str(), (top / "link").c_str()), 0);

    auto categories = DisplayCategory::wholeDiskCategories(top.path());
    const std::string t = top.path();
    EXPECT_EQ(ids(categories), (std::vector<std::string>{"disk:" + t + "/Applications", "disk:" + t + "/Library",
                                                         "disk:" + t + "/System", "disk:" + t + "/Users",
                                                         "disk:" + t + "/opt"}));
    ASSERT_EQ(categories.size(), 5u);
    // Skipped names (Volumes between System and Users) do not shift the tints.
    EXPECT_EQ(categories[0].tint, Tint::blue());
    EXPECT_EQ(categories[1].tint, Tint::violet());
    EXPECT_EQ(categories[2].tint, Tint::mint());
    EXPECT_EQ(categories[3].tint, Tint::amber());
    EXPECT_EQ(categories[4].tint, Tint::cyan());
    EXPECT_EQ(categories[0].title, "Applications");
    EXPECT_EQ(categories[3].blurb,
              "Every user's home folder. For most Macs this is where nearly all the reclaimable space actually "
              "is — Downloads, Desktop, Movies, and ~/Library.");
    for (const auto& c : categories) {
        EXPECT_FALSE(c.storage.has_value());
        EXPECT_TRUE(c.stayOnDevice);
        EXPECT_EQ(c.roots, std::vector<std::string>{c.id.substr(5)});
        EXPECT_TRUE(c.excludedPaths.count("/Volumes"));
        EXPECT_TRUE(c.excludedPaths.count("/.fseventsd"));
    }
}

TEST(WholeDiskCategories, UnknownDirectoriesGetTheGenericBlurb) {
    test::TempDir top;
    test::makeDirs(top / "srv");
    auto categories = DisplayCategory::wholeDiskCategories(top.path());
    ASSERT_EQ(categories.size(), 1u);
    EXPECT_EQ(categories[0].blurb, "Top-level directory on the boot volume.");
}

TEST(WholeDiskCategories, UsrLocalIsASecondRootMeasuredOnce) {
    test::TempDir top;
    test::makeDirs(top / "usr/bin");
    auto without = DisplayCategory::wholeDiskCategories(top.path());
    ASSERT_EQ(without.size(), 1u);
    EXPECT_EQ(without[0].roots, std::vector<std::string>{top / "usr"});
    EXPECT_FALSE(without[0].excludedPaths.count(top / "usr/local"));

    test::makeDirs(top / "usr/local");
    auto with = DisplayCategory::wholeDiskCategories(top.path());
    ASSERT_EQ(with.size(), 1u);
    EXPECT_EQ(with[0].roots, (std::vector<std::string>{top / "usr", top / "usr/local"}));
    // Same device: the walk of usr must leave usr/local to its own root.
    EXPECT_TRUE(with[0].excludedPaths.count(top / "usr/local"));
}

TEST(WholeDiskCategories, AnUnlistableTopGivesNoCategories) {
    test::TempDir top;
    EXPECT_TRUE(DisplayCategory::wholeDiskCategories(top / "missing").empty());
}

TEST(WholeDiskCategories, ThisMachineLeavesOutPseudoFileSystems) {
    auto categories = DisplayCategory::categories(ScanScope::wholeDisk);
    EXPECT_EQ(find(categories, "disk:/proc"), nullptr);
    EXPECT_EQ(find(categories, "disk:/sys"), nullptr);
    EXPECT_EQ(find(categories, "disk:/dev"), nullptr);
    struct stat root {}, usr {};
    ASSERT_EQ(stat("/", &root), 0);
    if (stat("/usr", &usr) == 0 && usr.st_dev == root.st_dev) {
        const auto* c = find(categories, "disk:/usr");
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->blurb.find("Homebrew"), std::string::npos) << "no Homebrew here: " << c->blurb;
        EXPECT_EQ(c->blurb.rfind("Command-line tools and libraries", 0), 0u) << c->blurb;
    }
    // Every category is on the root's file system or is a local disk mounted at the top.
    const auto mounts = readMountTable();
    for (const auto& c : categories) {
        const MountEntry* mount = nullptr;
        for (const auto& m : mounts)
            if (m.mountPoint == c.roots[0]) mount = &m;
        if (mount) {
            EXPECT_TRUE(isLocalDiskFileSystem(mount->fsType)) << c.id << " " << mount->fsType;
        }
        struct stat st {};
        ASSERT_EQ(lstat(c.roots[0].c_str(), &st), 0);
        if (!mount && mounts.empty()) {
            EXPECT_EQ(st.st_dev, root.st_dev) << c.id;
        }
    }
}

TEST(WholeDiskCategories, LocalDisksMountedAtTheTopAreCategoriesPseudoAndNetworkOnesAreNot) {
    test::TempDir top;
    const std::string t = top.path();
    for (const char* d : {"boot", "data", "home", "media", "mnt", "proc", "run", "srv", "stack", "sys", "tmp", "usr"})
        test::makeDirs(top / d);
    const auto at = [&](const char* name, const char* type) { return MountEntry{top / name, type, 1}; };
    const std::vector<MountEntry> mounts{
        {"/", "ext4", 2},  at("home", "ext4"),   at("boot", "vfat"),  at("data", "btrfs"),
        at("proc", "proc"), at("sys", "sysfs"),  at("run", "tmpfs"),  at("tmp", "tmpfs"),
        at("srv", "nfs4"), at("mnt", "fuse.sshfs"),
        // The later mount at one point hides the earlier one.
        at("stack", "ext4"), at("stack", "overlay"), at("media", "tmpfs"), at("media", "exfat"),
        // Below the top level: the walk of usr stays on its device, so usr is still one category.
        MountEntry{top / "usr/share/big", "nfs", 3}};

    const auto categories = DisplayCategory::wholeDiskCategories(t, mounts);
    EXPECT_EQ(ids(categories), (std::vector<std::string>{"disk:" + t + "/boot", "disk:" + t + "/data",
                                                         "disk:" + t + "/home", "disk:" + t + "/media",
                                                         "disk:" + t + "/usr"}));
    for (const auto& c : categories) {
        EXPECT_TRUE(c.stayOnDevice) << c.id;
        EXPECT_FALSE(c.excludedPaths.count("/home")) << c.id;
    }
    const auto* home = find(categories, "disk:" + t + "/home");
    ASSERT_NE(home, nullptr);
    EXPECT_EQ(home->roots, std::vector<std::string>{top / "home"});
    EXPECT_EQ(find(categories, "disk:" + t + "/data")->blurb, "Top-level directory on a disk of its own.");
    EXPECT_EQ(find(categories, "disk:" + t + "/usr")->blurb.rfind("Command-line tools and libraries", 0), 0u);
}

TEST(WholeDiskCategories, ATopThatCannotBeListedGivesNoCategories) {
    test::TempDir top;
    test::makeDirs(top / "sealed/usr");
    chmod((top / "sealed").c_str(), 0700);
    int status = test::runAsUnprivileged([&] {
        return DisplayCategory::wholeDiskCategories(top / "sealed").empty() ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}
