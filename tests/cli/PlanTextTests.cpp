// The dry-run plan's text: counts, refused rows, the explained listing and its limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli/PlanCommand.h"
#include "cli/TextLayout.h"
#include "engine/Bytes.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::HeadlessReport;
using sorvel::CleanupGuard::Refusal;

namespace {

CleanupOutcome would(const std::string& path, int64_t size) {
    return CleanupOutcome{UUID::random(), path, size, CleanupOutcome::WouldMove{}};
}
CleanupOutcome refused(const std::string& path, int64_t size, Refusal r) {
    return CleanupOutcome{UUID::random(), path, size, CleanupOutcome::Refused{std::move(r)}};
}

const std::string kRule = "  " + [] {
    std::string s;
    for (int i = 0; i < 68; ++i) s += "\u2500";
    return s;
}();

} // namespace

TEST(PlanText, NothingToDo) {
    const std::string expected = "\n"
                                 "  Cleanup plan \u2014 dry run, nothing moved\n" +
                                 kRule + "\n" +
                                 "  0 of 0 targets passed every safety check\n"
                                 "  " + Bytes::format(0) + " would move to the Trash\n"
                                 "\n"
                                 "  WOULD MOVE TO TRASH\n"
                                 "\n"
                                 "  Nothing was moved. Acting on this requires confirming in the app.\n"
                                 "\n";
    EXPECT_EQ(planText({}, {}), expected);
}

TEST(PlanText, CountsAndFreedBytesCoverPassedOutcomesOnly) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    const auto text = planText({would("/Users/u/Library/Caches/a", 7'000'000),
                                refused("/Users/u/Library/Caches/b", 3'000'000, Refusal::notWritable()),
                                would("/Users/u/Library/Caches/c", 6'000'000)},
                               {});
    const auto ls = test::lines(text);
    EXPECT_EQ(ls[3], "  2 of 3 targets passed every safety check");
    EXPECT_EQ(ls[4], "  " + Bytes::format(13'000'000) + " would move to the Trash");
    EXPECT_EQ(ls[5], "");
    EXPECT_EQ(ls[6], "  REFUSED");
    EXPECT_EQ(ls[7], "  " + std::string(11 - Bytes::format(3'000'000).size(), ' ') + Bytes::format(3'000'000) +
                         "  ~/Library/Caches/b" + std::string(46 - 18, ' ') + "  not writable by you");
}

TEST(PlanText, TwentyRefusedRowsAtMostWithTheRestCounted) {
    const std::string clause = "outside the folders Sorvel is allowed to touch";
    auto rowsAndMore = [&](int count) {
        std::vector<CleanupOutcome> outcomes;
        for (int i = 0; i < count; ++i) outcomes.push_back(refused("/x/" + std::to_string(i), 1, Refusal::outsideAllowedRoots()));
        const auto ls = test::lines(planText(outcomes, {}));
        size_t rows = 0;
        for (const auto& l : ls) rows += l.find(clause) != std::string::npos;
        std::string more;
        for (const auto& l : ls)
            if (l.rfind("    \u2026 and ", 0) == 0) more = l;
        return std::make_pair(rows, more);
    };
    EXPECT_EQ(rowsAndMore(20), std::make_pair(size_t{20}, std::string()));
    EXPECT_EQ(rowsAndMore(21), std::make_pair(size_t{20}, std::string("    \u2026 and 1 more")));
}

TEST(PlanText, PathColumnIsFittedToFortySixCharacters) {
    const std::string exact = "/" + std::string(45, 'e');            // 46 characters
    const std::string longer = "/" + std::string(41, 'l') + "/tail"; // 47 characters
    const auto ls = test::lines(planText({refused(exact, 0, Refusal::notFound()), refused(longer, 0, Refusal::notFound()),
                                    refused("/short", 0, Refusal::notFound())},
                                   {}));
    const std::string size = "  " + TextLayout::leftPadded(Bytes::format(0), 11) + "  ";
    EXPECT_NE(std::find(ls.begin(), ls.end(), size + exact + "  no longer exists"), ls.end());
    EXPECT_NE(std::find(ls.begin(), ls.end(), size + "\u2026" + longer.substr(2) + "  no longer exists"), ls.end());
    EXPECT_NE(std::find(ls.begin(), ls.end(), size + "/short" + std::string(40, ' ') + "  no longer exists"), ls.end())
        << "a short path is padded";
}

TEST(PlanText, ASizeChangeShowsTheGuardsWording) {
    const auto text = planText({refused("/Users/u/Library/Caches/busy", 100, Refusal::sizeChanged(100, 500))}, {});
    EXPECT_NE(text.find("changed since the scan (" + Bytes::format(100) + " \u2192 " + Bytes::format(500) +
                        "); something is still writing to it"),
              std::string::npos);
}

TEST(PlanText, EachListedTargetIsExplainedAndWrappedAtSeventyFour) {
    test::ScopedEnv home("HOME", std::string("/Users/u"));
    const std::string path = "/Users/u/Library/Caches/com.example.app";
    const std::string detail = "A rather long detail about this target that certainly needs more than one line "
                               "of text to be shown within the width of the plan.";
    const auto ls = test::lines(planText({would(path, 9'000'000)}, {{path, detail}}));
    const std::string row = "  " + TextLayout::leftPadded(Bytes::format(9'000'000), 11) + "  ~/Library/Caches/com.example.app";
    auto at = std::find(ls.begin(), ls.end(), row);
    ASSERT_NE(at, ls.end());
    EXPECT_EQ(*(at - 1), "");
    const std::string indent(15, ' ');
    const std::vector<std::string> expected = {
        indent + "Cached data written by com.example.app. Caches hold things",
        indent + "an app can recreate — downloads, thumbnails, computed",
        indent + "results.",
        indent + "→ A rather long detail about this target that certainly",
        indent + "needs more than one line of text to be shown within the",
        indent + "width of the plan.",
        "",
        "  Nothing was moved. Acting on this requires confirming in the app.",
        "",
    };
    ASSERT_EQ(ls.end() - at, 10);
    EXPECT_EQ(std::vector<std::string>(at + 1, ls.end()), expected);
    // Each line is full: the next line's first word would have pushed it past 74.
    for (size_t i = 0; i + 1 < 6; ++i) {
        const auto& l = expected[i];
        const auto next = expected[i + 1].substr(15, expected[i + 1].find(' ', 15) - 15);
        EXPECT_LE(TextLayout::characterCount(l), 74u) << l;
        if (i != 2) {
            EXPECT_GT(TextLayout::characterCount(l + " " + next), 74u) << l;
        }
    }
}

TEST(PlanText, OneLimitForTheListingAndItsRemainder) {
    auto listing = [](size_t count) {
        std::vector<CleanupOutcome> outcomes;
        for (size_t i = 0; i < count; ++i) outcomes.push_back(would("/srv/t" + std::to_string(i), 1));
        const auto ls = test::lines(planText(outcomes, {}));
        size_t rows = 0;
        std::string more;
        for (const auto& l : ls) {
            rows += l.find("  /srv/t") != std::string::npos;
            if (l.rfind("    \u2026 and ", 0) == 0) more = l;
        }
        return std::make_pair(rows, more);
    };
    EXPECT_EQ(listing(kPlanListingLimit), std::make_pair(kPlanListingLimit, std::string()));
    EXPECT_EQ(listing(kPlanListingLimit + 1), std::make_pair(kPlanListingLimit, std::string("    \u2026 and 1 more")));
    // Every outcome is either listed or counted.
    EXPECT_EQ(listing(30), std::make_pair(kPlanListingLimit, "    \u2026 and " + std::to_string(30 - kPlanListingLimit) + " more"));
}

TEST(PlanInput, TargetsOfTheItemsTheWindowWouldTickInOrderWithTheFirstDetailOfEachPath) {
    CleanupItem safe;
    safe.id = "user-caches";
    safe.risk = CleanupRisk::safe;
    safe.targets = {CleanupTarget{UUID::random(), "a", "/srv/a/", 5, std::string("first")},
                    CleanupTarget{UUID::random(), "b", "/srv/b", 3, std::nullopt}};
    CleanupItem review = safe;
    review.id = "leftovers";
    review.risk = CleanupRisk::review;
    review.targets = {CleanupTarget{UUID::random(), "c", "/srv/c", 9, std::string("review")}};
    CleanupItem again = safe;
    again.id = "logs";
    again.targets = {CleanupTarget{UUID::random(), "a", "/srv/./a", 1, std::string("second")}};

    // Safe, but the user must act elsewhere: the window would not tick it, so neither does the plan.
    CleanupItem outside = safe;
    outside.id = "backups";
    outside.externalAction = "Remove with the backup program";
    outside.targets = {CleanupTarget{UUID::random(), "d", "/srv/d", 7, std::nullopt}};

    const auto input = planInput({safe, review, outside, again});
    EXPECT_EQ(input.pairs, (std::vector<CleanupExecutor::PathSize>{{"/srv/a/", 5}, {"/srv/b", 3}, {"/srv/./a", 1}}));
    ASSERT_EQ(input.details.size(), 2u);
    EXPECT_EQ(input.details.at("/srv/a"), "first");
    EXPECT_EQ(input.details.at("/srv/b"), std::nullopt);
}
