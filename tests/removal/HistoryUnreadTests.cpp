// A history with no run in it because it could not be read is said as such, with where it
// is and what Sorvel does with it; an empty history says nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <functional>

#include "platform/UserDefaults.h"
#include "removal/SweepHistory.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

struct Defaults {
    test::FakeHome home;
    test::ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    std::string history() const { return home / ".config/sorvel/history.json"; }
    std::string settings() const { return home / ".config/sorvel/defaults.json"; }
};

const std::string kHistory = "~/.config/sorvel/history.json";

std::string refused(const std::string& path, int error) {
    return "Sorvel could not read its history: " + path + " (" + std::strerror(error) +
           "). Sorvel leaves that file as it is and can record nothing new in it until it can be read.";
}

} // namespace

TEST(HistoryUnread, AReadingWithNoRunSaysWhyWhenItWasNotRead) {
    const struct Row {
        const char* name;
        std::function<void(const Defaults&)> setUp;
        std::string note; // "" for none
    } rows[] = {
        {"no file", [](const Defaults&) {}, ""},
        {"an empty list", [](const Defaults& d) { test::writeFile(d.history(), R"({"SorvelSweepHistory": []})"); }, ""},
        {"not JSON", [](const Defaults& d) { test::writeFile(d.history(), "{ not json"); },
         "Sorvel could not read its history: " + kHistory +
             " is not in a form it can read. Sorvel keeps that file aside as history.corrupt-1.json at its next "
             "write and starts a new history."},
        {"a folder in its place", [](const Defaults& d) { test::makeDirs(d.history()); }, refused(kHistory, EISDIR)},
        {"every entry unreadable",
         [](const Defaults& d) {
             test::writeFile(d.history(), R"({"SorvelSweepHistory": [{"id": "nonsense"}, {"id": 3}]})");
         },
         "Sorvel could not read any of the 2 entries of its history in " + kHistory + "; it keeps them as stored."},
        {"its one entry unreadable",
         [](const Defaults& d) { test::writeFile(d.history(), R"({"SorvelSweepHistory": [{"id": "nonsense"}]})"); },
         "Sorvel could not read the one entry of its history in " + kHistory + "; it keeps it as stored."},
        {"still in settings that are not JSON", [](const Defaults& d) { test::writeFile(d.settings(), "{ not json"); },
         "Sorvel could not read its history: ~/.config/sorvel/defaults.json is not in a form it can read. Sorvel "
         "keeps that file aside as defaults.corrupt-1.json at its next write and starts a new history."},
        {"settings unreadable beside a readable history",
         [](const Defaults& d) {
             test::writeFile(d.settings(), "{ not json");
             test::writeFile(d.history(), R"({"SorvelSweepHistory": []})");
         },
         ""},
    };
    for (const Row& row : rows) {
        Defaults d;
        row.setUp(d);
        const auto loaded = SweepHistory::read();
        EXPECT_TRUE(loaded.runs.empty()) << row.name;
        EXPECT_EQ(SweepHistory::nothingReadNote(loaded).value_or(""), row.note) << row.name;
    }
}

TEST(HistoryUnread, SomeRunsReadSayNothingHere) {
    Defaults d;
    SweepRun run;
    run.scope = "items you picked";
    ASSERT_TRUE(SweepHistory::store(run));
    auto stored = test::readFile(d.history());
    const auto at = stored.find("[");
    ASSERT_NE(at, std::string::npos);
    stored.insert(at + 1, R"({"id": "nonsense"},)");
    test::writeFile(d.history(), stored);
    const auto loaded = SweepHistory::read();
    EXPECT_EQ(loaded.runs.size(), 1u);
    EXPECT_EQ(loaded.unreadable, 1u);
    EXPECT_EQ(SweepHistory::nothingReadNote(loaded), std::nullopt);
}

TEST(HistoryUnread, AFileLockedFromThisUserIsLeftAsItIs) {
    Defaults d;
    test::writeFile(d.history(), R"({"SorvelSweepHistory": []})");
    ASSERT_EQ(chmod(d.history().c_str(), 0600), 0);
    ASSERT_EQ(chmod((d.home / ".config/sorvel").c_str(), 0755), 0);
    ASSERT_EQ(chmod((d.home / ".config").c_str(), 0755), 0);
    const int status = test::runAsUnprivileged([&] {
        const auto note = SweepHistory::nothingReadNote(SweepHistory::read());
        const std::string want = refused(kHistory, EACCES);
        if (note.value_or("") == want) return 0;
        std::fprintf(stderr, "got \"%s\"\n", note.value_or("(none)").c_str());
        return 1;
    });
    EXPECT_EQ(status, 0);
}
