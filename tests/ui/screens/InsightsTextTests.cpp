// The insights panel's rules: which cards show, percent and age texts, caps and widths.
#include <gtest/gtest.h>

#include <QLocale>

#include "engine/Bytes.h"
#include "ui/screens/InsightsText.h"

using namespace sorvel;
using namespace sorvel::ui;
using namespace sorvel::ui::InsightsText;

TEST(InsightsVisibleState, OneBreakdownPerInputs) {
    FolderInsights empty, files, withLargest;
    files.fileCount = 3;
    withLargest.fileCount = 3;
    withLargest.largest.push_back(FileEntry{});
    struct Case {
        bool loading;
        std::optional<FolderInsights> insights;
        Breakdown shown;
    } cases[] = {
        {true, std::nullopt, Breakdown::loading},
        {true, withLargest, Breakdown::loading},
        {false, std::nullopt, Breakdown::nothing},
        {false, empty, Breakdown::nothing},
        {false, files, Breakdown::kindsAndAges},
        {false, withLargest, Breakdown::kindsAgesAndLargest},
    };
    for (const auto& c : cases) EXPECT_EQ(breakdown(c.loading, c.insights), c.shown);
}

TEST(InsightsTexts, PercentOfATotal) {
    struct Case {
        int64_t part, total;
        std::string text;
    } cases[] = {{5, 0, "0%"},        {0, 100, "<0.1%"},   {1, 2000, "<0.1%"}, {1, 1000, "0.1%"},
                 {1, 3, "33.3%"},     {9996, 10000, "100.0%"}, {-4, 10, "<0.1%"}, {1, -1, "0%"}};
    for (const auto& c : cases) EXPECT_EQ(percent(c.part, c.total), c.text) << c.part << "/" << c.total;
}

TEST(InsightsTexts, AgeDetailFileCountAndSampledMark) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    FolderInsights recent, stale;
    recent.ages = {{AgeBand::lastMonth, 500, 1}, {AgeBand::oneToTwoYears, 100, 1}};
    stale.ages = {{AgeBand::lastMonth, 5, 1}, {AgeBand::twoToFiveYears, 2'000'000, 1}, {AgeBand::olderThanFive, 1'000'000, 1}};
    EXPECT_EQ(ageDetail(recent), "all recent");
    EXPECT_EQ(ageDetail(stale), Bytes::format(3'000'000) + " over 2 years old");
    EXPECT_EQ(fileCount(1), "1 file");
    EXPECT_EQ(fileCount(12345), "12,345 files");
    stale.truncated = true;
    EXPECT_EQ(largestDetail(stale), "sampled");
    EXPECT_EQ(largestDetail(recent), "");
}

// "All recent" and "largest" are claims over every file: with folders not read they cover
// only what was read, and say so.
TEST(InsightsTexts, ClaimsOverAllFilesSayWhenFoldersWereNotRead) {
    FolderInsights recent;
    recent.ages = {{AgeBand::lastMonth, 500, 1}};
    const struct {
        const char* name;
        int64_t unreadable;
        bool truncated;
        std::string age, largest;
    } rows[] = {
        {"all read", 0, false, "all recent", ""},
        {"a folder not read", 1, false, "all recent \u00B7 of what could be read", "of what could be read"},
        {"sampled, a folder not read", 2, true, "all recent \u00B7 of what could be read",
         "sampled \u00B7 of what could be read"},
    };
    for (const auto& row : rows) {
        FolderInsights insights = recent;
        insights.unreadableFolders = row.unreadable;
        insights.truncated = row.truncated;
        EXPECT_EQ(ageDetail(insights), row.age) << row.name;
        EXPECT_EQ(largestDetail(insights), row.largest) << row.name;
    }
}

TEST(InsightsTexts, StaleBandsAreTheTwoOldest) {
    int stale = 0;
    for (AgeBand b : kAllAgeBands) stale += isStale(b);
    EXPECT_EQ(stale, 2);
    EXPECT_TRUE(isStale(AgeBand::olderThanFive));
    EXPECT_FALSE(isStale(AgeBand::oneToTwoYears));
    EXPECT_EQ(ageLabel(AgeBand::oneToTwoYears), "1\u20132 years old");
}

TEST(InsightsWidths, KindPiecesAndAgeBarsHaveTheirLeastWidths) {
    struct Case {
        int64_t bytes, total;
        double kind, age;
    } cases[] = {
        {0, 100, 0, 2},         // nothing: no kind piece, a 2-point age bar
        {1, 100000, 3, 2},      // a sliver: 3 and 2 points
        {50, 100, 100, 100},    // half of 200 points
        {10, 0, 200 * 10.0, 200 * 10.0}, // a zero total divides by 1
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(kindSegmentWidth(c.bytes, c.total, 200), c.kind) << c.bytes;
        EXPECT_DOUBLE_EQ(ageBarWidth(c.bytes, c.total, 200), c.age) << c.bytes;
    }
}

TEST(InsightsLook, CaveatVerdictsAndSwatches) {
    EXPECT_EQ(caveatLook(true).heading, "Check iCloud before deleting anything here");
    EXPECT_EQ(caveatLook(true).symbol, "exclamationmark.icloud.fill");
    EXPECT_EQ(caveatLook(false).heading, "Local to this computer");
    EXPECT_EQ(caveatLook(false).tone, Tone::blue);
    EXPECT_EQ(verdictChip(PathNote::Verdict::keep), (ChipStyle{"KEEP", Tone::blue}));
    FileEntry tool{UUID::random(), "runme", "/x/Foo.app/Contents/MacOS/runme", 1, std::nullopt};
    FileEntry photo{UUID::random(), "IMG.JPG", "/x/IMG.JPG", 1, std::nullopt};
    EXPECT_EQ(swatchKind(tool), FileKind::other); // not judged from where it lies
    EXPECT_EQ(swatchKind(photo), FileKind::image);
}

TEST(InsightsLook, CaveatFollowsMessagesInICloud) {
    CloudStatus cloud;
    const std::string messages = "/home/u/Library/Messages/Attachments";
    setenv("HOME", "/home/u", 1);
    for (auto [state, blocking] : {std::pair{CloudState::on, true}, {CloudState::unknown, true}, {CloudState::off, false}}) {
        cloud.messages.state = state;
        const auto caveat = cloud.caveat(messages);
        ASSERT_TRUE(caveat);
        EXPECT_EQ(caveat->isBlocking, blocking);
    }
    EXPECT_FALSE(cloud.caveat("/home/u/Library/Caches"));
}

// Beside "What's in here", the folders left out for not being readable are said, so the
// count is never taken for the folder's whole.
TEST(InsightsTexts, TheFileCountSaysWhatWasNotRead) {
    const struct {
        int64_t files, unreadable;
        const char* expected;
    } rows[] = {
        {2, 0, "2 files"},
        {2, 1, "2 files \u00B7 1 folder not readable by this user"},
        {1, 1200, "1 file \u00B7 1,200 folders not readable by this user"},
    };
    for (const auto& row : rows) {
        FolderInsights insights;
        insights.fileCount = row.files;
        insights.unreadableFolders = row.unreadable;
        EXPECT_EQ(fileCountDetail(insights), row.expected);
    }
}
