#include <gtest/gtest.h>

#include "engine/DisplayCategory.h"
#include "engine/StorageCategory.h"
#include "platform/Path.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(ScanScopes, RawValuesAndTitles) {
    EXPECT_EQ(rawValue(ScanScope::systemData), "systemData");
    EXPECT_EQ(rawValue(ScanScope::wholeDisk), "wholeDisk");
    EXPECT_EQ(title(ScanScope::systemData), "System Data");
    EXPECT_EQ(title(ScanScope::wholeDisk), "Whole Disk");
    EXPECT_EQ(scanScopeFromRaw("wholeDisk"), ScanScope::wholeDisk);
    EXPECT_EQ(scanScopeFromRaw("WholeDisk"), std::nullopt);
}

TEST(StorageCategories, RawValuesRoundTripAndAreCaseSensitive) {
    for (StorageCategory c : kAllStorageCategories) EXPECT_EQ(storageCategoryFromRaw(rawValue(c)), c);
    EXPECT_EQ(storageCategoryFromRaw("Caches"), std::nullopt);
    EXPECT_EQ(storageCategoryFromRaw(""), std::nullopt);
}

TEST(StorageCategories, SystemDataHasNineCategoriesInDisplayOrder) {
    test::FakeHome home;
    test::makeDirs(home / "Library"); // the blurbs below are those of a home that holds it
    auto categories = DisplayCategory::categories(ScanScope::systemData);
    const std::vector<std::string> ids{"caches", "appSupport", "containers", "developer", "mail",
                                       "logs",   "vmSwap",     "trash",      "otherLibrary"};
    ASSERT_EQ(categories.size(), ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        EXPECT_EQ(categories[i].id, ids[i]);
        ASSERT_TRUE(categories[i].storage.has_value());
        EXPECT_EQ(rawValue(*categories[i].storage), ids[i]);
        EXPECT_TRUE(categories[i].stayOnDevice);
        EXPECT_EQ(categories[i].tint, StorageCategories::tint(*categories[i].storage));
    }
    EXPECT_EQ(categories[0].title, "Caches & Temp");
    EXPECT_EQ(categories[4].title, "Mail & Messages");
    EXPECT_EQ(categories[8].blurb,
              "Everything else under ~/Library: preferences, keychains, Safari data, Photos caches and more.");
    EXPECT_EQ(categories[0].tint, Tint::mint());
    EXPECT_EQ(categories[5].tint, Tint::lime());
    EXPECT_EQ(categories[6].tint, Tint::slate());
}

TEST(StorageCategories, RootsFollowTheHomeFolderOfTheMoment) {
    test::FakeHome home;
    const std::string h = home.path();
    const std::string sys = home.systemRoot();
    // The per-user cache and temporary folders are unknown here: two library cache roots,
    // then the Linux cache folder and the system's.
    EXPECT_EQ(StorageCategories::roots(StorageCategory::caches),
              (std::vector<std::string>{h + "/Library/Caches", "/Library/Caches", h + "/.cache", sys + "/var/cache"}));
    EXPECT_EQ(StorageCategories::roots(StorageCategory::logs),
              (std::vector<std::string>{h + "/Library/Logs", "/Library/Logs", "/private/var/log",
                                        "/private/var/db/diagnostics", sys + "/var/log", sys + "/var/crash",
                                        sys + "/var/lib/systemd/coredump"}));
    EXPECT_EQ(StorageCategories::roots(StorageCategory::trash),
              std::vector<std::string>{h + "/.local/share/Trash/files"});
    {
        test::ScopedEnv other("HOME", std::string("/elsewhere"));
        // No developer folder exists there: only the library root.
        EXPECT_EQ(StorageCategories::roots(StorageCategory::developer),
                  std::vector<std::string>{"/elsewhere/Library/Developer"});
    }
}

TEST(StorageCategories, OtherLibraryExcludesEveryTreeAnotherCategoryMeasures) {
    test::FakeHome home;
    const std::string h = home.path();
    const std::set<std::string> global{h + "/Library/Mobile Documents", h + "/Library/CloudStorage",
                                       h + "/Library/Application Support/CloudDocs",
                                       h + "/Library/Application Support/FileProvider",
                                       h + "/Library/Application Support/com.apple.ProtectedCloudStorage"};
    EXPECT_EQ(StorageCategories::globallyExcludedPaths(), global);
    std::set<std::string> other = global;
    for (const char* r : {"Caches", "Application Support", "Containers", "Group Containers", "Developer",
                          "Mail", "Messages", "Logs"})
        other.insert(h + "/Library/" + r);
    EXPECT_EQ(StorageCategories::excludedPaths(StorageCategory::otherLibrary), other);
    // The data folder leaves out its Trash (and the Trash's items) and mail, measured by
    // their own categories; every other case excludes the global paths alone.
    std::set<std::string> appSupport = global;
    for (const char* r : {"/.local/share/Trash", "/.local/share/Trash/files", "/.local/share/evolution"})
        appSupport.insert(h + r);
    for (StorageCategory c : kAllStorageCategories) {
        if (c == StorageCategory::otherLibrary) continue;
        EXPECT_EQ(StorageCategories::excludedPaths(c), c == StorageCategory::appSupport ? appSupport : global)
            << rawValue(c);
    }
    // The display form carries the same sets.
    for (const auto& d : DisplayCategory::categories(ScanScope::systemData))
        EXPECT_EQ(d.excludedPaths, StorageCategories::excludedPaths(*d.storage));
}

TEST(StorageCategories, DisplayCategoriesAreEqualByIdentifierAlone) {
    DisplayCategory a, b;
    a.id = b.id = "caches";
    a.title = "One";
    b.title = "Two";
    b.tint = Tint::rose();
    EXPECT_EQ(a, b);
    b.id = "logs";
    EXPECT_FALSE(a == b);
}

TEST(Tints, PalettesAreDistinctAndMadeOnce) {
    EXPECT_EQ(&Tint::mint(), &Tint::mint());
    const Tint* all[] = {&Tint::mint(), &Tint::blue(), &Tint::violet(), &Tint::cyan(), &Tint::lime(),
                         &Tint::amber(), &Tint::rose(), &Tint::slate(), &Tint::fog()};
    for (size_t i = 0; i < 9; ++i)
        for (size_t j = i + 1; j < 9; ++j) EXPECT_FALSE(*all[i] == *all[j]) << i << " " << j;
    // 0.78, 0.925, 0.843 in 8-bit channels.
    EXPECT_EQ(Tint::mint().fill.light, 0xC7ECD7u);
    Tint copy{Tint::mint().fill, Tint::mint().ink, Tint::mint().dot};
    EXPECT_EQ(copy, Tint::mint());
}

// Each Flatpak app adds a cache root. Where each root lies is resolved once for all the
// categories, so an app more costs about one resolution, not one for every other root it is
// compared with; and the categories still leave each app's cache to the caches alone.
TEST(StorageCategories, EachRootsPlaceIsResolvedOnceNotOncePerPairOfRoots) {
    struct Made {
        uint64_t resolutions;
        std::set<std::string> containersLeaveOut;
    };
    auto categoriesWith = [](int apps) {
        test::FakeHome home;
        for (int i = 0; i < apps; ++i) test::makeDirs(home / (".var/app/org.example.App" + std::to_string(i) + "/cache"));
        const uint64_t before = pathResolutions();
        const auto categories = DisplayCategory::categories(ScanScope::systemData);
        Made made{pathResolutions() - before, {}};
        for (const auto& d : categories)
            if (d.storage == StorageCategory::containers)
                for (const auto& path : d.excludedPaths)
                    if (path.starts_with(home / ".var/app/")) made.containersLeaveOut.insert(path);
        return made;
    };
    const int counts[] = {2, 12, 42};
    std::vector<Made> made;
    for (const int apps : counts) {
        made.push_back(categoriesWith(apps));
        EXPECT_EQ(made.back().containersLeaveOut.size(), static_cast<size_t>(apps)) << apps << " apps";
    }
    for (size_t i = 1; i < made.size(); ++i) {
        const uint64_t added = made[i].resolutions - made[i - 1].resolutions;
        const auto apps = static_cast<uint64_t>(counts[i] - counts[i - 1]);
        EXPECT_LE(added, 2 * apps) << counts[i - 1] << " to " << counts[i] << " apps: " << made[i - 1].resolutions
                                   << " then " << made[i].resolutions << " resolutions";
    }
}
