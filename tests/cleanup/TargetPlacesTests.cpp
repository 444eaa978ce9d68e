// A recommendation's place text names where its targets lie, never a folder the rule read
// and found nothing in.
#include <gtest/gtest.h>

#include <map>

#include "ResultBuilder.h"
#include "cleanup/CleanupFinder.h"
#include "cleanup/TargetPlaces.h"
#include "platform/Path.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::test::node;
using sorvel::test::resultWith;

TEST(TargetPlaces, EachTargetIsNamedByTheDeepestPlaceHoldingIt) {
    const std::string h = "/h";
    const std::vector<std::string> places{"/h/.cache", "/h/.cache/pip", "/h/.var/app", "/h/Library/Caches"};
    const struct {
        const char* name;
        std::vector<std::string> paths;
        std::string label;
    } rows[] = {
        {"none", {}, ""},
        {"inside one place", {"/h/.cache/newapp", "/h/.cache/other"}, "/h/.cache"},
        {"the place itself", {"/h/.cache/pip"}, "/h/.cache/pip"},
        {"the deeper of two places", {"/h/.cache/pip/wheels"}, "/h/.cache/pip"},
        {"two places, in the targets' order", {"/h/.var/app/org.a.B/cache", "/h/.cache/x"}, "/h/.var/app, /h/.cache"},
        {"more than two", {"/h/.cache/x", "/h/.var/app/y", "/h/Library/Caches/z", "/elsewhere/q"},
         "/h/.cache, /h/.var/app + 2 more"},
        {"no place holds it: its folder", {"/srv/data/big"}, "/srv/data"},
        {"a name that only starts like a place", {"/h/.cachedir/x"}, "/h/.cachedir"},
    };
    for (const auto& row : rows) EXPECT_EQ(TargetPlaces::label(row.paths, places), row.label) << row.name;
}

// On a home that holds the other system's folders beside the Linux ones, a row names the
// folder its targets are in, not the folder the rule reads first.
TEST(TargetPlaces, RowsNameTheFoldersTheirTargetsLieIn) {
    struct Case {
        const char* name;
        const char* rule;
        std::vector<std::pair<std::string, int64_t>> folders; // below the home: a folder and its size
        std::string label;
    };
    const Case cases[] = {
        {"a removed Flatpak app beside a support folder no app is named by",
         "leftovers",
         {{"Library/Application Support/Foo", 9'000'000}, {".var/app/org.gone.Notes", 9'000'000}},
         "~/.var/app"},
        {"a removed app's support folder", "leftovers", {{"Library/Application Support/com.gone.Notes", 9'000'000}},
         "~/Library/Application Support"},
        {"both", "leftovers",
         {{"Library/Application Support/com.gone.Notes", 9'000'000}, {".var/app/org.gone.Notes", 7'000'000}},
         "~/Library/Application Support, ~/.var/app"},
        {"a Linux app's cache beside the other cache folder", "user-caches",
         {{"Library/Caches/small", 1'000}, {".cache/newapp", 6'000'000}}, "~/.cache"},
        {"caches in both", "user-caches", {{"Library/Caches/big", 8'000'000}, {".cache/newapp", 6'000'000}},
         "~/Library/Caches, ~/.cache"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeHome home;
        const std::string h = home.path();
        // One root per parent folder, each child sized as given.
        std::map<std::string, std::vector<ScanNodePtr>> byParent;
        for (const auto& [relative, size] : c.folders) {
            const std::string path = h + "/" + relative;
            test::makeDirs(path);
            byParent[deletingLastPathComponent(path)].push_back(node(path, size));
        }
        std::vector<ScanNodePtr> roots;
        for (auto& [parent, children] : byParent) {
            int64_t total = 0;
            for (const auto& child : children) total += child->size;
            roots.push_back(node(parent, total, children));
        }
        std::string label = "<no item>";
        for (const auto& item : CleanupFinder::recommendations(resultWith(roots)))
            if (item.id == c.rule) label = item.locationLabel;
        EXPECT_EQ(label, c.label);
    }
}
