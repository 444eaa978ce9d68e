// The desktop's pictures folder under its own name is protected as ~/Pictures is: by the
// policy, the guard, the own-folder check and sweeps; refusals name the folder the user knows.
#include <gtest/gtest.h>

#include <algorithm>

#include "cleanup/CloudStatus.h"
#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "removal/OwnFolder.h"
#include "removal/SweepRunner.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

struct PicturesHome {
    test::FakeHome home;
    test::ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::string h = home.path();

    explicit PicturesHome(const std::string& userDirs) {
        test::writeFile(h + "/Bilder/urlaub/strand.jpg", std::string(50'000, 'p'));
        test::writeFile(h + "/Pictures/2024/a.jpg", std::string(50'000, 'p'));
        test::writeFile(h + "/Projekte/alt/build.o", std::string(50'000, 'b'));
        test::makeDirs(h + "/.Trash");
        if (!userDirs.empty()) test::writeFile(h + "/.config/user-dirs.dirs", userDirs);
    }
};

std::vector<std::string> movedBy(const SweepRunner::Outcome& out) {
    std::vector<std::string> moved;
    for (const auto& o : out.outcomes)
        if (o.moved()) moved.push_back(o.path);
    std::sort(moved.begin(), moved.end());
    return moved;
}

} // namespace

TEST(PicturesFolder, TheFolderUserDirsNamesIsProtectedAsPicturesIs) {
    struct Case {
        std::string userDirs;
        bool bilderProtected;
    };
    const Case cases[] = {
        {"XDG_PICTURES_DIR=\"$HOME/Bilder\"\n", true},
        {"XDG_PICTURES_DIR=\"$HOME/\"\n", false}, // the home: the desktop has no such folder
        {"", false},
    };
    for (const auto& c : cases) {
        PicturesHome home(c.userDirs);
        const std::string h = home.h;
        const CleanupPolicy policy = CleanupPolicy::standard().allowing({h});
        // A dry run of what lies in it, and of a folder that holds it.
        for (const std::string& path : {h + "/Bilder/urlaub", h + "/Bilder"}) {
            const auto refusal = CleanupGuard::check(path, 0, policy, CloudStatus{});
            if (c.bilderProtected) {
                ASSERT_TRUE(refusal.has_value()) << path;
                EXPECT_EQ(refusal->description(), "protected location (~/Bilder)") << path;
            } else {
                EXPECT_EQ(refusal, std::nullopt) << path;
            }
        }
        // ~/Pictures stays protected whatever the file says.
        EXPECT_EQ(CleanupGuard::check(h + "/Pictures/2024", 0, policy, CloudStatus{}),
                  CleanupGuard::Refusal::protectedPath(h + "/Pictures"));
        // As an own folder, and as a folder around it.
        const auto own = OwnFolder::refusal(h + "/Bilder");
        const auto around = OwnFolder::refusal(h + "/Bilder/urlaub");
        if (c.bilderProtected) {
            EXPECT_EQ(own, "\u201C~/Bilder\u201D is a protected location (~/Bilder), so Sorvel can't sweep it.");
            EXPECT_EQ(around,
                      "\u201C~/Bilder/urlaub\u201D is inside a protected location (~/Bilder), so Sorvel can't sweep it.");
        } else {
            EXPECT_EQ(own, std::nullopt);
        }
        // A stored sweep of it moves nothing of it; the other folder is swept.
        SweepSchedule s;
        s.rules = SweepSchedule::RuleSelection::only({});
        s.action = SweepSchedule::Action::clean;
        s.folders = {h + "/Bilder", h + "/Projekte"};
        const auto out = SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{});
        if (c.bilderProtected) {
            EXPECT_EQ(movedBy(out), std::vector<std::string>{h + "/Projekte/alt"});
            EXPECT_TRUE(test::exists(h + "/Bilder/urlaub/strand.jpg"));
            ASSERT_TRUE(out.receipt.withheldReason.has_value());
            EXPECT_NE(out.receipt.withheldReason->find("(~/Bilder)"), std::string::npos);
        } else {
            EXPECT_EQ(movedBy(out), (std::vector<std::string>{h + "/Bilder/urlaub", h + "/Projekte/alt"}));
        }
    }
}

// A folder list that is there but cannot be read hides where the pictures are: nothing
// passes, and the sentence says which file could not be read.
TEST(PicturesFolder, AnUnreadableFolderListRefusesEverything) {
    PicturesHome home("");
    const std::string h = home.h;
    test::makeDirs(h + "/.config/user-dirs.dirs");
    const CleanupPolicy policy = CleanupPolicy::standard().allowing({h + "/Projekte"});
    ASSERT_TRUE(policy.picturesUnknown.has_value());
    const auto refusal = CleanupGuard::check(h + "/Projekte/alt", 0, policy, CloudStatus{});
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->kind, CleanupGuard::Refusal::Kind::picturesUnknown);
    EXPECT_NE(refusal->description().find("~/.config/user-dirs.dirs"), std::string::npos) << refusal->description();
    const auto own = OwnFolder::refusal(h + "/Projekte");
    ASSERT_TRUE(own.has_value());
    EXPECT_NE(own->find("may hold your pictures folder"), std::string::npos) << *own;
}
