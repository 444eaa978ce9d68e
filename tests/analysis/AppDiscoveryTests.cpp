#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "analysis/AppInventory.h"
#include "analysis/AppFixtures.h"

using namespace sorvel;
using test::FakeMachine;

namespace {

std::vector<std::string> paths(const std::vector<InstalledApp>& apps) {
    std::vector<std::string> out;
    for (const auto& a : apps) out.push_back(a.bundlePath);
    return out;
}

const InstalledApp* find(const std::vector<InstalledApp>& apps, const std::string& name) {
    for (const auto& a : apps)
        if (a.name == name) return &a;
    return nullptr;
}

} // namespace

TEST(AppDiscovery, FoldersInOrderThenNamesInByteOrder) {
    FakeMachine m;
    m.app("beta", "com.example.beta");
    m.app("Zeta", "com.example.zeta");
    m.app("Alpha", "com.example.alpha");
    test::makeBundle(m.system("/Applications/Utilities"), "Tool.app", std::nullopt);
    test::makeBundle(m.home("/Applications"), "Mine.app", std::nullopt);
    test::makeBundle(m.system("/System/Applications"), "Clock.app", std::nullopt);

    auto apps = AppInventory::discover(m.places());
    EXPECT_EQ(paths(apps), (std::vector<std::string>{
                               m.system("/Applications/Alpha.app"), m.system("/Applications/Zeta.app"),
                               m.system("/Applications/beta.app"), m.system("/Applications/Utilities/Tool.app"),
                               m.home("/Applications/Mine.app"), m.system("/System/Applications/Clock.app")}));
    for (const auto& a : apps) {
        EXPECT_EQ(a.bundleSize, 0);
        EXPECT_TRUE(a.leftovers.empty());
    }
}

TEST(AppDiscovery, MissingFoldersContributeNothing) {
    FakeMachine m; // no home Applications, no Utilities, no System folder
    m.app("Only", std::nullopt);
    auto apps = AppInventory::discover(m.places());
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].name, "Only");

    AppInventory::Places nowhere = m.places();
    nowhere.searchPaths = {m.system("/absent"), m.system("/Applications/Only.app/Contents/Info.plist")};
    EXPECT_TRUE(AppInventory::discover(nowhere).empty());
}

TEST(AppDiscovery, OnlyLowerCaseSuffixCountsAndTheNameDropsIt) {
    FakeMachine m;
    test::makeBundle(m.system("/Applications"), "Shout.APP", std::nullopt);
    test::makeBundle(m.system("/Applications"), "Mixed.App", std::nullopt);
    test::makeBundle(m.system("/Applications"), "Foo.app", std::nullopt);
    test::makeBundle(m.system("/Applications"), "Foo.app.bak", std::nullopt);
    test::writeFile(m.system("/Applications/Plain.app"), "a file with an app name");
    auto apps = AppInventory::discover(m.places());
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0].name, "Foo");
    EXPECT_EQ(apps[1].name, "Plain"); // the suffix is all that is asked of an entry
    EXPECT_EQ(apps[1].version, std::nullopt);
}

TEST(AppDiscovery, ReadsXMLAndBinaryInfoFiles) {
    FakeMachine m;
    const std::string xml = test::xmlPlist(test::infoEntries("com.Example.Xml", "2.1", "210"));
    test::makeBundle(m.system("/Applications"), "Xml.app", xml);
    test::makeBundle(m.system("/Applications"), "Bin.app",
                     test::binaryPlist(test::xmlPlist(test::infoEntries("org.Example.Bin", "5.0"))));
    auto apps = AppInventory::discover(m.places());
    const auto* x = find(apps, "Xml");
    const auto* b = find(apps, "Bin");
    ASSERT_TRUE(x && b);
    EXPECT_EQ(x->bundleIdentifier, "com.Example.Xml"); // kept as written
    EXPECT_EQ(x->version, "2.1");
    EXPECT_EQ(b->bundleIdentifier, "org.Example.Bin");
    EXPECT_EQ(b->version, "5.0");
}

TEST(AppDiscovery, VersionFallsBackToTheBuildNumber) {
    FakeMachine m;
    test::makeBundle(m.system("/Applications"), "Build.app",
                     test::xmlPlist(test::infoEntries("a.b", std::nullopt, "1234")));
    test::makeBundle(m.system("/Applications"), "Typed.app",
                     test::xmlPlist(test::key("CFBundleShortVersionString", "<integer>3</integer>") +
                                    test::key("CFBundleVersion", test::text("77"))));
    test::makeBundle(m.system("/Applications"), "Neither.app",
                     test::xmlPlist(test::key("CFBundleVersion", "<real>1.5</real>") +
                                    test::key("CFBundleIdentifier", "<integer>9</integer>")));
    auto apps = AppInventory::discover(m.places());
    EXPECT_EQ(find(apps, "Build")->version, "1234");
    EXPECT_EQ(find(apps, "Typed")->version, "77");
    EXPECT_EQ(find(apps, "Neither")->version, std::nullopt);
    EXPECT_EQ(find(apps, "Neither")->bundleIdentifier, std::nullopt);
}

TEST(AppDiscovery, UnusableInfoFilesGiveAppsWithoutIdentifierOrVersion) {
    FakeMachine m;
    test::makeBundle(m.system("/Applications"), "Broken.app", std::string("<plist><dict><key>CFBundle"));
    test::makeBundle(m.system("/Applications"), "Array.app",
                     std::string("<plist><array><string>com.x</string></array></plist>"));
    test::makeBundle(m.system("/Applications"), "Fifo.app", std::nullopt);
    ASSERT_EQ(::mkfifo(m.system("/Applications/Fifo.app/Contents/Info.plist").c_str(), 0644), 0);
    test::makeBundle(m.system("/Applications"), "Missing.app", std::nullopt);
    auto apps = AppInventory::discover(m.places());
    ASSERT_EQ(apps.size(), 4u);
    for (const auto& a : apps) {
        EXPECT_EQ(a.bundleIdentifier, std::nullopt) << a.name;
        EXPECT_EQ(a.version, std::nullopt) << a.name;
        EXPECT_EQ(a.removability, InstalledApp::Removability::removable()) << a.name;
    }
}

TEST(AppDiscovery, OddNamesKeepTheirBytes) {
    FakeMachine m;
    const std::string latin1 = std::string("Caf\xe9");           // not UTF-8
    const std::string spaced = "  Two  Spaces \xe2\x80\x94 Pro"; // em dash
    test::makeBundle(m.system("/Applications"), latin1 + ".app", std::nullopt);
    test::makeBundle(m.system("/Applications"), spaced + ".app", std::nullopt);
    test::makeBundle(m.system("/Applications"), ".app", std::nullopt);
    auto apps = AppInventory::discover(m.places());
    ASSERT_EQ(apps.size(), 3u);
    EXPECT_EQ(apps[0].name, spaced);
    EXPECT_EQ(apps[1].name, "");
    EXPECT_EQ(apps[2].name, latin1);
    EXPECT_EQ(apps[2].bundlePath, m.system("/Applications/") + latin1 + ".app");
    EXPECT_EQ(apps[2].removability, InstalledApp::Removability::removable());
}

TEST(AppDiscovery, LastUsedIsTheAccessDate) {
    FakeMachine m;
    const std::string path = m.app("Dated", std::nullopt);
    struct timespec times[2] = {{1'600'000'000, 0}, {1'500'000'000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    auto apps = AppInventory::discover(m.places());
    ASSERT_EQ(apps.size(), 1u);
    EXPECT_EQ(apps[0].lastUsed, dateFromUnixSeconds(1'600'000'000));
    EXPECT_EQ(AppInventory::lastUsed(m.system("/nothing.app")), std::nullopt);
}
