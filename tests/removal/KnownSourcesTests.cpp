// A mount in the pictures shows a folder or an image that lies elsewhere: that is protected where
// the kernel holds it, not where the table's text says; a source that cannot be confirmed fences
// every move. Real mounts (bindfs, loop devices) in a namespace of their own.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "MountRig.h"
#include "removal/GuardSession.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;

namespace {

bool bindfs(std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/bin/bindfs");
    return test::runCommand(args).status == 0;
}

bool renamed(const std::string& from, const std::string& to) {
    test::makeDirs(deletingLastPathComponent(to));
    return ::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace

TEST(KnownSources, AMountsSourceIsKnownByWhatTheKernelHolds) {
    test::Home t;
    const std::string c = t.h + "/Library/Caches", fu = t.pictures + "/fu", disk = t.pictures + "/disk";
    const std::string cache = c + "/app/old";
    test::writeFileOfSize(cache + "/blob", 4096);
    for (const auto& d : {fu, disk}) test::makeDirs(d);
    const bool haveBindfs = ::access("/usr/bin/bindfs", X_OK) == 0;
    const std::string unconfirmedSource = "from a source Sorvel cannot confirm", image = "whose disk image Sorvel";
    struct Row {
        const char* name;
        bool fuse;
        std::function<bool()> mount; // in the child
        std::string item;            // lies where the mount's contents do: never moves
        std::string says;            // in the item's refusal; empty: it is inside the mount's point
        bool unprivileged = false;   // judged by a user who cannot open the loop device
        std::string stays = "";      // where the item is seen to stay from outside the namespace, if elsewhere
    };
    const std::string img = c + "/img/pics.img";
    const Row rows[] = {
        {"a source named with a space", true, [&] { return bindfs({c + "/My Photos", fu}); }, c + "/My Photos/al",
         unconfirmedSource},
        {"a source named with a tab", true, [&] { return bindfs({c + "/My\tPhotos", fu}); }, c + "/My\tPhotos/al",
         unconfirmedSource},
        {"a source named with a newline", true, [&] { return bindfs({c + "/My\nPhotos", fu}); },
         c + "/My\nPhotos/al", unconfirmedSource},
        {"a source named with a comma", true, [&] { return bindfs({c + "/My,Photos", fu}); }, c + "/My,Photos/al",
         unconfirmedSource},
        {"a source renamed after mounting", true,
         [&] { return bindfs({t.m + "/photos", fu}) && renamed(t.m + "/photos", c + "/zz"); }, c + "/zz/al",
         unconfirmedSource},
        {"a source replaced after mounting", true,
         [&] {
             return bindfs({t.m + "/photos2", fu}) && renamed(t.m + "/photos2", c + "/zz2") &&
                    ::mkdir((t.m + "/photos2").c_str(), 0755) == 0;
         },
         c + "/zz2/al", unconfirmedSource},
        {"a source whose name a disk covers since", true,
         [&] {
             test::makeDirs(t.m + "/c");
             return bindfs({c + "/real", fu}) && test::bindAt(c, t.m + "/c") && test::tmpfsAt(c) &&
                    ::mkdir((c + "/real").c_str(), 0755) == 0;
         },
         t.m + "/c/real/al", unconfirmedSource, false, c + "/real/al/p.jpg"},
        {"a source confirmed", true, [&] { return bindfs({c + "/plain", fu}); }, c + "/plain/al", ""},
        {"an image through a node not named /dev/loopN", false, [&] { return test::imageThroughNode(img, t.m + "/n", disk); },
         img, ""},
        {"an image renamed after mounting", false,
         [&] { return test::imageThroughNode(img, t.m + "/n", disk) && renamed(img, c + "/elsewhere/moved.img"); },
         c + "/elsewhere/moved.img", ""},
        {"an image whose loop device the user cannot open", false,
         [&] { return test::imageThroughNode(img, t.m + "/n", disk); }, img, image, true},
    };
    int ran = 0;
    std::string notRun; // rows that could not be set up here: the test is then a skip
    for (const auto& row : rows) {
        if (row.fuse && !haveBindfs) {
            notRun += std::string(row.name) + " (bindfs is not installed); ";
            continue;
        }
        for (const auto& d : {t.m + "/photos/al", t.m + "/photos2/al", c + "/My Photos/al", c + "/My\tPhotos/al",
                              c + "/My\nPhotos/al", c + "/My,Photos/al", c + "/real/al", c + "/plain/al"})
            test::writeFile(d + "/p.jpg", "only copy");
        const bool fenced = !row.says.empty();
        const std::string point = row.fuse ? fu : disk, photo = row.fuse ? row.item + "/p.jpg" : row.item;
        const int status = test::inMountNamespace([&] {
            if (!row.mount()) return test::kSkipped;
            const auto policy = CleanupPolicy::standard().allowing({t.m});
            const auto inside = Refusal::protectedPath(point);
            int failed = 0;
            const auto expect = [&](const std::optional<Refusal>& got, bool refused, const std::string& what) {
                const std::string said = got ? got->description() : "passed";
                const bool ok = !refused ? !got
                                : fenced ? got && got->kind == Refusal::Kind::backingUnconfirmed &&
                                               said.find(row.says) != std::string::npos
                                         : got == inside;
                if (!ok) ++failed, std::fprintf(stderr, "failed: %s: %s: %s\n", row.name, what.c_str(), said.c_str());
            };
            if (row.unprivileged) {
                ::chmod(t.h.c_str(), 0755);
                for (const auto& d : {t.h + "/Library", c, c + "/img", t.pictures}) ::chmod(d.c_str(), 0755);
                const int judged = test::runAsUnprivileged([&] {
                    const auto got = CleanupGuard::check(row.item, 0, policy, {});
                    return got && got->description().find(row.says) != std::string::npos ? 0 : 1;
                });
                if (judged != 0) ++failed, std::fprintf(stderr, "failed: %s: judged unprivileged\n", row.name);
            } else {
                expect(CleanupGuard::check(row.item, 0, policy, {}), true, "the guard");
                const auto dry = CleanupExecutor::run({{row.item, 0}}, CleanupExecutor::Mode::dryRun, policy, {});
                expect(dry.size() == 1 && dry[0].refusal() ? std::optional(*dry[0].refusal()) : std::nullopt, true,
                       "a dry run");
                const auto moved = CleanupExecutor::run({{row.item, 0}}, CleanupExecutor::Mode::moveToTrash, policy, {});
                expect(moved.size() == 1 && moved[0].refusal() ? std::optional(*moved[0].refusal()) : std::nullopt,
                       true, "a real move");
                // The caches elsewhere: movable where the mount's contents are known, else fenced too.
                expect(CleanupGuard::check(cache, 0, policy, {}), fenced, "the cache");
            }
            if (!test::exists(photo)) ++failed, std::fprintf(stderr, "failed: %s: the item is gone\n", row.name);
            ::umount2(point.c_str(), MNT_DETACH);
            return failed;
        });
        if (status == test::kSkipped) {
            notRun += std::string(row.name) + " (cannot be set up here); ";
            continue;
        }
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
        EXPECT_TRUE(test::exists(row.stays.empty() ? photo : row.stays)) << row.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root, /dev/fuse, losetup)";
    if (!notRun.empty()) GTEST_SKIP() << "rows not run here: " << notRun;
}

// Between two items of a run, what decides where the pictures' contents lie changes with no
// mount made or removed: a run's guard sees it as a fresh one does.
TEST(KnownSources, ARunSeesASourceOrImageMovedBetweenTwoItems) {
    test::Home t;
    const std::string c = t.h + "/Library/Caches", fu = t.pictures + "/fu", disk = t.pictures + "/disk";
    for (const auto& d : {fu, disk, c + "/warm"}) test::makeDirs(d);
    struct Row {
        const char* name;
        bool fuse;
        std::function<bool()> mount, change; // in the child: before the run, between its two items
        std::string item;
    } const rows[] = {
        {"a confirmed source renamed into the caches", true,
         [&] { return bindfs({t.m + "/plain", fu}); }, [&] { return renamed(t.m + "/plain", c + "/zz"); }, c + "/zz"},
        {"an image moved into another folder of the caches", false,
         [&] { return test::imageThroughNode(t.m + "/img/p.img", t.m + "/n", disk); },
         [&] { return renamed(t.m + "/img/p.img", c + "/moved/p.img"); }, c + "/moved"},
    };
    int ran = 0;
    std::string notRun; // rows that could not be set up here: the test is then a skip
    for (const auto& row : rows) {
        if (row.fuse && ::access("/usr/bin/bindfs", X_OK) != 0) {
            notRun += std::string(row.name) + " (bindfs is not installed); ";
            continue;
        }
        test::writeFile(t.m + "/plain/al/p.jpg", "only copy");
        const int status = test::inMountNamespace([&] {
            if (!row.mount()) return test::kSkipped;
            const auto policy = CleanupPolicy::standard().allowing({t.m});
            CleanupGuard::Session session(policy, std::nullopt);
            int failed = 0;
            if (session.judge(c + "/warm", 0).refusal) ++failed, std::fprintf(stderr, "failed: %s: first\n", row.name);
            if (!row.change()) return 2;
            const auto kept = session.judge(row.item, 0).refusal;
            if (!kept || kept != CleanupGuard::check(row.item, 0, policy, std::nullopt))
                ++failed, std::fprintf(stderr, "failed: %s: %s\n", row.name, kept ? kept->description().c_str() : "passed");
            ::umount2((row.fuse ? fu : disk).c_str(), MNT_DETACH);
            return failed;
        });
        if (status == test::kSkipped) {
            notRun += std::string(row.name) + " (cannot be set up here); ";
            continue;
        }
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
    }
    if (ran == 0) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root, /dev/fuse, losetup)";
    if (!notRun.empty()) GTEST_SKIP() << "rows not run here: " << notRun;
}
