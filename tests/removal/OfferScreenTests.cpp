// Safe means movable: no rule offers, nor counts, a place the cleanup policy refuses. Every
// rule's targets on a home that holds every rule's places pass the policy's place rules; what
// the policy refuses is listed apart, with its reason, and left out of every total.
#include <gtest/gtest.h>

#include <algorithm>

#include "../cleanup/ResultBuilder.h"
#include "cleanup/CleanupFinder.h"
#include "cleanup/CleanupRules.h"
#include "platform/Path.h"
#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "removal/OfferScreen.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::test::node;
using sorvel::test::resultWith;

namespace {

ScanNodePtr folder(const std::string& path, std::vector<ScanNodePtr> children) {
    int64_t total = 0;
    for (const auto& c : children) total += c->size;
    return node(path, total, std::move(children));
}

/// A Linux home holding a place for every rule, on disk where a rule or the policy looks.
struct EveryRuleHome {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::string h = home.path(), sys = home.systemRoot();
    ScanResult result;

    EveryRuleHome() {
        for (const char* d : {"/.cache/thumbnails", "/.cache/google-chrome", "/.cache/go-build/00", "/.cache/pip/http",
                              "/.npm/_cacache/content-v2", "/.ccache/0", "/.var/app/org.gone.App/cache",
                              "/.var/app/org.mozilla.firefox/cache", "/snap/gone", "/Library/Logs/Old"})
            test::makeDirs(h + d);
        test::writeFile(h + "/.ccache/ccache.conf", "max_size = 5G\n");
        for (const char* d : {"/var/crash", "/var/lib/systemd/coredump"}) test::makeDirs(sys + d);
        result = resultWith({
            folder(h + "/.cache", {node(h + "/.cache/thumbnails", 9'000'000), node(h + "/.cache/google-chrome", 8'000'000)}),
            folder(h + "/.cache/go-build", {node(h + "/.cache/go-build/00", 999'999), node(h + "/.cache/go-build/01", 999'999)}),
            folder(h + "/.cache/pip", {node(h + "/.cache/pip/http", 3'000'000)}),
            folder(h + "/.npm/_cacache", {node(h + "/.npm/_cacache/content-v2", 4'000'000)}),
            folder(h + "/.ccache", {node(h + "/.ccache/ccache.conf", 4'000), node(h + "/.ccache/0", 2'000'000)}),
            folder(h + "/.var/app", {node(h + "/.var/app/org.gone.App", 7'000'000)}),
            node(h + "/.var/app/org.gone.App/cache", 6'000'000),
            node(h + "/.var/app/org.mozilla.firefox/cache", 5'000'000),
            folder(h + "/snap", {node(h + "/snap/gone", 6'000'000)}),
            folder(h + "/Library/Logs", {node(h + "/Library/Logs/Old", 2'000'000)}),
            node(sys + "/var/crash", 41'000'000),
            node(sys + "/var/lib/systemd/coredump", 3'000'000),
        });
    }
};

} // namespace

TEST(OfferScreen, EveryRulesTargetsPassThePolicysPlaceRules) {
    EveryRuleHome home;
    const CleanupPolicy policy = CleanupPolicy::standard();
    const auto items = CleanupFinder::recommendations(home.result);
    size_t targets = 0;
    for (const auto& item : items)
        for (const auto& t : item.targets) {
            ++targets;
            for (auto entries : {CleanupGuard::Entries::asWritten, CleanupGuard::Entries::alsoResolved}) {
                const auto refusal = CleanupGuard::placeRefusal(t.path, policy, entries, true);
                EXPECT_FALSE(refusal) << item.id << ": " << t.path << ": " << refusal->description();
            }
        }
    // The home holds something for each of these rules: the check covered them.
    EXPECT_GE(targets, 9u);
}

TEST(OfferScreen, WhatThePolicyRefusesIsListedApartAndNeverCounted) {
    EveryRuleHome home;
    const auto items = OfferScreen::recommendations(home.result);
    ScanResult result;
    result.cleanupItems = items;
    int64_t offered = 0, refused = 0;
    std::vector<std::string> refusedPaths;
    for (const auto& item : items) {
        for (const auto& t : item.targets) offered += item.risk == CleanupRisk::safe ? t.size : 0;
        for (const auto& t : item.refused) {
            refused += t.size;
            refusedPaths.push_back(t.path);
            EXPECT_TRUE(t.detail && !t.detail->empty()) << t.path;
        }
    }
    std::sort(refusedPaths.begin(), refusedPaths.end());
    EXPECT_EQ(refusedPaths, (std::vector<std::string>{home.sys + "/var/crash", home.sys + "/var/lib/systemd/coredump"}));
    EXPECT_EQ(refused, 44'000'000);
    // Safe to reclaim: the safe offers alone, counted by hand from the tree above.
    const int64_t safeByHand = 9'000'000 /* thumbnails */ + 8'000'000 /* chrome */ + 5'000'000 /* firefox */ +
                               1'999'998 /* go-build */ + 3'000'000 /* pip */ + 4'000'000 /* npm */ +
                               2'000'000 /* ccache bucket */ + 2'000'000 /* ~/Library/Logs/Old */;
    EXPECT_EQ(offered, safeByHand);
    EXPECT_EQ(result.reclaimable(), safeByHand);
    // The logs rule keeps its own log offer; its refused folders never make it a safe total.
    const auto logs = std::find_if(items.begin(), items.end(), [](const CleanupItem& i) { return i.id == "logs"; });
    ASSERT_NE(logs, items.end());
    EXPECT_EQ(logs->size(), 2'000'000);
}

TEST(OfferScreen, ATargetInAPlaceThePolicyRefusesMovesToTheRefusedList) {
    struct Case {
        std::string relative; // below the home
        bool refused;
    };
    const Case cases[] = {
        {".cache/thumbnails", false},
        {".ssh/keys", true},                // a denied place
        {".cache", true},                   // an allowed root itself
        {"Documents/report", true},         // outside every allowed root
        {".cache/go-build", false},         // a tool's cache, whole
        {"go/pkg/mod/golang.org", true},    // Go's read-only modules
    };
    for (const auto& c : cases) {
        test::FakeHome home;
        test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
        const std::string path = home.path() + "/" + c.relative;
        test::makeDirs(path);
        CleanupItem first;
        first.id = "user-caches";
        first.targets.push_back(CleanupRules::makeTarget("x", path, 7'000'000, std::nullopt));
        CleanupItem second;
        second.id = "browser-caches";
        second.targets.push_back(CleanupRules::makeTarget("y", home.path() + "/.cache/ok", 1'000, std::nullopt));
        std::vector<CleanupItem> items{first, second};
        OfferScreen::apply(items, CleanupPolicy::standard());
        EXPECT_EQ(items[0].refused.size(), c.refused ? 1u : 0u) << c.relative;
        EXPECT_EQ(items[0].size(), c.refused ? 0 : 7'000'000) << c.relative;
        EXPECT_EQ(items[0].onlyRefused(), c.refused) << c.relative;
        EXPECT_FALSE(items[0].isSafeToClean() && c.refused) << c.relative;
        EXPECT_EQ(items[1].targets.size(), 1u) << c.relative;
    }
}
