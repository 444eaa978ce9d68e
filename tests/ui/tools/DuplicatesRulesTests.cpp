// The duplicates screen's rules: stage to content, the card cap, kind looks, amounts,
// the footer lines and the done lines with what was left alone.
#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <optional>

#include "engine/Bytes.h"
#include "ui/tools/DuplicatesRules.h"

using namespace sorvel;
using namespace sorvel::DuplicatesRules;
using Stage = DuplicatesModel::Stage;

namespace {

DuplicateGroup group(int copies, int64_t size, int64_t privateSize, DuplicateGroup::Kind kind) {
    DuplicateGroup g;
    g.kind = kind;
    g.size = size;
    // Hard links are names of one file; every other copy is a file of its own.
    const bool links = kind == DuplicateGroup::Kind::hardLinks;
    for (int i = 0; i < copies; ++i) {
        DuplicateFile f;
        f.path = "/h/f" + std::to_string(i);
        f.size = size;
        f.privateSize = privateSize;
        f.inode = links ? 1 : uint64_t(i + 1);
        f.linkCount = links ? uint64_t(copies) : 1;
        g.files.push_back(f);
    }
    return g;
}

} // namespace

TEST(DuplicatesContent, EveryStageHasOneContent) {
    const std::pair<Stage, Content> table[] = {
        {Stage::idle, Content::intro},         {Stage::scanning, Content::scanning},
        {Stage::results, Content::results},    {Stage::confirming, Content::results},
        {Stage::working, Content::finished},   {Stage::done, Content::finished},
    };
    for (const auto& [stage, expected] : table) EXPECT_EQ(content(stage), expected);
}

TEST(DuplicatesCards, AtMost120CardsWhileTheFiguresCoverEveryGroup) {
    DuplicateFinder::Report report;
    for (int i = 0; i < 150; ++i) report.groups.push_back(group(2, 2'000'000, 2'000'000, DuplicateGroup::Kind::independentCopies));
    EXPECT_EQ(visibleCards(report), 120u);
    EXPECT_EQ(report.reclaimable(), 150 * 2'000'000);
    report.groups.resize(3);
    EXPECT_EQ(visibleCards(report), 3u);
}

TEST(DuplicatesCards, EverySetCanBeShownAPageAtATime) {
    struct Case {
        size_t groups, shown;
        std::optional<std::string> label;
        size_t cards;
    };
    for (const Case& c : {Case{120, 120, std::nullopt, 120}, Case{121, 120, "Show 1 more set", 120},
                          Case{156, 120, "Show 36 more sets", 120}, Case{156, 240, std::nullopt, 156},
                          Case{400, 240, "Show 120 more sets", 240}}) {
        DuplicateFinder::Report report;
        report.groups.assign(c.groups, group(2, 2'000'000, 2'000'000, DuplicateGroup::Kind::independentCopies));
        EXPECT_EQ(showMoreLabel(report, c.shown), c.label) << c.groups << "/" << c.shown;
        EXPECT_EQ(visibleCards(report, c.shown), c.cards) << c.groups << "/" << c.shown;
    }
}

TEST(DuplicatesCards, SharedStorageGetsAWarningChipAndItsExplanation) {
    EXPECT_FALSE(kindLook(DuplicateGroup::Kind::independentCopies).warning);
    EXPECT_FALSE(kindLook(DuplicateGroup::Kind::mixed).explanation);
    EXPECT_TRUE(kindLook(DuplicateGroup::Kind::hardLinks).warning);
    EXPECT_EQ(kindLook(DuplicateGroup::Kind::hardLinks).explanation->rfind("Two names for one file", 0), 0u);
    EXPECT_TRUE(kindLook(DuplicateGroup::Kind::clones).explanation.has_value());
}

TEST(DuplicatesCards, CopiesLineCountsTheKeptCopyAndAmountsNeverOfferIt) {
    const auto g = group(3, 2'000'000, 0, DuplicateGroup::Kind::hardLinks);
    EXPECT_EQ(copiesLine(g), "3 copies \u00B7 2 MB each");
    EXPECT_EQ(amount(g.files[0], true), "\u2014");
    EXPECT_EQ(amount(g.files[1], false), "frees 0 KB");
}

TEST(DuplicatesSummary, TheNoteOnlyWhenApparentExceedsReclaimable) {
    DuplicateFinder::Report report;
    report.groups.push_back(group(2, 3'000'000, 3'000'000, DuplicateGroup::Kind::independentCopies));
    EXPECT_FALSE(apparentNote(report));
    report.groups.push_back(group(2, 2'000'000, 0, DuplicateGroup::Kind::hardLinks));
    ASSERT_TRUE(apparentNote(report));
    EXPECT_EQ(apparentNote(report)->rfind("2 MB of that apparent saving does not exist.", 0), 0u);
    // Clones are named only where some copy shares blocks by cloning.
    EXPECT_NE(apparentNote(report)->find("Those copies are hard links, more names of one file"), std::string::npos);
    report.groups[1].files[1].sharedBytes = 2'000'000;
    EXPECT_NE(apparentNote(report)->find("Those copies are reflinked clones or hard links sharing their blocks \u2014 the"),
              std::string::npos);
    EXPECT_FALSE(limitLine(report));
    report.hitScanLimit = true;
    report.filesScanned = 400000;
    EXPECT_EQ(limitLine(report), "Stopped at 400000 files. Scan a narrower folder to cover everything.");
}

// A folder this user could not read used to read as "No duplicate files over 1 MB"; one
// read but for a locked folder read as if nothing in it could be read.
TEST(DuplicatesSummary, WhatCouldNotBeReadIsSaidNeverShownAsNone) {
    struct Case {
        std::map<int, int64_t> folders, files;
        int64_t scanned, listed;
        std::optional<std::string> line;
        std::string empty;
    };
    const std::string none = "No duplicate files over 1 MB in that folder.";
    const std::string nothing = "Nothing in that folder could be read by this user, so no duplicates could be looked for.";
    for (const Case& c : std::vector<Case>{
             {{}, {}, 4, 4, std::nullopt, none},
             {{{EACCES, 2}}, {}, 3, 5, "2 folders could not be read (Permission denied), so no copies there could be "
                                       "looked for.", none},
             {{{EACCES, 1}}, {{EIO, 1}, {EACCES, 1}}, 2, 3, "1 folder and 2 files could not be read (Permission denied; "
                                                            "Input/output error), so no copies there could be looked for.",
              nothing},
             {{{EACCES, 1}}, {}, 0, 0, "1 folder could not be read (Permission denied), so no copies there could be "
                                       "looked for.", nothing},
             // A small file and its folder were read beside the locked folder: not "nothing".
             {{{EACCES, 1}}, {}, 0, 3, "1 folder could not be read (Permission denied), so no copies there could be "
                                       "looked for.", none}}) {
        DuplicateFinder::Report report;
        report.unreadableFolders = c.folders;
        report.unreadableFiles = c.files;
        report.filesScanned = c.scanned;
        report.entriesListed = c.listed;
        EXPECT_EQ(unreadableLine(report), c.line);
        EXPECT_EQ(emptyLine(report), c.empty);
        // No figures over a folder nothing of which could be read: they would read as 0 KB to free.
        EXPECT_EQ(figures(report).size(), c.empty == nothing ? 0u : 3u) << c.listed;
    }
}

TEST(DuplicatesFooter, OneCopyIsSingularAndTheApparentLineOnlyWhenItDiffers) {
    EXPECT_EQ(selectedLine(0), "0 copies selected");
    EXPECT_EQ(selectedLine(1), "1 copy selected");
    EXPECT_EQ(selectedLine(2), "2 copies selected");
    EXPECT_FALSE(apparentLine(5, 5));
    EXPECT_EQ(apparentLine(0, 2'000'000), "of 2 MB apparent");
}

TEST(DuplicatesDone, CopiesLeftAloneAreCountedWithTheirReasons) {
    auto make = [](std::string path, CleanupOutcome::Result result) {
        return CleanupOutcome{UUID::random(), std::move(path), 1, std::move(result)};
    };
    EXPECT_EQ(done({make("/a", CleanupOutcome::MovedToTrash{"/t/a"})}).title, "Moved 1 copy to the Trash");
    EXPECT_FALSE(done({make("/a", CleanupOutcome::MovedToTrash{"/t/a"})}).leftAlone);

    std::vector<CleanupOutcome> outcomes{make("/a", CleanupOutcome::MovedToTrash{"/t/a"}),
                                         make("/d/b.bin", CleanupOutcome::Refused{CleanupGuard::Refusal::isSymlink()}),
                                         make("/d/c.bin", CleanupOutcome::Failed{"Device busy"})};
    const Done d = done(outcomes);
    EXPECT_EQ(d.title, "Moved 1 copy to the Trash");
    EXPECT_EQ(d.leftAlone, "2 copies were left alone:");
    ASSERT_EQ(d.reasons.size(), 2u);
    EXPECT_EQ(d.reasons[0].rfind("b.bin \u2014 refused: is a symlink", 0), 0u);
    EXPECT_EQ(d.reasons[1], "c.bin \u2014 could not move: Device busy");

    std::vector<CleanupOutcome> many;
    for (int i = 0; i < 9; ++i) many.push_back(make("/d/" + std::to_string(i), CleanupOutcome::Failed{"x"}));
    const Done capped = done(many);
    EXPECT_EQ(capped.title, "Moved 0 copies to the Trash");
    EXPECT_EQ(capped.reasons.size(), kMaximumReasons);
    EXPECT_EQ(capped.moreReasons, 3u);
}

// "Genuinely reclaimable" gives back only copies the guard lets move: a copy left alone (a
// protected place, say) frees nothing, and nor does a name of a file another name keeps.
TEST(DuplicatesFigures, GenuinelyReclaimableLeavesOutCopiesLeftAlone) {
    using Kind = DuplicateGroup::Kind;
    const struct {
        const char* name;
        DuplicateGroup group;
        std::vector<std::string> refused;
        int64_t freed;
    } rows[] = {
        {"nothing refused", group(3, 2'000'000, 2'000'000, Kind::independentCopies), {}, 4'000'000},
        {"one extra left alone", group(3, 2'000'000, 2'000'000, Kind::independentCopies), {"/h/f1"}, 2'000'000},
        {"every extra left alone", group(3, 2'000'000, 2'000'000, Kind::independentCopies), {"/h/f1", "/h/f2"}, 0},
        {"the kept copy refused changes nothing", group(2, 2'000'000, 2'000'000, Kind::independentCopies), {"/h/f0"},
         2'000'000},
        {"a name left alone keeps the file", group(3, 2'000'000, 2'000'000, Kind::hardLinks), {"/h/f2"}, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DuplicateFinder::Report report;
        report.filesScanned = row.group.files.size();
        report.entriesListed = int64_t(row.group.files.size());
        report.groups.push_back(row.group);
        std::map<std::string, std::string> refused;
        for (const auto& path : row.refused) refused[path] = "is a protected location (~/Pictures)";
        const auto shown = figures(report, refused);
        ASSERT_EQ(shown.size(), 3u);
        EXPECT_EQ(shown[0].value, Bytes::format(row.freed));
        EXPECT_EQ(shown[0].label, "genuinely reclaimable");
    }
}

// A card's figure and its rows count what can move of the set: a copy the guard keeps frees
// nothing, nor does a name of a file whose other name it keeps.
TEST(DuplicatesCards, CardsAndRowsCountOnlyWhatCanMove) {
    using Kind = DuplicateGroup::Kind;
    const std::string never = "never moved";
    const std::string two = "frees " + Bytes::format(2'000'000), none = "frees " + Bytes::format(0);
    const struct {
        const char* name;
        DuplicateGroup group;
        std::vector<std::string> refused;
        int64_t card;
        std::vector<std::string> rows; // the extras, in order
    } rows[] = {
        {"nothing refused", group(3, 2'000'000, 2'000'000, Kind::independentCopies), {}, 4'000'000, {two, two}},
        {"one of two extras kept", group(3, 2'000'000, 2'000'000, Kind::independentCopies), {"/h/f1"}, 2'000'000,
         {never, two}},
        {"the only extra kept", group(2, 2'500'000, 2'500'000, Kind::independentCopies), {"/h/f1"}, 0, {never}},
        {"another name of the file kept", group(3, 2'000'000, 2'000'000, Kind::hardLinks), {"/h/f2"}, 0, {none, never}},
        {"the kept copy refused changes nothing", group(2, 2'000'000, 2'000'000, Kind::independentCopies), {"/h/f0"},
         2'000'000, {two}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::map<std::string, std::string> refused;
        for (const auto& path : row.refused) refused[path] = "protected location (~/.ssh)";
        EXPECT_EQ(cardFigure(row.group, refused), row.card);
        EXPECT_EQ(amount(row.group, 0, refused), "\u2014");
        ASSERT_EQ(row.group.files.size(), row.rows.size() + 1);
        for (size_t i = 1; i < row.group.files.size(); ++i) EXPECT_EQ(amount(row.group, i, refused), row.rows[i - 1]);
        // The cards add up to the total over them.
        DuplicateFinder::Report report;
        report.groups.push_back(row.group);
        EXPECT_EQ(report.reclaimableLeaving(refused), row.card);
    }
}

// The note over the figures says what keeps "genuinely reclaimable" under the size-only
// figure: storage the copies share, and copies the guard keeps.
TEST(DuplicatesSummary, TheNoteNamesBothGapsToTheSizeOnlyFigure) {
    using Kind = DuplicateGroup::Kind;
    DuplicateGroup links = group(2, 2'000'000, 0, Kind::hardLinks);
    DuplicateGroup copies = group(3, 3'000'000, 3'000'000, Kind::independentCopies);
    for (auto& f : copies.files) f.path = "/c/" + f.path.substr(3);
    const std::map<std::string, std::string> inSsh{{"/c/f2", "protected location (~/.ssh)"}};
    const std::string shared = "2 MB of that apparent saving does not exist.";
    const std::string keptMore = " 3 MB more lies in 1 copy Sorvel never moves (a protected place, say)";
    const std::string keptOnly = "3 MB of that apparent saving lies in 1 copy Sorvel never moves (a protected place, say)";
    const struct {
        const char* name;
        std::vector<DuplicateGroup> groups;
        std::map<std::string, std::string> refused;
        std::optional<std::string> starts;
        std::vector<std::string> holds, lacks;
    } rows[] = {
        {"nothing between them", {copies}, {}, std::nullopt, {}, {}},
        {"shared storage only", {copies, links}, {}, shared, {"Sorvel only offers you the difference."}, {"never moves"}},
        {"a kept copy only", {copies}, inSsh, keptOnly, {"Sorvel only offers you the rest."}, {"does not exist"}},
        {"both", {copies, links}, inSsh, shared, {keptMore, "Sorvel only offers you the rest."}, {"the difference"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        DuplicateFinder::Report report;
        report.groups = row.groups;
        const auto note = apparentNote(report, row.refused);
        ASSERT_EQ(note.has_value(), row.starts.has_value()) << note.value_or("");
        if (!note) continue;
        EXPECT_EQ(note->rfind(*row.starts, 0), 0u) << *note;
        for (const auto& piece : row.holds) EXPECT_NE(note->find(piece), std::string::npos) << *note;
        for (const auto& piece : row.lacks) EXPECT_EQ(note->find(piece), std::string::npos) << *note;
    }
}
