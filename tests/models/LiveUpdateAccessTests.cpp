// Live updates of folders whose access changes after the scan, as an ordinary user (the
// whole process takes uid 65534 for the test when it runs as root): one that opens up is
// measured and followed from then on; one that closes is marked not readable, its parent
// read in part, its figure gone from the total without the rest dropping to zero.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "CoordinatorFixtures.h"
#include "engine/Reading.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// Every thread of the process acts as uid 65534 while it lives; root again after.
struct AsOrdinaryUser {
    bool active = false;
    explicit AsOrdinaryUser(const std::string& handedOver) {
        if (geteuid() != 0) return;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(handedOver))
            if (::lchown(entry.path().c_str(), 65534, 65534) != 0) return;
        if (::chown(handedOver.c_str(), 65534, 65534) != 0) return;
        active = ::setegid(65534) == 0 && ::seteuid(65534) == 0;
    }
    ~AsOrdinaryUser() {
        if (!active) return;
        if (::seteuid(0) != 0 || ::setegid(0) != 0) std::abort(); // the rest of the suite needs root back
    }
};

bool mode(const std::string& path, mode_t bits) { return ::chmod(path.c_str(), bits) == 0; }

ScanNodePtr at(const ScanCoordinator& c, const std::string& path) { return c.result().node(path); }

struct Step {
    std::function<bool(const std::string& app)> act;
    std::function<bool(const ScanCoordinator& c, const std::string& app)> shown; // waited for
};

struct Case {
    const char* name;
    std::function<bool(const std::string& app)> setUp; // besides one file in app itself
    std::vector<Step> steps;
};

} // namespace

TEST(LiveUpdateAccess, FoldersThatOpenAreFollowedAndFoldersThatCloseAreMarked) {
    const Case cases[] = {
        {"a closed folder opens, then is written in",
         [](const std::string& app) {
             writeFileOfSize(app + "/lock/old", 30000);
             return mode(app + "/lock", 0);
         },
         {{[](const std::string& app) { return mode(app + "/lock", 0755); },
           [](const ScanCoordinator& c, const std::string& app) {
               auto lock = at(c, app + "/lock");
               return lock && !lock->accessDenied && lock->fileCount == 1 && at(c, app)->unreadableFolders == 0;
           }},
          {[](const std::string& app) {
               writeFileOfSize(app + "/lock/new", 40000);
               return true;
           },
           [](const ScanCoordinator& c, const std::string& app) {
               auto lock = at(c, app + "/lock");
               return lock && lock->fileCount == 2 && at(c, app)->fileCount == 3;
           }}}},
        {"a readable folder closes",
         [](const std::string& app) {
             writeFileOfSize(app + "/sub/old", 30000);
             return true;
         },
         {{[](const std::string& app) { return mode(app + "/sub", 0); },
           [](const ScanCoordinator& c, const std::string& app) {
               auto sub = at(c, app + "/sub");
               auto parent = at(c, app);
               return sub && sub->accessDenied && parent->unreadableFolders == 1 && parent->fileCount == 1 &&
                      parent->size > 0 && readingOf(*parent) == Reading::partial;
           }}}},
        {"nested closed folders open one by one",
         [](const std::string& app) {
             writeFileOfSize(app + "/a/b/c/y", 30000);
             return mode(app + "/a/b", 0) && mode(app + "/a", 0);
         },
         {{[](const std::string& app) { return mode(app + "/a", 0755); },
           [](const ScanCoordinator& c, const std::string& app) {
               auto b = at(c, app + "/a/b");
               return b && b->accessDenied;
           }},
          {[](const std::string& app) { return mode(app + "/a/b", 0755); },
           [](const ScanCoordinator& c, const std::string& app) {
               auto b = at(c, app + "/a/b");
               return b && !b->accessDenied && b->fileCount == 1;
           }},
          {[](const std::string& app) {
               writeFileOfSize(app + "/a/b/c/z", 40000);
               return true;
           },
           [](const ScanCoordinator& c, const std::string& app) {
               auto cc = at(c, app + "/a/b/c");
               return cc && cc->fileCount == 2 && at(c, app)->unreadableFolders == 0;
           }}}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        CoordinatorHome home;
        const std::string app = home / "Library/Caches/com.example.app";
        writeFileOfSize(app + "/blob", 20000);
        makeDirs(home / ".config");
        AsOrdinaryUser user(home.path());
        ASSERT_TRUE(row.setUp(app));
        auto c = std::make_unique<ScanCoordinator>(ScanCoordinator::Services::standard());
        c->setLiveUpdatesEnabled(true);
        c->start();
        ASSERT_TRUE(waitUntil([&] { return c->phase() == ScanCoordinator::Phase::done; }, 60000));
        ASSERT_TRUE(waitUntil([&] { return c->isWatching(); }, 30000));
        for (size_t i = 0; i < row.steps.size(); ++i) {
            ASSERT_TRUE(row.steps[i].act(app)) << "step " << i;
            EXPECT_TRUE(waitUntil([&] { return row.steps[i].shown(*c, app); }, 30000)) << "step " << i;
        }
        c.reset();
        for (const char* p : {"lock", "sub", "a", "a/b"}) ::chmod((app + "/" + p).c_str(), 0755);
    }
}
