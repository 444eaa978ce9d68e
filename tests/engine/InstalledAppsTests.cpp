#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>

#include <plist/plist.h>

#include "engine/InstalledApps.h"
#include "support/PlistFiles.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

std::string infoXML(const std::string& identifier) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
           "<key>CFBundleName</key><string>X</string>"
           "<key>CFBundleIdentifier</key><string>" + identifier + "</string></dict></plist>\n";
}

std::string infoBinary(const std::string& identifier) { return test::binaryPlist(infoXML(identifier)); }

void makeApp(const std::string& folder, const std::string& name, const std::optional<std::string>& info) {
    test::makeDirs(folder + "/" + name + "/Contents/MacOS");
    if (info) test::writeFile(folder + "/" + name + "/Contents/Info.plist", *info);
}

} // namespace

TEST(InstalledAppsIndex, ReadsXMLAndBinaryInfoFiles) {
    test::TempDir apps;
    makeApp(apps.path(), "Foo Bar.app", infoXML("com.Example.FooBar"));
    makeApp(apps.path(), "Binary.app", infoBinary("org.Sample.Binary"));
    EXPECT_EQ(InstalledApps::bundleIdentifier(apps / "Foo Bar.app"), "com.Example.FooBar");
    EXPECT_EQ(InstalledApps::bundleIdentifier(apps / "Binary.app"), "org.Sample.Binary");

    auto index = InstalledApps::scan({apps.path()});
    EXPECT_EQ(index.lowercasedNames, (std::set<std::string>{"foo bar", "binary"}));
    EXPECT_EQ(index.bundleIdentifiers, (std::set<std::string>{"com.example.foobar", "org.sample.binary"}));
}

TEST(InstalledAppsIndex, BundlesWithoutAUsableInfoFileStillCountByName) {
    test::TempDir apps;
    makeApp(apps.path(), "NoInfo.app", std::nullopt);
    makeApp(apps.path(), "Broken.app", std::string("<plist><dict><key>CFBundleIdentifier</key>"));
    makeApp(apps.path(), "NotText.app",
            std::string("<plist><dict><key>CFBundleIdentifier</key><integer>3</integer></dict></plist>"));
    makeApp(apps.path(), "Array.app", std::string("<plist><array><string>com.x</string></array></plist>"));
    makeApp(apps.path(), "Fifo.app", std::nullopt);
    ASSERT_EQ(mkfifo((apps / "Fifo.app/Contents/Info.plist").c_str(), 0644), 0);
    makeApp(apps.path(), "Locked.app", infoXML("com.example.locked"));
    chmod((apps / "Locked.app/Contents/Info.plist").c_str(), 0600);

    auto done = std::async(std::launch::async, [&] { return InstalledApps::scan({apps.path()}); });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "a FIFO Info.plist blocked";
    auto index = done.get();
    EXPECT_EQ(index.lowercasedNames,
              (std::set<std::string>{"noinfo", "broken", "nottext", "array", "fifo", "locked"}));
    EXPECT_EQ(index.bundleIdentifiers, std::set<std::string>{"com.example.locked"});

    // Unreadable to an unprivileged user: the name alone.
    int status = test::runAsUnprivileged([&] {
        auto unprivileged = InstalledApps::scan({apps.path()});
        return unprivileged.bundleIdentifiers.empty() && unprivileged.lowercasedNames.count("locked") ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST(InstalledAppsIndex, AnInfoFileNestedAbsurdlyDeepCountsByNameOnly) {
    test::TempDir apps;
    // Hundreds of thousands of levels once brought the whole index down with the stack.
    std::string deep = "<plist><dict><key>CFBundleIdentifier</key><string>com.example.deep</string>"
                       "<key>Nest</key>";
    for (int i = 0; i < 300000; ++i) deep += "<array>";
    for (int i = 0; i < 300000; ++i) deep += "</array>";
    deep += "</dict></plist>";
    makeApp(apps.path(), "Deep.app", deep);
    makeApp(apps.path(), "Fine.app", infoXML("com.example.fine"));
    auto index = InstalledApps::scan({apps.path()});
    EXPECT_EQ(index.lowercasedNames, (std::set<std::string>{"deep", "fine"}));
    EXPECT_EQ(index.bundleIdentifiers, std::set<std::string>{"com.example.fine"});
}

TEST(InstalledAppsIndex, TakesOnlyTheFolderItselfAndTheExactSuffix) {
    test::TempDir apps;
    makeApp(apps.path(), "Shout.APP", infoXML("com.example.shout"));
    makeApp(apps / "Games", "Chess.app", infoXML("com.example.chess"));
    test::writeFile(apps / "Plain.app", "not a bundle");
    auto index = InstalledApps::scan({apps.path(), apps / "missing"});
    EXPECT_EQ(index.lowercasedNames, std::set<std::string>{"plain"});
    EXPECT_TRUE(index.bundleIdentifiers.empty());
}

TEST(InstalledAppsIndex, SearchesTheStandardFolders) {
    const auto& paths = InstalledApps::searchPaths();
    ASSERT_EQ(paths.size(), 7u);
    EXPECT_EQ(paths[0], "/Applications");
    EXPECT_EQ(paths[5], "/System/Library/CoreServices/Applications");
    EXPECT_EQ(paths[6].substr(paths[6].size() - 13), "/Applications");
}

TEST(InstalledAppsMatching, AppleNamesAreKnownWithoutTheSets) {
    InstalledApps empty;
    EXPECT_TRUE(empty.isKnown("com.apple.Safari"));
    EXPECT_TRUE(empty.isKnown("COM.APPLE.x"));
    EXPECT_TRUE(empty.isKnown("Apple"));
    EXPECT_FALSE(empty.isKnown("applesauce"));
    EXPECT_FALSE(empty.isKnown("com.example.foo"));
}

TEST(InstalledAppsMatching, IdentifiersMatchAsDottedPrefixes) {
    InstalledApps index;
    index.bundleIdentifiers = {"com.example.foobar"};
    EXPECT_TRUE(index.isKnown("com.example.foobar"));
    EXPECT_TRUE(index.isKnown("COM.Example.FooBar"));
    EXPECT_TRUE(index.isKnown("com.example.foobar.agent"));
    EXPECT_TRUE(index.isKnown("com.example"));
    EXPECT_FALSE(index.isKnown("com.example.foo"));
    EXPECT_FALSE(index.isKnown("com.example.foobarx"));
}

TEST(InstalledAppsMatching, NamesMatchAsPrefixesEitherWay) {
    InstalledApps index;
    index.lowercasedNames = {"foo"};
    EXPECT_TRUE(index.isKnown("Foo"));
    EXPECT_TRUE(index.isKnown("foo-desktop"));
    EXPECT_TRUE(index.isKnown("fo"));
    EXPECT_FALSE(index.isKnown("bar"));
    index.lowercasedNames = {"über"};
    EXPECT_TRUE(index.isKnown("Über Helper"));
}

// An app whose identity cannot be read is installed all the same, of unknown identity; an
// app known to have no identifier, or a folder known to be missing, is not. Read as an
// unprivileged user, for whom a root-owned file of mode 0600 is refused.
TEST(InstalledAppsIndex, AppsOfUnknownIdentityAreKeptApart) {
    struct Case {
        const char* name;
        std::function<void(const std::string& apps)> make;
        std::vector<std::string> unread; // relative to the apps folder; "." is the folder itself
    };
    const std::vector<Case> cases{
        {"identifier read", [](const std::string& a) { makeApp(a, "Fine.app", infoXML("com.example.fine")); }, {}},
        {"no Info.plist: known to have no identifier", [](const std::string& a) { makeApp(a, "Bare.app", std::nullopt); },
         {}},
        {"a file named like an app", [](const std::string& a) { test::writeFile(a + "/Plain.app", "x"); }, {}},
        {"Contents unreadable",
         [](const std::string& a) {
             makeApp(a, "Locked.app", infoXML("com.acme.locked"));
             chmod((a + "/Locked.app/Contents").c_str(), 0700);
         },
         {"Locked.app"}},
        {"bundle folder unreadable",
         [](const std::string& a) {
             makeApp(a, "Shut.app", infoXML("com.acme.shut"));
             chmod((a + "/Shut.app").c_str(), 0700);
         },
         {"Shut.app"}},
        {"Info.plist unreadable",
         [](const std::string& a) {
             makeApp(a, "Private.app", infoXML("com.acme.private"));
             chmod((a + "/Private.app/Contents/Info.plist").c_str(), 0600);
         },
         {"Private.app"}},
        {"malformed Info.plist",
         [](const std::string& a) { makeApp(a, "Broken.app", std::string("<plist><dict><key>CFBundleIdentifier</key>")); },
         {"Broken.app"}},
        {"not a dictionary",
         [](const std::string& a) { makeApp(a, "Array.app", std::string("<plist><array/></plist>")); }, {"Array.app"}},
        {"identifier not text",
         [](const std::string& a) {
             makeApp(a, "Number.app",
                     std::string("<plist><dict><key>CFBundleIdentifier</key><integer>3</integer></dict></plist>"));
         },
         {"Number.app"}},
        {"folder that cannot be listed",
         [](const std::string& a) {
             makeApp(a, "Hidden.app", infoXML("com.acme.hidden"));
             chmod(a.c_str(), 0311);
         },
         {"."}},
        {"folder listed but not searchable",
         [](const std::string& a) {
             makeApp(a, "One.app", infoXML("com.acme.one"));
             makeApp(a, "Two.app", infoXML("com.acme.two"));
             chmod(a.c_str(), 0744);
         },
         {"One.app", "Two.app"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir root;
        const std::string apps = root / "Applications";
        test::makeDirs(apps);
        c.make(apps);
        std::vector<std::string> expected;
        for (const auto& relative : c.unread) expected.push_back(relative == "." ? apps : apps + "/" + relative);
        const int status = test::runAsUnprivileged([&] {
            const auto index = InstalledApps::scan({apps, root / "missing"});
            auto found = index.unreadApps; // a folder lists in no particular order
            std::sort(found.begin(), found.end());
            if (found != expected) return 1;
            // Nothing can be called an orphan while one of them is there.
            if (index.isOrphan("com.gone.app") == !expected.empty()) return 2;
            return index.unreadNote().empty() == expected.empty() ? 0 : 3;
        });
        EXPECT_EQ(status, 0);
        chmod(apps.c_str(), 0755); // so the folder can be removed
    }
}

TEST(InstalledAppsMatching, TheNoteNamesTheFirstUnreadPlaceAndCountsTheRest) {
    test::FakeHome home;
    InstalledApps index;
    EXPECT_EQ(index.unreadNote(), "");
    index.unreadApps = {home / "Applications/Locked.app"};
    EXPECT_EQ(index.unreadNote(), "Some apps could not be read (~/Applications/Locked.app)");
    index.unreadApps.push_back("/Applications");
    index.unreadApps.push_back("/Applications/Odd.app");
    EXPECT_EQ(index.unreadNote(), "Some apps could not be read (~/Applications/Locked.app and 2 more)");
}
