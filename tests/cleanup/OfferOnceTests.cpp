// Every place is offered once over all the rules: a folder inside another rule's target
// goes with it, and a folder two rules name stays with the more specific rule.
#include <gtest/gtest.h>

#include <algorithm>

#include "ResultBuilder.h"
#include "cleanup/CleanupFinder.h"
#include "cleanup/CleanupRules.h"
#include "platform/LinuxPlaces.h"
#include "platform/Path.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::test::node;
using sorvel::test::resultWith;

namespace {

CleanupItem itemWith(const std::string& id, std::vector<std::string> paths) {
    CleanupItem item;
    item.id = id;
    for (auto& path : paths) item.targets.push_back(CleanupRules::makeTarget(lastPathComponent(path), path, 1, {}));
    return item;
}

/// "rule: path" for every target left, in item order.
std::vector<std::string> offers(const std::vector<CleanupItem>& items) {
    std::vector<std::string> out;
    for (const auto& item : items)
        for (const auto& t : item.targets) out.push_back(item.id + ": " + t.path);
    return out;
}

} // namespace

TEST(OfferOnce, APlaceTwoRulesNameOrOneHoldsIsOfferedOnce) {
    struct Case {
        const char* name;
        std::vector<CleanupItem> items;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {"a named rule before the cache folder's children at large",
         {itemWith("user-caches", {"/h/.cache/x"}), itemWith("browser-caches", {"/h/.cache/x"})},
         {"browser-caches: /h/.cache/x"}},
        {"of two named rules, the earlier",
         {itemWith("developer", {"/h/.cache/x"}), itemWith("leftovers", {"/h/.cache/x"})},
         {"developer: /h/.cache/x"}},
        {"a folder inside another rule's target goes with it",
         {itemWith("user-caches", {"/h/.var/app/org.gone.App/cache"}),
          itemWith("leftovers", {"/h/.var/app/org.gone.App"})},
         {"leftovers: /h/.var/app/org.gone.App"}},
        {"inside a target of the same rule, deeper than one step",
         {itemWith("developer", {"/h/.npm/_cacache", "/h/.npm/_cacache/content-v2/sha512"})},
         {"developer: /h/.npm/_cacache"}},
        {"a written path with a trailing slash is the same place",
         {itemWith("user-caches", {"/h/.cache/x/"}), itemWith("browser-caches", {"/h/.cache/x"})},
         {"browser-caches: /h/.cache/x"}},
        {"a sibling whose name starts alike is another place",
         {itemWith("user-caches", {"/h/.cache/app", "/h/.cache/app-x"}), itemWith("developer", {"/h/.cache/app.d"})},
         {"user-caches: /h/.cache/app", "user-caches: /h/.cache/app-x", "developer: /h/.cache/app.d"}},
        {"places apart all stay",
         {itemWith("user-caches", {"/h/.cache/a"}), itemWith("logs", {"/h/Library/Logs/b"})},
         {"user-caches: /h/.cache/a", "logs: /h/Library/Logs/b"}},
    };
    for (const auto& c : cases) {
        auto items = c.items;
        CleanupFinder::offerEachPlaceOnce(items);
        EXPECT_EQ(offers(items), c.left) << c.name;
    }
}

TEST(OfferOnce, ARemovedFlatpakAppsCacheIsCountedOnlyInItsLeftover) {
    test::FakeHome home;
    const std::string h = home.path();
    const std::string app = h + "/.var/app/org.gone.Viewer";
    test::makeDirs(app + "/cache");
    const std::string kept = h + "/.var/app/org.kept.Editor";
    test::makeDirs(kept + "/cache");
    test::makeDirs(h + "/.local/share/flatpak/app/org.kept.Editor");
    // As the scan measures them: each app's cache apart from its folder.
    auto result = resultWith({node(h + "/.var/app", 9'000'000,
                                   {node(app, 3'000'000, {node(app + "/data", 3'000'000)}),
                                    node(kept, 6'000'000, {node(kept + "/data", 6'000'000)})}),
                              node(app + "/cache", 6'400'000), node(kept + "/cache", 7'000'000)});
    const auto items = CleanupFinder::recommendations(result);
    std::vector<std::string> all = offers(items);
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{"leftovers: " + app, "user-caches: " + kept + "/cache"}));
    // Each byte once: the leftover's 3 MB and its cache's 6.4 MB, and the kept app's cache.
    int64_t total = 0;
    for (const auto& item : items) total += item.size();
    EXPECT_EQ(total, 3'000'000 + 6'400'000 + 7'000'000);
}
