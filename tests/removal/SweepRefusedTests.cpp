// A cache the guard refuses when offers are screened is counted among a sweep's refused and,
// when nothing else moved, the receipt says why: never "found nothing". Real mounts in a
// namespace of their own.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include "MountRig.h"
#include "platform/BoundedLook.h"
#include "support/ForegroundBindfs.h"

using namespace sorvel;
using Action = SweepSchedule::Action;

namespace {

// A bindfs elsewhere whose daemon is stopped: every move is fenced. -1 when it cannot be had.
pid_t stoppedFuse(test::Home& t) {
    test::makeDirs(t.m + "/source"), test::makeDirs(t.m + "/fu");
    const pid_t daemon = ::access("/usr/bin/bindfs", X_OK) == 0 ? test::foregroundBindfs(t.m + "/source", t.m + "/fu") : -1;
    int status = 0;
    if (daemon < 0 || ::kill(daemon, SIGSTOP) != 0 || ::waitpid(daemon, &status, WUNTRACED) != daemon) return -1;
    setLookBound(std::chrono::milliseconds(300));
    return daemon;
}

// The cache is what a bind mount elsewhere shows.
pid_t shownElsewhere(test::Home& t) {
    test::makeDirs(t.m + "/shown");
    return test::bindAt(t.h + "/.cache/mystuff", t.m + "/shown") ? 0 : -1;
}

} // namespace

TEST(SweepRefused, ACacheTheScreenRefusesIsCountedAndSaid) {
    const struct { pid_t (*fence)(test::Home&); Action action; bool otherCache; const char* says; } rows[] = {
        {stoppedFuse, Action::clean, false, "did not answer within a few seconds"},
        {stoppedFuse, Action::report, false, "did not answer within a few seconds"},
        {shownElsewhere, Action::clean, false, "shows (a bind mount)"},
        {shownElsewhere, Action::clean, true, nullptr}, // beside a cache that moves
    };
    int ran = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.says ? row.says : "beside a cache that moves");
        test::Home t;
        const std::string fenced = t.h + "/.cache/mystuff", other = t.h + "/.cache/other";
        test::writeFileOfSize(fenced + "/blob", 6'000'000);
        if (row.otherCache) test::writeFileOfSize(other + "/blob", 6'000'000);
        const int status = test::inMountNamespace([&] {
            const pid_t daemon = row.fence(t);
            if (daemon < 0) return test::kSkipped;
            SweepSchedule s;
            s.rules = SweepSchedule::RuleSelection::only({"user-caches"}), s.action = row.action;
            SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{});
            if (daemon > 0) ::kill(daemon, SIGKILL), ::waitpid(daemon, nullptr, 0);
            return 0;
        });
        if (status == test::kSkipped) continue;
        ++ran;
        ASSERT_EQ(status, 0);
        const auto receipt = SweepReceipt::loadLast();
        ASSERT_TRUE(receipt);
        EXPECT_EQ(receipt->refusedCount, 1);
        EXPECT_TRUE(test::exists(fenced + "/blob"));
        EXPECT_EQ(receipt->movedCount, row.otherCache ? 1 : 0);
        if (row.otherCache) {
            EXPECT_EQ(receipt->withheldReason, std::nullopt);
            // The rest moved: why this one stayed is still said, beside "Skipped".
            EXPECT_NE(receipt->skippedReason.value_or("none").find("shows (a bind mount)"), std::string::npos);
            continue;
        }
        EXPECT_EQ(receipt->skippedReason, std::nullopt) << "said once, as what was withheld";
        EXPECT_EQ(receipt->foundBytes, 0);
        const std::string reason = receipt->withheldReason.value_or("none");
        EXPECT_EQ(reason.rfind("Sorvel refused 1 item this sweep would have moved: \u201C~/.cache/mystuff\u201D \u2014 ", 0), 0u)
            << reason;
        EXPECT_NE(reason.find(row.says), std::string::npos) << reason;
        EXPECT_NE(receipt->headline(), "Nothing needed cleaning");
        const auto runs = SweepHistory::load();
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(runs[0].receipt.withheldReason, receipt->withheldReason);
    }
    if (ran < static_cast<int>(std::size(rows))) GTEST_SKIP() << ran << " rows ran; the rest need bindfs and mounts";
}
