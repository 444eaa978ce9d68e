// The exported report's document: its keys, ordering, limits and layout.
#include <functional>
#include <map>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/ReportExporter.h"
#include "platform/BundleInfo.h"
#include "support/TestSupport.h"

#include <ctime>

using namespace sorvel;
using nlohmann::json;

namespace {

ScanNodePtr node(const std::string& path, int64_t size, int64_t files = 0) {
    auto n = ScanNode::make(path.substr(path.rfind('/') + 1), path);
    n->size = size;
    n->fileCount = files;
    return n;
}

CategoryResult category(const std::string& id, const std::string& title, std::vector<ScanNodePtr> roots) {
    CategoryResult c;
    c.category.id = id;
    c.category.title = title;
    c.roots = std::move(roots);
    return c;
}

ScanResult sample() {
    ScanResult result;
    auto big = node("/r/caches/big", 5000, 3);
    for (int i = 0; i < 40; ++i) big->children.push_back(node("/r/caches/big/c" + std::to_string(i), 100 - i));
    auto denied = node("/r/logs/denied", 0);
    denied->accessDenied = true;
    result.categories = {
        category("logs", "Logs", {node("/r/logs/a", 300, 2), denied, node("/r/logs/b", 200, 1)}),
        category("caches", "Caches", {big}),
        category("mail", "Mail", {node("/r/mail", 500, 5)}), // same total as logs, listed after it
    };
    result.volume = VolumeStats{1000000, 400000, 450000};
    result.duration = 2.5;
    result.finishedAt = dateFromUnixSeconds(1796655845); // 2026-12-07T15:04:05Z
    result.fullDiskAccess = true;
    CleanupItem item;
    item.id = "user-caches";
    item.title = "User app caches";
    item.targets = {CleanupTarget{UUID::random(), "big", "/r/caches/big", 5000, std::nullopt}};
    CleanupItem review;
    review.id = "ios-backups";
    review.title = "Backups";
    review.risk = CleanupRisk::review;
    review.reportedSize = 77;
    result.cleanupItems = {item, review};
    return result;
}

json decoded(const ScanResult& result) {
    auto text = ReportExporter::encode(result);
    EXPECT_TRUE(text.has_value());
    return json::parse(text.value_or("null"));
}

struct BundleReset {
    ~BundleReset() { BundleInfo::replaceDictionary(std::nullopt); }
};

} // namespace

TEST(ReportExporterDocument, TopLevelKeysAndFigures) {
    BundleReset reset;
    BundleInfo::replaceDictionary(json{{"CFBundleShortVersionString", "1.4.2"}});
    json doc = decoded(sample());
    std::vector<std::string> keys;
    for (auto it = doc.begin(); it != doc.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"categories", "durationSeconds", "fullDiskAccess", "generatedAt",
                                              "generatedBy", "localSnapshots", "reclaimableBytes",
                                              "recommendations", "scannedBytes", "unreadableFolders", "volume"}));
    EXPECT_EQ(doc["generatedAt"], "2026-12-07T15:04:05Z");
    EXPECT_EQ(doc["generatedBy"], "Sorvel 1.4.2");
    EXPECT_EQ(doc["localSnapshots"], json::array());
    EXPECT_EQ(doc["scannedBytes"], 6000);
    EXPECT_EQ(doc["reclaimableBytes"], 5000);
    EXPECT_DOUBLE_EQ(doc["durationSeconds"].get<double>(), 2.5);
    EXPECT_EQ(doc["fullDiskAccess"], true);
    EXPECT_EQ(doc["volume"], (json{{"freeBytes", 400000}, {"purgeableBytes", 50000},
                                  {"totalBytes", 1000000}, {"usedBytes", 600000}}));
    ASSERT_EQ(doc["recommendations"].size(), 2u);
    EXPECT_EQ(doc["recommendations"][0],
              (json{{"bytes", 5000}, {"id", "user-caches"}, {"risk", "safe"},
                    {"targets", json::array({json{{"bytes", 5000}, {"path", "/r/caches/big"}}})},
                    {"title", "User app caches"}}));
    EXPECT_EQ(doc["recommendations"][1]["risk"], "review");
    EXPECT_EQ(doc["recommendations"][1]["bytes"], 77);
}

TEST(ReportExporterDocument, CategoriesCarryEveryRootAndAtMost25Children) {
    json doc = decoded(sample());
    const json& categories = doc["categories"];
    ASSERT_EQ(categories.size(), 3u);
    // Largest first; equal totals keep the scan's order.
    EXPECT_EQ(categories[0]["id"], "caches");
    EXPECT_EQ(categories[1]["id"], "logs");
    EXPECT_EQ(categories[2]["id"], "mail");

    const json& logs = categories[1];
    EXPECT_EQ(logs["accessDenied"], true);
    EXPECT_EQ(logs["bytes"], 500);
    EXPECT_EQ(logs["files"], 3);
    EXPECT_EQ(logs["title"], "Logs");
    EXPECT_FALSE(logs.contains("top"));
    ASSERT_EQ(logs["roots"].size(), 3u);
    EXPECT_EQ(logs["roots"][0], (json{{"bytes", 300}, {"children", json::array()}, {"path", "/r/logs/a"}}));

    const json& children = categories[0]["roots"][0]["children"];
    ASSERT_EQ(children.size(), 25u);
    EXPECT_EQ(children[0], (json{{"bytes", 100}, {"path", "/r/caches/big/c0"}}));
    EXPECT_EQ(children[24]["path"], "/r/caches/big/c24");
    EXPECT_EQ(categories[2]["accessDenied"], false);
}

TEST(ReportExporterDocument, FoldersThatCouldNotBeReadAreCountedNeverPlainZero) {
    ScanResult result = sample();
    result.categories[2].roots.front()->unreadableFolders = 2; // refused below a readable root
    result.categories.push_back(category("trash", "Trash", {node("/r/trash", 0)}));
    result.categories.back().roots.front()->accessDenied = true;
    result.unreadableFolders = 4;
    json doc = decoded(result);
    struct Row { std::string id; bool denied, partly; int64_t folders; bool notReadable = false; };
    const std::map<std::string, json> byId = [&] {
        std::map<std::string, json> m;
        for (const json& c : doc["categories"]) m[c["id"]] = c;
        return m;
    }();
    for (const Row& row : std::vector<Row>{{"caches", false, false, 0}, {"logs", true, true, 1},
                                           {"mail", true, true, 2}, {"trash", true, false, 1, true}}) {
        const json& c = byId.at(row.id);
        EXPECT_EQ(c["accessDenied"], row.denied) << row.id;
        EXPECT_EQ(c["partlyUnreadable"], row.partly) << row.id;
        EXPECT_EQ(c["unreadableFolders"], row.folders) << row.id;
        EXPECT_EQ(c["notReadable"], row.notReadable) << row.id;
    }
    EXPECT_EQ(doc["unreadableFolders"], 4);
}

TEST(ReportExporterDocument, SnapshotNamesInOrderAndVolumeFloors) {
    ScanResult result = sample();
    result.snapshots = {LocalSnapshot{UUID::random(), "com.apple.TimeMachine.2026-12-06-101010.local", std::nullopt},
                        LocalSnapshot{UUID::random(), "second", std::nullopt}};
    result.volume = VolumeStats{100, 300, 50}; // more free than total, less important space than free
    json doc = decoded(result);
    EXPECT_EQ(doc["localSnapshots"],
              (json::array({"com.apple.TimeMachine.2026-12-06-101010.local", "second"})));
    EXPECT_EQ(doc["volume"]["usedBytes"], 0);
    EXPECT_EQ(doc["volume"]["purgeableBytes"], 0);
}

TEST(ReportExporterDocument, WithoutAVersionTheBuildSaysZero) {
    BundleReset reset;
    BundleInfo::replaceDictionary(json::object());
    EXPECT_EQ(decoded(sample())["generatedBy"], "Sorvel 0.0.0");
    BundleInfo::replaceDictionary(json{{"CFBundleShortVersionString", 3}});
    EXPECT_EQ(decoded(sample())["generatedBy"], "Sorvel 0.0.0");
}

TEST(ReportExporterDocument, LayoutIsPrettySortedWithoutFinalLineBreak) {
    ScanResult result;
    result.finishedAt = dateFromUnixSeconds(0);
    auto text = ReportExporter::encode(result);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->substr(0, 20), "{\n  \"categories\" : [");
    EXPECT_NE(text->back(), '\n');
    EXPECT_EQ(text->back(), '}');
    EXPECT_NE(text->find("\"generatedAt\" : \"1970-01-01T00:00:00Z\""), std::string::npos);
}

TEST(ReportExporterDocument, NamesThatAreNotUTF8BecomeReplacementCharacters) {
    ScanResult result;
    result.categories = {category("caches", "Caches", {node("/r/caf\xE9", 10)})};
    result.categories[0].roots[0]->children = {node("/r/caf\xE9/\xFF\xFE", 4)};
    auto text = ReportExporter::encode(result);
    ASSERT_TRUE(text.has_value());
    json doc = json::parse(*text); // throws on invalid UTF-8
    EXPECT_EQ(doc["categories"][0]["roots"][0]["path"], "/r/caf\uFFFD");
    EXPECT_EQ(doc["categories"][0]["roots"][0]["children"][0]["path"], "/r/caf\uFFFD/\uFFFD\uFFFD");
}

TEST(ReportExporterFileName, MinuteStampInTheLocalZone) {
    const Date at = dateFromUnixSeconds(1796655845); // 15:04:05 UTC
    {
        test::ScopedEnv zone("TZ", "XYZ-5:30");
        tzset();
        EXPECT_EQ(ReportExporter::defaultFilename(at), "sorvel-scan-2026-12-07-2034.json");
    }
    test::ScopedEnv zone("TZ", "UTC");
    tzset();
    EXPECT_EQ(ReportExporter::defaultFilename(at), "sorvel-scan-2026-12-07-1504.json");
    // Two exports within one minute propose the same name.
    EXPECT_EQ(ReportExporter::defaultFilename(at + std::chrono::seconds(50)), "sorvel-scan-2026-12-07-1504.json");
    EXPECT_EQ(ReportExporter::defaultFilename(at + std::chrono::seconds(55)), "sorvel-scan-2026-12-07-1505.json");
}

// A folder listed with something in it refused is read in part, whatever its bytes; only what
// could not be opened, or holds nothing but such folders, is not readable; a stop is "partial".
TEST(ReportExporterDocument, AFolderIsNotReadableOnlyWhenNothingInItCouldBeRead) {
    const auto refused = [](const std::string& path) {
        auto n = ScanNode::make(path.substr(path.rfind('/') + 1), path);
        n->markUnreadable();
        return n;
    };
    struct Row {
        const char* name;
        std::function<void(ScanNode&)> fill;
        bool notReadable, partly, partial;
    };
    const Row rows[] = {
        {"an empty folder beside a refused one",
         [&](ScanNode& p) { p.children = {ScanNode::make("e", p.path + "/e"), refused(p.path + "/l")}; }, false,
         true, false},
        {"a byte beside a refused folder",
         [&](ScanNode& p) {
             p.directFileSize = p.directFileCount = 1;
             p.children = {refused(p.path + "/l")};
         },
         false, true, false},
        {"nothing but refused folders", [&](ScanNode& p) { p.children = {refused(p.path + "/a"), refused(p.path + "/b")}; },
         true, false, false},
        {"refused itself", [](ScanNode& p) { p.markUnreadable(); }, true, false, false},
        {"cut short by a stop", [](ScanNode& p) { p.markCut(); }, false, false, true},
        {"read whole", [](ScanNode& p) { p.children = {ScanNode::make("e", p.path + "/e")}; }, false, false, false},
    };
    for (const Row& row : rows) {
        auto p = ScanNode::make("p", "/r/caches/p");
        row.fill(*p);
        p->rollUpTotals();
        const json object = ReportExporter::folderObject(*p);
        EXPECT_EQ(object.value("notReadable", false), row.notReadable) << row.name;
        EXPECT_EQ(object.value("partlyUnreadable", false), row.partly) << row.name;
        EXPECT_EQ(object.value("partial", false), row.partial) << row.name;

        ScanResult result;
        auto root = ScanNode::make("caches", "/r/caches");
        root->children = {p};
        root->rollUpTotals();
        result.categories = {category("caches", "Caches", {root})};
        const json c = decoded(result)["categories"][0];
        EXPECT_EQ(c["notReadable"], row.notReadable) << row.name;
        EXPECT_EQ(c["partlyUnreadable"], row.partly) << row.name;
    }
}

// A withheld recommendation gives its reason, and the apps of unknown identity are named;
// a result where every app was read carries neither key.
TEST(ReportExporterDocument, AppsThatCouldNotBeReadAreNamedWithWhatTheyWithheld) {
    for (const bool unread : {false, true}) {
        SCOPED_TRACE(unread);
        ScanResult result = sample();
        if (unread) {
            CleanupItem leftovers;
            leftovers.id = "leftovers";
            leftovers.title = "Leftovers from removed apps";
            leftovers.risk = CleanupRisk::review;
            leftovers.withheld = true;
            leftovers.detail = "Some apps could not be read (/Applications/Locked.app), so Sorvel can't tell which "
                               "support folders belong to apps that are gone, and offers none for removal.";
            result.cleanupItems.push_back(leftovers);
            result.installedApps.unreadApps = {"/Applications/Locked.app"};
        }
        json doc = decoded(result);
        EXPECT_EQ(doc.contains("unreadApps"), unread);
        for (const auto& item : doc["recommendations"])
            EXPECT_EQ(item.contains("withheld"), unread && item["id"] == "leftovers");
        if (unread) {
            EXPECT_EQ(doc["unreadApps"], json::array({"/Applications/Locked.app"}));
            EXPECT_EQ(doc["recommendations"].back()["withheld"], result.cleanupItems.back().detail);
            EXPECT_EQ(doc["recommendations"].back()["targets"], json::array());
        }
    }
}
