// Two walks of one folder compared for folders that this user could read at one and not at
// the other: such a turn moves the total without the disk holding more or less, and is
// told apart from data made or gone.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "engine/TreeUpdater.h"

using namespace sorvel;

namespace {

// A folder of a hand-made walk: its own bytes, and whether it was refused (then it holds
// nothing, as the walker leaves it).
struct Folder {
    int64_t bytes = 0;
    bool refused = false;
};

// The walk of "/w" made of folders by relative path ("" is /w itself), totals rolled up.
ScanNodePtr walkOf(const std::map<std::string, Folder>& folders) {
    std::map<std::string, ScanNodePtr> nodes;
    for (const auto& [relative, folder] : folders) {
        const std::string path = relative.empty() ? "/w" : "/w/" + relative;
        auto node = ScanNode::make(path.substr(path.find_last_of('/') + 1), path);
        node->directFileSize = folder.bytes;
        node->directFileCount = folder.bytes > 0 ? 1 : 0;
        if (folder.refused) node->markUnreadable();
        nodes[relative] = node;
    }
    // Deepest first, so every child is rolled up before its parent takes it in.
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
        it->second->rollUpTotals();
        if (it->first.empty()) continue;
        const size_t slash = it->first.find_last_of('/');
        nodes.at(slash == std::string::npos ? "" : it->first.substr(0, slash))->children.push_back(it->second);
    }
    nodes.at("")->rollUpTotals();
    return nodes.at("");
}

struct Turn {
    std::string path;
    bool readable;
    int64_t change;
    friend bool operator==(const Turn&, const Turn&) = default;
    friend void PrintTo(const Turn& t, std::ostream* os) {
        *os << t.path << (t.readable ? " opened " : " closed ") << t.change;
    }
};

std::vector<Turn> turnsBetween(const ScanNode& before, const ScanNode& after) {
    std::vector<Turn> out;
    for (const auto& t : TreeUpdater::readingTurns(before, after)) out.push_back({t.path, t.readable, t.change});
    std::sort(out.begin(), out.end(), [](const Turn& a, const Turn& b) { return a.path < b.path; }); // any order
    return out;
}

} // namespace

TEST(TreeUpdaterReadingTurns, OnlyFoldersWhoseReadingTurnedAreNamed) {
    const struct {
        const char* name;
        std::map<std::string, Folder> before, after;
        std::vector<Turn> turns;
    } rows[] = {
        {"a folder closed", {{"", {10}}, {"lock", {700}}, {"lock/in", {300}}},
         {{"", {10}}, {"lock", {0, true}}},
         {{"/w/lock", false, -1000}}},
        {"a folder opened, what it holds counted", {{"", {10}}, {"lock", {0, true}}},
         {{"", {10}}, {"lock", {700}}, {"lock/in", {300}}},
         {{"/w/lock", true, 1000}}},
        {"a folder deep inside opened", {{"", {10}}, {"a", {5}}, {"a/b", {5}}, {"a/b/c", {0, true}}},
         {{"", {10}}, {"a", {5}}, {"a/b", {5}}, {"a/b/c", {40}}},
         {{"/w/a/b/c", true, 40}}},
        {"the walked folder itself closed", {{"", {10}}, {"a", {90}}}, {{"", {0, true}}},
         {{"/w", false, -100}}},
        {"one closes as another opens", {{"", {10}}, {"x", {50}}, {"y", {0, true}}},
         {{"", {10}}, {"x", {0, true}}, {"y", {20}}},
         {{"/w/x", false, -50}, {"/w/y", true, 20}}},
        {"a folder deleted is no turn", {{"", {10}}, {"gone", {500}}}, {{"", {10}}}, {}},
        {"a closed folder deleted is no turn", {{"", {10}}, {"lock", {0, true}}}, {{"", {10}}}, {}},
        {"a folder that stays closed is no turn", {{"", {10}}, {"lock", {0, true}}, {"a", {1}}},
         {{"", {10}}, {"lock", {0, true}}, {"a", {9}}},
         {}},
        {"files written in readable folders are no turn", {{"", {10}}, {"a", {1}}}, {{"", {10}}, {"a", {900}}}, {}},
    };
    for (const auto& row : rows) {
        const auto before = walkOf(row.before);
        const auto after = walkOf(row.after);
        EXPECT_EQ(turnsBetween(*before, *after), row.turns) << row.name;
    }
}

// Folders not readable count for nothing, yet their coming and going changes what is not
// counted: each is named, and what stays or turns is not.
TEST(TreeUpdaterReadingTurns, UnreadFoldersThatCameOrWentAreNamed) {
    using Kind = TreeUpdater::ReadingTurn::Kind;
    const struct {
        const char* name;
        std::map<std::string, Folder> before, after;
        std::vector<std::pair<std::string, Kind>> comings;
    } rows[] = {
        {"a closed folder arrives", {{"", {10}}}, {{"", {10}}, {"lock", {0, true}}}, {{"/w/lock", Kind::arrived}}},
        {"a closed folder goes", {{"", {10}}, {"lock", {0, true}}}, {{"", {10}}}, {{"/w/lock", Kind::left}}},
        {"a deeper closed folder goes", {{"", {10}}, {"a", {5}}, {"a/lock", {0, true}}}, {{"", {10}}, {"a", {5}}},
         {{"/w/a/lock", Kind::left}}},
        {"a folder of closed folders arrives", {{"", {10}}},
         {{"", {10}}, {"box", {0}}, {"box/in", {0, true}}}, {{"/w/box", Kind::arrived}}},
        {"the only folder, closed, goes", {{"", {0}}, {"lock", {0, true}}}, {{"", {0}}}, {{"/w/lock", Kind::left}}},
        {"a readable folder arrives", {{"", {10}}, {"lock", {0, true}}}, {{"", {10}}, {"lock", {0, true}}, {"a", {4}}},
         {}},
        {"a readable folder goes", {{"", {10}}, {"a", {4}}, {"lock", {0, true}}}, {{"", {10}}, {"lock", {0, true}}},
         {}},
        {"a closed folder that turns is no coming", {{"", {10}}, {"x", {0, true}}}, {{"", {10}}, {"x", {5}}}, {}},
    };
    for (const auto& row : rows) {
        std::vector<std::pair<std::string, Kind>> got;
        for (const auto& t : TreeUpdater::unreadComings(*walkOf(row.before), *walkOf(row.after))) {
            EXPECT_FALSE(t.readable) << row.name;
            EXPECT_EQ(t.change, 0) << row.name;
            got.emplace_back(t.path, t.kind);
        }
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, row.comings) << row.name;
    }
}

// A re-walk splices the folder in and names the turns inside it with the change they made,
// so the rest of the change is what the disk really gained or lost.
TEST(TreeUpdaterReadingTurns, RemeasureNamesTheTurnsWithinItsChange) {
    ScanResult result;
    DisplayCategory category;
    category.id = "watch";
    category.roots = {"/w"};
    result.categories.push_back(CategoryResult{category, {walkOf({{"", {10}}, {"lock", {700}}, {"gone", {5}}})}});
    ScanControl control;
    const auto measured = TreeUpdater::remeasure(
        {"/w"}, result, control, [](const std::string&) { return FileWalker::Options{}; },
        [](const std::string&, ScanControl&, const FileWalker::Options&) {
            return walkOf({{"", {30}}, {"lock", {0, true}}});
        });
    ASSERT_EQ(measured.size(), 1u);
    EXPECT_EQ(measured[0].change, 30 - 715);
    ASSERT_EQ(measured[0].turns.size(), 1u);
    EXPECT_EQ(measured[0].turns[0].path, "/w/lock");
    EXPECT_FALSE(measured[0].turns[0].readable);
    EXPECT_EQ(measured[0].turns[0].change, -700);
    EXPECT_EQ(result.categories[0].roots[0]->unreadableFolders, 1);
}
