// A run's guard keeps where the protected places lie from one item to the next: whatever
// changes that between two items (a mount made or removed, a protected folder replaced)
// must decide the next item as a guard starting afresh would. Real mounts are made in the
// test's own mount namespace, of the test's own folders only; judging moves nothing.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>

#include "platform/Trash.h"
#include "removal/CleanupExecutor.h"
#include "removal/CleanupGuard.h"
#include "removal/GuardSession.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Refusal = CleanupGuard::Refusal;

namespace {

struct Home {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    test::ScopedEnv data{"XDG_DATA_HOME", std::nullopt};
    std::string h = resolvingExistingPart(home.path()), caches = h + "/Library/Caches";
    Home() {
        test::writeFile(h + "/Pictures/album/photo.jpg", "only copy");
        test::writeFile(caches + "/warm/a.bin", "cache");
        test::writeFile(caches + "/x/album/photo.jpg", "a cache that looks like a photo");
        test::writeFile(caches + "/x/t/files/old.bin", "cache");
        test::writeFile(caches + "/b/inner/cache.bin", "cache");
        test::makeDirs(h + "/.local/share/Trash/files");
    }
    CleanupPolicy policy() const { return CleanupPolicy::standard().allowing({caches}); }
};

// The session's verdict on `item` after `change`, the first item judged before it; it must
// equal a fresh guard's and the one expected.
std::string verdictAfter(const Home& t, const std::function<bool(const Home&)>& change, const std::string& item,
                         const std::optional<Refusal>& expected) {
    CleanupGuard::Session session(t.policy(), std::nullopt);
    if (session.judge(t.caches + "/warm/a.bin", 0).refusal) return "the first item was refused";
    if (!change(t)) return "skip";
    const auto kept = session.judge(item, 0).refusal;
    const auto fresh = CleanupGuard::check(item, 0, t.policy(), std::nullopt);
    if (kept != fresh) return "differs from a fresh guard: " + (kept ? kept->description() : "accepted");
    if (kept != expected) return kept ? kept->description() : "accepted";
    return "ok";
}

bool replaceByLink(const std::string& place, const std::string& target) {
    std::error_code ec;
    std::filesystem::rename(place, place + ".old", ec);
    if (ec && ec != std::errc::no_such_file_or_directory) return false;
    return ::symlink(target.c_str(), place.c_str()) == 0;
}

} // namespace

TEST(GuardSession, AProtectedFolderReplacedMidRunDecidesTheNextItem) {
    using Change = std::function<bool(const Home&)>;
    struct Row {
        const char* what;
        Change change;
        std::string item; // below the caches
        std::function<std::optional<Refusal>(const Home&)> expected;
    };
    const Row rows[] = {
        {"the pictures replaced by a link to a cache folder",
         [](const Home& t) { return replaceByLink(t.h + "/Pictures", t.caches + "/x/album"); }, "/x/album/photo.jpg",
         [](const Home& t) { return Refusal::protectedPath(t.h + "/Pictures"); }},
        {"a denied folder that did not exist made a link to a cache folder",
         [](const Home& t) { return replaceByLink(t.h + "/Library/Mail", t.caches + "/x/album"); }, "/x/album/photo.jpg",
         [](const Home& t) { return Refusal::protectedPath(t.h + "/Library/Mail"); }},
        {"the Trash replaced by a link to a cache folder",
         [](const Home& t) { return replaceByLink(t.h + "/.local/share/Trash", t.caches + "/x/t"); },
         "/x/t/files/old.bin", [](const Home&) { return Refusal::insideTrash(); }},
        {"the home's data folder, above the Trash, replaced by a link",
         [](const Home& t) {
             test::makeDirs(t.caches + "/x/share");
             std::filesystem::rename(t.caches + "/x/t", t.caches + "/x/share/Trash");
             return replaceByLink(t.h + "/.local/share", t.caches + "/x/share");
         },
         "/x/share/Trash/files/old.bin", [](const Home&) { return Refusal::insideTrash(); }},
        {"the pictures moved into the caches and a new one made",
         [](const Home& t) {
             std::filesystem::rename(t.h + "/Pictures", t.caches + "/x/moved");
             test::makeDirs(t.h + "/Pictures");
             return true;
         },
         "/x/moved/album/photo.jpg", [](const Home&) { return std::nullopt; }},
    };
    for (const auto& row : rows) {
        Home t;
        EXPECT_EQ(verdictAfter(t, row.change, t.caches + row.item, row.expected(t)), "ok") << row.what;
    }
}

TEST(GuardSession, AMountMadeOrRemovedMidRunDecidesTheNextItem) {
    using Change = std::function<bool(const Home&)>;
    struct Row {
        const char* what;
        Change before; // in the namespace, before the run
        Change change;  // between the two items
        std::string item;
        std::function<std::optional<Refusal>(const Home&)> expected;
    };
    const auto none = [](const Home&) { return true; };
    const auto tmpfsAt = [](const std::string& point) {
        return ::mount("speed", point.c_str(), "tmpfs", 0, "size=64k") == 0;
    };
    const Row rows[] = {
        {"a disk mounted inside the next item", none,
         [&](const Home& t) { return tmpfsAt(t.caches + "/b/inner"); }, "/b",
         [](const Home& t) { return Refusal::protectedPath(t.caches + "/b/inner"); }},
        {"the pictures bound over the next item's folder", none,
         [](const Home& t) {
             return ::mount((t.h + "/Pictures").c_str(), (t.caches + "/x").c_str(), nullptr, MS_BIND, nullptr) == 0;
         },
         "/x/album", [](const Home& t) { return Refusal::protectedPath(t.h + "/Pictures"); }},
        {"a disk inside the next item unmounted",
         [&](const Home& t) { return tmpfsAt(t.caches + "/b/inner"); },
         [](const Home& t) { return ::umount2((t.caches + "/b/inner").c_str(), MNT_DETACH) == 0; }, "/b",
         [](const Home&) { return std::nullopt; }},
    };
    for (const auto& row : rows) {
        Home t;
        std::string verdict = "skip";
        const int status = test::inMountNamespace([&] {
            if (!row.before(t)) return test::kSkipped;
            verdict = verdictAfter(t, row.change, t.caches + row.item, row.expected(t));
            if (verdict == "skip") return test::kSkipped;
            if (verdict != "ok") std::fprintf(stderr, "%s: %s\n", row.what, verdict.c_str());
            return verdict == "ok" ? 0 : 1;
        });
        if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
        EXPECT_EQ(status, 0) << row.what;
    }
}

// Through a whole run: a disk mounted inside the second folder after the first moved is
// seen when that folder is judged, so it is never renamed into the Trash at all.
TEST(GuardSession, ARunJudgesTheNextItemAgainstAMountMadeAfterTheFirstMove) {
    Home t;
    test::writeFile(t.caches + "/second/inner/cache.bin", "cache"); // after warm: equal sizes go shortest first
    const int status = test::inMountNamespace([&] {
        bool mounted = false;
        int renames = 0;
        Trash::setPauseHook([&](Trash::Pause at) { renames += at == Trash::Pause::beforeRenameIn; });
        const auto outcomes = CleanupExecutor::run(
            {{t.caches + "/warm", 0}, {t.caches + "/second", 0}}, CleanupExecutor::Mode::moveToTrash, t.policy(),
            std::nullopt, [&](int done, int) {
                if (done == 1)
                    mounted = ::mount("speed", (t.caches + "/second/inner").c_str(), "tmpfs", 0, "size=64k") == 0;
            });
        Trash::setPauseHook(nullptr);
        if (!mounted) return test::kSkipped;
        const bool ok = outcomes.size() == 2 && outcomes[0].moved() && outcomes[1].refusal() &&
                        *outcomes[1].refusal() == Refusal::protectedPath(t.caches + "/second/inner") && renames == 1 &&
                        ::umount2((t.caches + "/second/inner").c_str(), MNT_DETACH) == 0 &&
                        test::exists(t.caches + "/second/inner/cache.bin");
        if (!ok) std::fprintf(stderr, "renames %d, second: %s\n", renames,
                              outcomes.size() == 2 && outcomes[1].refusal() ? outcomes[1].refusal()->description().c_str() : "not refused");
        return ok ? 0 : 1;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0);
}
