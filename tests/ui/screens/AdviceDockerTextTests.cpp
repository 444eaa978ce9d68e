// Advice badges, the iCloud row's words, and the Docker block's rules.
#include <gtest/gtest.h>

#include "engine/Bytes.h"
#include "ui/screens/AdviceText.h"
#include "ui/screens/DockerText.h"

using namespace sorvel;
using namespace sorvel::ui;

TEST(AdviceBadges, OneChipPerConfidence) {
    EXPECT_EQ(AdviceText::badge(AdviceItem::Confidence::safe), (ChipStyle{"SAFE", Tone::accentInk}));
    EXPECT_EQ(AdviceText::badge(AdviceItem::Confidence::review), (ChipStyle{"YOUR CALL", Tone::warning}));
    EXPECT_EQ(AdviceText::badge(AdviceItem::Confidence::avoid), (ChipStyle{"DON'T", Tone::rose}));
}

TEST(AdviceCloudRow, QualifierStateWordAndOrder) {
    struct Case {
        CloudState state;
        bool definitive;
        std::string summary;
    } cases[] = {
        {CloudState::on, true, "Photos \u2014 On \u00B7 read from your iCloud settings"},
        {CloudState::off, false, "Photos \u2014 Off \u00B7 inferred \u2014 verify before acting"},
        {CloudState::unknown, true, "Photos \u2014 Unknown \u00B7 could not determine"},
    };
    for (const auto& c : cases) {
        CloudService s{"Photos", c.state, c.definitive, {}};
        EXPECT_EQ(AdviceText::summaryLine(s), c.summary);
    }
    CloudStatus cloud;
    cloud.messages.name = "Messages";
    cloud.photos.name = "Photos";
    cloud.desktopAndDocuments.name = "Desktop & Documents";
    const auto order = AdviceText::services(cloud);
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[1]->name, "Photos");
    EXPECT_EQ(AdviceText::chipText(*order[0]), "Messages: Unknown");
    EXPECT_FALSE(AdviceText::showsStatusRow(&cloud));
    EXPECT_FALSE(AdviceText::showsStatusRow(nullptr));
    cloud.accountID = "someone";
    EXPECT_TRUE(AdviceText::showsStatusRow(&cloud));
}

namespace {
DockerUsage ready(std::vector<DockerUsage::Group> groups) {
    DockerUsage u;
    u.state = DockerUsage::State::ready;
    u.groups = std::move(groups);
    return u;
}
DockerUsage::Group group(const std::string& id, int64_t total, int64_t reclaimable, size_t entries) {
    DockerUsage::Group g{id, "Build Cache", total, reclaimable, {}, "docker builder prune"};
    for (size_t i = 0; i < entries; ++i) g.entries.push_back({std::to_string(i), "e", std::nullopt, 1, false, {}});
    return g;
}
} // namespace

TEST(DockerBody, LoadingWinsThenNothingThenReadyThenUnavailable) {
    DockerUsage missing;
    missing.state = DockerUsage::State::notResponding;
    const auto r = ready({});
    struct Case {
        std::optional<DockerUsage> usage;
        bool loading;
        DockerText::Body body;
        bool figure;
    } cases[] = {
        {std::nullopt, true, DockerText::Body::loading, false},
        {r, true, DockerText::Body::loading, true}, // the older figure stays in the header
        {std::nullopt, false, DockerText::Body::headerOnly, false},
        {r, false, DockerText::Body::ready, true},
        {missing, false, DockerText::Body::unavailable, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DockerText::body(c.usage, c.loading), c.body);
        EXPECT_EQ(DockerText::headerFigure(c.usage).has_value(), c.figure);
    }
    EXPECT_EQ(DockerText::headerFigure(r), Bytes::format(0) + " reclaimable");
    EXPECT_EQ(DockerText::unavailableTitle(DockerUsage::State::notResponding),
              "Docker is installed but its daemon is not responding.");
}

TEST(DockerGroups, FortyEntriesThenALineForTheRest) {
    struct Case {
        size_t entries, shown;
        std::optional<std::string> count, more;
    } cases[] = {{0, 0, std::nullopt, std::nullopt}, {40, 40, "40", std::nullopt}, {41, 40, "41", "+ 1 more"}};
    for (const auto& c : cases) {
        const auto g = group("build-cache", 10, 0, c.entries);
        EXPECT_EQ(DockerText::shownEntries(g), c.shown);
        EXPECT_EQ(DockerText::entryCount(g), c.count);
        EXPECT_EQ(DockerText::moreEntries(g), c.more);
    }
    const auto g = group("build-cache", 10, 0, 0);
    EXPECT_EQ(DockerText::unusedFigure(g), std::nullopt);
    EXPECT_EQ(DockerText::pruneLabel(g), "Remove everything unused in build cache");
}

TEST(DockerGroups, SumsStopAtTheLimitAndFeedTheSummary) {
    const auto u = ready({group("images", INT64_MAX, INT64_MAX, 0), group("volumes", 5, 5, 0)});
    EXPECT_EQ(DockerText::totalBytes(u), INT64_MAX);
    const auto small = ready({group("images", 2'000'000, 500'000, 0), group("volumes", 1'000'000, 0, 0)});
    const std::string head = "Docker accounts for " + Bytes::format(3'000'000) + " of content, of which " +
                             Bytes::format(500'000) + " is not used by anything running.";
    EXPECT_EQ(DockerText::summary(small).rfind(head, 0), 0u) << DockerText::summary(small);
}

TEST(DockerEntries, RemoveButtonOnlyForUnusedEntriesWithACommand) {
    DockerUsage::Entry e{"1", "n", std::string(), 1, false, std::string("docker rmi 1")};
    EXPECT_FALSE(DockerText::showsCopyRemove(e));
    EXPECT_EQ(DockerText::dotTooltip(e), "In use");
    EXPECT_FALSE(DockerText::showsDetail(e));
    e.isReclaimable = true;
    EXPECT_TRUE(DockerText::showsCopyRemove(e));
    EXPECT_EQ(DockerText::dotTooltip(e), "Not used by anything running");
    // Docker did not say whether anything uses it: neither unused nor "In use".
    e.isReclaimable = false;
    e.useKnown = false;
    EXPECT_FALSE(DockerText::showsCopyRemove(e));
    EXPECT_EQ(DockerText::dotTooltip(e), "Docker did not say whether anything uses this");
}
