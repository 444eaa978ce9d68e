// The history in a file of its own, and the list an earlier version kept in the settings
// moving over once, whole, through crashes, failures and a second process.
#include <gtest/gtest.h>

#include <malloc.h>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <thread>

#include "platform/Path.h"
#include "platform/UserDefaults.h"
#include "removal/SweepHistory.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

using namespace sorvel;
using json = nlohmann::json;
using Names = std::vector<std::string>;

namespace {

constexpr const char* kKey = "SorvelSweepHistory";

struct Home {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    UserDefaults settings = UserDefaults::standard();
    UserDefaults history{SweepHistory::filePath()};
    std::pair<ino_t, std::string> historyFile() const {
        struct stat st{};
        ::stat(history.filePath().c_str(), &st);
        return {st.st_ino, test::readFile(history.filePath())};
    }
};

SweepRun runNamed(const std::string& scope) {
    SweepRun run;
    run.scope = scope;
    return run;
}

Names scopes(const std::vector<SweepRun>& runs) {
    Names out;
    for (const auto& run : runs) out.push_back(run.scope);
    return out;
}

} // namespace

// Each case: the old list in the settings, and what the history file already holds. Once
// moved, a settings write leaves the history file alone.
TEST(SweepHistoryMove, EveryRunMovesOverOnceIntoAFileOfItsOwn) {
    const json a = runNamed("a").toJSON(), b = runNamed("b").toJSON(), c = runNamed("c").toJSON();
    const json old = json::array({a, b, json{{"id", "not a run"}}});
    const std::tuple<const char*, json, std::optional<json>, Names, json> cases[] = {
        {"first start", old, std::nullopt, {"a", "b"}, old},
        {"crash after the file was written", old, old, {"a", "b"}, old},
        {"an earlier version recorded since", json::array({c}), old, {"c", "a", "b"}, json::array({c, a, b, old[2]})},
        {"an empty old list", json::array(), std::nullopt, {}, json::array()},
    };
    for (const auto& [what, inSettings, inFile, listed, stored] : cases) {
        SCOPED_TRACE(what);
        Home h;
        ASSERT_TRUE(h.settings.set("SorvelAppearance", "dark"));
        ASSERT_TRUE(h.settings.set(kKey, inSettings));
        EXPECT_TRUE(!inFile || h.history.set(kKey, *inFile));
        const auto loaded = SweepHistory::read();
        EXPECT_EQ(scopes(loaded.runs), listed);
        EXPECT_EQ(loaded.unreadable, inSettings.empty() ? 0u : 1u);
        EXPECT_FALSE(h.settings.contains(kKey));
        EXPECT_EQ(h.settings.string("SorvelAppearance"), "dark");
        ASSERT_TRUE(SweepHistory::moveOver()); // again: nothing to do
        EXPECT_EQ(h.history.value(kKey), stored);
        const auto before = h.historyFile();
        ASSERT_TRUE(h.settings.set("SorvelAppearance", "light"));
        EXPECT_EQ(h.historyFile(), before) << "the history file was touched";
    }
}

// Until the move can be written the old list stays and is listed; changes wait, so a run
// forgotten in the file cannot come back from the old list.
TEST(SweepHistoryMove, AMoveThatFailsKeepsTheOldList) {
    Home h;
    const json old = json::array({runNamed("a").toJSON(), runNamed("b").toJSON()});
    ASSERT_TRUE(h.settings.set(kKey, old));
    test::makeDirs(h.history.filePath()); // no file can be written there
    const SaveStatus refused = SweepHistory::store(runNamed("new"));
    EXPECT_TRUE(!refused && !refused.reason().empty());
    EXPECT_EQ(h.settings.value(kKey), old);
    EXPECT_EQ(scopes(SweepHistory::load()), (Names{"a", "b"}));
    ::rmdir(h.history.filePath().c_str());
    ASSERT_TRUE(SweepHistory::store(runNamed("new")));
    EXPECT_EQ(scopes(SweepHistory::load()), (Names{"new", "a", "b"}));
    EXPECT_FALSE(h.settings.contains(kKey));
}

TEST(SweepHistoryMove, ProcessesMovingAtOnceKeepEveryRunOnce) {
    Home h;
    json old = json::array();
    for (int i = 0; i < 30; ++i) old.push_back(runNamed("old" + std::to_string(i)).toJSON());
    ASSERT_TRUE(h.settings.set(kKey, old));
    std::vector<pid_t> children;
    for (int p = 0; p < 4; ++p) {
        const SweepRun run = runNamed("new" + std::to_string(p)); // made here: forked children share one id sequence
        const pid_t child = fork();
        if (child == 0) _exit(SweepHistory::store(run) ? 0 : 1);
        children.push_back(child);
    }
    for (const pid_t child : children) {
        EXPECT_EQ(test::waitForChild(child, test::kChildDeadline), 0);
    }
    const auto runs = SweepHistory::load();
    std::set<UUID> ids;
    for (const auto& run : runs) ids.insert(run.id);
    EXPECT_TRUE(runs.size() == 34u && ids.size() == 34u) << runs.size() << " runs, " << ids.size() << " ids";
    EXPECT_FALSE(UserDefaults::standard().contains(kKey));
}

// A history that can no longer be read lists nothing but one unreadable entry, even once served.
TEST(SweepHistoryFile, AFileThatBecomesUnreadableListsNoRuns) {
    const std::pair<const char*, std::function<void(const std::string&)>> cases[] = {
        {"not JSON", [](const std::string& path) { test::writeFile(path, "{ not json"); }},
        {"not readable by its user", [](const std::string& path) { ::chmod(path.c_str(), 0); }},
    };
    for (const auto& [what, spoil] : cases) {
        SCOPED_TRACE(what);
        Home h;
        ASSERT_TRUE(SweepHistory::store(runNamed("gone")));
        ASSERT_EQ(test::runCommand({"/bin/chown", "-R", "65534:65534", h.home / ".config"}).status, 0);
        const int status = test::runAsUnprivileged([&, spoil = spoil] {
            if (scopes(SweepHistory::read().runs) != Names{"gone"}) return 1;
            spoil(h.history.filePath());
            const auto loaded = SweepHistory::read();
            return loaded.runs.empty() && loaded.unreadable == 1 ? 0 : 2;
        });
        EXPECT_EQ(status, 0);
    }
}

// A link in place of either lock file is refused, not followed.
TEST(SweepHistoryFile, ALinkInPlaceOfALockIsRefusedNotFollowed) {
    const std::pair<const char*, std::function<SaveStatus(Home&)>> cases[] = {
        {"settings", [](Home& h) { return h.settings.set("SorvelAppearance", "dark"); }},
        {"history", [](Home&) { return SweepHistory::store(runNamed("new")); }},
    };
    for (const auto& [which, write] : cases) {
        SCOPED_TRACE(which);
        Home h;
        ASSERT_TRUE(h.settings.set("SorvelAppearance", "light"));
        ASSERT_TRUE(SweepHistory::store(runNamed("kept")));
        test::TempDir elsewhere;
        for (const auto& file : {h.settings.filePath(), h.history.filePath()}) {
            ASSERT_EQ(::unlink((file + ".lock").c_str()), 0);
            ASSERT_EQ(::symlink((elsewhere / lastPathComponent(file)).c_str(), (file + ".lock").c_str()), 0);
        }
        const SaveStatus status = write(h);
        EXPECT_EQ(status.error, ELOOP);
        EXPECT_FALSE(test::exists(elsewhere / "defaults.json") || test::exists(elsewhere / "history.json"));
        EXPECT_EQ(h.settings.string("SorvelAppearance"), "light");
        EXPECT_EQ(scopes(SweepHistory::load()), Names{"kept"});
    }
}

// A run stored from a worker into a history at its bounds parses and writes some 10 MB;
// the process holds no more afterwards (it once kept some 60 MiB in the worker's heap).
// In a child, so the figures are the write's own.
namespace {

SweepRun fullRun(int n) {
    SweepRun run = runNamed("run " + std::to_string(n));
    for (int i = 0; i < 2000; ++i) {
        const std::string item = "/home/someone/Library/Caches/com.example.app" + std::to_string(n) + "/item-" +
                                 std::to_string(i) + ".cache";
        run.moved.push_back({item, item + " 2", i, Trash::Identity{2049, uint64_t(i), i, 1'700'000'000}});
    }
    return run;
}

// A history at its bounds, written without this process keeping any of it.
bool fillHistory(Home& home) {
    json full = json::array();
    for (int n = 0; n < static_cast<int>(SweepHistory::kMaximumRuns); ++n)
        full.push_back((n < static_cast<int>(SweepHistory::kRunsWithDetail) ? fullRun(n) : runNamed("")).toJSON());
    const bool saved = home.history.set(kKey, full);
    ::malloc_trim(0);
    return saved;
}

// A figure of /proc/self/status, in MiB.
double statusMiB(const std::string& field) {
    std::istringstream status(test::readFile("/proc/self/status"));
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":")) return std::stod(line.substr(field.size() + 1)) / 1024;
    return -1;
}

} // namespace

TEST(SweepHistoryFile, AWriteGivesItsMemoryBack) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory in quarantine";
#endif
    Home home;
    const int grown = test::runInChild([&] {
        if (!fillHistory(home)) return 255;
        const SweepRun run = fullRun(1000);
        const double before = statusMiB("VmRSS");
        std::thread([&] { (void)SweepHistory::store(run); }).join();
        return static_cast<int>(std::clamp(statusMiB("VmRSS") - before, 0.0, 250.0));
    });
    EXPECT_LT(grown, 20) << "MiB kept after the write";
    EXPECT_EQ(SweepHistory::load().at(0).scope, "run 1000");
}

// Not only after it: while each kind of write runs, a full history is never held whole.
TEST(SweepHistoryFile, AWriteNeverHoldsTheWholeFile) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory in quarantine";
#endif
    // Each given a new run and the stored newest one.
    using Write = std::function<SaveStatus(const SweepRun&, const SweepRun&)>;
    const std::pair<const char*, Write> writes[] = {
        {"a new run", [](const SweepRun& run, const SweepRun&) { return SweepHistory::store(run); }},
        {"a run replaced", [](const SweepRun&, const SweepRun& newest) { return SweepHistory::store(newest); }},
        {"items taken out",
         [](const SweepRun&, const SweepRun& newest) { return SweepHistory::removeItems(newest.id, {"/x"}); }},
        {"a run forgotten", [](const SweepRun&, const SweepRun& newest) { return SweepHistory::forget(newest.id); }},
    };
    for (const auto& [name, write] : writes) {
        SCOPED_TRACE(name);
        Home home;
        const int peak = test::runInChild([&] {
            if (!fillHistory(home)) return 255;
            const SweepRun run = fullRun(1000);
            const SweepRun newest = SweepHistory::sharedRuns()->at(0);
            const bool loaded = newest.moved.size() == 2000;
            ::malloc_trim(0);
            const double before = statusMiB("VmRSS");
            // Sets the high-water mark back to what is resident now.
            if (!loaded || ::access("/proc/self/clear_refs", W_OK) != 0) return 254;
            test::writeFile("/proc/self/clear_refs", "5");
            SaveStatus saved;
            std::thread([&] { saved = write(run, newest); }).join();
            if (!saved) return 253;
            return static_cast<int>(std::clamp(statusMiB("VmHWM") - before, 0.0, 250.0));
        });
        if (peak == 254) GTEST_SKIP() << "the high-water mark of memory cannot be reset here";
        EXPECT_LT(peak, 20) << "MiB above the start while the write ran";
    }
}

// Nor while the runs are listed: when the window starts, and when it lists them again after
// another process changed the file (it once parsed the whole file, some 50 MiB at the peak).
TEST(SweepHistoryFile, ListingTheRunsNeverHoldsTheWholeFile) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps freed memory in quarantine";
#endif
    const std::pair<const char*, bool> cases[] = {{"first listing", false}, {"listed again once changed", true}};
    for (const auto& [name, listedBefore] : cases) {
        SCOPED_TRACE(name);
        Home home;
        // Written by other processes, so this one holds nothing of the writes.
        ASSERT_EQ(test::runInChild([&] { return fillHistory(home) ? 0 : 1; }), 0);
        const int peak = test::runInChild([&, listedBefore = listedBefore] {
            if (listedBefore) {
                const auto oldest = SweepHistory::sharedRuns()->back().id;
                if (test::runInChild([&] { return SweepHistory::forget(oldest) ? 0 : 1; }) != 0) return 252;
            }
            ::malloc_trim(0);
            const double before = statusMiB("VmRSS");
            if (::access("/proc/self/clear_refs", W_OK) != 0) return 254;
            test::writeFile("/proc/self/clear_refs", "5");
            std::shared_ptr<const std::vector<SweepRun>> runs;
            std::thread([&] { runs = SweepHistory::sharedRuns(); }).join();
            const size_t wanted = SweepHistory::kMaximumRuns - (listedBefore ? 1 : 0);
            if (runs->size() != wanted || runs->at(0).moved.size() != 2000) return 253;
            return static_cast<int>(std::clamp(statusMiB("VmHWM") - before, 0.0, 250.0));
        });
        if (peak == 254) GTEST_SKIP() << "the high-water mark of memory cannot be reset here";
        EXPECT_LT(peak, 20) << "MiB above the start while the runs were listed";
    }
}
