// The history page's rules: totals, restore reasons, the summary with at most six
// problem lines, and a run's detail with its restore button or its trimmed note.
#include <gtest/gtest.h>

#include "ui/tools/HistoryRules.h"

using namespace sorvel;
using namespace sorvel::HistoryRules;

namespace {

RestoreOutcome outcome(std::string path, RestoreOutcome::Result result, int64_t size = 1'000'000) {
    return RestoreOutcome{UUID::random(), MovedItem{std::move(path), "/t/x", size}, std::move(result)};
}

SweepRun runWith(size_t items, bool hasDetail = true) {
    SweepRun run;
    for (size_t i = 0; i < items; ++i) run.moved.push_back(MovedItem{"/h/" + std::to_string(i), "/t", 10});
    run.hasDetail = hasDetail;
    return run;
}

} // namespace

// Counts agree with their noun: "1 item", never "1 items".
TEST(HistoryTotals, OneItemIsSingular) {
    EXPECT_EQ(totalsLine(1, 2'000'000), "1 item \u00B7 2 MB");
    EXPECT_EQ(totalsLine(0, 0), "0 items \u00B7 0 KB");
    EXPECT_EQ(totalsLine(2, 2'000'000), "2 items \u00B7 2 MB");
}

TEST(HistoryRestoreReasons, EachRefusalHasItsClause) {
    using R = RestoreGuard::Refusal;
    const std::pair<RestoreOutcome::Result, std::string> table[] = {
        {RestoreOutcome::Failed{"Read-only file system"}, "Read-only file system"},
        {RestoreOutcome::Refused{R::destinationNotAllowed(CleanupGuard::Refusal::outsideAllowedRoots())},
         "cannot be written back there \u2014 outside the folders Sorvel is allowed to touch"},
        {RestoreOutcome::Refused{R::notInTrash()}, "not in the Trash any more \u2014 Sorvel only ever restores from there"},
        {RestoreOutcome::Refused{R::missingFromTrash()}, "gone from the Trash; it was emptied or the item was moved"},
        {RestoreOutcome::Refused{R::destinationOccupied()},
         "something is already at the original path, and Sorvel never overwrites"},
        {RestoreOutcome::Refused{R::destinationParentMissing()}, "the folder it came from no longer exists"},
    };
    for (const auto& [result, text] : table) EXPECT_EQ(reason(result), text);
}

TEST(HistorySummary, TitleCountsOnlyWhatCameBackAndAtMostSixProblemsShow) {
    const Summary one = summary({outcome("/h/a", RestoreOutcome::Restored{})});
    EXPECT_EQ(one.title, "Put back 1 item \u00B7 1 MB");
    EXPECT_TRUE(one.problems.empty());

    std::vector<RestoreOutcome> nine;
    for (int i = 0; i < 9; ++i)
        nine.push_back(outcome("/h/f" + std::to_string(i), RestoreOutcome::Refused{RestoreGuard::Refusal::destinationOccupied()}));
    const Summary none = summary(nine);
    EXPECT_EQ(none.title, "Nothing was put back"); // never told as a success
    EXPECT_TRUE(none.nothingBack);
    ASSERT_EQ(none.problems.size(), 6u);
    EXPECT_EQ(none.problems[0], "f0 \u2014 something is already at the original path, and Sorvel never overwrites");
    EXPECT_EQ(none.problems[5].rfind("f5 ", 0), 0u);
}

TEST(HistoryDetail, EmptyAndTrimmedRunsExplainThemselves) {
    EXPECT_EQ(detail(runWith(0), std::nullopt).emptyText, "Nothing was moved in this run.");
    const Detail old = detail(runWith(0, false), std::nullopt);
    EXPECT_NE(old.emptyText->find("older than the last 20 runs"), std::string::npos);
    EXPECT_FALSE(old.button);
}

TEST(HistoryDetail, FortyRowsThenTheRestAndTheButtonCountsEveryItem) {
    const Detail big = detail(runWith(2000), std::nullopt);
    EXPECT_EQ(big.rows, 40u);
    EXPECT_EQ(big.more, "+ 1960 more");
    EXPECT_EQ(big.button, "Put all 2000 back");
    EXPECT_TRUE(big.buttonEnabled);
    EXPECT_FALSE(detail(runWith(3), std::nullopt).more);
}

TEST(HistoryDetail, WhileOneRunIsPutBackEveryButtonIsDisabled) {
    const SweepRun run = runWith(3);
    const Detail own = detail(run, run.id);
    EXPECT_EQ(own.button, "Putting back\u2026");
    EXPECT_FALSE(own.buttonEnabled);
    EXPECT_TRUE(own.buttonBusy) << "drawn at full ink: its title says what runs";
    const Detail other = detail(runWith(3), run.id);
    EXPECT_EQ(other.button, "Put all 3 back");
    EXPECT_FALSE(other.buttonEnabled);
    EXPECT_FALSE(other.buttonBusy) << "drawn faint: it would do nothing";
}

TEST(HistoryDetail, ARunCutShortOffersNoButtonAndSaysTheListWasTrimmed) {
    const Detail cut = detail(runWith(2000, false), std::nullopt);
    EXPECT_EQ(cut.rows, 40u);
    EXPECT_FALSE(cut.button);
    ASSERT_TRUE(cut.trimmedNote);
    EXPECT_NE(cut.trimmedNote->find("trimmed to its first 2000 items"), std::string::npos);
}

// A run a process is still moving is neither said to be cut short nor offered for put
// back; once its mover is gone, it is both.
TEST(HistoryDetail, ARunStillBeingMovedIsNotCutShortNorPutBack) {
    struct Case {
        bool finished, moving;
        const char* note; // after the scope; none for a finished run
        bool button;
    };
    const Case cases[] = {
        {true, false, nullptr, true},
        {true, true, nullptr, true}, // finished: whatever was looked at a moment before
        {false, false, kUnfinishedNote, true},
        {false, true, kMovingNote, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.finished ? "finished" : "unfinished") + (c.moving ? ", moving" : ""));
        SweepRun run = runWith(3);
        run.scope = "items you picked";
        run.finished = c.finished;
        const std::string subtitle = runSubtitle(run, c.moving);
        EXPECT_TRUE(subtitle.ends_with(c.note ? std::string("items you picked \u00B7 ") + c.note : "items you picked"))
            << subtitle;
        const Detail d = detail(run, std::nullopt, c.moving);
        EXPECT_EQ(d.buttonEnabled, c.button);
        EXPECT_FALSE(d.buttonBusy);
    }
}
