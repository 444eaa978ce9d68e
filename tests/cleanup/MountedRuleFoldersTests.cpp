// A rule's folder that is a mount point or holds one shows another file system's files: it
// is not offered, nor are its items. Real mounts, each row in a namespace of its own.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>

#include "cleanup/CleanupFinder.h"
#include "engine/MultiRootScan.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// A Linux home with a rule's worth in each kind of rule folder, and documents beside it.
struct RuleHome {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::string h = home.path();
    RuleHome() {
        for (const char* file : {"Documents/Thesis/letter.odt", ".cache/bazel/outputs/x", ".cache/pip/http/wheel",
                                 ".cache/thumbnails/large.png", ".var/app/org.mozilla.firefox/cache/blob",
                                 ".var/app/org.removed.App/data/db", "snap/gone/common/state"})
            test::writeFileOfSize(h + "/" + file, 6'000'000);
    }
};

bool bindAt(const std::string& from, const std::string& to) {
    test::makeDirs(to);
    return ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0;
}

// Every target path the rules offer over a fresh scan.
std::vector<std::string> offered() {
    ScanControl control;
    const ScanResult result = MultiRootScan::scanSynchronously(control, ScanScope::systemData);
    std::vector<std::string> paths;
    for (const auto& item : CleanupFinder::recommendations(result))
        for (const auto& target : item.targets) paths.push_back(target.path);
    return paths;
}

} // namespace

TEST(MountedRuleFolders, AFolderThatIsOrHoldsAMountIsNotOfferedNorItsItems) {
    struct Row {
        const char* name;
        std::string mountedAt; // relative to the home; the documents are bound there
        std::string never;     // relative to the home: nothing at or below it is offered
    };
    const Row rows[] = {
        {"a developer folder bound over", ".cache/bazel", ".cache/bazel"},
        {"a developer folder holding a mount", ".cache/pip/docs", ".cache/pip"},
        {"a cache child holding a mount", ".cache/thumbnails/docs", ".cache/thumbnails"},
        {"a Flatpak browser's cache", ".var/app/org.mozilla.firefox/cache/docs", ".var/app/org.mozilla.firefox"},
        {"a removed Flatpak app's folder", ".var/app/org.removed.App/data/docs", ".var/app/org.removed.App"},
        {"a removed snap's folder", "snap/gone/common/docs", "snap/gone"},
    };
    int ran = 0;
    for (const auto& row : rows) {
        RuleHome home;
        // Without the mount the rule offers the folder or its items: the row tests something.
        // Looked at in a child too: this process stays without threads of its own, so no
        // fork below copies a lock another thread held.
        const int without = test::runInChild([&] {
            const auto before = offered();
            return std::any_of(before.begin(), before.end(),
                               [&](const std::string& p) { return p.rfind(home.h + "/" + row.never, 0) == 0; })
                       ? 0
                       : 1;
        });
        EXPECT_EQ(without, 0) << row.name << ": not offered even without the mount";
        const int status = test::inMountNamespace([&] {
            if (!bindAt(home.h + "/Documents", home.h + "/" + row.mountedAt)) return test::kSkipped;
            int wrong = 0;
            for (const auto& path : offered())
                if (path.rfind(home.h + "/" + row.never, 0) == 0 || path.find("letter") != std::string::npos) {
                    std::fprintf(stderr, "%s: offered %s\n", row.name, path.c_str());
                    ++wrong;
                }
            return wrong;
        });
        if (status == test::kSkipped) continue;
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
        EXPECT_TRUE(test::exists(home.h + "/Documents/Thesis/letter.odt"));
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
}
