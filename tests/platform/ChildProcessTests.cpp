// A test's children end within their deadlines, and say how they ended.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace std::chrono_literals;

TEST(ChildProcess, ANewProcessGivesItsStatusOrWhyItHasNone) {
    if (test::isRole("ends with 5")) test::endAs(5);
    if (test::isRole("ends its own way")) std::_Exit(6); // as the code under test may
    if (test::isRole("is killed")) ::raise(SIGKILL);
    if (test::isRole("hangs")) for (;;) ::pause();
    if (test::testRole() == "never takes its role") return; // the test passes, the role untouched
    struct Row { const char* role; std::chrono::milliseconds deadline; int status; };
    for (const Row row : {Row{"ends with 5", 60s, 5}, Row{"ends its own way", 60s, 6}, Row{"is killed", 60s, -1},
                          Row{"hangs", 500ms, test::kTimedOut}, Row{"never takes its role", 60s, test::kRoleNotTaken}}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(test::runTestInNewProcess(row.role, row.deadline), row.status) << row.role;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << row.role << ": not let go at its deadline";
    }
}

TEST(ChildProcess, AForkedChildPastItsDeadlineIsKilledAndSaidSo) {
    struct Row { const char* what; int (*body)(); std::chrono::milliseconds deadline; int status; };
    const Row rows[] = {
        {"ends with 3", [] { return 3; }, 60s, 3},
        {"hangs", []() -> int { for (;;) ::pause(); }, 300ms, test::kTimedOut},
    };
    for (const Row& row : rows) {
        ::fflush(nullptr);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) ::_exit(row.body());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(test::waitForChild(pid, row.deadline), row.status) << row.what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << row.what;
        EXPECT_EQ(::kill(pid, 0), -1) << row.what << ": still there";
    }
}
