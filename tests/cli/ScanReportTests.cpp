// The text and JSON forms of the scan report, on results built by hand.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>

#include "cli/ScanReport.h"
#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Bytes::format;

namespace {

ScanNodePtr node(const std::string &path, int64_t size, int64_t files = 0) {
    auto n = ScanNode::make(path.substr(path.rfind('/') + 1), path);
    n->size = size;
    n->fileCount = files;
    return n;
}

CategoryResult category(const std::string &id, const std::string &title, std::vector<ScanNodePtr> roots) {
    CategoryResult c;
    c.category.id = id;
    c.category.title = title;
    c.roots = std::move(roots);
    return c;
}

CleanupTarget target(const std::string &path, int64_t size) {
    return CleanupTarget{UUID::random(), "t", path, size, std::nullopt};
}

struct Sample {
    test::FakeHome home;
    ScanResult result;

    Sample() {
        const std::string h = home.path();
        auto caches = node(h + "/Library/Caches", 3'000'000, 10);
        caches->children = {node(h + "/Library/Caches/a", 2'000'000),
                            node(h + "/Library/Caches/b", 1'000'000)};
        auto denied = node("/private/var/log", 0, 0);
        denied->accessDenied = true;
        result.categories = {category("logs", "Logs", {node(h + "/Library/Logs", 1'000'000, 4), denied}),
                             category("caches", "Caches", {caches}),
                             category("trash", "Trash", {node(h + "/.local/share/Trash", 3'000'000, 1)})};
        result.volume = VolumeStats{500'000'000'000, 100'000'000'000, 120'000'000'000};
        result.snapshots = {LocalSnapshot{}, LocalSnapshot{}};
        result.duration = 1.26;
        result.fullDiskAccess = false;
        result.unreadableFolders = 1;

        CleanupItem safe;
        safe.id = "user-caches";
        safe.title = "User app caches";
        safe.risk = CleanupRisk::safe;
        for (int i = 0; i < 7; ++i)
            safe.targets.push_back(target(h + "/Library/Caches/t" + std::to_string(i), 100));
        CleanupItem review;
        review.id = "ios-backups";
        review.title = "iPhone & iPad backups";
        review.risk = CleanupRisk::review;
        review.targets = {target("/elsewhere/backup", 5)};
        review.reportedSize = 9'000'000;
        result.cleanupItems = {safe, review};
    }
};

} // namespace

TEST(ScanReportText, PrintsEveryLine) {
    Sample s;
    const std::string rule = "  " + [] {
        std::string r;
        for (int i = 0; i < 62; ++i)
            r += "\u2500";
        return r;
    }();
    std::string expected = "\n"
                           "  Sorvel \u00B7 System Data\n" +
                           rule + "\n" + "  Disk        " + format(500'000'000'000) + " total \u00B7 " +
                           format(400'000'000'000) + " used \u00B7 " + format(100'000'000'000) + " free\n" +
                           "  Purgeable   " + format(20'000'000'000) + " (mostly local snapshots)\n" +
                           "  Scanned     " + format(7'000'000) + " in 1.3s\n" +
                           "  Unreadable folders: 1 \u2014 totals are a lower bound\n"
                           "  Local snapshots: 2\n"
                           "\n"
                           "  CATEGORY              SIZE          SHARE   FILES\n" +
                           rule + "\n";
    auto row = [](const std::string &title, int64_t bytes, const std::string &share,
                  const std::string &files) {
        std::string name = title + std::string(20 - title.size(), ' ');
        std::string size = format(bytes);
        size = std::string(12 - size.size(), ' ') + size;
        return "  " + name + size + "  " + share + "%" + std::string(9 - files.size(), ' ') + files;
    };
    expected += row("Caches", 3'000'000, " 42.9", "10") + "\n";
    expected += row("Trash", 3'000'000, " 42.9", "1") + "\n";
    // One of its two roots was read: read in part, never "not readable".
    expected += row("Logs", 1'000'000, " 14.3", "4") + "  (partly unreadable: 1 folder)\n";
    expected += "\n  RECOMMENDATIONS\n" + rule + "\n";
    expected += "  [safe  ] User app caches \u2014 " + format(700) + "\n";
    const std::string small = format(100);
    for (int i = 0; i < 6; ++i)
        expected += "       " + std::string(11 - small.size(), ' ') + small + "  ~/Library/Caches/t" +
                    std::to_string(i) + "\n";
    expected += "        \u2026 and 1 more\n";
    expected += "  [review] iPhone & iPad backups \u2014 " + format(9'000'000) + "\n";
    const std::string five = format(5);
    expected += "       " + std::string(11 - five.size(), ' ') + five + "  /elsewhere/backup\n";
    expected += "\n  Safe to reclaim: " + format(700) + "\n";
    expected += "  Nothing was deleted \u2014 this build has no delete code path.\n\n";
    EXPECT_EQ(HeadlessReport::scanReportText(s.result), expected);
}

TEST(ScanReportText, EmptyResult) {
    ScanResult empty;
    empty.fullDiskAccess = true;
    std::string text = HeadlessReport::scanReportText(empty);
    EXPECT_NE(text.find("  Unreadable folders: none\n"), std::string::npos);
    EXPECT_NE(text.find("  Nothing worth cleaning.\n"), std::string::npos);
    EXPECT_EQ(text.find("Purgeable"), std::string::npos);
    EXPECT_EQ(text.find("Local snapshots"), std::string::npos);
    EXPECT_NE(text.find("  Scanned     " + format(0) + " in 0.0s\n"), std::string::npos);
}

// A scan stopped before it counted a byte has no total to print: not a 0 with "partial".
TEST(ScanReportText, AScanStoppedBeforeAByteHasNoTotal) {
    for (const bool anyCounted : {false, true}) {
        SCOPED_TRACE(anyCounted);
        ScanResult result;
        auto cut = node("/h/Library/Logs", 0, 0);
        cut->markCut();
        result.categories = {category("logs", "Logs", {cut})};
        if (anyCounted) result.categories.push_back(category("caches", "Caches", {node("/h/Library/Caches", 4096, 1)}));
        result.duration = 0.4;
        const std::string text = HeadlessReport::scanReportText(result);
        EXPECT_EQ(text.find("  Scanned     not measured: stopped before any folder was measured (0.4s)\n") !=
                      std::string::npos,
                  !anyCounted)
            << text;
        EXPECT_EQ(text.find("  Scanned     " + format(anyCounted ? 4096 : 0) + " in 0.4s (partial") != std::string::npos,
                  anyCounted)
            << text;
    }
}

// A category nothing of which could be read used to print "0 KB    0.0%        0": its
// columns are dashes, and the JSON says it beside bytes and files of 0.
TEST(ScanReportText, ACategoryNothingOfWhichWasReadHasNoFigures) {
    ScanResult r;
    r.categories = {category("a", "Readable", {node("/a", 2'000'000, 3)}), category("m", "Mail", {node("/m", 0, 0)})};
    r.categories[1].roots[0]->accessDenied = true;
    const std::string text = HeadlessReport::scanReportText(r);
    EXPECT_NE(text.find("  Mail" + std::string(16 + 11, ' ') + "\u2014" + std::string(8 + 8, ' ') +
                        "\u2014  (not readable by this user)\n"),
              std::string::npos)
        << text;
    auto doc = nlohmann::json::parse(*HeadlessReport::scanReportJSON(r));
    EXPECT_EQ(doc["categories"][1]["id"], "m");
    EXPECT_EQ(doc["categories"][1]["notReadable"], true);
    EXPECT_EQ(doc["categories"][0]["notReadable"], false);
}

TEST(ScanReportText, ZeroSizedCategoriesShareZeroAndLongTitlesPushTheRow) {
    ScanResult r;
    r.categories = {category("x", "A title longer than twenty", {node("/x", 0, 0)})};
    std::string text = HeadlessReport::scanReportText(r);
    const std::string size = format(0);
    EXPECT_NE(text.find("  A title longer than twenty" + std::string(12 - size.size(), ' ') + size +
                        "    0.0%        0\n"),
              std::string::npos);
}

TEST(ScanReportJSON, HasExactlyTheKeysInSortedOrder) {
    Sample s;
    auto text = HeadlessReport::scanReportJSON(s.result);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->back(), '\n');
    EXPECT_EQ(text->rfind("{\n  \"categories\" : [\n    {\n      \"accessDenied\" : ", 0), 0u);
    EXPECT_EQ(text->find("\": "), std::string::npos); // every colon has a space before it

    auto doc = nlohmann::json::parse(*text);
    std::vector<std::string> keys;
    for (auto it = doc.begin(); it != doc.end(); ++it)
        keys.push_back(it.key());
    EXPECT_EQ(keys,
              (std::vector<std::string>{"categories", "durationSeconds", "fullDiskAccess", "reclaimableBytes",
                                        "recommendations", "scannedBytes", "unreadableFolders", "volume"}));
    EXPECT_DOUBLE_EQ(doc["durationSeconds"].get<double>(), 1.26);
    EXPECT_EQ(doc["fullDiskAccess"], false);
    EXPECT_EQ(doc["reclaimableBytes"], 700);
    EXPECT_EQ(doc["scannedBytes"], 7'000'000);
    EXPECT_EQ(doc["volume"], (nlohmann::json{{"freeBytes", 100'000'000'000},
                                             {"purgeableBytes", 20'000'000'000},
                                             {"totalBytes", 500'000'000'000},
                                             {"usedBytes", 400'000'000'000}}));
    ASSERT_EQ(doc["categories"].size(), 3u);
    const auto &caches = doc["categories"][0];
    EXPECT_EQ(caches["id"], "caches");
    EXPECT_EQ(caches["title"], "Caches");
    EXPECT_EQ(caches["files"], 10);
    EXPECT_EQ(caches["bytes"], 3'000'000);
    EXPECT_EQ(caches["accessDenied"], false);
    EXPECT_EQ(caches["top"][0],
              (nlohmann::json{{"bytes", 2'000'000}, {"path", s.home.path() + "/Library/Caches/a"}}));
    EXPECT_EQ(caches.size(), 9u);
    EXPECT_EQ(caches["partlyUnreadable"], false);
    EXPECT_EQ(caches["notReadable"], false);
    const auto &logs = doc["categories"][2];
    EXPECT_EQ(logs["accessDenied"], true);
    EXPECT_EQ(logs["partlyUnreadable"], true); // one of its two roots was read
    EXPECT_EQ(logs["notReadable"], false);
    EXPECT_EQ(logs["unreadableFolders"], 1);
    EXPECT_EQ(logs["top"].size(), 2u); // two roots: the roots themselves
    const auto &rec = doc["recommendations"][1];
    EXPECT_EQ(rec, (nlohmann::json{{"bytes", 9'000'000},
                                   {"id", "ios-backups"},
                                   {"risk", "review"},
                                   {"targets", {{{"bytes", 5}, {"path", "/elsewhere/backup"}}}},
                                   {"title", "iPhone & iPad backups"}}));
    EXPECT_EQ(doc["recommendations"][0]["targets"].size(), 7u);
}

TEST(ScanReportJSON, EmptyResultAndOddNames) {
    ScanResult r;
    r.volume = VolumeStats{10, 20, 5};
    auto doc = nlohmann::json::parse(*HeadlessReport::scanReportJSON(r));
    EXPECT_EQ(doc["categories"], nlohmann::json::array());
    EXPECT_EQ(doc["scannedBytes"], 0);
    EXPECT_EQ(doc["volume"]["purgeableBytes"], 0);
    EXPECT_EQ(doc["volume"]["usedBytes"], 0);

    auto root = node("/x", 10, 1);
    root->children = {node("/x/bad\xFF\"name\n", 10)};
    r.categories = {category("x", "X", {root})};
    auto text = HeadlessReport::scanReportJSON(r);
    ASSERT_TRUE(text.has_value());
    doc = nlohmann::json::parse(*text);
    EXPECT_EQ(doc["categories"][0]["top"][0]["path"], "/x/bad\xEF\xBF\xBD\"name\n");
}

TEST(ScanReportJSON, TopListsAtMostFifteen) {
    ScanResult r;
    auto root = node("/x", 100, 1);
    for (int i = 0; i < 20; ++i)
        root->children.push_back(node("/x/" + std::to_string(i), 5));
    r.categories = {category("x", "X", {root})};
    auto doc = nlohmann::json::parse(*HeadlessReport::scanReportJSON(r));
    EXPECT_EQ(doc["categories"][0]["top"].size(), 15u);
    EXPECT_EQ(doc["categories"][0]["top"][14]["path"], "/x/14");
}

TEST(ProgressLine, NumbersAndAbbreviates) {
    test::FakeHome home;
    auto n = node(home.path() + "/Library/Caches", 2'000'000);
    const std::string size = format(2'000'000);
    EXPECT_EQ(HeadlessReport::progressLine(3, *n),
              "  [ 3] " + std::string(11 - size.size(), ' ') + size + "  ~/Library/Caches\n");
}

// A root with no figure shows the report's words in its place; one read in part is marked.
TEST(ProgressLine, ARootNotReadHasNoFigureAndOneReadInPartIsMarked) {
    test::FakeHome home;
    const std::string dash = std::string(10, ' ') + "\u2014";
    struct Row {
        const char *name;
        std::function<void(ScanNode &)> make;
        std::string figure;
        std::string note;
    };
    const Row rows[] = {
        {"refused", [](ScanNode &n) { n.markUnreadable(); }, dash, "  (not readable by this user)"},
        {"nothing but refused folders",
         [](ScanNode &n) {
             auto locked = ScanNode::make("locked", n.path + "/locked");
             locked->markUnreadable();
             n.children.push_back(locked);
             n.rollUpTotals();
         },
         dash, "  (not readable by this user)"},
        {"an empty folder beside a refused one",
         [](ScanNode &n) {
             auto locked = ScanNode::make("locked", n.path + "/locked");
             locked->markUnreadable();
             n.children = {locked, ScanNode::make("empty", n.path + "/empty")};
             n.rollUpTotals();
         },
         std::string(11 - format(0).size(), ' ') + format(0), "  (partly read)"},
        {"cut short by a stop",
         [](ScanNode &n) {
             n.directFileSize = 4096;
             n.markCut();
             n.rollUpTotals();
         },
         std::string(11 - format(4096).size(), ' ') + format(4096), "  (partial)"},
        {"cut by a stop before it counted a byte", [](ScanNode &n) { n.markCut(); }, dash, "  (not measured)"},
    };
    for (const Row &row : rows) {
        auto n = ScanNode::make("Caches", home.path() + "/Library/Caches");
        row.make(*n);
        EXPECT_EQ(HeadlessReport::progressLine(1, *n), "  [ 1] " + row.figure + "  ~/Library/Caches" + row.note + "\n")
            << row.name;
    }
}

// A withheld item gives no figure: its reason stands under it, wrapped, in text and JSON.
TEST(ScanReportText, AWithheldItemSaysWhyInsteadOfAFigure) {
    Sample s;
    CleanupItem withheld;
    withheld.id = "leftovers";
    withheld.title = "Leftovers from removed apps";
    withheld.risk = CleanupRisk::review;
    withheld.withheld = true;
    withheld.detail = "Some apps could not be read (~/Applications/Locked.app), so Sorvel can't tell which support "
                      "folders belong to apps that are gone, and offers none for removal.";
    s.result.cleanupItems.push_back(withheld);
    s.result.installedApps.unreadApps = {s.home / "Applications/Locked.app"};
    const std::string text = HeadlessReport::scanReportText(s.result);
    EXPECT_NE(text.find("  [review] Leftovers from removed apps \u2014 none offered\n"
                        "       Some apps could not be read (~/Applications/Locked.app), so Sorvel\n"
                        "       can't tell which support folders belong to apps that are gone, and\n"
                        "       offers none for removal.\n"),
              std::string::npos)
        << text;
    const auto json = nlohmann::json::parse(*HeadlessReport::scanReportJSON(s.result));
    EXPECT_EQ(json["recommendations"][2]["withheld"], withheld.detail);
    EXPECT_EQ(json["recommendations"][2]["bytes"], 0);
    EXPECT_EQ(json["unreadApps"], nlohmann::json::array({s.home / "Applications/Locked.app"}));
    EXPECT_FALSE(json["recommendations"][0].contains("withheld"));
}
