// The report's and the plan's figures on a Linux home count each byte once and offer only
// what can move, checked against an independent count of the files on disk.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>

#include "engine/Bytes.h"
#include "platform/Path.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct FiguresHome {
    FakeHome home;
    std::string h = home.path(), sys = home.systemRoot();
    FiguresHome() {
        writeFileOfSize(h + "/.cache/thumbnails/large/a.png", 6'000'000);
        // Go's build cache: 256 buckets, none near the threshold, over it as a whole.
        const char* hex = "0123456789abcdef";
        for (int b = 0; b < 256; ++b)
            writeFileOfSize(h + "/.cache/go-build/" + std::string{hex[b / 16], hex[b % 16]} + "/entry-d", 8'000);
        writeFile(h + "/.cache/go-build/README", "This directory holds cached build artifacts from the Go build system.\n");
        // A Flatpak app installed nowhere: its cache goes with its folder.
        writeFileOfSize(h + "/.var/app/org.gone.Viewer/cache/blob", 6'400'000);
        writeFileOfSize(h + "/.var/app/org.gone.Viewer/data/db", 1'000'000);
        // The system's crash reports: never movable through Sorvel.
        writeFileOfSize(sys + "/var/crash/_usr_bin_app.1000.crash", 2'000'000);
        writeFileOfSize(sys + "/var/lib/systemd/coredump/core.app.1000.zst", 1'500'000);
    }
    std::map<std::string, std::string> env() const {
        return {{"HOME", h}, {"SORVEL_SYSTEM_ROOT", sys}, {"XDG_CONFIG_HOME", h + "/.config"}};
    }
};

} // namespace

TEST(CountedOnceReport, SafeToReclaimIsWhatCanMoveEachByteOnce) {
    FiguresHome home;
    const auto r = runSorvel({"--report", "--json"}, home.env());
    ASSERT_EQ(r.status, 0) << r.err;
    const auto doc = nlohmann::json::parse(r.out);
    std::vector<std::string> offered;
    std::map<std::string, std::string> refused;
    long long safe = 0;
    for (const auto& item : doc.at("recommendations")) {
        for (const auto& t : item.at("targets")) {
            offered.push_back(t.at("path").get<std::string>());
            if (item.at("risk") == "safe") safe += t.at("bytes").get<long long>();
        }
        if (item.contains("refused"))
            for (const auto& t : item.at("refused")) refused[t.at("path")] = t.at("reason");
    }
    // No place is offered twice, nor inside another offer.
    for (size_t i = 0; i < offered.size(); ++i)
        for (size_t k = 0; k < offered.size(); ++k) {
            if (i == k) continue;
            EXPECT_FALSE(isPathInside(offered[i], offered[k])) << offered[i] << " in " << offered[k];
        }
    const std::set<std::string> offeredSet(offered.begin(), offered.end());
    for (const auto& expected : {home.h + "/.cache/thumbnails", home.h + "/.cache/go-build", home.h + "/.var/app/org.gone.Viewer"}) {
        EXPECT_TRUE(offeredSet.count(expected)) << expected << "\n" << r.out;
    }
    // Safe to reclaim: the thumbnails and the build cache, as the files on disk count them.
    const long long byHand = independentTotal(home.h + "/.cache/thumbnails") + independentTotal(home.h + "/.cache/go-build");
    EXPECT_EQ(safe, byHand);
    EXPECT_EQ(doc.at("reclaimableBytes").get<long long>(), byHand);
    // The system's diagnostics are listed as refused, with why, and in no total.
    EXPECT_EQ(refused.size(), 2u) << r.out;
    for (const auto& folder : {home.sys + "/var/crash", home.sys + "/var/lib/systemd/coredump"}) {
        EXPECT_TRUE(refused.count(folder)) << folder;
        EXPECT_FALSE(offeredSet.count(folder)) << folder;
    }
}

TEST(CountedOnceReport, TheTextSaysWhatIsRefusedApartFromTheSafeTotal) {
    FiguresHome home;
    const auto r = runSorvel({"--report"}, home.env());
    ASSERT_EQ(r.status, 0) << r.err;
    const long long byHand = independentTotal(home.h + "/.cache/thumbnails") + independentTotal(home.h + "/.cache/go-build");
    EXPECT_NE(r.out.find("  Safe to reclaim: " + Bytes::format(byHand) + "\n"), std::string::npos) << r.out;
    const size_t refusedAt = r.out.find("  REFUSED");
    ASSERT_NE(refusedAt, std::string::npos) << r.out;
    EXPECT_NE(r.out.find(home.sys + "/var/crash", refusedAt), std::string::npos) << r.out;
    // Never under a safe heading: the crash folder is named once, in the refused list.
    EXPECT_EQ(r.out.find(home.sys + "/var/crash"), r.out.find(home.sys + "/var/crash", refusedAt)) << r.out;
    EXPECT_EQ(r.out.find("Logs & diagnostics \u2014"), std::string::npos) << r.out;
}

TEST(CountedOnceReport, ThePlanMovesTheWholeBuildCacheAndRefusesTheCrashFolders) {
    FiguresHome home;
    const auto r = runSorvel({"--plan"}, home.env());
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t refusedAt = r.out.find("  REFUSED"), movesAt = r.out.find("  WOULD MOVE TO TRASH");
    ASSERT_NE(refusedAt, std::string::npos) << r.out;
    ASSERT_NE(movesAt, std::string::npos) << r.out;
    const size_t crash = r.out.find("/var/crash");
    EXPECT_TRUE(crash > refusedAt && crash < movesAt) << r.out;
    EXPECT_NE(r.out.find("~/.cache/go-build\n", movesAt), std::string::npos) << r.out;
    const long long byHand = independentTotal(home.h + "/.cache/thumbnails") + independentTotal(home.h + "/.cache/go-build");
    EXPECT_NE(r.out.find("  " + Bytes::format(byHand) + " would move to the Trash"), std::string::npos) << r.out;
}
