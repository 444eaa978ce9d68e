// `sorvel --report` end to end on a fake home: text, JSON, progress and failures.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct ReportHome {
    FakeHome home;
    ReportHome() {
        writeFileOfSize(home / "Library/Caches/com.example.big/blob", 6'000'000);
        writeFileOfSize(home / "Library/Caches/com.example.small/blob", 100'000);
        writeFileOfSize(home / "Library/Logs/Tool/log", 2'000'000);
        writeFileOfSize(home / "Library/Application Support/com.removed.thing/data", 7'000'000);
        writeFile(home / ".local/share/Trash/files/old.txt", "x");
    }
    std::map<std::string, std::string> env() const { return {{"HOME", home.path()}}; }
};

bool endsWith(const std::string &s, const std::string &tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

size_t indexOf(const std::vector<std::string> &ls, const std::string &prefix) {
    for (size_t i = 0; i < ls.size(); ++i)
        if (ls[i].rfind(prefix, 0) == 0)
            return i;
    return ls.size();
}

} // namespace

TEST(ReportCommand, TextReportListsCategoriesAndRecommendations) {
    ReportHome h;
    auto r = runSorvel({"--report"}, h.env());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Scanning System Data\u2026\n");
    auto ls = test::lines(r.out);
    ASSERT_GT(ls.size(), 12u);
    EXPECT_EQ(ls[0], "");
    EXPECT_EQ(ls[1], "  Sorvel \u00B7 System Data");
    EXPECT_EQ(ls[3].rfind("  Disk        ", 0), 0u);
    size_t heading = indexOf(ls, "  CATEGORY              SIZE          SHARE   FILES");
    ASSERT_LT(heading, ls.size());
    // Categories by size, largest first: application support, caches, logs, then the rest.
    EXPECT_EQ(ls[heading + 2].rfind("  App Support         ", 0), 0u) << ls[heading + 2];
    EXPECT_TRUE(endsWith(ls[heading + 2], "        1")) << ls[heading + 2];
    EXPECT_EQ(ls[heading + 3].rfind("  Caches & Temp       ", 0), 0u) << ls[heading + 3];
    EXPECT_TRUE(endsWith(ls[heading + 3], "        2")) << ls[heading + 3];
    EXPECT_EQ(ls[heading + 4].rfind("  Logs                ", 0), 0u) << ls[heading + 4];

    size_t recs = indexOf(ls, "  RECOMMENDATIONS");
    ASSERT_LT(recs, ls.size());
    EXPECT_EQ(ls[recs + 2], "  [safe  ] User app caches \u2014 " + Bytes::format(6'000'000) + "");
    EXPECT_TRUE(endsWith(ls[recs + 3], "  ~/Library/Caches/com.example.big")) << ls[recs + 3];
    EXPECT_EQ(ls[recs + 4].rfind("  [safe  ] Logs & diagnostics \u2014 ", 0), 0u);
    EXPECT_TRUE(endsWith(ls[recs + 5], "  ~/Library/Logs/Tool")) << ls[recs + 5];
    EXPECT_EQ(ls[recs + 6].rfind("  [safe  ] Trash \u2014 ", 0), 0u);
    EXPECT_EQ(ls[recs + 7].rfind("  [review] Leftovers from removed apps \u2014 ", 0), 0u);
    EXPECT_NE(ls[recs + 8].find("~/Library/Application Support/com.removed.thing"), std::string::npos);
    EXPECT_EQ(ls[recs + 9], "");
    EXPECT_EQ(ls[recs + 10].rfind("  Safe to reclaim: ", 0), 0u);
    EXPECT_EQ(ls[recs + 11], "  Nothing was deleted \u2014 this build has no delete code path.");
}

TEST(ReportCommand, JSONAloneKeepsStandardErrorEmpty) {
    ReportHome h;
    auto r = runSorvel({"--json", "--report"}, h.env());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    auto doc = nlohmann::json::parse(r.out);
    std::vector<std::string> keys;
    for (auto it = doc.begin(); it != doc.end(); ++it)
        keys.push_back(it.key());
    EXPECT_EQ(keys,
              (std::vector<std::string>{"categories", "durationSeconds", "fullDiskAccess", "reclaimableBytes",
                                        "recommendations", "scannedBytes", "unreadableFolders", "volume"}));
    EXPECT_EQ(doc["unreadableFolders"], 0);
    ASSERT_FALSE(doc["recommendations"].empty());
    EXPECT_EQ(doc["recommendations"][0]["id"], "user-caches");
    EXPECT_EQ(doc["recommendations"][0]["targets"][0]["path"], h.home / "Library/Caches/com.example.big");
    EXPECT_EQ(doc["recommendations"].back()["risk"], "review");
    EXPECT_EQ(r.out.find("\": "), std::string::npos);
    EXPECT_EQ(r.out.back(), '\n');
}

TEST(ReportCommand, ProgressPrintsOneLinePerFinishedRoot) {
    ReportHome h;
    auto r = runSorvel({"--report", "--json", "--progress"}, h.env());
    ASSERT_EQ(r.status, 0) << r.err;
    auto ls = test::lines(r.err);
    ASSERT_FALSE(ls.empty());
    std::map<std::string, int> seen;
    for (size_t i = 0; i < ls.size(); ++i) {
        std::string number = std::to_string(i + 1);
        EXPECT_EQ(
            ls[i].rfind("  [" + std::string(2 - std::min<size_t>(2, number.size()), ' ') + number + "] ", 0),
            0u)
            << ls[i];
        seen[ls[i].substr(ls[i].rfind("  ") + 2)]++;
    }
    for (const char *root :
         {"~/Library/Caches", "~/Library/Logs", "~/.local/share/Trash/files", "~/Library/Application Support"})
        EXPECT_EQ(seen[root], 1) << root;
    EXPECT_TRUE(nlohmann::json::accept(r.out));
}

TEST(ReportCommand, DeniedRootIsMarkedBlocked) {
    ReportHome h;
    chmod((h.home / "Library/Logs").c_str(), 0);
    const std::string home = h.home.path();
    int status = runAsUnprivileged([home] {
        auto r = runSorvel({"--report"}, {{"HOME", home}});
        if (r.status != 0)
            return 10;
        for (const auto &l : test::lines(r.out))
            if (l.rfind("  Logs", 0) == 0)
                return endsWith(l, "  (not readable by this user)") ? 0 : 2;
        return 3;
    });
    chmod((h.home / "Library/Logs").c_str(), 0755);
    EXPECT_EQ(status, 0);
}

TEST(ReportCommand, TotalsAreALowerBoundOnlyWhenAFolderCouldNotBeRead) {
    // A folder below ~/Library/Caches made unreadable, past the kept node depth.
    for (const auto &[locked, line] : {std::pair<std::string, std::string>{"", "  Unreadable folders: none"},
                                       {"com.example.big/1/2/3/4/5/6/7/8/9/10/11/12/locked",
                                        "  Unreadable folders: 1 \u2014 totals are a lower bound"}}) {
        ReportHome h;
        const std::string dir = h.home / ("Library/Caches/" + locked), home = h.home.path();
        if (!locked.empty()) { makeDirs(dir); chmod(dir.c_str(), 0); }
        const int status = runAsUnprivileged([&] {
            auto r = runSorvel({"--report"}, {{"HOME", home}});
            const auto ls = test::lines(r.out);
            const size_t scanned = indexOf(ls, "  Scanned     "); // the line comes right after it
            return r.status == 0 && scanned + 1 < ls.size() && ls[scanned + 1] == line ? 0 : 1;
        });
        if (!locked.empty()) chmod(dir.c_str(), 0755);
        EXPECT_EQ(status, 0) << locked << " should say \"" << line << "\"";
    }
}

TEST(ReportCommand, UnwritableOutputFailsWithAMessage) {
    ReportHome h;
    for (const char *mode : {"--json", "--progress"}) {
        auto r = runCommand(
            {"/bin/sh", "-c", "exec >&-; exec \"$0\" --report " + std::string(mode), SORVEL_BINARY}, h.env());
        EXPECT_NE(r.status, 0) << mode;
        EXPECT_NE(r.err.find("sorvel: could not write the report: "), std::string::npos) << r.err;
    }
}
