// A sweep's found figure, and so its limit, counts only what moving its findings frees:
// a cache whose files are hard-linked elsewhere frees nothing, whatever it holds.
#include <gtest/gtest.h>
#include <unistd.h>

#include "removal/SweepRunner.h"
#include "support/TestSupport.h"
#include "RunHome.h"

using namespace sorvel;

TEST(SweepFreedFigures, ASharedCacheCountsTowardNoLimit) {
    test::RunHome home;
    const std::string uv = home.h + "/.cache/uv", blob = uv + "/archive-v0/lib.so";
    test::writeFileOfSize(blob, 6'000'000);
    test::makeDirs(home.h + "/proj/.venv");
    ASSERT_EQ(::link(blob.c_str(), (home.h + "/proj/.venv/lib.so").c_str()), 0);
    SweepSchedule s;
    s.rules = SweepSchedule::RuleSelection::only({"user-caches"});
    s.action = SweepSchedule::Action::clean;
    s.maximumBytesPerRun = 1'000'000;
    const auto out = SweepRunner::run(s, SweepRun::Trigger::manual, CloudStatus{});

    EXPECT_EQ(out.receipt.foundBytes, 0);
    EXPECT_FALSE(out.receipt.withheldReason) << *out.receipt.withheldReason;
    const auto findings = SweepReceipt::loadFindings();
    ASSERT_EQ(findings.size(), 1u);
    EXPECT_EQ(findings[0].path, uv);
    EXPECT_EQ(findings[0].shared, findings[0].size); // kept for the panel's figure
    EXPECT_GE(findings[0].size, 6'000'000);
}
