// The System Data categories measure the Linux places that hold their kind of data, each
// byte in one category, over fake homes and a fake system tree.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>

#include "engine/DisplayCategory.h"
#include "engine/MultiRootScan.h"
#include "engine/TreeMoves.h"
#include "engine/TreeUpdater.h"
#include "platform/LinuxPlaces.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// One file of a fake home ("~/...") or system ("/...") tree and the category that must count it
// ("" for none).
struct Placed {
    std::string path;
    size_t bytes;
    std::string category;
};

struct LinuxHome {
    test::FakeHome home;
    std::string h = home.path();
    std::string sys = home.systemRoot();

    std::string where(const std::string& path) const {
        return path.rfind("~/", 0) == 0 ? h + path.substr(1) : sys + path;
    }
    void place(const std::vector<Placed>& files) const {
        for (const auto& f : files) test::writeFileOfSize(where(f.path), f.bytes);
    }
};

// A used desktop home: caches, Flatpak and snap apps, mail, developer tools, settings; the
// system's logs, caches, crash folders and a swap file.
const std::vector<Placed>& desktop() {
    static const std::vector<Placed> files = {
        {"~/.cache/thumbnails/large/a.png", 30'000, "caches"},
        {"~/.cache/pip/http/wheel", 40'000, "developer"},
        {"~/.cache/obexd/photo.jpg", 5'000, "caches"},
        {"~/.var/app/org.gimp.GIMP/cache/tmp/blob", 50'000, "caches"},
        {"~/.var/app/org.gimp.GIMP/data/brushes/b", 60'000, "containers"},
        {"~/.var/app/org.gimp.GIMP/config/gimprc", 7'000, "containers"},
        {"~/snap/firefox/common/state", 8'000, "containers"},
        {"~/.local/share/app/db", 9'000, "appSupport"},
        {"~/.local/share/Trash/files/old.zip", 10'000, "trash"},
        {"~/.local/share/Trash/info/old.zip.trashinfo", 100, ""},
        {"~/.local/share/evolution/mail/inbox", 11'000, "mail"},
        {"~/.thunderbird/p.default/Mail/inbox", 12'000, "mail"},
        {"~/.npm/_cacache/content/c", 13'000, "developer"},
        {"~/.cargo/registry/cache/crate", 14'000, "developer"},
        {"~/.config/app/settings.ini", 15'000, "otherLibrary"},
        {"~/.local/state/app/history", 16'000, "otherLibrary"},
        {"~/Documents/letter.odt", 3'000, ""},
        {"/var/log/syslog", 17'000, "logs"},
        {"/var/log/journal/abc/system.journal", 18'000, "logs"},
        {"/var/crash/app.crash", 19'000, "logs"},
        {"/var/lib/systemd/coredump/core.app", 20'000, "logs"},
        {"/var/cache/apt/archives/p.deb", 21'000, "caches"},
        {"/swapfile", 22'000, "vmSwap"},
    };
    return files;
}

void listSwap(const LinuxHome& home, const std::string& text) { test::writeFile(home.sys + "/proc/swaps", text); }

const std::string kSwapHeader = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n";

std::map<std::string, int64_t> totals(const ScanResult& result) {
    std::map<std::string, int64_t> out;
    for (const auto& c : result.categories) out[c.id()] = c.total();
    return out;
}

} // namespace

// Each file lands in exactly the category its place belongs to, wherever the cache folder
// lies: a cache folder moved inside the data folder is still counted as caches only.
TEST(LinuxCategories, EachByteIsCountedInTheCategoryOfItsPlace) {
    struct Case {
        const char* name;
        std::optional<std::string> cacheHome;  // relative to the home
        std::optional<std::string> configHome; // relative to the home
    };
    const Case cases[] = {{"default folders", std::nullopt, std::nullopt},
                          {"cache folder inside the data folder", ".local/share/cache", std::nullopt},
                          // Nested only through a link: the data folder's walk meets it by its own path.
                          {"cache folder inside the data folder through a link", "to-data/cache", std::nullopt},
                          // Coinciding: the settings value is set aside, its default stands.
                          {"settings folder named as the cache folder", std::nullopt, ".cache"}};
    for (const auto& c : cases) {
        LinuxHome home;
        test::makeDirs(home.h + "/.local/share");
        ASSERT_EQ(::symlink((home.h + "/.local/share").c_str(), (home.h + "/to-data").c_str()), 0);
        test::ScopedEnv cacheHome("XDG_CACHE_HOME",
                                  c.cacheHome ? std::optional(home.h + "/" + *c.cacheHome) : std::nullopt);
        test::ScopedEnv configHome("XDG_CONFIG_HOME",
                                   c.configHome ? std::optional(home.h + "/" + *c.configHome) : std::nullopt);
        std::vector<Placed> files = desktop();
        if (c.cacheHome)
            for (auto& f : files)
                if (f.path.rfind("~/.cache/", 0) == 0) f.path = "~/" + *c.cacheHome + f.path.substr(8);
        home.place(files);
        listSwap(home, kSwapHeader + "/swapfile                               file\t\t2097148\t\t0\t\t-2\n"
                                     "/dev/sda3                               partition\t1000000\t\t0\t\t-3\n");

        std::map<std::string, int64_t> expected;
        for (const auto& f : files)
            if (!f.category.empty()) expected[f.category] += test::allocatedSize(home.where(f.path));
        ScanControl control;
        const ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::systemData);
        EXPECT_EQ(totals(result), expected) << c.name;
    }
}

// The swap files /proc/swaps lists are roots that are files: measured as such, each alone.
TEST(LinuxCategories, SwapFilesAreMeasuredAsFileRoots) {
    struct Case {
        const char* name;
        std::string swaps;              // the /proc/swaps text, "" for none
        std::vector<std::string> files; // made under the system root
        std::vector<std::string> roots; // the vmSwap roots walked, largest first
    };
    const Case cases[] = {
        {"one file", kSwapHeader + "/swapfile file 100 0 -2\n", {"/swapfile"}, {"/swapfile"}},
        {"a name with a blank", kSwapHeader + "/swap\\040file file 100 0 -2\n", {"/swap file"}, {"/swap file"}},
        {"partitions only", kSwapHeader + "/dev/sda3 partition 100 0 -2\n", {}, {}},
        {"listed but gone", kSwapHeader + "/gone file 100 0 -2\n", {}, {}},
        {"no table", "", {"/swapfile"}, {}},
    };
    for (const auto& c : cases) {
        LinuxHome home;
        if (!c.swaps.empty()) listSwap(home, c.swaps);
        for (const auto& file : c.files) test::writeFileOfSize(home.sys + file, 12'000);
        ScanControl control;
        const ScanResult result =
            MultiRootScan::scanSynchronously(control, ScanScope::systemData, std::set<std::string>{"vmSwap"});
        std::vector<std::string> walked, rows;
        if (const auto* swap = result.category("vmSwap")) {
            for (const auto& root : swap->roots) {
                walked.push_back(root->path.substr(home.sys.size()));
                EXPECT_TRUE(root->isFile) << c.name;
                EXPECT_TRUE(root->children.empty()) << c.name;
                EXPECT_EQ(root->size, test::allocatedSize(root->path)) << c.name;
                EXPECT_EQ(root->fileCount, 1) << c.name;
            }
            // The category page lists each swap file as a file of its own, never as a folder.
            for (const auto& row : swap->browsableRows()) {
                ASSERT_FALSE(row.isDirectory()) << c.name;
                rows.push_back(row.fileEntry().path.substr(home.sys.size()));
                EXPECT_EQ(row.size(), test::allocatedSize(row.fileEntry().path)) << c.name;
            }
        }
        EXPECT_EQ(walked, c.roots) << c.name;
        EXPECT_EQ(rows, c.roots) << c.name;
    }
}

// The system's cache folder is measured as far as this user can read it: a folder of it
// closed to the user leaves the category read in part, never empty or absent.
TEST(LinuxCategories, TheSystemCacheIsReadInPartNeverZero) {
    LinuxHome home;
    test::writeFileOfSize(home.sys + "/var/cache/fontconfig/a.cache", 16'000);
    test::writeFileOfSize(home.sys + "/var/cache/ldconfig/aux-cache", 16'000);
    ASSERT_EQ(chmod((home.sys + "/var/cache/ldconfig").c_str(), 0700), 0);
    const std::string root = home.sys + "/var/cache";
    const int status = test::runAsUnprivileged([&] {
        ScanControl control;
        const auto result =
            MultiRootScan::scanSynchronously(control, ScanScope::systemData, std::set<std::string>{"caches"});
        const auto* caches = result.category("caches");
        if (!caches) return 1;
        if (!caches->partlyUnreadable()) return 2;
        for (const auto& node : caches->roots)
            if (node->path == root) return node->size >= 16'000 && node->unreadableFolders == 1 ? 0 : 3;
        return 4;
    });
    EXPECT_EQ(status, 0);
}

// A path inside a place one category measures within another's root is walked and updated
// as the inner category's: the Trash keeps every file, pip's cache is the developer's.
TEST(LinuxCategories, ANestedPlaceIsWalkedAndUpdatedAsItsOwnCategory) {
    LinuxHome home;
    home.place(desktop());
    struct Case {
        std::string path;
        std::string category;
    };
    const Case cases[] = {
        {home.h + "/.cache/pip/http", "developer"},
        {home.h + "/.cache/thumbnails", "caches"},
        {home.h + "/.local/share/Trash/files/old.zip", "trash"},
        {home.h + "/.local/share/app", "appSupport"},
        {home.h + "/.local/share/evolution/mail", "mail"},
        {home.h + "/.var/app/org.gimp.GIMP/cache/tmp", "caches"},
        {home.h + "/.var/app/org.gimp.GIMP/data", "containers"},
    };
    ScanControl control;
    const ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::systemData);
    for (const auto& c : cases) {
        const auto* category = result.category(c.category);
        ASSERT_NE(category, nullptr) << c.path;
        const auto options = MultiRootScan::walkOptions(c.path, ScanScope::systemData);
        EXPECT_EQ(options.excludedPaths, category->category.excludedPaths) << c.path;
        const auto location = TreeUpdater::locate(c.path, result);
        ASSERT_TRUE(location.has_value()) << c.path;
        EXPECT_EQ(result.categories[location->categoryIndex].id(), c.category) << c.path;
    }
    const auto trash = MultiRootScan::walkOptions(home.h + "/.local/share/Trash/files/old.zip", ScanScope::systemData);
    EXPECT_EQ(trash.everyFileFolder, home.h + "/.local/share/Trash/files");
}

// The roots of each category: the library places first, then the Linux ones, the data
// folder less its Trash and mail, the Flatpak apps less their caches.
TEST(LinuxCategories, RootsAndCarvedOutPlacesPerCategory) {
    LinuxHome home;
    const std::string h = home.h, sys = home.sys;
    home.place(desktop());
    listSwap(home, kSwapHeader + "/swapfile file 100 0 -2\n");
    struct Case {
        StorageCategory category;
        std::vector<std::string> linuxRoots; // after the library ones
        std::vector<std::string> excludedBeyondGlobal;
    };
    const Case cases[] = {
        {StorageCategory::caches,
         {h + "/.cache", h + "/.var/app/org.gimp.GIMP/cache", sys + "/var/cache"},
         {h + "/.cache/pip"}},
        {StorageCategory::appSupport,
         {h + "/.local/share"},
         {h + "/.local/share/Trash", h + "/.local/share/Trash/files", h + "/.local/share/evolution"}},
        {StorageCategory::containers, {h + "/.var/app", h + "/snap"}, {h + "/.var/app/org.gimp.GIMP/cache"}},
        {StorageCategory::developer, {h + "/.cache/pip", h + "/.npm/_cacache", h + "/.cargo/registry/cache"}, {}},
        {StorageCategory::mail, {h + "/.thunderbird", h + "/.local/share/evolution"}, {}},
        {StorageCategory::logs, {sys + "/var/log", sys + "/var/crash", sys + "/var/lib/systemd/coredump"}, {}},
        {StorageCategory::vmSwap, {sys + "/swapfile"}, {}},
        {StorageCategory::trash, {}, {}},
        {StorageCategory::otherLibrary, {h + "/.config", h + "/.local/state"}, {}},
    };
    const auto categories = DisplayCategory::categories(ScanScope::systemData);
    for (const auto& c : cases) {
        const auto roots = StorageCategories::roots(c.category);
        const std::vector<std::string> tail(
            roots.end() - static_cast<std::ptrdiff_t>(std::min(roots.size(), c.linuxRoots.size())), roots.end());
        EXPECT_EQ(tail, c.linuxRoots) << rawValue(c.category);
        std::set<std::string> expected = StorageCategories::globallyExcludedPaths();
        if (c.category == StorageCategory::otherLibrary)
            for (const char* r : {"Caches", "Application Support", "Containers", "Group Containers", "Developer",
                                  "Mail", "Messages", "Logs"})
                expected.insert(h + "/Library/" + r);
        expected.insert(c.excludedBeyondGlobal.begin(), c.excludedBeyondGlobal.end());
        EXPECT_EQ(StorageCategories::excludedPaths(c.category), expected) << rawValue(c.category);
        for (const auto& d : categories)
            if (d.storage == c.category) {
                EXPECT_EQ(d.roots, roots) << rawValue(c.category);
                for (const auto& path : expected) EXPECT_TRUE(d.excludedPaths.count(path)) << path;
            }
    }
}

// An item moved into the Trash inside the data folder is counted in the Trash, never in
// the data folder that holds it.
TEST(LinuxCategories, AMoveIntoTheTrashLandsInTheTrashCategory) {
    LinuxHome home;
    home.place(desktop());
    ScanControl control;
    ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::systemData);
    const auto before = totals(result);
    const std::string from = home.h + "/.cache/thumbnails", to = home.h + "/.local/share/Trash/files/thumbnails";
    const int64_t size = result.node(from)->size;
    ASSERT_GT(size, 0);
    ASSERT_TRUE(TreeMoves::apply({{from, to, size, true, nullptr}}, result));
    auto after = totals(result);
    EXPECT_EQ(after["trash"], before.at("trash") + size);
    EXPECT_EQ(after["caches"], before.at("caches") - size);
    EXPECT_EQ(after["appSupport"], before.at("appSupport"));
}
