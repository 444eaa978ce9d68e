// Every change streamed through the history file one run at a time leaves the same bytes
// (and the same kept-aside copy) as the change made on the whole parsed file.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/Path.h"
#include "platform/UserDefaults.h"
#include "removal/SweepHistory.h"
#include "support/TestSupport.h"

using namespace sorvel;
using json = nlohmann::json;

namespace {

SweepRun runOf(const std::string& scope, int items) {
    SweepRun run;
    run.scope = scope;
    for (int i = 0; i < items; ++i)
        run.moved.push_back({"/h/" + scope + "/" + std::to_string(i), "/t/" + std::to_string(i), i});
    run.recount();
    return run;
}

struct Outcome {
    bool saved = false;
    std::string file, keptAside;
    friend bool operator==(const Outcome&, const Outcome&) = default;
};

Outcome changed(const std::string& stored, const std::function<SaveStatus()>& change, bool streamed) {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    const UserDefaults history(SweepHistory::filePath());
    test::writeFile(UserDefaults::standardFilePath(), "{}\n");
    test::writeFile(history.filePath(), stored);
    UserDefaults::setStreamedLists(streamed);
    Outcome out{bool(change()), test::readFile(history.filePath()), ""};
    UserDefaults::setStreamedLists(true);
    if (::access(history.keptAsidePath(1).c_str(), F_OK) == 0) out.keptAside = test::readFile(history.keptAsidePath(1));
    return out;
}

} // namespace

TEST(SweepHistoryStream, EveryChangeWritesWhatTheWholeFileChangeWrites) {
    std::vector<SweepRun> runs;
    for (int i = 0; i < 252; ++i) runs.push_back(runOf("r" + std::to_string(i), i < 30 ? 3 : 0));
    const json unreadable = {{"id", runs[1].id.uuidString()}, {"odd", true}};
    json list = json::array();
    for (size_t i = 0; i < runs.size(); ++i) {
        list.push_back(runs[i].toJSON());
        if (i == 1 || i == 25) list.push_back(unreadable);
    }
    list[3]["id"] = runs[3].id.uuidString().substr(0, 8) + "-abcd-abcd-abcd-abcdefabcdef"; // lower case
    runs[3] = *SweepRun::fromJSON(list[3]);
    const auto file = [](const json& value, int indent = 2) {
        return json{{"SorvelSweepHistory", value}}.dump(indent) + "\n";
    };
    json around = {
        {"A key first", 1}, {"SorvelSweepHistory", json::array({runs[0].toJSON(), unreadable})}, {"z", {{"k", "v"}}}};
    SweepRun finished = runs[3];
    finished.moved.resize(1);
    finished.finished = true;
    const SweepRun fresh = runOf("new", 2);
    const auto storeFresh = [&] { return SweepHistory::store(fresh); };
    std::string nested = "{\"SorvelSweepHistory\": [" + std::string(300, '[') + std::string(300, ']') + "]}";

    const std::tuple<const char*, std::string, std::function<SaveStatus()>> cases[] = {
        {"a new run into a full list", file(list), storeFresh},
        {"the same, stored compactly", file(list, -1), storeFresh},
        {"a stored run replaced in place", file(list), [&] { return SweepHistory::store(finished); }},
        {"items taken out", file(list),
         [&] {
             return SweepHistory::removeItems(runs[1].id, {"/h/r1/0", "/h/r1/2"});
         }},
        {"items of a run not stored", file(list), [] { return SweepHistory::removeItems(UUID::random(), {"/x"}); }},
        {"a run forgotten", file(list), [&] { return SweepHistory::forget(runs[1].id); }},
        {"a run not stored forgotten", file(list), [] { return SweepHistory::forget(UUID::random()); }},
        {"cleared around unreadable entries", file(list), [] { return SweepHistory::clear(); }},
        {"cleared to nothing, other keys kept", around.dump(2) + "\n", [] { return SweepHistory::clear(); }},
        {"stored between other keys", around.dump(), storeFresh},
        {"other keys out of order", "{\"b\": 2, \"a\": 1, \"SorvelSweepHistory\": [], \"z\": 0, \"c\": 3}", storeFresh},
        {"a key ahead of the list after it", "{\"SorvelSweepHistory\": [], \"a\": 1}", storeFresh},
        {"a cut-off file", file(list).substr(0, 5000), storeFresh},
        {"a list that is not a list", file(7), storeFresh},
        {"the key twice", "{\"SorvelSweepHistory\": [], \"SorvelSweepHistory\": [1]}",
         [] { return SweepHistory::clear(); }},
        {"nested too deep", nested, storeFresh},
    };
    for (const auto& [name, stored, change] : cases) {
        SCOPED_TRACE(name);
        const Outcome streamed = changed(stored, change, true);
        EXPECT_TRUE(streamed.saved);
        EXPECT_EQ(streamed, changed(stored, change, false));
    }
}

// A write that cannot be finished (here: the file may not grow past 64 KiB) says why and
// leaves the stored file as it was, with no part of the new one beside it.
TEST(SweepHistoryStream, AWriteCutShortKeepsTheHistory) {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    json list = json::array();
    for (int i = 0; i < 30; ++i) list.push_back(runOf("r" + std::to_string(i), 40).toJSON());
    const std::string path = SweepHistory::filePath(), stored = json{{"SorvelSweepHistory", list}}.dump(2) + "\n";
    test::writeFile(UserDefaults::standardFilePath(), "{}\n");
    test::writeFile(path, stored);
    const int error = test::runInChild([] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 << 10, 64 << 10};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 255;
        return SweepHistory::store(runOf("new", 1)).error;
    });
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(test::readFile(path), stored);
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(deletingLastPathComponent(path)))
        names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"defaults.json", "history.json", "history.json.lock"}));
}

// A folder in the file's place made the streamed read throw out of the write (the window
// ended with "terminate called"); every change now fails with the system's reason.
TEST(SweepHistoryStream, AFolderInPlaceOfTheFileFailsEachChangeWithItsReason) {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    test::writeFile(UserDefaults::standardFilePath(), "{}\n");
    test::makeDirs(SweepHistory::filePath());
    const SweepRun run = runOf("r", 1);
    for (const auto& [name, change] : std::vector<std::pair<std::string, std::function<SaveStatus()>>>{
             {"store", [&] { return SweepHistory::store(run); }},
             {"removeItems", [&] { return SweepHistory::removeItems(run.id, {"/h/r/0"}); }},
             {"forget", [&] { return SweepHistory::forget(run.id); }},
             {"clear", [] { return SweepHistory::clear(); }}}) {
        SaveStatus status;
        EXPECT_NO_THROW(status = change()) << name;
        EXPECT_EQ(status.error, EISDIR) << name;
        EXPECT_TRUE(std::filesystem::is_directory(SweepHistory::filePath())) << name;
    }
}
