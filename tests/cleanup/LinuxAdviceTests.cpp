// The Linux system's own cleanups are advised in the category whose space they free, each
// only where this machine has the tool it names.
#include <gtest/gtest.h>

#include <set>

#include "ResultBuilder.h"
#include "cleanup/Advice.h"
#include "cleanup/LinuxAdvice.h"
#include "engine/PathKnowledge.h"
#include "engine/Reading.h"
#include "platform/LinuxPlaces.h"
#include "support/TestSupport.h"

using namespace sorvel;
using Confidence = AdviceItem::Confidence;

namespace {

DisplayCategory storageCategory(StorageCategory s) {
    DisplayCategory d;
    d.id = rawValue(s);
    d.storage = s;
    return d;
}

AdviceSurroundings with(std::set<std::string> tools) {
    AdviceSurroundings s;
    s.hasTool = [tools](const std::string& tool) { return tools.count(tool) > 0; };
    return s;
}

const AdviceItem* titled(const std::vector<AdviceItem>& list, const std::string& title) {
    for (const auto& item : list)
        if (item.title == title) return &item;
    return nullptr;
}

struct Expected {
    StorageCategory category;
    const char* tool;
    const char* title;
    const char* command; // "" for none
    Confidence confidence;
};

const Expected kSystemCleanups[] = {
    {StorageCategory::caches, "apt", "Let apt clear the packages it downloaded", "sudo apt clean", Confidence::safe},
    // No scan to measure the journal: the card first says how to see its size.
    {StorageCategory::logs, "journalctl", "Trim the journal to a size you choose", "journalctl --disk-usage",
     Confidence::safe},
    {StorageCategory::logs, "logrotate", "Let log rotation drop old logs", "", Confidence::review},
    {StorageCategory::containers, "flatpak", "Remove Flatpak runtimes no app uses", "flatpak uninstall --unused",
     Confidence::safe},
    {StorageCategory::containers, "snap", "Keep fewer old snap revisions", "sudo snap set system refresh.retain=2",
     Confidence::review},
    // Go's module cache is read-only on disk: Go's own command, never a move to the Trash.
    {StorageCategory::developer, "go", "Let Go clear its module cache", "go clean -modcache", Confidence::review},
};

} // namespace

// Each item with its tool alone present, and absent with every other tool there.
TEST(LinuxAdvice, EachSystemCleanupOnlyWhereItsToolIs) {
    const std::set<std::string> all = {"apt", "journalctl", "logrotate", "flatpak", "snap", "go", "brew", "pip"};
    for (const auto& e : kSystemCleanups) {
        const auto alone = AdviceCatalog::advice(storageCategory(e.category), ScanResult{}, {}, with({e.tool}));
        const AdviceItem* item = titled(alone, e.title);
        ASSERT_NE(item, nullptr) << e.title;
        EXPECT_EQ(item->command.value_or(""), e.command) << e.title;
        EXPECT_EQ(item->confidence, e.confidence) << e.title;
        EXPECT_FALSE(item->condition) << e.title;
        EXPECT_EQ(&alone.back(), item) << e.title << ": after the fixed list";

        std::set<std::string> others = all;
        others.erase(e.tool);
        const auto without = AdviceCatalog::advice(storageCategory(e.category), ScanResult{}, {}, with(others));
        EXPECT_EQ(titled(without, e.title), nullptr) << e.title;
        // No other category names it.
        for (StorageCategory c : kAllStorageCategories) {
            if (c == e.category || c == StorageCategory::mail) continue;
            const auto list = AdviceCatalog::advice(storageCategory(c), ScanResult{}, {}, with(all));
            EXPECT_EQ(titled(list, e.title), nullptr) << e.title << " in " << rawValue(c);
        }
    }
}

// Made once, like the fixed lists: the same identifiers on every call.
TEST(LinuxAdvice, SystemCleanupsKeepTheirIdentifiers) {
    const auto tools = with({"apt", "journalctl", "logrotate", "flatpak", "snap", "go"});
    for (const auto& e : kSystemCleanups) {
        const auto first = AdviceCatalog::advice(storageCategory(e.category), ScanResult{}, {}, tools);
        const auto second = AdviceCatalog::advice(storageCategory(e.category), ScanResult{}, {}, tools);
        ASSERT_NE(titled(first, e.title), nullptr);
        EXPECT_EQ(titled(first, e.title)->id, titled(second, e.title)->id) << e.title;
    }
}

// The machine's own PATH decides: a file named like the tool that cannot run is no tool.
TEST(LinuxAdvice, ToolsAreLookedUpOnThePathOfTheMoment) {
    struct Case {
        std::vector<std::string> executables;
        std::vector<std::string> plainFiles;
        std::set<std::string> titles; // of the containers list's system cleanups
    };
    const Case cases[] = {
        {{}, {}, {}},
        {{"flatpak"}, {"snap"}, {"Remove Flatpak runtimes no app uses"}},
        {{"flatpak", "snap"}, {}, {"Remove Flatpak runtimes no app uses", "Keep fewer old snap revisions"}},
    };
    for (const auto& c : cases) {
        test::TempDir bin;
        for (const auto& tool : c.executables) test::writeScript(bin, tool, "exit 0");
        for (const auto& file : c.plainFiles) test::writeFile(bin / file, "not executable");
        test::ScopedEnv path("PATH", bin.path());
        const auto list = AdviceCatalog::advice(storageCategory(StorageCategory::containers), ScanResult{}, {});
        std::set<std::string> found;
        for (const auto& e : kSystemCleanups)
            if (titled(list, e.title)) found.insert(e.title);
        EXPECT_EQ(found, c.titles) << c.executables.size();
    }
}

namespace {

// The logs folder with a journal of `bytes` read as given; none for a result without it.
ScanResult journalOf(std::optional<int64_t> bytes, Reading reading, bool logsReadWhole = true) {
    const std::string logs = LinuxPlaces::systemLogs();
    std::vector<ScanNodePtr> children;
    if (bytes) {
        auto journal = test::node(logs + "/journal", *bytes);
        if (reading == Reading::partial) journal->unreadableFolders = 1;
        if (reading == Reading::none) journal->accessDenied = true;
        children.push_back(journal);
    }
    auto folder = test::node(logs, bytes.value_or(0), children);
    if (!logsReadWhole) folder->unreadableFolders = 1;
    return test::resultWith({folder});
}

// The size in bytes a `--vacuum-size=` command names (K, M or G, as journalctl reads them).
std::optional<int64_t> vacuumBytes(const std::string& command) {
    const std::string key = "--vacuum-size=";
    const auto at = command.find(key);
    if (at == std::string::npos) return std::nullopt;
    size_t used = 0;
    const long long number = std::stoll(command.substr(at + key.size()), &used);
    const char unit = command[at + key.size() + used];
    const int64_t scale = unit == 'K' ? 1024 : unit == 'M' ? 1024 * 1024 : unit == 'G' ? 1024LL * 1024 * 1024 : 1;
    return number * scale;
}

} // namespace

// The journal's trim names a size below what the journal takes, so it frees something;
// a journal too small to matter gets no card, and one of unknown size is looked at first.
TEST(LinuxAdvice, TheJournalIsTrimmedToLessThanItTakes) {
    constexpr int64_t MiB = 1024 * 1024;
    const struct {
        const char* name;
        ScanResult result;
        bool card;
        bool vacuum; // the command trims; else it says how much the journal takes
    } rows[] = {
        {"2 GiB read whole", journalOf(2048 * MiB, Reading::whole), true, true},
        {"300 MiB read whole", journalOf(300 * MiB, Reading::whole), true, true},
        {"at least 100 MiB", journalOf(100 * MiB, Reading::partial), true, true},
        {"just big enough", journalOf(LinuxAdvice::kJournalWorthTrimming, Reading::whole), true, true},
        {"just too small", journalOf(LinuxAdvice::kJournalWorthTrimming - 1, Reading::whole), false, false},
        {"400 MB, less than the old fixed size", journalOf(400'000'000, Reading::whole), true, true},
        {"10 MiB read whole", journalOf(10 * MiB, Reading::whole), false, false},
        {"at least 10 MiB: maybe more", journalOf(10 * MiB, Reading::partial), true, false},
        {"refused", journalOf(0, Reading::none), true, false},
        {"no journal in logs read whole", journalOf(std::nullopt, Reading::whole), false, false},
        {"no journal in logs read in part", journalOf(std::nullopt, Reading::whole, false), true, false},
        {"no scan of the logs", ScanResult{}, true, false},
    };
    const auto tools = with({"journalctl"});
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto list = AdviceCatalog::advice(storageCategory(StorageCategory::logs), row.result, {}, tools);
        const AdviceItem* card = titled(list, "Trim the journal to a size you choose");
        ASSERT_EQ(card != nullptr, row.card);
        if (!card) continue;
        const std::string command = card->command.value_or("");
        EXPECT_EQ(command.find("--vacuum-size=") != std::string::npos, row.vacuum) << command;
        EXPECT_EQ(command == "journalctl --disk-usage", !row.vacuum) << command;
        EXPECT_NE(card->rationale.find("10% of the file system"), std::string::npos) << card->rationale;
        EXPECT_NE(card->rationale.find("4 GiB"), std::string::npos) << card->rationale;
        if (!row.vacuum) continue;
        const auto node = row.result.node(LinuxPlaces::systemLogs() + "/journal");
        const auto target = vacuumBytes(command);
        ASSERT_TRUE(node && target) << command;
        EXPECT_GT(*target, 0) << command;
        EXPECT_LT(*target, node->size) << command << ": frees nothing";
    }
}

// `apt clean` removes every downloaded package: the card and the note say so, not what
// `apt autoclean` does.
TEST(LinuxAdvice, TheAptCardSaysWhatItsCommandDoes) {
    test::FakeHome home;
    test::TempDir bin;
    test::writeScript(bin, "apt", "exit 0");
    test::ScopedEnv path("PATH", bin.path());
    const auto list = AdviceCatalog::advice(storageCategory(StorageCategory::caches), ScanResult{}, {}, with({"apt"}));
    const AdviceItem* card = titled(list, "Let apt clear the packages it downloaded");
    ASSERT_NE(card, nullptr);
    const auto note = PathKnowledge::note(LinuxPlaces::systemCache());
    ASSERT_TRUE(note && note->guidance);
    for (const std::string& text : {card->rationale, *note->guidance}) {
        EXPECT_EQ(text.find("still need"), std::string::npos) << text;
        EXPECT_TRUE(text.find("removes them all") != std::string::npos ||
                    text.find("removes every package file") != std::string::npos)
            << text;
    }
    EXPECT_EQ(card->command, "sudo apt clean");
    EXPECT_NE(note->guidance->find("`apt clean`"), std::string::npos);
}

// The cards follow what the home holds: the other system's where it has ~/Library, the
// Linux places' where it has none.
TEST(LinuxAdvice, CardsFollowWhatTheHomeHolds) {
    const struct {
        StorageCategory category;
        const char* library;
        const char* linux;
    } rows[] = {
        {StorageCategory::caches, "Clearing ~/Library/Caches wholesale is fine",
         "Clear the cache folder app by app, not wholesale"},
        {StorageCategory::appSupport, "Keep only the newest backup per device", "Never bulk-delete app data"},
        {StorageCategory::containers, "Do not delete containers to free space",
         "Do not delete an app's folder to free space"},
        {StorageCategory::developer, "Delete DerivedData without ceremony", "Keep what only you made"},
        {StorageCategory::mail, "Never delete chat.db", "Local folders are the only copy"},
        {StorageCategory::vmSwap, "Leave swap and the sleep image alone", "A swap file keeps the size it was made with"},
        {StorageCategory::otherLibrary, "Preferences and keychains are tiny \u2014 skip them",
         "Settings are tiny \u2014 skip them"},
    };
    for (const bool library : {true, false}) {
        test::FakeHome home;
        if (library) test::makeDirs(home.path() + "/Library");
        for (const auto& row : rows) {
            const auto list = AdviceCatalog::advice(storageCategory(row.category), ScanResult{}, {});
            EXPECT_EQ(titled(list, row.library) != nullptr, library) << row.library;
            EXPECT_EQ(titled(list, row.linux) != nullptr, !library) << row.linux;
            // Made once: the same identifiers on every call.
            const auto again = AdviceCatalog::advice(storageCategory(row.category), ScanResult{}, {});
            if (!library && row.category != StorageCategory::mail) {
                ASSERT_EQ(again.size(), list.size());
                for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(again[i].id, list[i].id) << list[i].title;
            }
        }
    }
}

// The developer tools' card names each tool's own command, for the tools this machine has.
TEST(LinuxAdvice, DeveloperCommandsAreThoseOfToolsHere) {
    const std::vector<std::pair<std::set<std::string>, std::optional<std::string>>> rows = {
        {{}, std::nullopt},
        {{"pip"}, "pip cache purge"},
        {{"ccache"}, "ccache --clear"},
        {{"npm", "yarn"}, "yarn cache clean    npm cache clean --force"},
        {{"brew", "cargo", "gradle"}, std::nullopt},
    };
    for (const auto& [tools, command] : rows) {
        AdviceSurroundings machine = with(tools);
        machine.homeHasLibrary = false;
        const auto list = AdviceCatalog::advice(storageCategory(StorageCategory::developer), ScanResult{}, {}, machine);
        const AdviceItem* card = titled(list, "Let each tool clear its own cache");
        ASSERT_NE(card, nullptr);
        EXPECT_EQ(card->command, command) << tools.size();
    }
}
