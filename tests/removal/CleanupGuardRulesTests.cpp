// The place rules of the guard: denied prefixes, allowed roots, depth, iCloud, and the
// size re-measure with its tolerance.
#include <gtest/gtest.h>

#include <unistd.h>

#include "removal/CleanupExecutor.h"
#include "removal/CleanupGuard.h"
#include "removal/GuardFixtures.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::CleanupGuard::Refusal;

namespace {

std::optional<Refusal> check(const std::string& path, int64_t recorded = 0,
                             const CleanupPolicy& policy = CleanupPolicy::standard(),
                             const std::optional<CloudStatus>& cloud = std::nullopt) {
    return CleanupGuard::check(path, recorded, policy, cloud);
}

} // namespace

TEST(CleanupGuardPlaces, DeniedPrefixIsStandardisedFirstAndReportedAsWritten) {
    test::FakeHome home;
    const std::string prefix = home / "Library/Application Support/MobileSync";
    const auto expected = Refusal::protectedPath(prefix);
    EXPECT_EQ(check(prefix), expected);
    EXPECT_EQ(check(prefix + "/"), expected);
    EXPECT_EQ(check(home / "Library/./Application Support/MobileSync/Backup/../Backup/x"), expected);
    EXPECT_EQ(check("~/Library/Application Support/MobileSync/Backup"), expected);
    EXPECT_EQ(expected.description(), "protected location (~/Library/Application Support/MobileSync)");
}

TEST(CleanupGuardPlaces, DotDotCannotClimbOutOfAnAllowedRoot) {
    test::FakeHome home;
    test::writeFile(home / "Documents/thesis.tex", "irreplaceable");
    EXPECT_EQ(check(home / "Library/Caches/../../Documents/thesis.tex"), Refusal::outsideAllowedRoots());
    EXPECT_EQ(check(home / "Library/Caches/../Mail/x"), Refusal::protectedPath(home / "Library/Mail"));
    EXPECT_EQ(check("Library/Caches/x"), Refusal::outsideAllowedRoots()); // relative: never inside
}

TEST(CleanupGuardPlaces, AFolderHoldingADeniedPrefixIsProtected) {
    // With the home as an allowed root, the library itself would otherwise pass and take
    // Mail and Messages along.
    test::FakeHome home;
    test::makeDirs(home / "Library/Messages");
    test::makeDirs(home / "Library/Mail");
    const auto policy = CleanupPolicy::standard().allowing({home.path()});
    EXPECT_EQ(check(home / "Library", 0, policy), Refusal::protectedPath(home / "Library/Messages"));
    EXPECT_EQ(check(home / "Library/Application Support", 0, policy),
              Refusal::protectedPath(home / "Library/Application Support/com.apple.TCC"));
    // "/" holds every prefix: the first of the list is named.
    EXPECT_EQ(check("/", 0, policy), Refusal::protectedPath(home / "Library/Messages"));
    // A sibling whose name merely starts like a prefix does not hold it.
    test::makeDirs(home / "Library/Mailboxes-old");
    EXPECT_EQ(check(home / "Library/Mailboxes-old", 0, policy), std::nullopt);
}

TEST(CleanupGuardPlaces, DeniedInsideAnAllowedRootStaysProtected) {
    test::FakeHome home;
    test::makeDirs(home / "Library/Application Support/MobileSync/Backup/abc");
    EXPECT_EQ(check(home / "Library/Application Support/MobileSync/Backup/abc"),
              Refusal::protectedPath(home / "Library/Application Support/MobileSync"));
}

TEST(CleanupGuardPlaces, RootsAndDepth) {
    test::FakeHome home;
    test::makeDirs(home / "Library/Caches/app/deep");
    test::makeDirs(home / "Library/CachesExtra/app");
    EXPECT_EQ(check(home / "Library/Caches"), Refusal::tooShallow());
    EXPECT_EQ(check(home / "Library/Caches/"), Refusal::tooShallow());
    EXPECT_EQ(check(home / "Library/Caches/app"), std::nullopt);
    EXPECT_EQ(check(home / "Library/CachesExtra/app"), Refusal::outsideAllowedRoots());

    // Depth counts from the longest containing root.
    CleanupPolicy policy = CleanupPolicy::standard().allowing({home / "Library/Caches/app"});
    policy.minimumDepthBelowRoot = 2;
    EXPECT_EQ(check(home / "Library/Caches/app/deep", 0, policy), Refusal::tooShallow());
    policy.minimumDepthBelowRoot = 1;
    EXPECT_EQ(check(home / "Library/Caches/app/deep", 0, policy), std::nullopt);
}

TEST(CleanupGuardPlaces, AnEmptyRootAllowsNothing) {
    test::FakeHome home;
    test::writeFile(home / "Documents/a.txt", "a");
    const auto policy = CleanupPolicy::standard().allowing({""});
    EXPECT_EQ(check(home / "Documents/a.txt", 0, policy), Refusal::outsideAllowedRoots());
}

TEST(CleanupGuardPlaces, TheRootFolderAsARootAdmitsNothingBelowIt) {
    // "/" followed by "/" begins no real path: a search of the whole disk widens nothing.
    test::FakeHome home;
    test::TempDir other;
    test::writeFile(other / "keep/file", "x");
    const auto policy = CleanupPolicy::standard().allowing({"/"});
    EXPECT_EQ(check(other / "keep", 0, policy), Refusal::outsideAllowedRoots());
    EXPECT_EQ(check("/media", 0, policy), Refusal::outsideAllowedRoots());
    // Nor does an allowed root that is a link to "/".
    test::makeDirs(home / "Library");
    ASSERT_EQ(::symlink("/", (home / "Library/Logs").c_str()), 0);
    const std::string viaLink = home / "Library/Logs" + other.path() + "/keep";
    // Behind a link in front of a rule's folder: refused saying so.
    const auto behind = Refusal::throughLink(home / "Library/Logs", "/");
    EXPECT_EQ(check(viaLink), behind);
    const auto moved = CleanupExecutor::run({{viaLink, 0}, {other / "keep", 0}}, CleanupExecutor::Mode::moveToTrash,
                                            policy, std::nullopt);
    ASSERT_EQ(moved.size(), 2u);
    for (const auto& o : moved)
        EXPECT_EQ(o.refusal() ? *o.refusal() : Refusal::notFound(), o.path == viaLink ? behind : Refusal::outsideAllowedRoots());
    EXPECT_EQ(test::readFile(other / "keep/file"), "x");
}

TEST(CleanupGuardPlaces, AnEmptyDeniedPrefixDeniesEverything) {
    test::FakeHome home;
    test::writeFile(home / "Library/Caches/app/x", "x");
    CleanupPolicy policy = CleanupPolicy::standard();
    policy.deniedPrefixes.push_back("");
    EXPECT_EQ(check(home / "Library/Caches/app", 0, policy), Refusal::protectedPath(""));
}

TEST(CleanupGuardPlaces, ICloudBlocksUnlessMessagesIsKnownOff) {
    test::FakeHome home;
    test::writeFile(home / "Library/Messages/Attachments/3f/IMG.jpg", "x");
    CleanupPolicy policy = CleanupPolicy::standard().allowing({home / "Library/Messages"});
    policy.deniedPrefixes.erase(policy.deniedPrefixes.begin());
    const std::string path = home / "Library/Messages/Attachments/3f/IMG.jpg";
    EXPECT_EQ(check(path, 0, policy, test::cloudWithMessages(CloudState::on)), Refusal::cloudSynced("iCloud"));
    EXPECT_EQ(check(path, 0, policy, test::cloudWithMessages(CloudState::unknown)), Refusal::cloudSynced("iCloud"));
    EXPECT_EQ(check(path, 0, policy, test::cloudWithMessages(CloudState::off)), std::nullopt);
    EXPECT_EQ(check(path, 0, policy, std::nullopt), std::nullopt);
    // Under the standard policy the folder is denied before iCloud is asked.
    EXPECT_EQ(check(path, 0, CleanupPolicy::standard(), test::cloudWithMessages(CloudState::on)),
              Refusal::protectedPath(home / "Library/Messages"));
}

TEST(CleanupGuardPlaces, ALinkIsRefusedWhateverItPointsAt) {
    test::FakeHome home;
    test::writeFileOfSize(home / "Documents/huge.bin", 1 << 20);
    test::makeDirs(home / "Library/Caches");
    ASSERT_EQ(::symlink((home / "Documents/huge.bin").c_str(), (home / "Library/Caches/huge").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent", (home / "Library/Caches/dangling").c_str()), 0);
    EXPECT_EQ(check(home / "Library/Caches/huge", 1 << 20), Refusal::isSymlink());
    EXPECT_EQ(check(home / "Library/Caches/dangling"), Refusal::isSymlink());
    // A trailing slash names the link itself once standardised.
    EXPECT_EQ(check(home / "Library/Caches/huge/"), Refusal::isSymlink());
}

TEST(CleanupGuardPlaces, ALinkedParentIsJudgedWhereItLeads) {
    // The text says Caches, but the kernel would follow the link into another place.
    test::FakeHome home;
    test::TempDir elsewhere;
    test::writeFile(elsewhere / "precious/file.txt", "keep");
    test::writeFile(home / "Library/Messages/chat.db", "history");
    test::makeDirs(home / "Library/Caches");
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), (home / "Library/Caches/outside").c_str()), 0);
    ASSERT_EQ(::symlink((home / "Library/Messages").c_str(), (home / "Library/Caches/messages").c_str()), 0);
    ASSERT_EQ(::symlink((home / "Library/Caches").c_str(), (home / "Library/Caches/loop").c_str()), 0);

    EXPECT_EQ(check(home / "Library/Caches/outside/precious"), Refusal::outsideAllowedRoots());
    EXPECT_EQ(check(home / "Library/Caches/messages/chat.db"), Refusal::protectedPath(home / "Library/Messages"));
    // A link back to the root itself makes its child the root's direct child: fine.
    test::makeDirs(home / "Library/Caches/app");
    EXPECT_EQ(check(home / "Library/Caches/loop/app"), std::nullopt);
    // ...and the root reached through a link is still the root.
    test::makeDirs(home / "Library/Caches/sub");
    ASSERT_EQ(::symlink((home / "Library").c_str(), (home / "Library/Caches/sub/lib").c_str()), 0);
    EXPECT_EQ(check(home / "Library/Caches/sub/lib/Caches"), Refusal::tooShallow());
}

TEST(CleanupGuardPlaces, AHomeReachedThroughALinkStillWorks) {
    // The home may legitimately sit behind a link (for instance /home -> /data/home).
    test::TempDir real;
    test::TempDir links;
    test::makeDirs(real / "Library/Caches/app");
    const std::string linkedHome = links / "home";
    ASSERT_EQ(::symlink(real.path().c_str(), linkedHome.c_str()), 0);
    test::ScopedEnv env("HOME", linkedHome);
    EXPECT_EQ(check(linkedHome + "/Library/Caches/app"), std::nullopt);
    EXPECT_EQ(check(linkedHome + "/Library/Caches"), Refusal::tooShallow());
}

TEST(CleanupGuardSize, DriftPassesAtTheToleranceAndFailsOneBlockAbove) {
    test::FakeHome home;
    const long long block = test::blockSize(home.path());
    const std::string path = home / "Library/Caches/app/data.bin";
    auto measured = [&](long long blocks) {
        test::writeFile(path, std::string(static_cast<size_t>(blocks * block), 'd'));
        return test::allocatedSize(path);
    };
    const int64_t recorded = 16 * block;

    ASSERT_EQ(measured(20), 20 * block); // grown by exactly a quarter
    EXPECT_EQ(check(path, recorded), std::nullopt);
    ASSERT_EQ(measured(21), 21 * block);
    EXPECT_EQ(check(path, recorded), Refusal::sizeChanged(recorded, 21 * block));

    ASSERT_EQ(measured(12), 12 * block); // shrunk by exactly a quarter
    EXPECT_EQ(check(path, recorded), std::nullopt);
    ASSERT_EQ(measured(11), 11 * block);
    EXPECT_EQ(check(path, recorded), Refusal::sizeChanged(recorded, 11 * block));
}

TEST(CleanupGuardSize, AFolderIsRemeasuredWhole) {
    test::FakeHome home;
    const long long block = test::blockSize(home.path());
    test::writeFile(home / "Library/Caches/app/a", std::string(block, 'a'));
    test::writeFile(home / "Library/Caches/app/sub/b", std::string(block, 'b'));
    EXPECT_EQ(check(home / "Library/Caches/app", 2 * block), std::nullopt);
    test::writeFile(home / "Library/Caches/app/sub/c", std::string(4 * block, 'c'));
    EXPECT_EQ(check(home / "Library/Caches/app", 2 * block), Refusal::sizeChanged(2 * block, 6 * block));
}

TEST(CleanupGuardSize, NoRecordedSizeMeansNoRemeasure) {
    test::FakeHome home;
    test::writeFileOfSize(home / "Library/Caches/grew-from-nothing", 1 << 20);
    EXPECT_EQ(check(home / "Library/Caches/grew-from-nothing", 0), std::nullopt);
    EXPECT_EQ(check(home / "Library/Caches/grew-from-nothing", -3), std::nullopt);
}

TEST(CleanupGuardSize, OddNamesAreJudgedLikeAnyOther) {
    test::FakeHome home;
    const std::string name = "line\nbreak \xFF\xFE name";
    test::writeFile(home / ("Library/Caches/" + name), "x");
    EXPECT_EQ(check(home / ("Library/Caches/" + name)), std::nullopt);
    EXPECT_EQ(check(home / "Library/Caches/line\nbreak"), Refusal::notFound());
}

TEST(CleanupGuardSize, ANulByteNamesNothingOnDisk) {
    // The system calls would stop at the NUL and judge the allowed root itself.
    test::FakeHome home;
    test::makeDirs(home / "Library/Caches/app");
    EXPECT_EQ(check(home / "Library/Caches/" + std::string(1, '\0')), Refusal::notFound());
    EXPECT_EQ(check(home / "Library/Caches/app" + std::string("\0/x", 3)), Refusal::notFound());
    const auto moved = CleanupExecutor::run({{home / "Library/Caches/" + std::string(1, '\0'), 0}},
                                            CleanupExecutor::Mode::dryRun, CleanupPolicy::standard(), std::nullopt);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_FALSE(moved[0].wouldMove());
}

TEST(CleanupGuardAccess, AnUnreadableParentHidesTheItem) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the folder to another user";
    test::FakeHome home;
    test::writeFile(home / "Library/Caches/locked/inner/file", "x");
    ::chmod((home / "Library/Caches/locked").c_str(), 0700);
    const std::string path = home / "Library/Caches/locked/inner";
    const int status = test::runAsUnprivileged([&] {
        auto refusal = CleanupGuard::check(path, 0, CleanupPolicy::standard(), std::nullopt);
        return refusal == Refusal::notFound() ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}
