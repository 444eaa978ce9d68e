// Putting back what a run took, under the folders that run was allowed to touch, and
// only there: never through a destination folder swapped for a link.
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/FileDescriptor.h"
#include "platform/Trash.h"
#include "removal/CleanupExecutor.h"
#include "removal/ManualRun.h"
#include "removal/RestoreExecutor.h"
#include "removal/SweepRunner.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"
#include "RunHome.h"

using namespace sorvel;
namespace fs = std::filesystem;
using Refusal = RestoreGuard::Refusal;
using GuardRefusal = CleanupGuard::Refusal;

namespace {

using Home = test::RunHome;

// Moves the paths under the policy the way the screens do and records the run.
SweepRun removed(const std::vector<std::string>& paths, const CleanupPolicy& policy,
                 std::optional<std::vector<std::string>> roots) {
    std::vector<CleanupExecutor::PathSize> items;
    for (const auto& path : paths) items.push_back({path, 0});
    const auto outcomes = CleanupExecutor::run(items, CleanupExecutor::Mode::moveToTrash, policy, std::nullopt);
    for (const auto& outcome : outcomes) EXPECT_TRUE(outcome.moved()) << outcome.path;
    SweepRun run = ManualRun::make(outcomes, "test", std::move(roots));
    SweepHistory::store(run);
    return SweepHistory::load().front();
}

} // namespace

TEST(RestoreRunPolicy, ItemsGoBackWithinTheRootsTheirRunWasAllowed) {
    struct Case {
        const char* what;
        std::function<SweepRun(const std::string& h)> run;
    };
    const std::vector<Case> cases = {
        {"uninstall",
         [](const std::string& h) {
             test::writeFile(h + "/Applications/Orchard.app/Contents/Info.plist", "app");
             test::writeFile(h + "/Library/Preferences/com.example.orchard.plist", "prefs");
             const auto policy = CleanupPolicy::forUninstalling(h + "/Applications/Orchard.app");
             return removed({h + "/Applications/Orchard.app", h + "/Library/Preferences/com.example.orchard.plist"},
                            policy, policy.allowedRoots);
         }},
        {"duplicates",
         [](const std::string& h) {
             test::writeFile(h + "/Downloads/shots/copy.png", "png");
             const auto policy = CleanupPolicy::standard().allowing({h + "/Downloads/shots"});
             return removed({h + "/Downloads/shots/copy.png"}, policy, policy.allowedRoots);
         }},
        {"sweep of an own folder",
         [](const std::string& h) {
             test::writeFile(h + "/Downloads/Installers/old/setup.bin", "setup");
             SweepSchedule schedule;
             schedule.rules = SweepSchedule::RuleSelection::only({});
             schedule.action = SweepSchedule::Action::clean;
             schedule.folders = {"~/Downloads/Installers"};
             const auto outcome = SweepRunner::run(schedule, SweepRun::Trigger::scheduled, CloudStatus{});
             EXPECT_EQ(outcome.receipt.movedCount, 1);
             return SweepHistory::load().front();
         }},
    };
    for (const auto& c : cases) {
        Home home;
        const SweepRun run = c.run(home.h);
        ASSERT_FALSE(run.moved.empty()) << c.what;
        ASSERT_TRUE(run.allowedRoots) << c.what;

        // The standard policy alone does not reach these folders...
        for (const auto& item : run.moved)
            EXPECT_EQ(RestoreGuard::check(item, CleanupPolicy::standard()),
                      Refusal::destinationNotAllowed(GuardRefusal::outsideAllowedRoots()))
                << c.what << " " << item.originalPath;
        // ...the run's own roots do, and everything comes back.
        const auto outcomes = RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run));
        for (const auto& outcome : outcomes) {
            EXPECT_TRUE(outcome.restored()) << c.what << " " << outcome.item.originalPath << " "
                                            << (outcome.refusal() ? outcome.refusal()->description() : "")
                                            << (outcome.failure() ? *outcome.failure() : "");
            EXPECT_TRUE(test::exists(outcome.item.originalPath)) << c.what;
            EXPECT_FALSE(test::exists(outcome.item.trashPath)) << c.what;
        }
    }
}

TEST(RestoreRunPolicy, ProtectedPlacesStayRefusedWhateverTheRunAllowed) {
    Home home;
    struct Case {
        std::string relative;
        std::vector<std::string> roots;
        Refusal refusal;
    };
    const std::vector<Case> cases = {
        // A run that was (wrongly) allowed the whole home still cannot write into Pictures.
        {"Pictures/2024/beach.jpg", {home.h}, Refusal::destinationNotAllowed(GuardRefusal::protectedPath(home.h + "/Pictures"))},
        {"Library/Mail/V10/box", {home.h + "/Library"}, Refusal::destinationNotAllowed(GuardRefusal::protectedPath(home.h + "/Library/Mail"))},
        // "/" admits nothing, as in the cleanup guard.
        {"Documents/notes.txt", {"/"}, Refusal::destinationNotAllowed(GuardRefusal::outsideAllowedRoots())},
        // A run recorded before its roots were kept: the standard policy.
        {"Downloads/a.zip", {}, Refusal::destinationNotAllowed(GuardRefusal::outsideAllowedRoots())},
    };
    for (const auto& c : cases) {
        const std::string original = home.h + "/" + c.relative;
        test::writeFile(original, "mine");
        const auto moved = test::moveToTrash(original);
        ASSERT_TRUE(moved.moved()) << moved.error;
        SweepRun run;
        run.moved = {{original, *moved.trashPath, 4}};
        if (!c.roots.empty()) run.allowedRoots = c.roots;
        EXPECT_EQ(RestoreGuard::check(run.moved[0], RestoreExecutor::policyFor(run)), c.refusal) << c.relative;
        RestoreExecutor::run(run.moved, RestoreExecutor::policyFor(run));
        EXPECT_FALSE(test::exists(original)) << c.relative;
        EXPECT_EQ(test::readFile(*moved.trashPath), "mine") << c.relative;
    }
}

TEST(RestoreRunPolicy, OlderRunsWithoutRootsStillReadAndBadRootsDoNot) {
    SweepRun run;
    nlohmann::json old = run.toJSON();
    EXPECT_FALSE(old.contains("allowedRoots"));
    ASSERT_TRUE(SweepRun::fromJSON(old));
    EXPECT_EQ(SweepRun::fromJSON(old)->allowedRoots, std::nullopt);
    for (const auto& bad : {nlohmann::json("/home/u"), nlohmann::json::array({1, 2})}) {
        old["allowedRoots"] = bad;
        EXPECT_EQ(SweepRun::fromJSON(old), std::nullopt) << bad.dump();
    }
}

TEST(RestoreRace, ADestinationFolderFlippingToALinkNeverLeadsOutside) {
    Home home;
    test::TempDir outside;
    const std::string caches = home.h + "/Library/Caches";
    const std::string app = caches + "/app";
    test::makeDirs(app);
    ASSERT_EQ(::symlink(outside.path().c_str(), (caches + "/app-link").c_str()), 0);
    // The real folder keeps its identity wherever its name goes.
    FileDescriptor real(::open(app.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(real.valid());

    test::writeFile(app + "/item", "cache");
    auto first = test::moveToTrash(app + "/item");
    ASSERT_TRUE(first.moved()) << first.error;
    MovedItem item{app + "/item", *first.trashPath, 5};

    std::atomic<bool> stop{false};
    FileDescriptor cachesFd(::open(caches.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::thread flipper([&] {
        // Swaps the folder and the link atomically, so "app" is always one or the other.
        for (int i = 0; i < 2'000'000 && !stop.load(); ++i)
            ::renameat2(cachesFd.get(), "app", cachesFd.get(), "app-link", RENAME_EXCHANGE);
    });

    int restored = 0;
    int landedOutside = 0;
    for (int i = 0; i < 2000; ++i) {
        const auto outcomes = RestoreExecutor::run({item}, CleanupPolicy::standard());
        if (!fs::is_empty(outside.path())) {
            ++landedOutside;
            break;
        }
        if (!outcomes[0].restored()) continue;
        ++restored;
        // Back into the Trash from wherever the real folder is now.
        const auto again = Trash::moveEntry(real.get(), app, "item");
        ASSERT_TRUE(again.moved()) << again.error;
        item.trashPath = *again.trashPath;
    }
    stop = true;
    flipper.join();
    EXPECT_EQ(landedOutside, 0);
    EXPECT_TRUE(fs::is_empty(outside.path()));
    EXPECT_GT(restored, 0);
}
