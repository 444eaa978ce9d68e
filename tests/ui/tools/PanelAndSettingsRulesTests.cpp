// The menu-bar panel's and the settings window's rules: the status line, the findings
// list height, the move button, the receipt figures, rule toggles, footnotes, folders
// that would expose the home, and the update button's title.
#include <gtest/gtest.h>

#include "ui/tools/MenuBarRules.h"
#include "ui/tools/RelativeDate.h"
#include "ui/tools/SettingsRules.h"

using namespace sorvel;
using Selection = SweepSchedule::RuleSelection;

TEST(PanelStatusLine, RunningBeatsTheNextDateWhichBeatsOff) {
    const Date now = dateFromUnixSeconds(1'800'000'000);
    const Date next = now + std::chrono::hours(5) + std::chrono::minutes(1);
    EXPECT_EQ(MenuBarRules::statusLine(true, next, now), "Sweeping\u2026");
    EXPECT_EQ(MenuBarRules::statusLine(false, next, now), "Next sweep in 5 hours");
    EXPECT_EQ(MenuBarRules::statusLine(false, std::nullopt, now), "Automatic sweeps are off");
}

TEST(PanelFindings, TheListGrowsBy29PointsUpTo200) {
    const std::pair<size_t, int> table[] = {{0, 29}, {1, 29}, {2, 58}, {6, 174}, {7, 200}, {10, 200}, {500, 200}};
    for (const auto& [n, height] : table) EXPECT_EQ(MenuBarRules::findingsListHeight(n), height) << n;
}

TEST(PanelFindings, TheMoveButtonTitleCountsWhatIsTicked) {
    const auto none = MenuBarRules::moveButton(false, 0, 0);
    EXPECT_EQ(none.title, "Move 0 KB to Trash");
    EXPECT_FALSE(none.enabled);
    EXPECT_FALSE(none.busy) << "nothing ticked: drawn faint";
    const auto moving = MenuBarRules::moveButton(true, 2, 3'000'000);
    EXPECT_EQ(moving.title, "Moving\u2026");
    EXPECT_FALSE(moving.enabled);
    EXPECT_TRUE(moving.busy) << "moving: inert, at full ink";
    EXPECT_EQ(MenuBarRules::moveButton(false, 1, 1'500'000'000).title, "Move 1.5 GB to Trash");
}

// The button's total and the "Found" figure of the same bytes read alike, whatever the
// size: 5.6 MB found is never "Move 6 MB".
TEST(PanelFindings, TheMoveButtonAndTheFoundFigureRoundAlike) {
    const std::pair<int64_t, const char*> table[] = {
        {5'600'000, "5.6 MB"}, {999'999, "1 MB"}, {1'540'000'000, "1.54 GB"}, {250'400'000'000, "250.4 GB"}, {1'234, "1 KB"}};
    for (const auto& [bytes, shown] : table) {
        SweepReceipt receipt;
        receipt.foundBytes = bytes;
        EXPECT_EQ(MenuBarRules::stats(receipt)[0].value, shown) << bytes;
        EXPECT_EQ(MenuBarRules::moveButton(false, 1, bytes).title, std::string("Move ") + shown + " to Trash") << bytes;
    }
}

TEST(PanelReceipt, FiguresAndDotByActionAndCounts) {
    SweepReceipt report;
    report.foundBytes = 2'000'000;
    EXPECT_EQ(MenuBarRules::stats(report).size(), 1u);
    EXPECT_FALSE(MenuBarRules::accentDot(report));
    SweepReceipt clean = report;
    clean.action = SweepSchedule::Action::clean;
    clean.refusedCount = 2;
    const auto figures = MenuBarRules::stats(clean);
    ASSERT_EQ(figures.size(), 3u);
    EXPECT_EQ(figures[1].caption, "Moved");
    EXPECT_EQ(figures[2].value, "2");
    EXPECT_FALSE(MenuBarRules::accentDot(clean));
    clean.movedCount = 1;
    EXPECT_TRUE(MenuBarRules::accentDot(clean));
}

TEST(SettingsRules, OnlySafeRulesWithTargetsAndNoExternalStepAreOffered) {
    CleanupItem safe;
    safe.id = "caches";
    safe.targets = {CleanupTarget{}};
    CleanupItem review = safe;
    review.id = "review";
    review.risk = CleanupRisk::review;
    CleanupItem trash = safe;
    trash.id = "trash";
    trash.externalAction = "File manager \u2192 Empty Trash";
    CleanupItem empty;
    empty.id = "empty";
    const auto rules = SettingsRules::availableRules({safe, review, trash, empty});
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0].id, "caches");
}

TEST(SettingsRuleToggle, UntickingFromAllStoresTheOthersAndTickingTheLastReturnsToAll) {
    const std::vector<std::string> listed{"a", "b", "c"};
    const Selection untick = SettingsRules::toggle(Selection::allSafeRules(), listed, "b");
    EXPECT_EQ(untick, Selection::only({"a", "c"}));
    EXPECT_EQ(SettingsRules::toggle(untick, listed, "b"), Selection::allSafeRules());
}

TEST(SettingsRuleToggle, IdentifiersNoLongerListedNeverMakeTheSetCountAsAll) {
    // Three listed rows; the set holds two of them plus one rule the scan no longer lists.
    const std::vector<std::string> listed{"a", "b", "c"};
    const Selection stale = Selection::only({"a", "gone", "x"});
    const Selection ticked = SettingsRules::toggle(stale, listed, "b");
    EXPECT_EQ(ticked, Selection::only({"a", "b", "gone", "x"})); // "c" is still unticked
    EXPECT_EQ(SettingsRules::toggle(ticked, listed, "c"), Selection::allSafeRules());
}

TEST(SettingsFootnote, BySelectionAndFolders) {
    EXPECT_EQ(SettingsRules::footnote(Selection::allSafeRules(), 0).text.rfind("All safe rules run.", 0), 0u);
    EXPECT_TRUE(SettingsRules::footnote(Selection::only({}), 0).warning);
    EXPECT_EQ(SettingsRules::footnote(Selection::only({}), 1).text,
              "No rules run. Sweeps look only at the 1 folder you added below.");
    EXPECT_EQ(SettingsRules::footnote(Selection::only({}), 2).text,
              "No rules run. Sweeps look only at the 2 folders you added below.");
    EXPECT_EQ(SettingsRules::footnote(Selection::only({"a"}), 0).text, "Only the ticked rules run.");
}

TEST(SettingsFolders, TheRootTheHomeAndItsAncestorsAreRefused) {
    const std::string home = "/home/ada";
    for (const char* path : {"/", "/home", "/home/ada", "/home/ada/", "/home/./ada"})
        EXPECT_TRUE(SettingsRules::folderRefusal(path, home)) << path;
    for (const char* path : {"/home/ada/build", "/home/adam", "/srv/scratch"})
        EXPECT_FALSE(SettingsRules::folderRefusal(path, home)) << path;
    EXPECT_NE(SettingsRules::folderRefusal("/home/ada", home)->find("\u201C~\u201D holds your whole home folder"),
              std::string::npos);
}

TEST(SettingsFolders, AddingIsIdempotentAndRemovingTakesEveryCopy) {
    const std::string home = "/home/ada";
    SweepSchedule s;
    s = SettingsRules::addingFolder(s, "/home/ada/build", home);
    s = SettingsRules::addingFolder(s, "/home/ada/build", home);
    s = SettingsRules::addingFolder(s, "/home", home);
    EXPECT_EQ(s.folders, std::vector<std::string>{"/home/ada/build"});
    s.folders = {"/x", "/y", "/x"};
    EXPECT_EQ(SettingsRules::removingFolder(s, "/x").folders, std::vector<std::string>{"/y"});
}

TEST(SettingsUpdates, CheckLabelByState) {
    using State = UpdateChecker::State;
    Release release;
    release.version = "1.4";
    const std::pair<State, std::string> table[] = {
        {State::idle(), "Check now"},        {State::checking(), "Checking\u2026"},
        {State::upToDate(), "Up to date"},   {State::available(release), "Version 1.4 available"},
        {State::failed("offline"), "Check again"},
    };
    for (const auto& [state, label] : table) EXPECT_EQ(SettingsRules::checkLabel(state), label);
    EXPECT_EQ(SettingsRules::hourLabel(0), "00:00");
    EXPECT_EQ(SettingsRules::hourLabel(23), "23:00");
}

TEST(RelativeDates, LargestWholeUnitAheadOrBehind) {
    const Date now = dateFromUnixSeconds(1'800'000'000);
    EXPECT_EQ(RelativeDate::full(now, now), "in 0 seconds");
    EXPECT_EQ(RelativeDate::full(now + std::chrono::minutes(1), now), "in 1 minute");
    EXPECT_EQ(RelativeDate::full(now - std::chrono::hours(24 * 8), now), "1 week ago");
    EXPECT_EQ(RelativeDate::full(now - std::chrono::hours(24 * 400), now), "1 year ago");
}
