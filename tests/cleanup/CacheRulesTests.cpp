// The four rules that read only the scan: thresholds, name filters, target shape.
#include <gtest/gtest.h>

#include "ResultBuilder.h"
#include "cleanup/CleanupRules.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::test::node;
using sorvel::test::resultWith;

namespace {

const std::string kHome = "/home/someone";

std::vector<std::string> targetNames(const CleanupItem &item) {
    std::vector<std::string> names;
    for (const auto &t : item.targets)
        names.push_back(t.name);
    return names;
}

ScanResult cachesWith(std::vector<ScanNodePtr> children) {
    int64_t total = 0;
    for (const auto &c : children)
        total += c->size;
    return resultWith({node(kHome + "/Library/Caches", total, std::move(children))});
}

} // namespace

TEST(UserCachesRule, NeedsFiveMillionBytesExactly) {
    auto result = cachesWith({node(kHome + "/Library/Caches/com.example.big", 5'000'000),
                              node(kHome + "/Library/Caches/com.example.small", 4'999'999)});
    CleanupItem item = CleanupRules::userCaches(result, kHome);
    ASSERT_EQ(item.targets.size(), 1u);
    EXPECT_EQ(item.targets[0].name, "com.example.big");
    EXPECT_EQ(item.targets[0].path, kHome + "/Library/Caches/com.example.big");
    EXPECT_EQ(item.targets[0].size, 5'000'000);
    EXPECT_FALSE(item.targets[0].detail.has_value());
    EXPECT_EQ(item.size(), 5'000'000);
    EXPECT_EQ(item.id, "user-caches");
    EXPECT_EQ(item.title, "User app caches");
    EXPECT_EQ(item.detail, "Rebuilt automatically the next time each app runs.");
    EXPECT_EQ(item.locationLabel, "~/Library/Caches");
    EXPECT_EQ(item.risk, CleanupRisk::safe);
    EXPECT_EQ(item.category, StorageCategory::caches);
    EXPECT_FALSE(item.externalAction.has_value());
    EXPECT_FALSE(item.reportedSize.has_value());
}

TEST(UserCachesRule, SkipsBrowserPrefixesInAnyCaseButNotOtherBrowsers) {
    const int64_t big = 10'000'000;
    auto result = cachesWith({node(kHome + "/Library/Caches/GOOGLE", big),
                              node(kHome + "/Library/Caches/com.apple.Safari.SafeBrowsing", big),
                              node(kHome + "/Library/Caches/com.operasoftware.Opera", big),
                              node(kHome + "/Library/Caches/Chromium", big),
                              node(kHome + "/Library/Caches/Firefox", big),
                              node(kHome + "/Library/Caches/com.example.keep", big)});
    EXPECT_EQ(targetNames(CleanupRules::userCaches(result, kHome)),
              std::vector<std::string>{"com.example.keep"});
}

TEST(UserCachesRule, DeveloperNamesAreSkippedOnlyOnEquality) {
    const int64_t big = 10'000'000;
    auto result = cachesWith({node(kHome + "/Library/Caches/ORG.SWIFT.SWIFTPM", big),
                              node(kHome + "/Library/Caches/com.apple.dt.Xcode", big),
                              node(kHome + "/Library/Caches/org.swift.swiftpm.extra", big)});
    EXPECT_EQ(targetNames(CleanupRules::userCaches(result, kHome)),
              std::vector<std::string>{"org.swift.swiftpm.extra"});
}

TEST(UserCachesRule, TargetsAreLargestFirstAndStable) {
    auto result = cachesWith({node(kHome + "/Library/Caches/a", 6'000'000),
                              node(kHome + "/Library/Caches/b", 9'000'000),
                              node(kHome + "/Library/Caches/c", 6'000'000)});
    EXPECT_EQ(targetNames(CleanupRules::userCaches(result, kHome)),
              (std::vector<std::string>{"b", "a", "c"}));
}

TEST(UserCachesRule, MissingCachesFolderGivesNothing) {
    auto result = resultWith({node(kHome + "/Library/Logs", 50'000'000)});
    CleanupItem item = CleanupRules::userCaches(result, kHome);
    EXPECT_TRUE(item.targets.empty());
    EXPECT_EQ(item.size(), 0);
}

TEST(BrowserCachesRule, OneByteIsEnoughAndNamesAreTheNodes) {
    auto result = resultWith(
        {node(kHome + "/Library/Caches", 3,
              {node(kHome + "/Library/Caches/Google", 1, {node(kHome + "/Library/Caches/Google/Chrome", 1)}),
               node(kHome + "/Library/Caches/Firefox", 0),
               node(kHome + "/Library/Caches/com.apple.Safari", 2)}),
         node(kHome + "/Library/Containers", 7,
              {node(kHome + "/Library/Containers/com.apple.Safari", 7,
                    {node(kHome + "/Library/Containers/com.apple.Safari/Data", 7,
                          {node(kHome + "/Library/Containers/com.apple.Safari/Data/Library", 7,
                                {node(kHome + "/Library/Containers/com.apple.Safari/Data/"
                                              "Library/Caches",
                                      7)})})})})});
    CleanupItem item = CleanupRules::browserCaches(result, kHome);
    EXPECT_EQ(targetNames(item), (std::vector<std::string>{"Caches", "com.apple.Safari", "Chrome"}));
    EXPECT_EQ(item.size(), 10);
    EXPECT_EQ(item.detail, "Cached page data and images. Does not touch history, cookies or passwords.");
}

TEST(LogsRule, OneMillionBytesAndSystemDiagnostics) {
    auto result = resultWith(
        {node(kHome + "/Library/Logs", 1'999'999,
              {node(kHome + "/Library/Logs/Big", 1'000'000), node(kHome + "/Library/Logs/Small", 999'999)}),
         node("/Library/Logs/DiagnosticReports", 3'000'000), node("/private/var/db/diagnostics", 999'999)});
    CleanupItem item = CleanupRules::logsAndDiagnostics(result, kHome);
    // The system's diagnostics are listed as refused, never offered nor counted.
    ASSERT_EQ(item.targets.size(), 1u);
    EXPECT_EQ(item.targets[0].name, "Big");
    EXPECT_FALSE(item.targets[0].detail.has_value());
    EXPECT_EQ(item.size(), 1'000'000);
    ASSERT_EQ(item.refused.size(), 1u);
    EXPECT_EQ(item.refused[0].name, "/Library/Logs/DiagnosticReports");
    EXPECT_EQ(item.refused[0].detail, "needs administrator rights; Sorvel will report it as refused");
    EXPECT_EQ(item.title, "Logs & diagnostics");
    EXPECT_EQ(item.category, StorageCategory::logs);
}

TEST(TrashRule, ReportsTheFolderSizeWithoutTargets) {
    test::ScopedEnv home("HOME", kHome);
    test::ScopedEnv data("XDG_DATA_HOME", std::nullopt);
    auto result = resultWith({node(kHome + "/.local/share/Trash/files", 1, {node(kHome + "/.local/share/Trash/files/old", 1)})});
    CleanupItem item = CleanupRules::trash(result, kHome);
    EXPECT_TRUE(item.targets.empty());
    EXPECT_EQ(item.reportedSize, 1);
    EXPECT_EQ(item.size(), 1);
    EXPECT_EQ(item.externalAction, "File manager \u2192 Empty Trash");
    EXPECT_EQ(item.detail.rfind("Files you already deleted", 0), 0u);
}

TEST(TrashRule, EmptyTrashHasNoSize) {
    test::ScopedEnv home("HOME", kHome);
    test::ScopedEnv data("XDG_DATA_HOME", std::nullopt);
    auto result = resultWith({node(kHome + "/.local/share/Trash/files", 0)});
    CleanupItem item = CleanupRules::trash(result, kHome);
    EXPECT_EQ(item.size(), 0);
    EXPECT_EQ(item.detail, "");
    EXPECT_FALSE(item.externalAction.has_value());
}
