// The history page and its trends card over stores that could not be read: each says so,
// where the store is and what Sorvel does with it, never the empty state of a store that
// read and held nothing.
#include <gtest/gtest.h>

#include <functional>

#include "analysis/StorageTrends.h"
#include "models/HistoryModel.h"
#include "platform/UserDefaults.h"
#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/tools/HistoryView.h"
#include "ui/tools/StorageTrendsCard.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// The one card of that name and the text inside it; "" when there is no such card.
std::string cardText(QWidget* root, const char* name) {
    auto* card = one(root, name);
    if (!card) return {};
    auto* text = card->findChild<ui::Text*>();
    return text ? text->text().toStdString() : std::string("<no text>");
}

} // namespace

TEST(HistoryUnreadPage, AHistoryThatCouldNotBeReadIsNotEmpty) {
    const struct Row {
        const char* name;
        std::function<void(const UiContext&)> setUp;
        const char* card;   // the one shown
        std::string begins; // its text's start
    } rows[] = {
        {"not JSON", [](const UiContext& c) { writeFile(c / ".config/sorvel/history.json", "{ not json"); },
         "unreadLedger",
         "Sorvel could not read its history: ~/.config/sorvel/history.json is not in a form it can read. Sorvel "
         "keeps that file aside as history.corrupt-1.json at its next write and starts a new history."},
        {"a folder in its place", [](const UiContext& c) { makeDirs(c / ".config/sorvel/history.json"); },
         "unreadLedger", "Sorvel could not read its history: ~/.config/sorvel/history.json (Is a directory)."},
        {"nothing recorded", [](const UiContext&) {}, "emptyLedger", "Nothing yet. Every removal Sorvel makes"},
    };
    for (const Row& row : rows) {
        UiContext ctx;
        row.setUp(ctx);
        HistoryModel& history = ctx.models().history;
        ui::HistoryView view(history, ctx.coordinator());
        view.resize(1000, 900);
        view.show(); // reloads, on a worker
        ASSERT_TRUE(waitUntil([&] { return !history.isLoading(); })) << row.name;
        view.flush();
        const bool unread = std::string(row.card) == "unreadLedger";
        EXPECT_EQ(named(&view, "emptyLedger").size(), unread ? 0u : 1u) << row.name;
        EXPECT_EQ(named(&view, "unreadLedger").size(), unread ? 1u : 0u) << row.name;
        EXPECT_EQ(cardText(&view, row.card).rfind(row.begins, 0), 0u) << row.name << ": " << cardText(&view, row.card);
        EXPECT_EQ(history.nothingRead().has_value(), unread) << row.name;
    }
}

TEST(HistoryUnreadPage, TrendsThatCouldNotBeReadAreNoFirstMeasurement) {
    const std::string malformed = "Sorvel could not read the storage trends kept in ~/.config/sorvel/defaults.json. "
                                  "The next measurement replaces them and starts the trends again.";
    UiContext ctx;
    UserDefaults::standard().set(StorageTrends::kDefaultsKey, nlohmann::json::array({"not a snapshot"}));
    ctx.finishScan(ScanResult{}); // nothing measured: nothing recorded, the store read again
    ui::StorageTrendsCard card(ctx.coordinator(), 7);
    EXPECT_EQ(cardText(&card, "trendsUnread"), malformed);
    EXPECT_TRUE(named(&card, "firstMeasurement").empty());

    // A measurement replaces what could not be read: the first of the new trends.
    ctx.finishScan(UiContext::sampleResult());
    ASSERT_TRUE(waitUntil([&] { return !ctx.coordinator().trendsUnread(); }));
    card.refresh();
    EXPECT_TRUE(named(&card, "trendsUnread").empty());
    EXPECT_EQ(named(&card, "firstMeasurement").size(), 1u);
}

TEST(HistoryUnreadPage, ASettingsFileThatCannotBeReadAtAllIsSaidOnTheTrendsCard) {
    UiContext ctx;
    makeDirs(ctx / ".config/sorvel/defaults.json");
    ctx.finishScan(UiContext::sampleResult());
    ui::StorageTrendsCard card(ctx.coordinator(), 7);
    EXPECT_EQ(cardText(&card, "trendsUnread"),
              "Sorvel could not read its storage trends: ~/.config/sorvel/defaults.json (Is a directory). Sorvel "
              "leaves that file as it is and can record nothing new in it until it can be read.");
    EXPECT_TRUE(named(&card, "firstMeasurement").empty());
}
