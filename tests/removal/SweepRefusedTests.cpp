// A cache the guard refuses when the offers are screened is kept back by a sweep, so the
// sweep counts it as refused and, when nothing else moved, says why: never "found nothing".
// Real mounts (bindfs, a bind) in a namespace of their own.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "MountRig.h"
#include "platform/BoundedLook.h"
#include "support/ForegroundBindfs.h"

using namespace sorvel;
using Action = SweepSchedule::Action;

TEST(SweepRefused, ACacheTheScreenRefusesIsCountedAndSaid) {
    struct Row {
        const char* name;
        Action action;
        bool otherCache;    // a second cache that nothing stops
        const char* says;   // in the reason when nothing else goes
        std::function<pid_t(test::Home&)> fence; // in the child: 0 when set, -1 when it cannot be here
    };
    const Row rows[] = {
        {"a FUSE mount elsewhere whose daemon is stopped fences a clean sweep", Action::clean, false,
         "did not answer within a few seconds",
         [](test::Home& t) -> pid_t {
             if (::access("/usr/bin/bindfs", X_OK) != 0) return -1;
             test::makeDirs(t.m + "/source");
             test::makeDirs(t.m + "/fu");
             const pid_t daemon = test::foregroundBindfs(t.m + "/source", t.m + "/fu");
             if (daemon < 0) return -1;
             ::kill(daemon, SIGSTOP);
             int stopped = 0;
             if (::waitpid(daemon, &stopped, WUNTRACED) != daemon || !WIFSTOPPED(stopped)) return -1;
             setLookBound(std::chrono::milliseconds(300));
             return daemon;
         }},
        {"the same, in a sweep that only reports", Action::report, false, "did not answer within a few seconds",
         nullptr},
        {"the cache is what a bind mount elsewhere shows", Action::clean, false, "shows (a bind mount)",
         [](test::Home& t) -> pid_t {
             test::makeDirs(t.m + "/shown");
             return test::bindAt(t.h + "/.cache/mystuff", t.m + "/shown") ? 0 : -1;
         }},
        {"the bind beside a cache that moves: counted, the move said", Action::clean, true, nullptr, nullptr},
    };
    int ran = 0;
    std::function<pid_t(test::Home&)> fence; // a row without one keeps the row before's
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.fence) fence = row.fence;
        test::Home t;
        const std::string fenced = t.h + "/.cache/mystuff", other = t.h + "/.cache/other";
        test::writeFileOfSize(fenced + "/blob", 6'000'000);
        if (row.otherCache) test::writeFileOfSize(other + "/blob", 6'000'000);
        const int status = test::inMountNamespace([&] {
            const pid_t daemon = fence(t);
            if (daemon < 0) return test::kSkipped;
            SweepSchedule s;
            s.rules = SweepSchedule::RuleSelection::only({"user-caches"});
            s.action = row.action;
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
        if (row.otherCache) {
            EXPECT_EQ(receipt->movedCount, 1);
            EXPECT_EQ(receipt->withheldReason, std::nullopt);
            EXPECT_FALSE(test::exists(other + "/blob"));
            continue;
        }
        EXPECT_EQ(receipt->foundBytes, 0);
        EXPECT_EQ(receipt->movedCount, 0);
        const std::string reason = receipt->withheldReason.value_or("none");
        EXPECT_EQ(reason.rfind("Sorvel refused 1 item this sweep would have moved: \u201C~/.cache/mystuff\u201D \u2014 ", 0),
                  0u) << reason;
        EXPECT_NE(reason.find(row.says), std::string::npos) << reason;
        EXPECT_NE(receipt->headline(), "Nothing needed cleaning");
        const auto runs = SweepHistory::load();
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(runs[0].receipt.withheldReason, receipt->withheldReason);
    }
    if (ran < static_cast<int>(std::size(rows))) GTEST_SKIP() << "rows ran: " << ran << " (the rest need bindfs and mounts)";
}
