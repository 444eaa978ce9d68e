#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "platform/ProcessRunner.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Clock = std::chrono::steady_clock;

namespace {


} // namespace

TEST(ProcessRunner, CollectsBothStreamsAndTheStatus) {
    test::TempDir dir;
    auto tool = test::writeScript(dir, "tool", "echo out; echo err >&2; exit 3");
    auto r = ProcessRunner::run(tool, {});
    EXPECT_TRUE(r.launched);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitStatus, 3);
    EXPECT_EQ(r.out, "out\n");
    EXPECT_EQ(r.err, "err\n");
    EXPECT_FALSE(r.succeeded());
}

TEST(ProcessRunner, PassesArgumentsWithoutAShell) {
    auto r = ProcessRunner::run("/bin/echo", {"a b", "$HOME", ";", "*"});
    EXPECT_TRUE(r.succeeded());
    EXPECT_EQ(r.out, "a b $HOME ; *\n");
}

TEST(ProcessRunner, AMissingOrNonExecutableToolLaunchesNothing) {
    test::TempDir dir;
    const std::string marker = dir / "ran";
    const std::string plain = dir / "plain";
    test::writeFile(plain, "#!/bin/sh\ntouch " + marker + "\n");
    chmod(plain.c_str(), 0644);

    EXPECT_FALSE(ProcessRunner::run(dir / "missing", {}).launched);
    EXPECT_FALSE(ProcessRunner::run(plain, {}).launched);
    EXPECT_FALSE(ProcessRunner::run(dir.path(), {}).launched);
    EXPECT_FALSE(ProcessRunner::run("sh", {"-c", "true"}).launched) << "relative names are not searched";
    EXPECT_FALSE(test::exists(marker));
}

TEST(ProcessRunner, LargeOutputOnBothStreamsDoesNotStall) {
    test::TempDir dir;
    // Far more than a pipe holds, on both streams at once.
    auto tool = test::writeScript(dir, "loud", "head -c 3000000 /dev/zero; head -c 3000000 /dev/zero >&2; "
                                    "head -c 3000000 /dev/zero");
    auto r = ProcessRunner::run(tool, {});
    EXPECT_TRUE(r.succeeded());
    EXPECT_EQ(r.out.size(), 6000000u);
    EXPECT_EQ(r.err.size(), 3000000u);
}

TEST(ProcessRunner, OutputBeyondTheLimitIsDropped) {
    test::TempDir dir;
    auto tool = test::writeScript(dir, "loud", "head -c 100000 /dev/zero");
    ProcessRunner::Options options;
    options.outputLimit = 1000;
    auto r = ProcessRunner::run(tool, {}, options);
    EXPECT_TRUE(r.succeeded());
    EXPECT_EQ(r.out.size(), 1000u);
}

TEST(ProcessRunner, AToolPastItsDeadlineIsStoppedAndReaped) {
    test::TempDir dir;
    // The background sleep keeps the pipes open after the shell is gone: only
    // signalling the whole group ends it.
    auto tool = test::writeScript(dir, "slow", "echo started; sleep 30 & sleep 30");
    ProcessRunner::Options options;
    options.deadline = std::chrono::milliseconds(300);
    const auto start = Clock::now();
    auto r = ProcessRunner::run(tool, {}, options);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(r.launched);
    EXPECT_TRUE(r.timedOut);
    EXPECT_FALSE(r.succeeded());
}

TEST(ProcessRunner, AToolIgnoringTerminationIsKilled) {
    test::TempDir dir;
    auto tool = test::writeScript(dir, "stubborn", "trap '' TERM; while :; do sleep 0.05; done");
    ProcessRunner::Options options;
    options.deadline = std::chrono::milliseconds(200);
    options.killGrace = std::chrono::milliseconds(100);
    const auto start = Clock::now();
    auto r = ProcessRunner::run(tool, {}, options);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.signal, SIGKILL);
}

TEST(ProcessRunner, StandardInputIsEmpty) {
    auto r = ProcessRunner::run("/bin/cat", {});
    EXPECT_TRUE(r.succeeded());
    EXPECT_EQ(r.out, "");
}

// A tool is found as a shell finds it: the first executable file of that name in PATH's
// absolute folders; a folder, a plain file, a relative entry and a name with a slash are not.
TEST(ProcessRunner, FindOnPathTakesTheFirstExecutableInAnAbsoluteFolder) {
    test::TempDir a, b, here;
    test::writeFile(a / "tool", "not executable");
    test::makeDirs(a / "folder");
    const std::string second = test::writeScript(b, "tool", "exit 0");
    test::writeScript(b, "folder", "exit 0");
    test::writeScript(here, "local", "exit 0");
    test::ScopedEnv path("PATH", "::relative:" + a.path() + ":" + b.path() + ":.");
    char old[4096];
    ASSERT_TRUE(::getcwd(old, sizeof old));
    ASSERT_EQ(::chdir(here.path().c_str()), 0);
    const auto local = ProcessRunner::findOnPath("local");
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(local, std::nullopt) << "relative entries are not searched";
    EXPECT_EQ(ProcessRunner::findOnPath("tool"), second);
    EXPECT_EQ(ProcessRunner::findOnPath("folder"), b / "folder");
    EXPECT_EQ(ProcessRunner::findOnPath("absent"), std::nullopt);
    EXPECT_EQ(ProcessRunner::findOnPath(""), std::nullopt);
    EXPECT_EQ(ProcessRunner::findOnPath("b/tool"), std::nullopt);
    test::ScopedEnv unset("PATH", std::nullopt);
    EXPECT_EQ(ProcessRunner::findOnPath("tool"), std::nullopt);
}
