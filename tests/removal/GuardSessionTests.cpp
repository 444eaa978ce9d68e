// Whatever moves a protected place between two items of a run decides the next as a fresh guard would.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "MountRig.h"
#include "platform/Trash.h"
#include "removal/GuardSession.h"

using namespace sorvel;
using Refusal = CleanupGuard::Refusal;
namespace fs = std::filesystem;

namespace {

struct Home {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt}, data{"XDG_DATA_HOME", std::nullopt};
    std::string h = resolvingExistingPart(home.path()), caches = h + "/Library/Caches", pics = h + "/Pictures";
    Home() {
        test::writeFile(pics + "/album/photo.jpg", "only copy");
        for (const char* f :
             {"/warm/a.bin", "/x/p/photo.jpg", "/x/t/files/old.bin", "/x/s/Trash/files/old.bin", "/b/inner/cache.bin"})
            test::writeFile(caches + f, "cache");
        test::makeDirs(h + "/.local/share/Trash/files");
    }
    CleanupPolicy policy() const { return CleanupPolicy::standard().allowing({caches}); }
};

using Change = std::function<bool(const Home&)>;

// The place below the home made a link to the target below the caches, what stood there set aside.
Change linked(const std::string& place, const std::string& target) {
    return [=](const Home& t) {
        std::error_code ec;
        fs::rename(t.h + place, t.h + place + ".old", ec);
        return (!ec || ec == std::errc::no_such_file_or_directory) &&
               ::symlink((t.caches + target).c_str(), (t.h + place).c_str()) == 0;
    };
}

struct Row {
    const char* what;
    Change change;             // between the two items
    std::string item, refused; // below the caches; "" accepted, "Trash", or a place below the home
    Change mounts = nullptr;   // set for rows run in a mount namespace: what is done there before the run
};

// "ok" when the session's verdict on the row's item after its change is a fresh guard's and the one expected.
std::string verdictAfter(const Home& t, const Row& row) {
    if (row.mounts && !row.mounts(t)) return "skip";
    CleanupGuard::Session session(t.policy(), std::nullopt);
    if (session.judge(t.caches + "/warm/a.bin", 0).refusal) return "the first item was refused";
    if (!row.change(t)) return "skip";
    const auto kept = session.judge(t.caches + row.item, 0).refusal;
    const std::optional<Refusal> expected = row.refused.empty()      ? std::nullopt
                                            : row.refused == "Trash" ? std::optional(Refusal::insideTrash())
                                                                     : Refusal::protectedPath(t.h + row.refused);
    const std::string said = kept ? kept->description() : "accepted";
    if (kept != CleanupGuard::check(t.caches + row.item, 0, t.policy(), std::nullopt)) return "not as fresh: " + said;
    return kept == expected ? "ok" : said;
}

} // namespace

TEST(GuardSession, WhatChangesBetweenTwoItemsDecidesTheNext) {
    const Change none = [](auto&) { return true; };
    const Row rows[] = {
        {"the pictures made a link to a cache", linked("/Pictures", "/x/p"), "/x/p/photo.jpg", "/Pictures"},
        {"a missing denied folder made a link", linked("/Library/Mail", "/x/p"), "/x/p/photo.jpg", "/Library/Mail"},
        {"the Trash made a link to a cache", linked("/.local/share/Trash", "/x/t"), "/x/t/files/old.bin", "Trash"},
        {"the Trash's parent made a link", linked("/.local/share", "/x/s"), "/x/s/Trash/files/old.bin", "Trash"},
        {"the pictures moved into the caches and a new one made",
         [](auto& t) {
             fs::rename(t.pics, t.caches + "/x/moved");
             return fs::create_directory(t.pics);
         },
         "/x/moved/album/photo.jpg", ""},
        {"a disk mounted inside the next item", [](auto& t) { return test::tmpfsAt(t.caches + "/b/inner"); }, "/b",
         "/Library/Caches/b/inner", none},
        {"the pictures bound over the next item's folder",
         [](auto& t) { return test::bindAt(t.pics, t.caches + "/x"); }, "/x/album", "/Pictures", none},
        {"a disk inside the next item unmounted",
         [](auto& t) { return ::umount2((t.caches + "/b/inner").c_str(), MNT_DETACH) == 0; }, "/b", "",
         [](auto& t) { return test::tmpfsAt(t.caches + "/b/inner"); }},
    };
    for (const auto& row : rows) {
        Home t;
        const auto body = [&] {
            const std::string verdict = verdictAfter(t, row);
            if (verdict != "ok") std::fprintf(stderr, "%s: %s\n", row.what, verdict.c_str());
            return verdict == "skip" ? test::kSkipped : verdict != "ok";
        };
        const int status = (row.mounts ? test::inMountNamespace : test::runInChild)(body);
        if (row.mounts && status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here";
        EXPECT_EQ(status, 0) << row.what;
    }
}

// Through a whole run: a disk mounted in the second folder once the first has moved keeps it from the Trash.
TEST(GuardSession, ARunJudgesTheNextItemAgainstAMountMadeAfterTheFirstMove) {
    Home t;
    const std::string inner = t.caches + "/second/inner";
    test::writeFile(inner + "/cache.bin", "cache"); // after warm: equal sizes go shortest first
    const int status = test::inMountNamespace([&] {
        int renames = 0, mounted = 0;
        Trash::setPauseHook([&](Trash::Pause at) { renames += at == Trash::Pause::beforeRenameIn; });
        const auto out = CleanupExecutor::run({{t.caches + "/warm", 0}, {t.caches + "/second", 0}},
                                              CleanupExecutor::Mode::moveToTrash, t.policy(), std::nullopt,
                                              [&](int done, int) { mounted += done == 1 && test::tmpfsAt(inner); });
        if (!mounted) return test::kSkipped;
        const auto* second = out.size() == 2 ? out[1].refusal() : nullptr;
        const bool ok = second && out[0].moved() && *second == Refusal::protectedPath(inner) && renames == 1 &&
                        ::umount2(inner.c_str(), MNT_DETACH) == 0 && test::exists(inner + "/cache.bin");
        return ok ? 0 : 1;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
    EXPECT_EQ(status, 0);
}
