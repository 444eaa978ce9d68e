// The rules over a Linux home: its cache folder, Flatpak and snap apps, developer tools'
// folders and the system's crash folders, on fake homes and fake system trees.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "ResultBuilder.h"
#include "cleanup/CleanupFinder.h"
#include "cleanup/CleanupRules.h"
#include "cleanup/LinuxRules.h"
#include "platform/LinuxPlaces.h"
#include "platform/MountTable.h"
#include "platform/Path.h"
#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::test::node;
using sorvel::test::resultWith;

namespace {

/// A fake home with the XDG variables at their defaults and system places under a fake root.
struct LinuxHome {
    test::FakeHome home;
    test::ScopedEnv cache{"XDG_CACHE_HOME", std::nullopt};
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    test::TempDir system;
    LinuxPlaces::ScopedSystemRoot root{system.path()};
    std::string h = home.path();

    /// A Flatpak app's folder on disk, as the user's app list reads it.
    void flatpakApp(const std::string& id) const { test::makeDirs(h + "/.var/app/" + id); }
};

/// A folder holding the given children, its size their sum.
ScanNodePtr folder(const std::string& path, std::vector<ScanNodePtr> children) {
    int64_t total = 0;
    for (const auto& c : children) total += c->size;
    return node(path, total, std::move(children));
}

const CleanupTarget* targetAt(const CleanupItem& item, const std::string& path) {
    for (const auto& t : item.targets)
        if (t.path == path) return &t;
    return nullptr;
}

/// Every target of every rule whose path is the given place or lies in it.
std::vector<std::string> targetsIn(const std::vector<CleanupItem>& items, const std::string& place) {
    std::vector<std::string> found;
    for (const auto& item : items)
        for (const auto& t : item.targets)
            if (isPathInside(t.path, place)) found.push_back(item.id + ": " + t.path);
    return found;
}

/// The rules called one by one, so that every item counts, sized or not.
std::vector<CleanupItem> everyRule(const ScanResult& result, const std::string& home) {
    return {CleanupRules::userCaches(result, home),         CleanupRules::browserCaches(result, home),
            CleanupRules::logsAndDiagnostics(result, home), CleanupRules::developerJunk(result, home),
            CleanupRules::liveDerivedData(result, home),    CleanupRules::leftovers(result, home)};
}

} // namespace

TEST(LinuxUserCaches, ChildrenOfTheCacheHomeByNameAndSize) {
    struct Case {
        std::string child;
        int64_t size;
        bool target;
    };
    const Case cases[] = {
        {"thumbnails", 5'000'000, true},
        {"thumbnails", 4'999'999, false},
        {"obexd", 50'000'000, false},         // files received over Bluetooth
        {"obexd-old", 50'000'000, true},      // kept by its exact name only
        {"google-chrome", 50'000'000, false}, // the browser rule's
        {"Google-Chrome-Beta", 50'000'000, false},
        {"mozilla", 50'000'000, false}, // holds mozilla/firefox
        {"chromium", 50'000'000, false},
        {"pip", 50'000'000, false}, // the developer rule's
        {"go-build", 50'000'000, false},
        {"ccache", 50'000'000, false},
        {"bazel", 50'000'000, false},
        {"yarn", 50'000'000, false},
        {"pipx", 50'000'000, true}, // not a developer folder of the table
    };
    for (const auto& c : cases) {
        LinuxHome home;
        const std::string path = home.h + "/.cache/" + c.child;
        auto result = resultWith({folder(home.h + "/.cache", {node(path, c.size)})});
        const CleanupItem item = CleanupRules::userCaches(result, home.h);
        EXPECT_EQ(targetAt(item, path) != nullptr, c.target) << c.child << " of " << c.size;
        EXPECT_FALSE(item.withheld);
    }
}

TEST(LinuxUserCaches, FollowsTheCacheVariable) {
    LinuxHome home;
    test::TempDir elsewhere;
    test::ScopedEnv cache("XDG_CACHE_HOME", elsewhere.path());
    auto result = resultWith({folder(home.h + "/.cache", {node(home.h + "/.cache/old", 9'000'000)}),
                              folder(elsewhere.path(), {node(elsewhere / "app", 6'000'000)})});
    const CleanupItem item = CleanupRules::userCaches(result, home.h);
    ASSERT_EQ(item.targets.size(), 1u);
    EXPECT_EQ(item.targets[0].path, elsewhere / "app");
    EXPECT_EQ(item.targets[0].name, "app");
}

TEST(LinuxUserCaches, FlatpakAppCachesAreNamedByTheirApp) {
    struct Case {
        std::string id;
        int64_t size;
        bool userCache;
        bool browserCache;
    };
    const Case cases[] = {
        {"org.gnome.Maps", 5'000'000, true, false},       {"org.gnome.Maps", 4'999'999, false, false},
        {"org.mozilla.firefox", 50'000'000, false, true}, {"com.google.Chrome", 1, false, true},
        {"com.google.Chrome", 0, false, false},
    };
    for (const auto& c : cases) {
        LinuxHome home;
        home.flatpakApp(c.id);
        const std::string cache = home.h + "/.var/app/" + c.id + "/cache";
        auto result = resultWith({node(cache, c.size)});
        const CleanupItem user = CleanupRules::userCaches(result, home.h);
        const CleanupItem browser = CleanupRules::browserCaches(result, home.h);
        EXPECT_EQ(targetAt(user, cache) != nullptr, c.userCache) << c.id << " of " << c.size;
        EXPECT_EQ(targetAt(browser, cache) != nullptr, c.browserCache) << c.id << " of " << c.size;
        for (const auto* t : {targetAt(user, cache), targetAt(browser, cache)})
            if (t) {
                EXPECT_EQ(t->name, c.id);
                EXPECT_EQ(t->size, c.size);
                EXPECT_TRUE(t->detail.has_value());
            }
    }
}

TEST(LinuxUserCaches, NoChildHoldingAMountPointIsATarget) {
    struct Case {
        std::vector<std::string> points; // below the cache home
        std::vector<std::string> offered;
    };
    const Case cases[] = {
        {{}, {"holder", "mounted", "plain"}},
        {{"mounted"}, {"holder", "plain"}},
        {{"holder/deep/inside"}, {"mounted", "plain"}},
        {{"plainer"}, {"holder", "mounted", "plain"}}, // a sibling sharing the start of a name
        {{""}, {"holder", "mounted", "plain"}},        // the cache home on a disk of its own
    };
    for (const auto& c : cases) {
        LinuxHome home;
        const std::string cache = home.h + "/.cache";
        std::vector<std::string> points = {"/"};
        for (const auto& p : c.points) points.push_back(p.empty() ? cache : cache + "/" + p);
        auto result =
            resultWith({folder(cache, {node(cache + "/holder", 7'000'000), node(cache + "/mounted", 6'000'000),
                                       node(cache + "/plain", 5'000'000)})});
        std::vector<CleanupTarget> targets;
        LinuxRules::addUserCaches(result, LinuxRules::MountedFolders(points), home.h + "/Library/Caches", targets);
        std::vector<std::string> names;
        for (const auto& t : targets) names.push_back(t.name);
        EXPECT_EQ(names, c.offered) << (c.points.empty() ? "(none)" : c.points.front());
    }
}

TEST(LinuxUserCaches, AMountedChildIsNeverOfferedOnARealMount) {
    LinuxHome home;
    const std::string cache = home.h + "/.cache";
    test::makeDirs(cache + "/mounted/deeper");
    test::makeDirs(cache + "/holder/inner");
    test::makeDirs(cache + "/plain");
    const int status = test::inMountNamespace([&] {
        if (::mount("tmpfs", (cache + "/mounted").c_str(), "tmpfs", 0, "size=1m") != 0 ||
            ::mount("tmpfs", (cache + "/holder/inner").c_str(), "tmpfs", 0, "size=1m") != 0)
            return test::kSkipped;
        auto result =
            resultWith({folder(cache, {node(cache + "/mounted", 9'000'000), node(cache + "/holder", 8'000'000),
                                       node(cache + "/plain", 7'000'000)})});
        const CleanupItem item = CleanupRules::userCaches(result, home.h);
        int wrong = 0;
        if (targetAt(item, cache + "/mounted")) wrong |= 1;
        if (targetAt(item, cache + "/holder")) wrong |= 2;
        if (!targetAt(item, cache + "/plain") || item.withheld) wrong |= 4;
        return wrong;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "no private mount namespace with tmpfs mounts here (needs root)";
    EXPECT_EQ(status, 0);
}

TEST(LinuxUserCaches, WithoutTheMountTableTheyAreOfferedForTheGuardToRefuse) {
    LinuxHome home;
    const std::string table = mountTablePath();
    setMountTablePath(home.h + "/no-such-table");
    auto result = resultWith({folder(home.h + "/.cache", {node(home.h + "/.cache/thumbnails", 9'000'000)})});
    const CleanupItem item = CleanupRules::userCaches(result, home.h);
    test::writeFile(home.h + "/.cache/thumbnails/a", "x");
    const CleanupGuard::Judgement judged =
        CleanupGuard::judge(home.h + "/.cache/thumbnails", 0,
                            CleanupPolicy::standard().allowing({home.h + "/.cache"}), std::nullopt);
    setMountTablePath(table);
    EXPECT_FALSE(item.withheld);
    EXPECT_NE(targetAt(item, home.h + "/.cache/thumbnails"), nullptr);
    ASSERT_TRUE(judged.refusal.has_value());
    EXPECT_EQ(judged.refusal->kind, CleanupGuard::Refusal::Kind::mountsUnknown);
}

TEST(LinuxBrowserCaches, EachBrowserFolderOfAtLeastOneByte) {
    struct Case {
        std::string relative;
        int64_t size;
        bool target;
        std::string name;
    };
    const Case cases[] = {
        {"google-chrome", 1, true, "google-chrome"},
        {"google-chrome", 0, false, ""},
        {"mozilla/firefox", 1, true, "firefox"},
        {"BraveSoftware", 3, true, "BraveSoftware"},
        {"microsoft-edge", 1, true, "microsoft-edge"},
        {"mozilla/thunderbird", 9'000'000, false, ""}, // beside the browser, not it
    };
    for (const auto& c : cases) {
        LinuxHome home;
        const std::string path = home.h + "/.cache/" + c.relative;
        const std::string parent = deletingLastPathComponent(path);
        auto result = parent == home.h + "/.cache"
                          ? resultWith({folder(parent, {node(path, c.size)})})
                          : resultWith({folder(home.h + "/.cache", {folder(parent, {node(path, c.size)})})});
        const CleanupItem item = CleanupRules::browserCaches(result, home.h);
        const CleanupTarget* t = targetAt(item, path);
        ASSERT_EQ(t != nullptr, c.target) << c.relative << " of " << c.size;
        EXPECT_EQ(t ? t->name : "", c.name);
    }
}

TEST(LinuxBrowserCaches, ProfilesAreNeverTargetsOfAnyRule) {
    LinuxHome home;
    const std::string h = home.h;
    home.flatpakApp("org.mozilla.firefox");
    test::makeDirs(home.system / "var/lib/flatpak/app/org.mozilla.firefox"); // installed: its folder is no leftover
    const int64_t big = 80'000'000;
    auto result = resultWith({
        folder(h + "/.config", {node(h + "/.config/google-chrome", big), node(h + "/.config/chromium", big),
                                node(h + "/.config/BraveSoftware", big)}),
        folder(h + "/.mozilla", {node(h + "/.mozilla/firefox", big)}),
        folder(h + "/.var/app",
               {folder(h + "/.var/app/org.mozilla.firefox", {node(h + "/.var/app/org.mozilla.firefox/.mozilla", big),
                                                             node(h + "/.var/app/org.mozilla.firefox/cache", big)})}),
        folder(h + "/.cache", {node(h + "/.cache/google-chrome", big)}),
    });
    const auto items = everyRule(result, h);
    for (const auto& profile : {h + "/.config", h + "/.mozilla", h + "/.var/app/org.mozilla.firefox/.mozilla"})
        EXPECT_EQ(targetsIn(items, profile), std::vector<std::string>{}) << profile;
    // The caches beside them are still found.
    EXPECT_EQ(targetsIn(items, h + "/.cache/google-chrome").size(), 1u);
    EXPECT_EQ(targetsIn(items, h + "/.var/app/org.mozilla.firefox/cache").size(), 1u);
}

TEST(LinuxDeveloperFolders, EachFolderFromOneMillionBytesInItsPlace) {
    struct Case {
        std::string relative;
        int64_t size;
        bool offered; // by the developer rule, as one row for the folder
    };
    const Case cases[] = {
        {".cache/pip", 1'000'000, true},
        {".cache/pip", 999'999, false},
        {".cache/go-build", 1'000'000, true},
        {".cache/yarn", 1'000'000, true},
        {".npm/_cacache", 1'000'000, true},
        {".cargo/registry/cache", 1'000'000, true},
        {".cargo/registry/src", 1'000'000, true},
        {".gradle/caches", 1'000'000, true},
        {".cache/ccache", 1'000'000, true},
        {".ccache", 1'000'000, true},
        {".cache/bazel", 1'000'000, true},
        // Go keeps its modules read-only: advice, never a target of any rule.
        {"go/pkg/mod", 90'000'000, false},
    };
    for (const auto& c : cases) {
        LinuxHome home;
        const std::string folderPath = home.h + "/" + c.relative;
        const std::string path = folderPath + "/entry";
        auto result = resultWith({folder(folderPath, {node(path, c.size)})});
        const CleanupItem safe = CleanupRules::developerJunk(result, home.h);
        const CleanupItem review = CleanupRules::liveDerivedData(result, home.h);
        EXPECT_EQ(targetAt(safe, path), nullptr) << c.relative;
        EXPECT_TRUE(review.targets.empty()) << c.relative;
        const CleanupTarget* t = targetAt(safe, folderPath);
        EXPECT_EQ(t != nullptr, c.offered) << c.relative << " of " << c.size;
        if (t) {
            EXPECT_TRUE(t->detail && !t->detail->empty()) << c.relative;
            EXPECT_EQ(t->size, c.size);
        }
    }
}

TEST(LinuxDeveloperFolders, ACacheOfManySmallBucketsIsJudgedAsAWhole) {
    struct Case {
        std::string relative;
        int buckets;
        int64_t bucketSize;
        bool offered;
    };
    const Case cases[] = {
        // Go's build cache: 256 two-digit buckets, each well under the threshold.
        {".cache/go-build", 256, 999'999, true},
        {".cache/go-build", 256, 3'900, false}, // 998,400 bytes in all
        {".cache/ccache", 16, 62'500, true},    // exactly 1,000,000 in all
        {".cache/ccache", 16, 62'499, false},   // 999,984 in all
        {".ccache", 16, 900'000, true},
    };
    for (const auto& c : cases) {
        LinuxHome home;
        const std::string root = home.h + "/" + c.relative;
        std::vector<ScanNodePtr> buckets;
        for (int b = 0; b < c.buckets; ++b) {
            const char* hex = "0123456789abcdef";
            const std::string name{hex[(b / 16) % 16], hex[b % 16]};
            buckets.push_back(node(root + "/" + name, c.bucketSize));
        }
        auto result = resultWith({folder(root, std::move(buckets))});
        const int64_t whole = int64_t(c.buckets) * c.bucketSize;
        const CleanupItem item = CleanupRules::developerJunk(result, home.h);
        // One row for the whole cache, never one per bucket.
        ASSERT_EQ(item.targets.size(), c.offered ? 1u : 0u) << c.relative << " of " << whole;
        if (c.offered) {
            EXPECT_EQ(item.targets[0].path, root);
            EXPECT_EQ(item.targets[0].size, whole);
        }
    }
}

TEST(LinuxDeveloperFolders, SettingsInsideTheCacheStayAndTheRestIsOffered) {
    LinuxHome home;
    const std::string root = home.h + "/.ccache";
    // As the disk has it: the settings are a file, which the scan tree holds no node for.
    test::writeFile(root + "/ccache.conf", "max_size = 5G\n");
    std::vector<ScanNodePtr> children;
    for (const char* b : {"0", "1", "a", "f"}) {
        test::makeDirs(root + "/" + b);
        children.push_back(node(root + "/" + b, 400'000));
    }
    auto result = resultWith({folder(root, std::move(children))});
    const CleanupItem item = CleanupRules::developerJunk(result, home.h);
    std::vector<std::string> paths;
    for (const auto& t : item.targets) paths.push_back(t.path);
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{root + "/0", root + "/1", root + "/a", root + "/f"}));
    EXPECT_EQ(item.size(), 1'600'000);
}

TEST(LinuxDeveloperFolders, ToolsBinariesSettingsAndUsersOwnWorkAreNeverTargets) {
    LinuxHome home;
    const std::string h = home.h;
    const int64_t big = 90'000'000;
    auto result = resultWith({
        folder(h + "/.cargo", {node(h + "/.cargo/bin", big),
                               folder(h + "/.cargo/registry", {folder(h + "/.cargo/registry/cache", {node(h + "/.cargo/registry/cache/x", 2'000'000)}),
                                                               node(h + "/.cargo/registry/index", big)})}),
        folder(h + "/.rustup", {node(h + "/.rustup/toolchains", big)}),
        folder(h + "/.m2", {node(h + "/.m2/repository", big)}),
        folder(h + "/.android", {node(h + "/.android/avd", big)}),
        folder(h + "/.gradle", {node(h + "/.gradle/gradle.properties", big), folder(h + "/.gradle/caches", {node(h + "/.gradle/caches/x", 2'000'000)})}),
        folder(h + "/go", {node(h + "/go/bin", big), folder(h + "/go/pkg", {folder(h + "/go/pkg/mod", {node(h + "/go/pkg/mod/x", 2'000'000)})})}),
    });
    const auto items = everyRule(result, h);
    for (const char* never : {"/.cargo/bin", "/.cargo/registry/index", "/.rustup", "/.m2", "/.android",
                              "/.gradle/gradle.properties", "/go/bin"})
        EXPECT_EQ(targetsIn(items, h + never), std::vector<std::string>{}) << never;
    for (const char* offered : {"/.cargo/registry/cache", "/.gradle/caches"})
        EXPECT_EQ(targetsIn(items, h + offered).size(), 1u) << offered;
    // Go's modules are read-only on disk: advice, not a move.
    EXPECT_EQ(targetsIn(items, h + "/go/pkg/mod"), std::vector<std::string>{});
}

TEST(LinuxLogs, CrashFoldersAsSystemDiagnosticsAndTheLogsNever) {
    struct Case {
        std::string folder;
        int64_t size;
        bool target;
    };
    const Case cases[] = {
        {"/var/crash", 1'000'000, true},
        {"/var/crash", 999'999, false},
        {"/var/lib/systemd/coredump", 1'000'000, true},
        {"/var/lib/systemd/coredump", 999'999, false},
        {"/var/log", 500'000'000, false},
        {"/var/log/journal", 500'000'000, false},
    };
    for (const auto& c : cases) {
        LinuxHome home;
        const std::string path = home.system.path() + c.folder;
        auto result = resultWith({node(path, c.size)});
        const CleanupItem item = CleanupRules::logsAndDiagnostics(result, home.h);
        // Listed as refused: never a target, never in the item's size.
        EXPECT_EQ(targetAt(item, path), nullptr) << c.folder;
        EXPECT_EQ(item.size(), 0) << c.folder;
        const CleanupTarget* t = nullptr;
        for (const auto& r : item.refused)
            if (r.path == path) t = &r;
        ASSERT_EQ(t != nullptr, c.target) << c.folder << " of " << c.size;
        if (t) {
            EXPECT_EQ(t->name, tildeAbbreviated(path));
            EXPECT_EQ(t->detail, "needs administrator rights; Sorvel will report it as refused");
        }
    }
}

TEST(LinuxLeftovers, FlatpakAndSnapFoldersOfAppsInstalledNowhere) {
    struct Case {
        std::string folder; // below the home
        int64_t size;
        std::string installedAt;    // an installation folder holding the app, relative to the system root
        bool userInstalled = false; // in the user's own Flatpak installation
        bool target = false;
    };
    const Case cases[] = {
        {".var/app/org.gone.App", 5'000'000, "", false, true},
        {".var/app/org.gone.App", 4'999'999, "", false, false},
        {".var/app/org.kept.App", 50'000'000, "", true, false},
        {".var/app/org.kept.App", 50'000'000, "/var/lib/flatpak/app", false, false},
        {".var/app/org.kept.App", 50'000'000, "/snap", false, true}, // a snap of that name is no Flatpak app
        {".var/app/two.parts", 50'000'000, "", false, false},
        {"snap/gone-app", 5'000'000, "", false, true},
        {"snap/gone-app", 4'999'999, "", false, false},
        {"snap/kept", 50'000'000, "/snap", false, false},
        {"snap/kept", 50'000'000, "/var/lib/snapd/snap", false, false},
        {"snap/My Things", 50'000'000, "", false, false}, // no snap's name
        {"snap/Upper", 50'000'000, "", false, false},
    };
    for (const auto& c : cases) {
        LinuxHome home;
        const std::string path = home.h + "/" + c.folder;
        const std::string name = lastPathComponent(path);
        if (!c.installedAt.empty()) test::makeDirs(home.system.path() + c.installedAt + "/" + name);
        if (c.userInstalled) test::makeDirs(home.h + "/.local/share/flatpak/app/" + name);
        auto result = resultWith({folder(deletingLastPathComponent(path), {node(path, c.size)})});
        const CleanupItem item = CleanupRules::leftovers(result, home.h);
        const CleanupTarget* t = targetAt(item, path);
        EXPECT_EQ(t != nullptr, c.target) << c.folder << " of " << c.size << " installed at " << c.installedAt;
        EXPECT_FALSE(item.withheld) << c.folder;
        if (t) {
            EXPECT_EQ(t->name, name);
            EXPECT_TRUE(t->detail && !t->detail->empty());
        }
    }
}

TEST(LinuxLeftovers, AFlatpakAppsCacheCountsWithItsFolder) {
    LinuxHome home;
    const std::string app = home.h + "/.var/app/org.gone.App";
    // The folder measured without its cache, which the caches measure.
    auto result = resultWith({folder(home.h + "/.var/app", {node(app, 3'000'000)}), node(app + "/cache", 2'000'000)});
    const CleanupItem item = CleanupRules::leftovers(result, home.h);
    ASSERT_EQ(item.targets.size(), 1u);
    EXPECT_EQ(item.targets[0].path, app);
    EXPECT_EQ(item.targets[0].size, 5'000'000);
    // Measured with it: not counted twice.
    auto whole = resultWith({folder(home.h + "/.var/app", {folder(app, {node(app + "/cache", 2'000'000)})})});
    EXPECT_TRUE(CleanupRules::leftovers(whole, home.h).targets.empty());
}

TEST(LinuxLeftovers, SettingsAndDataFoldersAreNeverMatchedByName) {
    LinuxHome home;
    const std::string h = home.h;
    auto result = resultWith({folder(h + "/.config", {node(h + "/.config/org.gone.App", 90'000'000)}),
                              folder(h + "/.local/share", {node(h + "/.local/share/org.gone.App", 90'000'000)})});
    const auto items = everyRule(result, h);
    EXPECT_EQ(targetsIn(items, h + "/.config"), std::vector<std::string>{});
    EXPECT_EQ(targetsIn(items, h + "/.local/share"), std::vector<std::string>{});
}

TEST(LinuxLeftovers, AnUnreadableInstallationWithholdsEveryFolder) {
    struct Case {
        std::string unreadable; // the installation folder this user may not list
        bool inHome;
    };
    const Case cases[] = {
        {"/var/lib/flatpak/app", false},
        {"/snap", false},
        {"/var/lib/snapd/snap", false},
        {"/.local/share/flatpak/app", true},
    };
    for (const auto& c : cases) {
        LinuxHome home;
        const std::string folder = (c.inHome ? home.h : home.system.path()) + c.unreadable;
        test::makeDirs(folder + "/some.installed.App");
        ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
        const std::string flatpak = home.h + "/.var/app/org.gone.App", snap = home.h + "/snap/gone";
        auto result = resultWith({sorvel::test::node(home.h + "/.var/app", 6'000'000, {node(flatpak, 6'000'000)}),
                                  sorvel::test::node(home.h + "/snap", 7'000'000, {node(snap, 7'000'000)})});
        const int status = test::runAsUnprivileged([&] {
            const CleanupItem item = CleanupRules::leftovers(result, home.h);
            const InstalledApps apps = InstalledApps::scan();
            int wrong = 0;
            if (!item.withheld || !item.targets.empty()) wrong |= 1;
            if (item.detail.find("Some apps could not be read (" + tildeAbbreviated(folder) + ")") == std::string::npos)
                wrong |= 2;
            if (item.detail.find("2 folders") == std::string::npos) wrong |= 4;
            // The scan's own index says so too, for the reports' list of unread apps.
            if (std::find(apps.unreadApps.begin(), apps.unreadApps.end(), folder) == apps.unreadApps.end()) wrong |= 8;
            return wrong;
        });
        EXPECT_EQ(status, 0) << c.unreadable;
        // Readable again, each folder is judged on its own.
        ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
        const CleanupItem item = CleanupRules::leftovers(result, home.h);
        EXPECT_FALSE(item.withheld) << c.unreadable;
        EXPECT_EQ(item.targets.size(), 2u) << c.unreadable;
    }
}

TEST(LinuxLeftovers, AppsOfUnknownIdentityWithholdTheLinuxFoldersToo) {
    LinuxHome home;
    const std::string flatpak = home.h + "/.var/app/org.gone.App";
    auto result = resultWith({folder(home.h + "/.var/app", {node(flatpak, 6'000'000)})});
    result.installedApps.unreadApps = {home.h + "/Applications/Locked.app"};
    const CleanupItem item = CleanupRules::leftovers(result, home.h);
    EXPECT_TRUE(item.withheld);
    EXPECT_TRUE(item.targets.empty());
    EXPECT_NE(item.detail.find("1 folder"), std::string::npos) << item.detail;
}

TEST(LinuxRuleRows, SayWhereTheirItemsLiveInAHomeWithoutTheOtherSystemsFolders) {
    struct Case {
        std::string held; // the one folder the result holds, relative to the home ("/" for the system root)
        const char* rule;
        std::string label; // "~..." or, with a leading "/", below the system root
    };
    const Case cases[] = {
        {".cache", "user-caches", "~/.cache"},
        {".var/app", "user-caches", "~/.var/app"},
        {"Library/Caches", "user-caches", "~/Library/Caches"},
        {".cache", "browser-caches", "~/.cache"},
        {"/var/crash", "logs", "/var/crash"},
        {"Library/Logs", "logs", "~/Library/Logs"},
        {"snap", "leftovers", "~/snap"},
        {".var/app", "leftovers", "~/.var/app"},
        {"Library/Containers", "leftovers", "~/Library/Application Support"},
        {"elsewhere", "leftovers", "~/Library/Application Support"},
    };
    for (const auto& c : cases) {
        LinuxHome home;
        const std::string path = c.held[0] == '/' ? home.system.path() + c.held : home.h + "/" + c.held;
        auto result = resultWith({node(path, 9'000'000)});
        std::string label;
        for (const auto& item : everyRule(result, home.h))
            if (item.id == c.rule) label = item.locationLabel;
        const std::string expected = c.label[0] == '/' ? home.system.path() + c.label : c.label;
        EXPECT_EQ(label, expected) << c.rule << " with " << c.held;
    }
}
