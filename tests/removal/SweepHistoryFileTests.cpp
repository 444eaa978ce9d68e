// The history in a file of its own: settings writes leave it alone, and a list an earlier
// version kept in the settings moves over once, whole, through crashes, failures and a
// second process.
#include <gtest/gtest.h>

#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/UserDefaults.h"
#include "removal/SweepHistory.h"
#include "support/TestSupport.h"

using namespace sorvel;
using json = nlohmann::json;

namespace {

constexpr const char* kKey = "SorvelSweepHistory";

struct Home {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    UserDefaults settings = UserDefaults::standard();
    UserDefaults history{SweepHistory::filePath()};
};

SweepRun runNamed(const std::string& scope) {
    SweepRun run;
    run.scope = scope;
    run.receipt.action = SweepSchedule::Action::clean;
    run.moved.push_back({"/home/u/Library/Caches/" + scope, "/home/u/.local/share/Trash/files/" + scope, 7});
    run.receipt.movedCount = 1;
    return run;
}

std::vector<std::string> scopes(const std::vector<SweepRun>& runs) {
    std::vector<std::string> out;
    for (const auto& run : runs) out.push_back(run.scope);
    return out;
}

} // namespace

TEST(SweepHistoryFile, LivesBesideTheSettingsAndASettingsWriteLeavesItAlone) {
    Home h;
    EXPECT_EQ(SweepHistory::filePath(), h.home / ".config/sorvel/history.json");
    ASSERT_TRUE(SweepHistory::store(runNamed("a")));
    struct stat before{}, after{};
    ASSERT_EQ(::stat(h.history.filePath().c_str(), &before), 0);
    const std::string bytes = test::readFile(h.history.filePath());

    ASSERT_TRUE(h.settings.set("SorvelAppearance", "dark"));
    ASSERT_EQ(::stat(h.history.filePath().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the history file was replaced";
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(test::readFile(h.history.filePath()), bytes);
    EXPECT_FALSE(h.settings.contains(kKey));
    EXPECT_EQ(scopes(SweepHistory::load()), std::vector<std::string>{"a"});
}

// Each start: what an earlier version left in the settings, and what the history file
// holds. Each run ends up listed and stored once, the unreadable entry too, and the old
// list leaves the settings (their other keys stay).
TEST(SweepHistoryMove, EveryRunMovesOverOnce) {
    const json a = runNamed("a").toJSON(), b = runNamed("b").toJSON(), c = runNamed("c").toJSON();
    const json bad = json{{"id", "not a run"}};
    struct Case {
        const char* name;
        json old;
        std::optional<json> file;
        std::vector<std::string> listed;
        json stored;
    };
    const std::vector<Case> cases{
        {"first start", json::array({a, b, bad}), std::nullopt, {"a", "b"}, json::array({a, b, bad})},
        {"crash after the file was written", json::array({a, b, bad}), json::array({a, b, bad}), {"a", "b"},
         json::array({a, b, bad})},
        {"an earlier version recorded since", json::array({c}), json::array({a, b, bad}), {"c", "a", "b"},
         json::array({c, a, b, bad})},
        {"an empty old list", json::array(), std::nullopt, {}, json::array()},
    };
    for (const auto& k : cases) {
        Home h;
        ASSERT_TRUE(h.settings.set("SorvelAppearance", "dark"));
        ASSERT_TRUE(h.settings.set(kKey, k.old));
        if (k.file) {
            ASSERT_TRUE(h.history.set(kKey, *k.file));
        }
        const auto loaded = SweepHistory::read();
        EXPECT_EQ(scopes(loaded.runs), k.listed) << k.name;
        EXPECT_EQ(loaded.unreadable, k.old.size() == 0 ? 0u : 1u) << k.name;
        EXPECT_FALSE(h.settings.contains(kKey)) << k.name;
        EXPECT_EQ(h.settings.string("SorvelAppearance"), "dark") << k.name;
        EXPECT_EQ(h.history.value(kKey), k.stored) << k.name;
        // Moving again finds nothing to do.
        ASSERT_TRUE(SweepHistory::moveOver()) << k.name;
        EXPECT_EQ(h.history.value(kKey), k.stored) << k.name;
    }
}

// A move that cannot be written keeps the old list where it is, still listed; changes wait
// (a run forgotten in the file must not come back from the old list), then it moves.
TEST(SweepHistoryMove, AMoveThatFailsKeepsTheOldList) {
    Home h;
    const json old = json::array({runNamed("a").toJSON(), runNamed("b").toJSON()});
    ASSERT_TRUE(h.settings.set(kKey, old));
    test::makeDirs(h.history.filePath()); // no file can be written there
    const SaveStatus refused = SweepHistory::store(runNamed("new"));
    EXPECT_FALSE(refused);
    EXPECT_FALSE(refused.reason().empty());
    EXPECT_EQ(h.settings.value(kKey), old);
    EXPECT_EQ(scopes(SweepHistory::load()), (std::vector<std::string>{"a", "b"}));

    ::rmdir(h.history.filePath().c_str());
    ASSERT_TRUE(SweepHistory::store(runNamed("new")));
    EXPECT_EQ(scopes(SweepHistory::load()), (std::vector<std::string>{"new", "a", "b"}));
    EXPECT_FALSE(h.settings.contains(kKey));
}

// Processes starting together each find the old list and each record a run: every old run
// is stored once, beside every new one.
TEST(SweepHistoryMove, ProcessesMovingAtOnceKeepEveryRunOnce) {
    Home h;
    json old = json::array();
    for (int i = 0; i < 30; ++i) old.push_back(runNamed("old" + std::to_string(i)).toJSON());
    ASSERT_TRUE(h.settings.set(kKey, old));
    std::vector<pid_t> children;
    for (int p = 0; p < 4; ++p) {
        const SweepRun run = runNamed("new" + std::to_string(p)); // made here: forked children share one id sequence
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) _exit(SweepHistory::store(run) ? 0 : 1);
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const auto runs = SweepHistory::load();
    EXPECT_EQ(runs.size(), 34u);
    std::set<UUID> ids;
    for (const auto& run : runs) ids.insert(run.id);
    EXPECT_EQ(ids.size(), 34u);
    EXPECT_FALSE(UserDefaults::standard().contains(kKey));
}
