#include <gtest/gtest.h>

#include "ui/screens/ReviewRowText.h"

using namespace sorvel;
using namespace sorvel::ui;

// A row is named after the last component of its path; a folder path ending in "/" is
// named after the folder, and a path with nothing to take a name from is shown whole.
TEST(ReviewRowText, NameIsTheLastComponentIgnoringATrailingSlash) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/home/u/.cache/pip", "pip"},
        {"/home/u/.cache/pip/", "pip"},
        {"/home/u/.cache/pip//", "pip"},
        {"/home/u/Caches/Café Ünïcode", "Café Ünïcode"},
        {"/", "/"},
        {"relative", "relative"},
    };
    for (const auto& [path, name] : cases) EXPECT_EQ(ReviewRowText::name(path), name) << path;
}

// Each outcome has its own status line, symbol and tone; an item that would move has no
// status line and a mark that is not a tick.
TEST(ReviewRowText, StatusSymbolAndToneByOutcome) {
    struct Case {
        CleanupOutcome::Result result;
        std::optional<std::string> statusStart;
        std::string symbol;
        Tone tone;
    };
    const std::vector<Case> cases = {
        {CleanupOutcome::MovedToTrash{"/t"}, "Moved to the Trash", "checkmark.circle.fill", Tone::accentInk},
        {CleanupOutcome::Refused{CleanupGuard::Refusal::notFound()}, "Left alone: ", "hand.raised.fill", Tone::warning},
        {CleanupOutcome::Failed{"Permission denied"}, "Could not move: Permission denied", "exclamationmark.triangle.fill",
         Tone::rose},
        {CleanupOutcome::WouldMove{}, std::nullopt, "circle.dashed", Tone::tertiary},
    };
    for (const Case& c : cases) {
        const CleanupOutcome outcome{UUID::random(), "/home/u/.cache/x", 10, c.result};
        SCOPED_TRACE(c.symbol);
        const auto status = ReviewRowText::statusMessage(outcome);
        ASSERT_EQ(status.has_value(), c.statusStart.has_value());
        if (status) {
            EXPECT_EQ(status->rfind(*c.statusStart, 0), 0u) << *status;
        }
        EXPECT_EQ(ReviewRowText::symbol(outcome), c.symbol);
        EXPECT_EQ(ReviewRowText::tone(outcome), c.tone);
    }
}
