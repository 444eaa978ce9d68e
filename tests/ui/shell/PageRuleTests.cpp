#include <gtest/gtest.h>

#include <tuple>

#include "models/PageID.h"
#include "ui/shell/Page.h"

using namespace sorvel;
using namespace sorvel::ui;
using Phase = ScanCoordinator::Phase;

TEST(PageRule, PicksThePageFromSelectionAndPhase) {
    struct Case {
        std::optional<std::string> selected;
        Phase phase;
        Page expected;
    };
    const Case cases[] = {
        {std::nullopt, Phase::idle, {PageKind::onboarding, {}}},
        {std::nullopt, Phase::scanning, {PageKind::overview, {}}},
        {std::nullopt, Phase::cancelled, {PageKind::overview, {}}},
        {"caches", Phase::idle, {PageKind::onboarding, {}}},
        {"caches", Phase::done, {PageKind::category, "caches"}},
        // Tools show in every phase, also before any scan.
        {"tool:apps", Phase::idle, {PageKind::apps, {}}},
        {"tool:duplicates", Phase::scanning, {PageKind::duplicates, {}}},
        {"tool:history", Phase::done, {PageKind::history, {}}},
        {"tool:apps#/Applications/Editor.app", Phase::done, {PageKind::apps, {}}},
        // Only the text before the first "#" names a tool, as the coordinator reads it too.
        {"#tool:history", Phase::done, {PageKind::category, "#tool:history"}},
        {"tool:apps##x", Phase::idle, {PageKind::apps, {}}},
        // Not a tool and not known: still the category page, with the whole text.
        {"disk:/srv#x", Phase::done, {PageKind::category, "disk:/srv#x"}},
        {"#", Phase::done, {PageKind::category, "#"}},
        {"tool:appsx", Phase::done, {PageKind::category, "tool:appsx"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pageFor(c.selected, c.phase), c.expected) << c.selected.value_or("<none>");
    }
}

TEST(PageRule, ToolDetailIsTheTextAfterTheFirstHashOfAToolPage) {
    EXPECT_EQ(toolDetail("tool:apps#/Applications/Editor.app"), "/Applications/Editor.app");
    EXPECT_EQ(toolDetail("tool:apps#a#b"), "a#b");
    EXPECT_EQ(toolDetail("tool:apps"), std::nullopt);
    EXPECT_EQ(toolDetail("tool:apps#"), std::nullopt);
    // A category whose id holds a "#" carries no tool detail.
    EXPECT_EQ(toolDetail("disk:/srv#x"), std::nullopt);
}

TEST(PageRule, AccessBannerOnlyAfterAScanStartedWithoutAccess) {
    // fullDiskAccess, phase, grantable, unreadable folders met → shown
    const std::tuple<bool, Phase, bool, int64_t, bool> cases[] = {
        {false, Phase::idle, true, 0, false},     {false, Phase::scanning, true, 0, true},
        {false, Phase::cancelled, true, 0, true}, {true, Phase::done, true, 3, false},
        {false, Phase::done, false, 0, false},    {false, Phase::done, false, 2, true}, // nothing to grant
    };
    for (const auto& [access, phase, grantable, unreadable, shown] : cases)
        EXPECT_EQ(showsAccessBanner(access, phase, grantable, unreadable), shown)
            << access << " " << int(phase) << " " << grantable << " " << unreadable;
}
