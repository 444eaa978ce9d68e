// Belt and braces: whatever a rule's places turn out to hold, no rule offers the home, a
// user folder or a folder holding either, by what they are (links, the desktop's own
// names for its folders), not by their names.
#include <gtest/gtest.h>

#include <unistd.h>

#include "cleanup/CleanupFinder.h"
#include "ResultBuilder.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(UsersOwnFolders, NoRuleOffersTheHomeAUserFolderOrAFolderHoldingOne) {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    const std::string h = home.path();
    test::makeDirs(h + "/Documents");
    test::makeDirs(h + "/.cache/stuff/Notizen");
    test::makeDirs(h + "/.cache/app");
    test::writeFile(h + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/.cache/stuff/Notizen\"\n");
    ASSERT_EQ(::symlink((h + "/Documents").c_str(), (h + "/.cache/to-documents").c_str()), 0);
    struct Row {
        const char* name;
        std::string path;
        bool offered;
    };
    const Row rows[] = {
        {"a user folder", h + "/Documents", false},
        {"the home", h, false},
        {"a folder holding the home", deletingLastPathComponent(h), false},
        {"a link to a user folder", h + "/.cache/to-documents", false},
        {"a folder holding the folder the desktop names for documents", h + "/.cache/stuff", false},
        {"that folder itself", h + "/.cache/stuff/Notizen", false},
        {"an app's cache", h + "/.cache/app", true},
    };
    for (const auto& row : rows) {
        // The user-cache rule reads the children of the cache folder's node, whatever they are.
        const ScanResult result = test::resultWith({test::node(h + "/.cache", 6'000'000, {test::node(row.path, 6'000'000)})});
        bool offered = false;
        for (const auto& item : CleanupFinder::recommendations(result))
            for (const auto& target : item.targets) offered = offered || target.path == row.path;
        EXPECT_EQ(offered, row.offered) << row.name;
    }
}
