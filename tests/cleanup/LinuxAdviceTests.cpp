// The Linux system's own cleanups are advised in the category whose space they free, each
// only where this machine has the tool it names.
#include <gtest/gtest.h>

#include <set>

#include "cleanup/Advice.h"
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
    {StorageCategory::logs, "journalctl", "Trim the journal to a size you choose", "sudo journalctl --vacuum-size=500M",
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
