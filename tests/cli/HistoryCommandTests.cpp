// `--history`: the heading, the two lines per run, the 30-run listing limit, and the
// command on a fake home, with entries or a settings file it cannot read.
#include <gtest/gtest.h>

#include "cli/HistoryCommand.h"
#include "cli/TextLayout.h"
#include "engine/Bytes.h"
#include "platform/TrashInfo.h"
#include "platform/UserDefaults.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// 2026-12-07 15:04 UTC; the tests run with TZ=UTC.
const Date kWhen = dateFromUnixSeconds(1'796'655'840);

SweepRun run(SweepRun::Trigger trigger, int64_t moved, const std::string& scope, bool detail = true) {
    SweepRun r;
    r.trigger = trigger;
    r.scope = scope;
    r.hasDetail = detail;
    r.receipt.date = kWhen;
    r.receipt.action = SweepSchedule::Action::clean;
    r.receipt.movedBytes = moved;
    r.receipt.movedCount = moved > 0 ? 1 : 0;
    return r;
}

std::vector<std::string> lines(const std::string& text) {
    EXPECT_TRUE(text.empty() || text.back() == '\n'); // every line ends with a line break
    return test::lines(text);
}

} // namespace

TEST(HistoryReport, NothingRecorded) {
    EXPECT_EQ(HeadlessReport::historyReport({}), "\n  No runs recorded yet.\n\n");
}

TEST(HistoryReport, OneRunExactLines) {
    const auto text = HeadlessReport::historyReport({run(SweepRun::Trigger::menuBar, 2'500'000, "findings you ticked")});
    const auto l = lines(text);
    ASSERT_EQ(l.size(), 6u);
    EXPECT_EQ(l[0], "");
    EXPECT_EQ(l[1], "  1 run recorded, " + Bytes::format(2'500'000) + " moved in total");
    EXPECT_EQ(l[2], "");
    // The date fills its 22 columns; a space still parts it from the label.
    EXPECT_EQ(l[3], "  Dec 7, 2026 at 3:04 PM " + std::string("Sweep panel") +
                        TextLayout::leftPadded(Bytes::format(2'500'000), 10) + "  Moved " + Bytes::format(2'500'000) +
                        " to the Trash");
    EXPECT_EQ(l[4], "        findings you ticked");
    EXPECT_EQ(l[5], "");
}

TEST(HistoryReport, ALongDateNeverRunsIntoTheLabel) {
    auto r = run(SweepRun::Trigger::scheduled, 0, "x");
    r.receipt.date = dateFromUnixSeconds(1797546240); // Dec 17, 2026 at 10:24 PM (UTC)
    const auto l = lines(HeadlessReport::historyReport({r}));
    ASSERT_GE(l.size(), 4u);
    EXPECT_EQ(l[3].rfind("  Dec 17, 2026 at 10:24 PM Scheduled", 0), 0u) << l[3];
}

TEST(HistoryReport, LabelsTrimmedNoticeAndZeroSizes) {
    const auto l = lines(HeadlessReport::historyReport({
        run(SweepRun::Trigger::scheduled, 0, "every safe rule", false),
        run(SweepRun::Trigger::manual, 1'000, "items you picked"),
    }));
    ASSERT_EQ(l.size(), 8u);
    EXPECT_EQ(l[1], "  2 runs recorded, " + Bytes::format(1'000) + " moved in total");
    // "Dec 7, 2026 at 3:04 PM" is 22 wide: the label starts after one more space.
    EXPECT_EQ(l[3].substr(25, 11), "Scheduled  ");
    EXPECT_EQ(l[3].substr(36, 10), TextLayout::leftPadded(Bytes::format(0), 10));
    EXPECT_EQ(l[3].substr(46), "  Nothing needed cleaning");
    EXPECT_EQ(l[4], "        every safe rule  \u00B7 detail trimmed, no longer restorable");
    EXPECT_EQ(l[5].substr(25, 11), "Manual     ");
    EXPECT_EQ(l[6], "        items you picked");
}

// A run cut short by a crash is listed with what it moved and says it did not finish.
TEST(HistoryReport, ARunCutShortSaysSo) {
    auto r = run(SweepRun::Trigger::manual, 1'000, "items you picked");
    r.finished = false;
    const auto l = lines(HeadlessReport::historyReport({r}));
    ASSERT_GE(l.size(), 5u);
    EXPECT_EQ(l[4], "        items you picked  \u00B7 did not finish");
}

TEST(HistoryReport, ListsThirtyButCountsAll) {
    std::vector<SweepRun> runs;
    for (int i = 0; i < 31; ++i) runs.push_back(run(SweepRun::Trigger::manual, 1'000'000, "run " + std::to_string(i)));
    const auto l = lines(HeadlessReport::historyReport(runs));
    EXPECT_EQ(l[1], "  31 runs recorded, " + Bytes::format(31'000'000) + " moved in total");
    ASSERT_EQ(l.size(), 3u + 60u + 1u);
    EXPECT_EQ(l[l.size() - 2], "        run 29");
    EXPECT_EQ(l.back(), "");
}

TEST(HistoryReport, HostileTotalsDoNotOverflow) {
    const auto text = HeadlessReport::historyReport(
        {run(SweepRun::Trigger::manual, INT64_MAX, "a"), run(SweepRun::Trigger::manual, INT64_MAX, "b")});
    EXPECT_NE(text.find("2 runs recorded, " + Bytes::format(INT64_MAX) + " moved in total"), std::string::npos);
}

TEST(HistoryCommand, PrintsTheStoredHistory) {
    test::TempDir home;
    const std::map<std::string, std::string> env{{"HOME", home.path()}, {"XDG_CONFIG_HOME", home / ".config"}};
    auto empty = test::runSorvel({"--history"}, env);
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, "\n  No runs recorded yet.\n\n");

    // Kept in the settings by an earlier version: listed all the same.
    UserDefaults defaults(home / ".config/sorvel/defaults.json");
    const std::vector<SweepRun> runs{run(SweepRun::Trigger::scheduled, 5'000, "1 rule")};
    ASSERT_TRUE(defaults.set("SorvelSweepHistory", nlohmann::json::array({runs[0].toJSON()})));
    auto one = test::runSorvel({"--history"}, env);
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, HeadlessReport::historyReport(runs));
    EXPECT_EQ(one.err, "");

}

// Entries that cannot be read are counted on standard error; the readable runs are still
// listed, and a history of nothing but such entries is never called empty.
TEST(HistoryCommand, CountsUnreadableEntriesOnStandardError) {
    test::TempDir home;
    const std::map<std::string, std::string> env{{"HOME", home.path()}, {"XDG_CONFIG_HOME", home / ".config"}};
    UserDefaults defaults(home / ".config/sorvel/history.json");
    const SweepRun good = run(SweepRun::Trigger::manual, 7'000, "items you picked");
    nlohmann::json bad = good.toJSON();
    bad["trigger"] = "cron";
    struct Case {
        nlohmann::json stored;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases{
        {nlohmann::json::array({bad, good.toJSON(), 3}), HeadlessReport::historyReport({good}),
         "2 entries in the history could not be read; Sorvel keeps them as stored.\n"},
        {nlohmann::json::array({bad}), "", "1 entry in the history could not be read; Sorvel keeps it as stored.\n"},
        {"not a list", "", "1 entry in the history could not be read; Sorvel keeps it as stored.\n"},
        {nlohmann::json::array(), "\n  No runs recorded yet.\n\n", ""},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(defaults.set("SorvelSweepHistory", c.stored));
        const auto result = test::runSorvel({"--history"}, env);
        EXPECT_EQ(result.status, 0) << c.stored.dump();
        EXPECT_EQ(result.out, c.out) << c.stored.dump();
        EXPECT_EQ(result.err, c.err) << c.stored.dump();
    }
}

TEST(HistoryCommand, ASettingsOrHistoryFileThatCannotBeReadIsNotAnEmptyHistory) {
    const std::string deep = std::string(300, '[') + std::string(300, ']');
    for (const auto& [file, what] : {std::pair("defaults.json", "settings"), std::pair("history.json", "history")})
        for (const std::string& text : std::vector<std::string>{"{ not json", "[]", deep}) {
            test::TempDir home;
            const std::map<std::string, std::string> env{{"HOME", home.path()}, {"XDG_CONFIG_HOME", home / ".config"}};
            const std::string path = home / ".config/sorvel/" + file;
            test::writeFile(path, text);
            const auto result = test::runSorvel({"--history"}, env);
            EXPECT_EQ(result.status, 1) << path;
            EXPECT_EQ(result.out, "");
            EXPECT_EQ(result.err, std::string("The ") + what + " file " + path +
                                      " could not be read, so the history in it cannot be listed.\n");
            EXPECT_EQ(test::readFile(path), text); // reading changes nothing
        }
}

// Of three items recorded ahead of their moves only "moved" left its place; listing changes nothing.
TEST(HistoryCommand, ARunCutShortCountsOnlyWhatMoved) {
    test::FakeHome home;
    const std::map<std::string, std::string> env{{"HOME", home.path()}, {"XDG_CONFIG_HOME", home / ".config"}};
    SweepRun crashed = run(SweepRun::Trigger::scheduled, 18'000'000, "every safe rule"); // as written ahead
    crashed.finished = false;
    for (const std::string name : {"moved", "stayed", "halfway"}) {
        test::writeFile(home / ("Work/" + name + "/f"), name);
        crashed.moved.push_back(MovedItem{home / ("Work/" + name), "", 1'000'000 * static_cast<int64_t>(name.size()),
                                          Trash::identityOf(home / ("Work/" + name))});
    }
    ASSERT_TRUE(test::moveToTrash(home / "Work/moved").moved());
    const std::string phantom = home / ".local/share/Trash/info/halfway.trashinfo";
    test::writeFile(phantom, TrashInfo::sorvelText(home / "Work/halfway", 0));
    UserDefaults history(home / ".config/sorvel/history.json");
    ASSERT_TRUE(history.set("SorvelSweepHistory", nlohmann::json::array({crashed.toJSON()})));
    const std::string before = test::readFile(history.filePath());

    const auto result = test::runSorvel({"--history"}, env);
    EXPECT_EQ(result.status, 0);
    const auto l = lines(result.out);
    ASSERT_EQ(l.size(), 6u) << result.out;
    EXPECT_EQ(l[1], "  1 run recorded, " + Bytes::format(5'000'000) + " moved in total");
    // As the window tells it once tidied: cut short, though the command line tidies nothing.
    EXPECT_EQ(l[3].substr(48), "Moved " + Bytes::format(5'000'000) + " to the Trash before it was cut short");
    EXPECT_EQ(test::readFile(history.filePath()), before);
    EXPECT_TRUE(test::exists(phantom));
}
