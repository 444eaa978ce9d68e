// A disk image mounted in the pictures is protected under every name it has: one whose own
// name ends in " (deleted)" by that name, and one whose mounted name was removed by any
// other name a folder holds at any depth. Real loop devices in a namespace of their own.
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

bool linked(const std::string& from, const std::string& to) {
    test::makeDirs(deletingLastPathComponent(to));
    return ::link(from.c_str(), to.c_str()) == 0;
}

std::optional<Refusal> refusalOf(const std::vector<CleanupOutcome>& outcomes) {
    return outcomes.size() == 1 && outcomes[0].refusal() ? std::optional(*outcomes[0].refusal()) : std::nullopt;
}

} // namespace

TEST(UnnamedImages, AnImageIsProtectedUnderEveryNameItHas) {
    test::Home t;
    const std::string c = t.h + "/Library/Caches", x = c + "/x", disk = t.pictures + "/disk", img = t.m + "/img";
    test::makeDirs(disk);
    struct Row {
        const char* name;
        std::function<bool()> mount; // in the child
        std::string item;            // judged, and moved for real where refused
        bool refused;
        std::string stays; // a name of the image that must outlive the row; empty: none
    };
    const std::string deep = x + "/a/b/c/camera.img";
    const Row rows[] = {
        {"an image whose own name ends in \" (deleted)\"",
         [&] { return test::imageThroughNode(x + "/camera (deleted)", t.m + "/n", disk); }, x, true,
         x + "/camera (deleted)"},
        {"the image itself, named so", [&] { return test::imageThroughNode(x + "/camera (deleted)", t.m + "/n", disk); },
         x + "/camera (deleted)", true, x + "/camera (deleted)"},
        {"its mounted name removed, a second name three folders down",
         [&] {
             return test::imageThroughNode(img + "/camera.img", t.m + "/n", disk) && linked(img + "/camera.img", deep) &&
                    ::unlink((img + "/camera.img").c_str()) == 0;
         },
         x, true, deep},
        {"its mounted name removed, a second name in the folder itself",
         [&] {
             return test::imageThroughNode(img + "/camera.img", t.m + "/n", disk) &&
                    linked(img + "/camera.img", x + "/camera.img") && ::unlink((img + "/camera.img").c_str()) == 0;
         },
         x, true, x + "/camera.img"},
        {"its mounted name removed, a folder holding no other name",
         [&] {
             return test::imageThroughNode(img + "/camera.img", t.m + "/n", disk) && linked(img + "/camera.img", deep) &&
                    ::unlink((img + "/camera.img").c_str()) == 0;
         },
         c + "/y", false, deep},
        {"its only name removed", [&] {
             return test::imageThroughNode(img + "/camera.img", t.m + "/n", disk) &&
                    ::unlink((img + "/camera.img").c_str()) == 0;
         },
         x, false, ""},
    };
    int ran = 0;
    for (const auto& row : rows) {
        test::runCommand({"/bin/rm", "-rf", c, img});
        test::writeFileOfSize(c + "/y/blob", 4096);
        test::writeFileOfSize(x + "/a/other", 4096);
        const int status = test::inMountNamespace([&] {
            if (!row.mount()) return test::kSkipped;
            const auto policy = CleanupPolicy::standard();
            int failed = 0;
            const auto expect = [&](const std::optional<Refusal>& got, bool refused, const std::string& what) {
                if (refused ? got == Refusal::protectedPath(disk) : !got) return;
                ++failed, std::fprintf(stderr, "failed: %s: %s: %s\n", row.name, what.c_str(),
                                       got ? got->description().c_str() : "passed");
            };
            expect(CleanupGuard::check(row.item, 0, policy, {}), row.refused, "the guard");
            expect(refusalOf(CleanupExecutor::run({{row.item, 0}}, CleanupExecutor::Mode::dryRun, policy, {})),
                   row.refused, "a dry run");
            const auto own = OwnFolder::refusal(row.item);
            if (row.refused != (own && own->find("(~/Pictures/disk)") != std::string::npos))
                ++failed, std::fprintf(stderr, "failed: %s: the own folder: %s\n", row.name, own.value_or("accepted").c_str());
            if (row.refused)
                expect(refusalOf(CleanupExecutor::run({{row.item, 0}}, CleanupExecutor::Mode::moveToTrash, policy, {})),
                       true, "a real move");
            ::umount2(disk.c_str(), MNT_DETACH);
            return failed;
        });
        // Where one image mounts, every row's does.
        if (status == test::kSkipped && ran == 0)
            GTEST_SKIP() << "cannot set up a loop device and mount it here (needs root, losetup, mkfs.ext4)";
        ++ran;
        EXPECT_EQ(status, 0) << row.name;
        if (!row.stays.empty()) {
            EXPECT_TRUE(test::exists(row.stays)) << row.name;
        }
    }
}

// The walk is made for each folder judged: a second name made in a folder between two items
// of a run is seen, and the run's guard agrees with a fresh one.
TEST(UnnamedImages, ARunSeesASecondNameMadeBetweenTwoItems) {
    test::Home t;
    const std::string c = t.h + "/Library/Caches", disk = t.pictures + "/disk", img = t.m + "/img/camera.img";
    test::makeDirs(disk);
    test::writeFileOfSize(c + "/y/blob", 4096);
    test::writeFileOfSize(c + "/kept/blob", 4096);
    const int status = test::inMountNamespace([&] {
        if (!test::imageThroughNode(img, t.m + "/n", disk) || !linked(img, c + "/kept/camera.img") ||
            ::unlink(img.c_str()) != 0)
            return test::kSkipped;
        const auto policy = CleanupPolicy::standard();
        CleanupGuard::Session session(policy, std::nullopt);
        int failed = 0;
        if (const auto first = session.judge(c + "/y", 0).refusal)
            ++failed, std::fprintf(stderr, "failed: first: %s\n", first->description().c_str());
        if (!linked(c + "/kept/camera.img", c + "/y/deep/camera.img")) return 2;
        const auto second = session.judge(c + "/y", 0).refusal;
        if (second != Refusal::protectedPath(disk) || second != CleanupGuard::check(c + "/y", 0, policy, std::nullopt))
            ++failed, std::fprintf(stderr, "failed: second: %s\n", second ? second->description().c_str() : "passed");
        ::umount2(disk.c_str(), MNT_DETACH);
        return failed;
    });
    if (status == test::kSkipped) GTEST_SKIP() << "cannot set up a loop device and mount it here (needs root, losetup)";
    EXPECT_EQ(status, 0);
}
