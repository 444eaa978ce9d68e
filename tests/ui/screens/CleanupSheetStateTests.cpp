// The cleanup preview's steps without a window: grouping, ticks, stages and their texts.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/Path.h"
#include "ui/screens/CleanupSheetState.h"

using namespace sorvel;
using namespace sorvel::ui;
using Stage = CleanupSheetState::Stage;

namespace {

CleanupItem item(const std::string& id, std::vector<std::string> paths, CleanupRisk risk = CleanupRisk::safe) {
    CleanupItem i;
    i.id = id;
    i.title = "Title " + id;
    i.risk = risk;
    for (auto& p : paths) {
        CleanupTarget t;
        t.path = p;
        t.size = 10;
        t.detail = "detail of " + p;
        i.targets.push_back(t);
    }
    return i;
}

CleanupOutcome would(const std::string& path, int64_t size = 10) {
    CleanupOutcome o;
    o.path = path;
    o.size = size;
    return o;
}
CleanupOutcome refused(const std::string& path) {
    auto o = would(path);
    o.result = CleanupOutcome::Refused{CleanupGuard::Refusal::notFound()};
    return o;
}
CleanupOutcome moved(const std::string& path, int64_t size = 10) {
    auto o = would(path, size);
    o.result = CleanupOutcome::MovedToTrash{"/trash/" + path};
    return o;
}
CleanupOutcome failed(const std::string& path) {
    auto o = would(path);
    o.result = CleanupOutcome::Failed{"Permission denied"};
    return o;
}

const std::string kReview =
    "Nothing has been moved. Untick anything you want to keep \u2014 the total follows your ticks.";

} // namespace

TEST(CleanupSheetReview, TwoGroupsWithOneRefusalStartFullyTicked) {
    const std::vector<CleanupItem> items = {item("a", {"/h/a1", "/h/a2", "/h/a3"}), item("b", {"/h/b1", "/h/b2"})};
    CleanupSheetState s;
    EXPECT_TRUE(s.isPreparing());
    EXPECT_EQ(s.countLine(), "0 of 0 selected");
    EXPECT_FALSE(s.secondButtonEnabled());
    s.dryRunReturned({would("/h/b1", 5), would("/h/a1"), refused("/h/a2"), would("/h/a3"), would("/h/b2", 7)});

    const auto groups = s.groups(items);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].title(), "Title a");
    EXPECT_EQ(groups[0].rows.size(), 3u);
    EXPECT_EQ(groups[1].rows.size(), 2u);
    EXPECT_EQ(s.subtitle(), kReview + " 1 item was refused by the safety checks and cannot be selected.");
    EXPECT_EQ(s.countLine(), "4 of 4 selected");
    EXPECT_EQ(s.amount(), 32);
    EXPECT_EQ(s.headerButton(), "Deselect all");
    EXPECT_FALSE(s.isSelectable(s.outcomes()[2]));
    EXPECT_FALSE(s.isSelected(s.outcomes()[2]));
    EXPECT_EQ(CleanupSheetState::groupBytes(groups[0], s.outcomes()), 30); // refused rows count in the group
}

TEST(CleanupSheetReview, RefusalSentenceAndTitlesFollowTheCount) {
    CleanupSheetState none, two;
    none.dryRunReturned({would("/a")});
    two.dryRunReturned({refused("/a"), refused("/b"), would("/c")});
    EXPECT_EQ(none.subtitle(), kReview);
    EXPECT_EQ(two.subtitle(), kReview + " 2 items were refused by the safety checks and cannot be selected.");

    struct Case {
        size_t chosen;
        std::string title, button;
    } cases[] = {{1, "Move 1 item to the Trash?", "Move 1 to Trash"}, {3, "Move 3 items to the Trash?", "Move 3 to Trash"}};
    for (const auto& c : cases) {
        CleanupSheetState s;
        std::vector<CleanupOutcome> o;
        for (size_t i = 0; i < c.chosen; ++i) o.push_back(would("/p" + std::to_string(i)));
        s.dryRunReturned(o);
        s.proceed();
        EXPECT_EQ(s.title(), c.title);
        EXPECT_EQ(s.secondButton(), c.button);
    }
}

TEST(CleanupSheetReview, TicksGroupButtonsAndSelectAllTouchOnlyEligibleRows) {
    const std::vector<CleanupItem> items = {item("a", {"/a1", "/a2"}), item("b", {"/b1"})};
    CleanupSheetState s;
    s.dryRunReturned({would("/a1"), would("/a2"), refused("/b1")});
    auto groups = s.groups(items);
    EXPECT_EQ(s.groupButton(groups[0]), "None");
    EXPECT_EQ(s.groupButton(groups[1]), std::nullopt); // every row refused

    s.toggle("/a1");
    EXPECT_EQ(s.countLine(), "1 of 2 selected");
    EXPECT_EQ(s.groupButton(groups[0]), "All");
    EXPECT_EQ(s.headerButton(), "Select all");
    s.toggle("/b1"); // refused: no effect
    EXPECT_EQ(s.countLine(), "1 of 2 selected");

    s.toggleAll();
    EXPECT_EQ(s.countLine(), "2 of 2 selected");
    s.toggleAll();
    EXPECT_EQ(s.countLine(), "0 of 2 selected");
    EXPECT_EQ(s.amount(), 0);
    EXPECT_FALSE(s.secondButtonEnabled());
    s.proceed();
    EXPECT_EQ(s.stage(), Stage::review);

    s.toggleGroup(groups[0]);
    EXPECT_EQ(s.countLine(), "2 of 2 selected");
    EXPECT_FALSE(s.isSelected(s.outcomes()[2]));
}

TEST(CleanupSheetReview, APathOfTwoRecommendationsShowsAndTicksInBoth) {
    const std::vector<CleanupItem> items = {item("a", {"/x", "/a"}), item("b", {"/x/"})};
    CleanupSheetState s;
    s.dryRunReturned({would("/x"), would("/a")});
    const auto groups = s.groups(items);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[1].rows, std::vector<size_t>{0});
    s.toggle("/x");
    EXPECT_FALSE(s.isSelected(s.outcomes()[groups[1].rows[0]]));
    EXPECT_EQ(CleanupSheetState::fallbackDetail(s.outcomes()[0], groups[1]), "detail of /x/");
}

TEST(CleanupSheetReview, EveryEligibleOutcomeIsOnScreenEvenWithoutARecommendation) {
    // Targets written loosely still meet their outcomes; an outcome no recommendation
    // names lands in a trailing group instead of being moved unseen.
    const std::vector<CleanupItem> items = {item("a", {"/h//Caches/./one", "~/two"})};
    CleanupSheetState s;
    s.dryRunReturned({would("/h/Caches/one"), would(standardizePath("~/two")), would("/h/stray"), refused("/h/gone")});
    const auto groups = s.groups(items);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].rows.size(), 2u);
    EXPECT_FALSE(groups[1].item);
    EXPECT_EQ(groups[1].title(), "Other items");
    std::vector<size_t> shown;
    for (const auto& g : groups) shown.insert(shown.end(), g.rows.begin(), g.rows.end());
    for (const auto* o : s.chosen())
        EXPECT_NE(std::find(shown.begin(), shown.end(), static_cast<size_t>(o - s.outcomes().data())), shown.end())
            << o->path;
}

TEST(CleanupSheetMove, OneMoveAtATimeAndConfirmingLocksTheTicks) {
    CleanupSheetState s;
    s.dryRunReturned({would("/a"), would("/b")});
    s.proceed();
    EXPECT_TRUE(s.canGoBack());
    s.back();
    EXPECT_EQ(s.stage(), Stage::review);
    s.proceed();
    const auto paths = s.startMove();
    ASSERT_TRUE(paths);
    EXPECT_EQ(paths->size(), 2u);
    EXPECT_EQ(s.secondButton(), "Moving\u2026");
    EXPECT_FALSE(s.secondButtonEnabled());
    EXPECT_FALSE(s.startMove()); // one move at a time
    s.toggle("/a");
    EXPECT_EQ(s.chosen().size(), 2u) << "confirming ticks nothing";
}

// "Back" stays open while the move runs: the review's ticks work again (the move goes on
// with what it was given), no second move starts, and whatever stage the sheet is in when
// the move returns, it takes the move's outcomes and is done.
TEST(CleanupSheetMove, BackDuringTheMoveReviewsAgainThenTheMovesOutcomesEndIt) {
    enum class Then { stayInReview, untickInReview, confirmAgain, backTwice };
    for (const Then then : {Then::stayInReview, Then::untickInReview, Then::confirmAgain, Then::backTwice}) {
        SCOPED_TRACE(static_cast<int>(then));
        CleanupSheetState s;
        s.dryRunReturned({would("/a"), would("/b"), refused("/r")});
        s.proceed();
        ASSERT_TRUE(s.startMove());
        EXPECT_TRUE(s.firstButtonEnabled());
        ASSERT_TRUE(s.canGoBack());
        s.back();
        ASSERT_EQ(s.stage(), Stage::review);
        EXPECT_TRUE(s.isWorking());
        EXPECT_TRUE(s.isSelectable(s.outcomes()[0]));
        EXPECT_FALSE(s.isSelectable(s.outcomes()[2])) << "a refused row stays unselectable";
        EXPECT_EQ(s.title(), "Choose what to remove");
        EXPECT_EQ(s.headerButton(), "Deselect all");
        switch (then) {
        case Then::stayInReview: break;
        case Then::untickInReview:
            s.toggle("/b");
            EXPECT_EQ(s.countLine(), "1 of 2 selected");
            s.toggleAll();
            EXPECT_EQ(s.countLine(), "2 of 2 selected");
            s.toggle("/a");
            break;
        case Then::confirmAgain:
            s.proceed();
            ASSERT_EQ(s.stage(), Stage::confirming);
            EXPECT_EQ(s.secondButton(), "Moving\u2026");
            EXPECT_FALSE(s.secondButtonEnabled());
            EXPECT_FALSE(s.startMove()) << "a second move while the first runs";
            break;
        case Then::backTwice:
            s.proceed();
            s.back();
            EXPECT_EQ(s.stage(), Stage::review);
            break;
        }
        s.moveReturned({moved("/a"), moved("/b")});
        EXPECT_EQ(s.stage(), Stage::done);
        EXPECT_FALSE(s.isWorking());
        EXPECT_EQ(s.movedCount(), 2);
        EXPECT_EQ(s.title(), "Moved to the Trash");
        EXPECT_EQ(s.amount(), 20) << "the amount is what moved, whatever was ticked meanwhile";
        for (const auto& o : s.outcomes()) EXPECT_FALSE(s.isSelectable(o));
    }
}

// A dry run or a move that stopped with an error ends with its reason instead of
// waiting for outcomes that never come.
TEST(CleanupSheetMove, ARunThatStoppedEndsWithItsReason) {
    const std::string reason = "Sorvel could not finish (out of memory).";
    CleanupSheetState moving, preparing;
    moving.dryRunReturned({would("/a")});
    moving.proceed();
    ASSERT_TRUE(moving.startMove());
    moving.failed(reason);
    EXPECT_TRUE(moving.stage() == Stage::done && !moving.isWorking());
    EXPECT_NE(moving.title().find("stopped"), std::string::npos) << moving.title();
    EXPECT_EQ(moving.subtitle(), reason);
    EXPECT_EQ(moving.headerSymbol(), CleanupSheetState::HeaderSymbol::warning);
    preparing.failed(reason);
    EXPECT_TRUE(!preparing.isPreparing() && preparing.stage() == Stage::review && !preparing.canProceed());
    EXPECT_EQ(preparing.subtitle(), reason);
}

TEST(CleanupSheetMove, DoneStageSaysWhatReallyHappened) {
    struct Case {
        std::vector<CleanupOutcome> outcomes;
        std::string title, subtitle;
        CleanupSheetState::HeaderSymbol symbol;
        int64_t amount;
    } cases[] = {
        {{moved("/a", 10), moved("/b", 5)},
         "Moved to the Trash",
         "Nothing is gone until you empty the Trash, so all of this is still recoverable.",
         CleanupSheetState::HeaderSymbol::success,
         15},
        {{failed("/a"), refused("/b")},
         "Nothing was moved",
         "2 items could not be moved \u2014 each is listed below with the reason.",
         CleanupSheetState::HeaderSymbol::warning,
         0},
        {{moved("/a", 10), failed("/b")},
         "Moved 1 of 2 items to the Trash",
         "Nothing is gone until you empty the Trash, so what was moved is still recoverable. 1 item could not be "
         "moved \u2014 each is listed below with the reason.",
         CleanupSheetState::HeaderSymbol::warning,
         10},
    };
    for (const auto& c : cases) {
        CleanupSheetState s;
        s.dryRunReturned({would("/a"), would("/b")});
        s.proceed();
        ASSERT_TRUE(s.startMove());
        s.moveReturned(c.outcomes);
        EXPECT_EQ(s.stage(), Stage::done);
        EXPECT_EQ(s.title(), c.title);
        EXPECT_EQ(s.subtitle(), c.subtitle);
        EXPECT_EQ(s.headerSymbol(), c.symbol) << c.title;
        EXPECT_EQ(s.amount(), c.amount) << c.title;
        EXPECT_EQ(s.countLine(), "moved");
        EXPECT_TRUE(s.showsOpenTrash());
        for (const auto& o : s.outcomes()) EXPECT_FALSE(s.isSelectable(o));
        // What could not be moved comes first in its group.
        const auto groups = s.groups({});
        ASSERT_EQ(groups.size(), 1u);
        EXPECT_EQ(s.outcomes()[groups[0].rows.front()].moved(), c.symbol == CleanupSheetState::HeaderSymbol::success);
    }
}

TEST(CleanupSheetMove, CopyPathsJoinsTheChosenWithLineFeeds) {
    CleanupSheetState s;
    s.dryRunReturned({would("/a"), refused("/r"), would("/b"), would("/c")});
    s.toggle("/c");
    EXPECT_EQ(s.copiedPaths(), "/a\n/b");
    s.toggleAll();
    s.toggleAll();
    EXPECT_EQ(s.copiedPaths(), "");
}

TEST(CleanupSheetReview, NothingSelectedShowsItsLine) {
    CleanupSheetState s;
    EXPECT_FALSE(s.showsNothingSelected());
    s.dryRunReturned({});
    EXPECT_TRUE(s.showsNothingSelected());
    EXPECT_EQ(s.countLine(), "0 of 0 selected");
    EXPECT_EQ(s.headerButton(), "Select all");
    EXPECT_FALSE(s.secondButtonEnabled());
}

TEST(CleanupSheetConfirm, ConfirmingListsOnlyWhatWillMoveAndBackListsEverything) {
    const std::vector<CleanupItem> items = {item("a", {"/h/a1", "/h/a2"}), item("b", {"/h/b1"}), item("c", {"/h/c1"})};
    CleanupSheetState s;
    s.dryRunReturned({would("/h/a1"), would("/h/a2"), would("/h/b1"), refused("/h/c1"), would("/h/x")});
    s.toggle("/h/a2");
    s.toggle("/h/b1");
    s.proceed();
    ASSERT_EQ(s.stage(), Stage::confirming);
    auto listed = [&] {
        std::vector<std::string> paths;
        for (const auto& g : s.groups(items))
            for (size_t i : g.rows) paths.push_back(g.title() + ":" + s.outcomes()[i].path);
        return paths;
    };
    // Unticked and refused rows, and groups left empty by them, are not listed.
    EXPECT_EQ(listed(), (std::vector<std::string>{"Title a:/h/a1", "Other items:/h/x"}));
    EXPECT_EQ(s.title(), "Move 2 items to the Trash?");
    s.back();
    EXPECT_EQ(listed().size(), 5u);
}

namespace {

// Each group as its title and the paths of its rows, in order.
std::vector<std::pair<std::string, std::vector<std::string>>> listed(const CleanupSheetState& s,
                                                                     const std::vector<CleanupItem>& items) {
    std::vector<std::pair<std::string, std::vector<std::string>>> out;
    for (const auto& g : s.groups(items)) {
        std::vector<std::string> paths;
        for (size_t i : g.rows) paths.push_back(s.outcomes()[i].path);
        out.emplace_back(g.title(), paths);
    }
    return out;
}

} // namespace

TEST(CleanupSheetGroups, RowsAreFoundUnderEveryRuleThatNamesTheirPath) {
    using Listed = std::vector<std::pair<std::string, std::vector<std::string>>>;
    struct Row {
        const char* name;
        std::vector<CleanupItem> items;
        std::vector<CleanupOutcome> outcomes;
        Listed expected;
    };
    const std::vector<Row> table = {
        {"targets written otherwise compare standardised",
         {item("a", {"/h/q/../a1", "/h/a2/", "~/x"})},
         {would("/h/a2"), would("/h/a1")},
         {{"Title a", {"/h/a2", "/h/a1"}}}},
        {"a target repeated in a rule lists its row once",
         {item("a", {"/h/a1", "/h/a1", "/h/./a1"})},
         {would("/h/a1")},
         {{"Title a", {"/h/a1"}}}},
        {"a rule none of whose paths came back is left out",
         {item("a", {"/h/gone"}), item("b", {"/h/b1"})},
         {would("/h/b1")},
         {{"Title b", {"/h/b1"}}}},
    };
    for (const auto& row : table) {
        CleanupSheetState s;
        s.dryRunReturned(row.outcomes);
        EXPECT_EQ(listed(s, row.items), row.expected) << row.name;
    }
}

TEST(CleanupSheetGroups, TheRowsFollowNewItemsAndNewOutcomes) {
    CleanupSheetState s;
    s.dryRunReturned({would("/h/a1"), would("/h/b1")});
    const std::vector<CleanupItem> first = {item("a", {"/h/a1"})};
    const std::vector<CleanupItem> second = {item("b", {"/h/b1"})}; // as many items, other paths
    EXPECT_EQ(listed(s, first)[0].second, std::vector<std::string>{"/h/a1"});
    EXPECT_EQ(listed(s, second)[0].second, std::vector<std::string>{"/h/b1"});
    s.proceed();
    auto paths = s.startMove();
    ASSERT_TRUE(paths.has_value());
    s.moveReturned({moved("/h/b1"), failed("/h/a1")});
    EXPECT_EQ(listed(s, second), (std::vector<std::pair<std::string, std::vector<std::string>>>{
                                     {"Title b", {"/h/b1"}}, {"Other items", {"/h/a1"}}}));
}

// Back during a move: the review's subtitle says the move is under way and how far it has
// come (a count never past its total), keeps the refusal sentence, and the plain review
// sentence comes back only for a review before any move.
TEST(CleanupSheetMove, TheReviewDuringAMoveSaysHowFarItHasCome) {
    const std::string underWay = "The move to the Trash is under way \u2014 ";
    const std::string tail = " moved so far. What it moved is shown when it ends.";
    const std::string refusal = " 1 item was refused by the safety checks and cannot be selected.";
    const struct {
        std::vector<std::pair<int, int>> progress; // reported (done, total), in order
        std::string expected;
    } table[] = {
        {{}, underWay + "0 of 2 items" + tail + refusal},
        {{{1, 2}}, underWay + "1 of 2 items" + tail + refusal},
        {{{1, 2}, {2, 2}}, underWay + "2 of 2 items" + tail + refusal},
        {{{5, 2}}, underWay + "2 of 2 items" + tail + refusal},
        {{{1, 2}, {0, 0}}, underWay + "1 of 2 items" + tail + refusal},
    };
    for (const auto& row : table) {
        CleanupSheetState s;
        s.dryRunReturned({would("/a"), would("/b"), refused("/r")});
        s.proceed();
        ASSERT_TRUE(s.startMove());
        for (const auto& [done, total] : row.progress) s.moveProgressed(done, total);
        s.back();
        EXPECT_EQ(s.subtitle(), row.expected);
        s.moveReturned({moved("/a"), moved("/b")});
        EXPECT_EQ(s.subtitle().find("under way"), std::string::npos);
    }
    // Progress heard outside a move changes nothing.
    CleanupSheetState idle;
    idle.dryRunReturned({would("/a")});
    idle.moveProgressed(1, 1);
    EXPECT_EQ(idle.subtitle(), kReview);
}
