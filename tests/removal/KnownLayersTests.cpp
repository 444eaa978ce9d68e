// An overlay in the pictures shows what its layers hold: each layer is protected where the
// kernel holds it, and one whose text no longer leads to it (renamed after mounting, its
// name given to another folder) fences every move. Real overlays in a namespace of their own.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "MountRig.h"
#include "platform/Path.h"
#include "removal/GuardSession.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;

namespace {

bool overlayAt(const std::string& at, const std::string& layers) {
    const std::string options = "lowerdir=" + layers + "/low,upperdir=" + layers + "/up,workdir=" + layers + "/work";
    return ::mount("overlay", at.c_str(), "overlay", 0, options.c_str()) == 0;
}

bool renamed(const std::string& from, const std::string& to) {
    test::makeDirs(deletingLastPathComponent(to));
    return ::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<Refusal> refusalOf(const std::vector<CleanupOutcome>& outcomes) {
    return outcomes.size() == 1 && outcomes[0].refusal() ? std::optional(*outcomes[0].refusal()) : std::nullopt;
}

} // namespace

TEST(KnownLayers, AnOverlaysLayersAreKnownByWhatTheKernelHolds) {
    test::Home t;
    const std::string c = t.h + "/Library/Caches", ov = t.pictures + "/ov", L = t.m + "/layers";
    const std::string cache = c + "/app/old";
    const std::string unconfirmed = "which shows a layer Sorvel cannot confirm (given as ";
    struct Row {
        const char* name;
        std::function<bool()> mount; // in the child
        std::string item;            // holds a photo the overlay shows: never moves
        std::string layer;           // named in the refusal; empty: the layers are confirmed
        std::string photo = "p.jpg"; // in the item
    };
    const Row rows[] = {
        {"the upper renamed into the caches", [&] { return overlayAt(ov, L) && renamed(L + "/up", c + "/up"); },
         c + "/up", L + "/up"},
        {"the folder holding the layers renamed into ~/.cache",
         [&] { return overlayAt(ov, L) && renamed(L, t.h + "/.cache/layers"); }, t.h + "/.cache/layers/up", L + "/up"},
        {"the lower renamed into the caches", [&] { return overlayAt(ov, L) && renamed(L + "/low", c + "/low"); },
         c + "/low", L + "/low", "q.jpg"},
        {"the upper renamed, a folder made at its name",
         [&] {
             return overlayAt(ov, L) && renamed(L + "/up", c + "/up2") && ::mkdir((L + "/up").c_str(), 0755) == 0;
         },
         c + "/up2", L + "/up"},
        {"the lower on a disk of its own, the upper renamed into the caches",
         [&] {
             // Moved aside and back over a fresh memory disk: the lower on another file system.
             return renamed(L + "/low", t.m + "/low-disk") && ::mkdir((L + "/low").c_str(), 0755) == 0 &&
                    test::tmpfsAt(L + "/low") &&
                    test::runCommand({"/bin/cp", "-a", t.m + "/low-disk/.", L + "/low"}).status == 0 &&
                    overlayAt(ov, L) && renamed(L + "/up", c + "/up3");
         },
         c + "/up3", L + "/up"},
        {"layers in the caches, as named", [&] { return renamed(L, c + "/lay") && overlayAt(ov, c + "/lay"); },
         c + "/lay/up", ""},
    };
    int ran = 0;
    for (const auto& row : rows) {
        test::runCommand({"/bin/rm", "-rf", L, t.m + "/low-disk", c, t.h + "/.cache"});
        test::writeFileOfSize(cache + "/blob", 4096);
        test::writeFile(L + "/up/p.jpg", "only copy");
        test::writeFile(L + "/low/q.jpg", "only copy");
        test::makeDirs(L + "/work");
        test::makeDirs(ov);
        const bool fenced = !row.layer.empty();
        const std::string photo = row.item + "/" + row.photo;
        const int status = test::inMountNamespace([&] {
            if (!row.mount()) return test::kSkipped;
            const auto policy = CleanupPolicy::standard().allowing({t.m, t.h + "/.cache"});
            int failed = 0;
            const auto expect = [&](const std::optional<Refusal>& got, bool refused, const std::string& what) {
                const std::string said = got ? got->description() : "passed";
                const bool ok = !refused ? !got
                                : fenced ? got && got->kind == Refusal::Kind::backingUnconfirmed &&
                                               said.find(unconfirmed + row.layer + ")") != std::string::npos &&
                                               said.find("overlay mounted at ~/Pictures/ov") != std::string::npos
                                         : got == Refusal::protectedPath(ov);
                if (!ok) ++failed, std::fprintf(stderr, "failed: %s: %s: %s\n", row.name, what.c_str(), said.c_str());
            };
            expect(CleanupGuard::check(row.item, 0, policy, {}), true, "the guard");
            expect(CleanupGuard::check(photo, 0, policy, {}), true, "the guard on the photo");
            expect(refusalOf(CleanupExecutor::run({{row.item, 0}}, CleanupExecutor::Mode::dryRun, policy, {})), true,
                   "a dry run");
            expect(refusalOf(CleanupExecutor::run({{row.item, 0}}, CleanupExecutor::Mode::moveToTrash, policy, {})),
                   true, "a real move");
            // The caches elsewhere: movable where the layers are known, else fenced too.
            expect(CleanupGuard::check(cache, 0, policy, {}), fenced, "the cache");
            const auto own = OwnFolder::refusal(row.item).value_or("accepted");
            if (fenced ? own.find(unconfirmed + "\u201C" + row.layer + "\u201D)") == std::string::npos
                       : own.find("(~/Pictures/ov)") == std::string::npos)
                ++failed, std::fprintf(stderr, "failed: %s: the own folder: %s\n", row.name, own.c_str());
            const auto swept = test::sweepOnly({row.item}, SweepSchedule::Action::clean);
            for (const auto& o : swept.outcomes)
                if (o.moved()) ++failed, std::fprintf(stderr, "failed: %s: a sweep moved %s\n", row.name, o.path.c_str());
            if (!test::exists(photo)) ++failed, std::fprintf(stderr, "failed: %s: the photo is gone\n", row.name);
            ::umount2(ov.c_str(), MNT_DETACH);
            return failed;
        });
        // Where one overlay mounts, every row's does.
        if (status == test::kSkipped && ran == 0)
            GTEST_SKIP() << "cannot mount an overlay in a mount namespace here (needs root and unshare)";
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
        EXPECT_TRUE(test::exists(photo)) << row.name;
    }
}

// Between two items of a run, a layer is renamed into the caches with no mount made or
// removed: the run's guard sees it as a fresh one does.
TEST(KnownLayers, ARunSeesALayerRenamedBetweenTwoItems) {
    test::Home t;
    const std::string c = t.h + "/Library/Caches", ov = t.pictures + "/ov", L = t.m + "/layers";
    for (const auto& d : {ov, c + "/warm", L + "/work"}) test::makeDirs(d);
    struct Row {
        const char* name;
        std::string from, to;
    } const rows[] = {
        {"the upper", L + "/up", c + "/zz"},
        {"the lower", L + "/low", c + "/zl"},
    };
    int ran = 0;
    for (const auto& row : rows) {
        test::writeFile(L + "/up/p.jpg", "only copy");
        test::writeFile(L + "/low/q.jpg", "only copy");
        const int status = test::inMountNamespace([&] {
            if (!overlayAt(ov, L)) return test::kSkipped;
            const auto policy = CleanupPolicy::standard().allowing({t.m});
            CleanupGuard::Session session(policy, std::nullopt);
            int failed = 0;
            if (session.judge(c + "/warm", 0).refusal) ++failed, std::fprintf(stderr, "failed: %s: first\n", row.name);
            if (!renamed(row.from, row.to)) return 2;
            const auto kept = session.judge(row.to, 0).refusal;
            if (!kept || kept->kind != Refusal::Kind::backingUnconfirmed ||
                kept != CleanupGuard::check(row.to, 0, policy, std::nullopt))
                ++failed, std::fprintf(stderr, "failed: %s: %s\n", row.name, kept ? kept->description().c_str() : "passed");
            ::umount2(ov.c_str(), MNT_DETACH);
            return failed;
        });
        test::runCommand({"/bin/rm", "-rf", row.to, L + "/up", L + "/low"});
        if (status == test::kSkipped && ran == 0)
            GTEST_SKIP() << "cannot mount an overlay in a mount namespace here (needs root and unshare)";
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
    }
}
