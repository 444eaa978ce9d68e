#include <gtest/gtest.h>

#include <unistd.h>

#include "analysis/AppInventory.h"
#include "analysis/AppFixtures.h"

using namespace sorvel;
using test::FakeMachine;
using Match = AppLeftover::Match;

namespace {

const InstalledApp& named(const std::vector<InstalledApp>& apps, const std::string& name) {
    for (const auto& a : apps)
        if (a.name == name) return a;
    throw std::runtime_error("no app " + name);
}

std::vector<InstalledApp> scan(const FakeMachine& m) {
    ScanControl control;
    return AppInventory::scan(control, m.places());
}

} // namespace

TEST(AppInventoryScan, BundlesAreMeasuredInAllocatedBytes) {
    FakeMachine m;
    const auto big = m.app("Big", "com.example.big", 300'000);
    const auto small = m.app("Small", "com.example.small", 5'000);
    auto apps = scan(m);
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0].name, "Big");
    EXPECT_EQ(apps[0].bundleSize, test::independentTotal(big));
    EXPECT_EQ(apps[1].bundleSize, test::independentTotal(small));
    EXPECT_GE(apps[0].bundleSize, 300'000);
}

TEST(AppInventoryScan, OneAppIsMeasuredAsItWouldBeAmongOthers) {
    FakeMachine m;
    const auto path = m.app("Lonely", "com.example.lonely", 70'000);
    auto alone = scan(m);
    ASSERT_EQ(alone.size(), 1u);
    m.app("Second", "com.example.second", 10'000);
    auto together = scan(m);
    EXPECT_EQ(named(together, "Lonely").bundleSize, alone[0].bundleSize);
    EXPECT_EQ(alone[0].bundleSize, test::independentTotal(path));
}

TEST(AppInventoryScan, NothingInstalledGivesAnEmptyList) {
    FakeMachine m;
    test::writeFileOfSize(m.home("/Library/Caches/com.example.gone/blob"), 50'000);
    EXPECT_TRUE(scan(m).empty());
}

TEST(AppInventoryScan, LeftoversInEveryHomeLocationWithTheirLabels) {
    FakeMachine m;
    m.app("Editor", "com.example.editor");
    const std::string lib = m.home("/Library/");
    const std::vector<std::pair<std::string, std::string>> expected{
        {"Application Support/com.example.editor/data", "Application Support"},
        {"Caches/com.example.editor/c", "Cache"},
        {"Containers/com.example.editor/x", "Container"},
        {"Group Containers/ABCDE12345.com.example.editor/g", "Group container"},
        {"HTTPStorages/com.example.editor/h", "Web storage"},
        {"WebKit/com.example.editor/w", "WebKit data"},
        {"Application Scripts/com.example.editor/s", "App scripts"},
        {"Logs/com.example.editor/l", "Logs"},
    };
    for (const auto& [relative, _] : expected) test::writeFileOfSize(lib + relative, 9000);
    test::writeFileOfSize(lib + "Preferences/com.example.editor.plist", 9000);
    test::writeFileOfSize(lib + "Saved Application State/com.example.editor.savedState/w", 9000);
    test::writeFileOfSize(lib + "Cookies/com.example.editor.binarycookies", 9000);
    test::writeFileOfSize(lib + "LaunchAgents/com.example.editor.agent.plist", 9000);

    auto apps = scan(m);
    ASSERT_EQ(apps.size(), 1u);
    std::map<std::string, const AppLeftover*> byPath;
    for (const auto& l : apps[0].leftovers) byPath[l.path] = &l;
    ASSERT_EQ(byPath.size(), 12u);
    for (const auto& [relative, kind] : expected) {
        const std::string top = lib + relative.substr(0, relative.rfind('/'));
        ASSERT_TRUE(byPath.count(top)) << top;
        EXPECT_EQ(byPath[top]->kind, kind);
        EXPECT_FALSE(byPath[top]->requiresAdministrator);
    }
    EXPECT_EQ(byPath[lib + "Group Containers/ABCDE12345.com.example.editor"]->match, Match::exactIdentifier());
    const auto* prefs = byPath[lib + "Preferences/com.example.editor.plist"];
    EXPECT_EQ(prefs->kind, "Preferences");
    EXPECT_EQ(prefs->match, Match::exactIdentifier());
    EXPECT_EQ(byPath[lib + "Saved Application State/com.example.editor.savedState"]->kind, "Saved window state");
    EXPECT_EQ(byPath[lib + "Cookies/com.example.editor.binarycookies"]->kind, "Cookies");
    const auto* agent = byPath[lib + "LaunchAgents/com.example.editor.agent.plist"];
    EXPECT_EQ(agent->kind, "Login item");
    EXPECT_EQ(agent->match, Match::identifierPrefix("Editor"));
    EXPECT_EQ(apps[0].leftoverSize(), 12 * test::allocatedSize(lib + "Cookies/com.example.editor.binarycookies"));
}

TEST(AppInventoryScan, SharedLibraryLeftoversNeedAnAdministrator) {
    FakeMachine m;
    m.app("Daemon Maker", "com.example.dm");
    const std::string shared = m.system("/Library/");
    test::writeFileOfSize(shared + "Application Support/com.example.dm/state", 4096);
    test::writeFileOfSize(shared + "LaunchAgents/com.example.dm.agent.plist", 4096);
    test::writeFileOfSize(shared + "LaunchDaemons/com.example.dm.plist", 4096);
    test::writeFileOfSize(shared + "PrivilegedHelperTools/com.example.dm.helper", 4096);
    test::writeFileOfSize(m.home("/Library/Caches/com.example.dm/c"), 4096);

    auto apps = scan(m);
    ASSERT_EQ(apps.size(), 1u);
    std::map<std::string, AppLeftover> byPath;
    for (const auto& l : apps[0].leftovers) byPath[l.path] = l;
    ASSERT_EQ(byPath.size(), 5u);
    EXPECT_EQ(byPath[shared + "Application Support/com.example.dm"].kind, "Shared support");
    EXPECT_EQ(byPath[shared + "LaunchAgents/com.example.dm.agent.plist"].kind, "Login item");
    const auto& daemon = byPath[shared + "LaunchDaemons/com.example.dm.plist"];
    EXPECT_EQ(daemon.kind, "Background service");
    EXPECT_EQ(daemon.match, Match::exactIdentifier());
    // A bare identifier in a suffixed folder loses its last component: "com.example".
    // Here the helper's key is "com.example.dm", the identifier itself.
    EXPECT_EQ(byPath[shared + "PrivilegedHelperTools/com.example.dm.helper"].kind, "Helper tool");
    EXPECT_EQ(byPath[shared + "PrivilegedHelperTools/com.example.dm.helper"].match, Match::exactIdentifier());
    for (const auto& [path, l] : byPath) EXPECT_EQ(l.requiresAdministrator, path.rfind(shared, 0) == 0) << path;
}

TEST(AppInventoryScan, ASuffixedBareIdentifierMatchesAsTheShorterOne) {
    FakeMachine m;
    m.app("Vendor", "com.vendor");
    // In Preferences "com.vendor.tool" is read as "com.vendor": an exact match.
    test::writeFileOfSize(m.home("/Library/Preferences/com.vendor.tool"), 4096);
    // Unsuffixed locations keep the whole name: a prefix match.
    test::writeFileOfSize(m.home("/Library/Caches/com.vendor.tool/x"), 4096);
    auto apps = scan(m);
    ASSERT_EQ(apps.size(), 1u);
    ASSERT_EQ(apps[0].leftovers.size(), 2u);
    for (const auto& l : apps[0].leftovers) {
        if (l.kind == "Preferences") EXPECT_EQ(l.match, Match::exactIdentifier());
        else EXPECT_EQ(l.match, Match::identifierPrefix("Vendor"));
    }
}

TEST(AppInventoryScan, EmptyFoldersAndBareLinksAreNotLeftovers) {
    FakeMachine m;
    m.app("Linker", "com.example.linker");
    test::makeDirs(m.home("/Library/Application Support/com.example.linker"));
    test::writeFileOfSize(m.home("/Elsewhere/big"), 200'000);
    test::makeDirs(m.home("/Library/Caches"));
    ASSERT_EQ(::symlink(m.home("/Elsewhere").c_str(), m.home("/Library/Caches/com.example.linker").c_str()), 0);
    test::writeFile(m.home("/Library/Logs/com.example.linker.log"), ""); // prefix match, 0 bytes
    auto apps = scan(m);
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_TRUE(apps[0].leftovers.empty());
}

TEST(AppInventoryScan, LeftoversOfOneAppComeOutLargestFirst) {
    FakeMachine m;
    m.app("Sorter", "com.example.sorter");
    test::writeFileOfSize(m.home("/Library/Application Support/com.example.sorter/a"), 4096);
    test::writeFileOfSize(m.home("/Library/Caches/com.example.sorter/a"), 400'000);
    test::writeFileOfSize(m.home("/Library/Logs/com.example.sorter/a"), 4096);
    test::writeFileOfSize(m.system("/Library/LaunchDaemons/com.example.sorter.plist"), 100'000);
    auto apps = scan(m);
    ASSERT_EQ(apps.size(), 1u);
    const auto& l = apps[0].leftovers;
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[0].kind, "Cache");
    EXPECT_EQ(l[1].kind, "Background service");
    // Equal sizes keep location order.
    EXPECT_EQ(l[2].kind, "Application Support");
    EXPECT_EQ(l[3].kind, "Logs");
}

TEST(AppInventoryScan, AppsSortByBundlePlusLeftoversAndTiesKeepDiscoveryOrder) {
    FakeMachine m;
    m.app("Aaa First", "com.example.first", 20'000);
    m.app("Bbb Second", "com.example.second", 20'000);
    m.app("Ccc Heavy", "com.example.heavy", 4096);
    test::writeFileOfSize(m.home("/Library/Caches/com.example.heavy/blob"), 500'000);
    auto apps = scan(m);
    ASSERT_EQ(apps.size(), 3u);
    EXPECT_EQ(apps[0].name, "Ccc Heavy");
    EXPECT_EQ(apps[1].name, "Aaa First");
    EXPECT_EQ(apps[2].name, "Bbb Second");
    EXPECT_EQ(apps[1].bundleSize + apps[1].leftoverSize(), apps[2].bundleSize + apps[2].leftoverSize());
}

TEST(AppInventoryScan, AFileLinkedIntoABundleAndALeftoverCountsOnce) {
    FakeMachine m;
    const auto bundle = m.app("Linked", "com.example.linked", 0);
    test::writeFileOfSize(bundle + "/Contents/Resources/shared.bin", 120'000);
    test::makeDirs(m.home("/Library/Application Support/com.example.linked"));
    ASSERT_EQ(::link((bundle + "/Contents/Resources/shared.bin").c_str(),
                     m.home("/Library/Application Support/com.example.linked/shared.bin").c_str()),
              0);
    test::writeFileOfSize(m.home("/Library/Application Support/com.example.linked/own"), 4096);
    auto apps = scan(m);
    ASSERT_EQ(apps.size(), 1u);
    const int64_t shared = test::allocatedSize(bundle + "/Contents/Resources/shared.bin");
    ASSERT_EQ(apps[0].leftovers.size(), 1u);
    EXPECT_EQ(apps[0].bundleSize + apps[0].leftoverSize(),
              shared + test::independentTotal(bundle) - shared +
                  test::allocatedSize(m.home("/Library/Application Support/com.example.linked/own")));
}

TEST(AppInventoryScan, UnreadableLocationsAndUnmatchedEntriesAreSkipped) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to make folders another user cannot read";
    FakeMachine m;
    m.app("Private", "com.example.private", 4096);
    test::writeFileOfSize(m.home("/Library/Caches/com.example.private/c"), 4096);
    test::writeFileOfSize(m.home("/Library/Logs/com.example.private/l"), 4096);
    test::writeFileOfSize(m.home("/Library/Logs/org.unrelated/l"), 4096);
    ASSERT_EQ(::chmod(m.home("/Library/Caches").c_str(), 0700), 0);
    const auto places = m.places();
    // The child reports which kinds it found as bits.
    int status = test::runAsUnprivileged([&] {
        ScanControl control;
        auto apps = AppInventory::scan(control, places);
        if (apps.size() != 1) return 100;
        int bits = 0;
        for (const auto& l : apps[0].leftovers) bits |= l.kind == "Cache" ? 1 : l.kind == "Logs" ? 2 : 4;
        return bits;
    });
    EXPECT_EQ(status, 2);
}

TEST(AppInventoryScan, ACancelledControlStillReturnsTheApps) {
    FakeMachine m;
    m.app("One", "com.example.one", 100'000);
    m.app("Two", "com.example.two", 100'000);
    ScanControl control;
    control.cancel();
    auto apps = AppInventory::scan(control, m.places());
    ASSERT_EQ(apps.size(), 2u);
    for (const auto& a : apps) EXPECT_LT(a.bundleSize, 100'000);
}

TEST(AppInventoryScan, OddEntryNamesAreMatchedByTheirBytes) {
    FakeMachine m;
    const std::string odd = "\xff\xfe" "Weird Tool"; // not UTF-8, still a name of ten-plus characters
    test::makeBundle(m.system("/Applications"), odd + ".app", std::nullopt, 4096);
    test::writeFileOfSize(m.home("/Library/Application Support/") + odd + "/data", 4096);
    test::writeFileOfSize(m.home("/Library/Application Support/\xff\xfe" "WEIRD TOOL/data"), 4096);
    auto apps = scan(m);
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].leftovers.size(), 2u);
    for (const auto& l : apps[0].leftovers) EXPECT_EQ(l.match, Match::appNameMatch());
}
