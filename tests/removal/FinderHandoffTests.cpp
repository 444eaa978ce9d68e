// Handing an unwritable bundle to the Finder: the guard first, then the script runner,
// whose replies and errors are played here by fixture scripts.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "removal/FinderHandoff.h"
#include "support/TestSupport.h"

using namespace sorvel;
using sorvel::FinderHandoff::Failure;

namespace {

// A fixture runner: records its arguments (one per line, NUL-free) and plays `body`.
struct Runner {
    test::TempDir dir;
    std::string path = dir / "runner";
    std::string argsFile = dir / "args";

    explicit Runner(const std::string& body) {
        test::writeFile(path, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n--\\n' \"$a\"; done > '" + argsFile +
                                  "'\n" + body + "\n");
        ::chmod(path.c_str(), 0755);
    }
    bool ran() const { return test::exists(argsFile); }
};

struct Bundle {
    test::FakeHome home;
    std::string path = home / "Applications/Thing.app";
    CleanupPolicy policy;

    Bundle() {
        test::writeFile(path + "/Contents/Info.plist", "<plist/>");
        policy = CleanupPolicy::forUninstalling(path);
        policy.requiresWritability = false;
    }
};

} // namespace

TEST(FinderHandoff, TheScriptIsFourLinesAndNoFinalLineFeed) {
    EXPECT_EQ(FinderHandoff::script().size(), 131u);
    EXPECT_EQ(FinderHandoff::script().substr(0, 12), "on run argv\n");
    EXPECT_EQ(FinderHandoff::script().back(), 'n');
}

TEST(FinderHandoff, ARefusedPathNeverStartsTheRunner) {
    Bundle bundle;
    Runner runner("exit 0");
    test::writeFile(bundle.home / "Documents/elsewhere.app/x", "x");
    const auto outcome = FinderHandoff::moveToTrash(bundle.home / "Documents/elsewhere.app", bundle.policy, runner.path);
    ASSERT_TRUE(std::holds_alternative<Failure>(outcome));
    EXPECT_EQ(std::get<Failure>(outcome).description(), "Refused: outside the folders Sorvel is allowed to touch");
    EXPECT_FALSE(runner.ran());
}

TEST(FinderHandoff, TheRunnerGetsExactlyTheStandardisedPath) {
    Bundle bundle;
    Runner runner("echo 'application file \"Thing.app\" of folder \".Trash\" of folder \"u\" of startup disk'");
    test::makeDirs(bundle.home / ".Trash/Thing.app");
    const std::string messy = bundle.home / "Applications/./Other/../Thing.app/";
    const auto outcome = FinderHandoff::moveToTrash(messy, bundle.policy, runner.path);
    ASSERT_TRUE(std::holds_alternative<FinderHandoff::Result>(outcome));
    const auto& result = std::get<FinderHandoff::Result>(outcome);
    EXPECT_EQ(result.path, bundle.path);
    EXPECT_EQ(result.trashPath, bundle.home / ".Trash/Thing.app");
    EXPECT_EQ(test::readFile(runner.argsFile), "-e\n--\n" + FinderHandoff::script() + "\n--\n" + bundle.path + "\n--\n");
}

TEST(FinderHandoff, ErrorTextsMapToTheirFailures) {
    Bundle bundle;
    struct Case {
        std::string body;
        Failure expected;
    };
    const std::vector<Case> cases = {
        {"echo 'execution error: Not allowed to send Apple events to Finder. (-1743)' >&2; exit 1",
         Failure::notPermitted()},
        {"echo 'Finder got an error: NOT Authorized to send Apple events' >&2; exit 1", Failure::notPermitted()},
        {"exit 1", Failure::finderFailed("The Finder declined.")},
        {"printf '\\n\\n  The item could not be found.  \\n\\n' >&2; exit 3",
         Failure::finderFailed("The item could not be found.")},
        {"kill -9 $$", Failure::finderFailed("The Finder declined.")},
    };
    for (const auto& c : cases) {
        Runner runner(c.body);
        const auto outcome = FinderHandoff::moveToTrash(bundle.path, bundle.policy, runner.path);
        ASSERT_TRUE(std::holds_alternative<Failure>(outcome)) << c.body;
        EXPECT_EQ(std::get<Failure>(outcome), c.expected) << c.body;
    }
    EXPECT_EQ(Failure::notPermitted().description(),
              "macOS has not granted Sorvel permission to control the Finder. Allow it under System Settings → "
              "Privacy & Security → Automation.");
}

TEST(FinderHandoff, LargeErrorOutputDoesNotHangTheHandOff) {
    // Far more than a pipe holds, written to standard error before anything else.
    Bundle bundle;
    Runner runner("head -c 2000000 /dev/zero | tr '\\0' 'e' >&2; echo done; exit 1");
    const auto outcome = FinderHandoff::moveToTrash(bundle.path, bundle.policy, runner.path);
    ASSERT_TRUE(std::holds_alternative<Failure>(outcome));
    EXPECT_EQ(std::get<Failure>(outcome).message.size(), 2000000u);
}

TEST(FinderHandoff, AMissingScriptRunnerIsAFailureInAWholeSentence) {
    Bundle bundle;
    const auto outcome = FinderHandoff::moveToTrash(bundle.path, bundle.policy, bundle.home / "no/such/osascript");
    ASSERT_TRUE(std::holds_alternative<Failure>(outcome));
    const auto& failure = std::get<Failure>(outcome);
    EXPECT_EQ(failure.kind, Failure::Kind::finderFailed);
    EXPECT_EQ(failure.description().back(), '.');
    EXPECT_NE(failure.description().find("could not be started"), std::string::npos);
    EXPECT_TRUE(test::exists(bundle.path));

    struct stat st;
    if (::stat(FinderHandoff::kScriptRunner, &st) == 0) GTEST_SKIP() << "this machine has a script runner";
    const auto real = FinderHandoff::moveToTrash(bundle.path, bundle.policy);
    ASSERT_TRUE(std::holds_alternative<Failure>(real));
    EXPECT_EQ(std::get<Failure>(real).kind, Failure::Kind::finderFailed);
    EXPECT_TRUE(test::exists(bundle.path));
}

TEST(FinderHandoff, UndecodableReplyCountsAsNoReply) {
    Bundle bundle;
    test::makeDirs(bundle.home / ".Trash/Thing.app");
    Runner runner("printf 'application file \"Thing.app\\377\" of folder \".Trash\" of x'");
    const auto outcome = FinderHandoff::moveToTrash(bundle.path, bundle.policy, runner.path);
    ASSERT_TRUE(std::holds_alternative<FinderHandoff::Result>(outcome));
    EXPECT_EQ(std::get<FinderHandoff::Result>(outcome).trashPath, std::nullopt);
}

TEST(FinderHandoff, ASilentReplyIsAnsweredByTheTrashRecordNotAStandIn) {
    Bundle bundle;
    const std::string trash = bundle.home / ".local/share/Trash";
    // Moves the bundle into the home trash with its record, and says nothing.
    Runner runner("mkdir -p '" + trash + "/files' '" + trash + "/info' && mv \"$3\" '" + trash +
                  "/files/Thing.app' && printf '[Trash Info]\\nPath=%s\\nDeletionDate=2026-01-01T00:00:00\\n' \"$3\" > '" +
                  trash + "/info/Thing.app.trashinfo'");
    const auto outcome = FinderHandoff::moveToTrash(bundle.path, bundle.policy, runner.path);
    ASSERT_TRUE(std::holds_alternative<FinderHandoff::Result>(outcome));
    EXPECT_EQ(std::get<FinderHandoff::Result>(outcome).trashPath, trash + "/files/Thing.app");
}

TEST(FinderReply, NamesThePlaceInTheHomeTrashWhenItExists) {
    test::FakeHome home;
    test::makeDirs(home / ".Trash/Thing.app");
    test::writeFile(home / ".Trash/notes.txt", "x");
    test::makeDirs(home / ".Trash/Old Stuff");
    const std::string chain = " of folder \".Trash\" of folder \"u\" of folder \"Users\" of startup disk";
    EXPECT_EQ(FinderHandoff::trashPath("  application file \"Thing.app\"" + chain + "\n"), home / ".Trash/Thing.app");
    EXPECT_EQ(FinderHandoff::trashPath("document file \"notes.txt\"" + chain), home / ".Trash/notes.txt");
    EXPECT_EQ(FinderHandoff::trashPath("folder \"Old Stuff\"" + chain), home / ".Trash/Old Stuff");
    EXPECT_EQ(FinderHandoff::trashPath("\"notes.txt\"" + chain), home / ".Trash/notes.txt");
}

TEST(FinderReply, GivesNothingForOtherReplies) {
    test::FakeHome home;
    test::makeDirs(home / ".Trash/Thing.app");
    test::writeFile(home / "secret", "x");
    const std::string chain = " of folder \".Trash\" of startup disk";
    EXPECT_EQ(FinderHandoff::trashPath("application file \"Thing.app\" of folder \"Applications\""), std::nullopt);
    EXPECT_EQ(FinderHandoff::trashPath("application file Thing.app in .Trash"), std::nullopt);
    EXPECT_EQ(FinderHandoff::trashPath("application file \"Gone.app\"" + chain), std::nullopt);
    EXPECT_EQ(FinderHandoff::trashPath("file \"\"" + chain), std::nullopt);
    // A name that would step out of the Trash, or into a folder of it, is not believed.
    EXPECT_EQ(FinderHandoff::trashPath("file \"../secret\"" + chain), std::nullopt);
    EXPECT_EQ(FinderHandoff::trashPath("folder \"..\"" + chain), std::nullopt);
    EXPECT_EQ(FinderHandoff::trashPath("folder \".\"" + chain), std::nullopt);
    EXPECT_EQ(FinderHandoff::trashPath("file \"Thing.app/Contents\"" + chain), std::nullopt);
}
