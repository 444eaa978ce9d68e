// A file with names in several places is counted once, in the same place every run, and
// every figure of what a move frees counts only what it frees: the report and its JSON
// (the Trash's row too), the plan and its guard, a sweep and History.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <map>

#include "engine/Bytes.h"
#include "removal/SweepHistory.h"
#include "removal/SweepRunner.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct Row {
    const char* name;
    const char* folder;      // the offered folder, from the home
    int plain;               // its files named nowhere else
    int alsoMeasured;        // its files also named in ~/.local/share/uv/tools and a project
    int alsoInProject;       // its files also named in a project only
};

struct Figures {
    long long bytes = -1, shared = -1;
    std::map<std::string, long long> categories;
    friend bool operator==(const Figures&, const Figures&) = default;
};

// The offered folder's figures (a target's, or the Trash's own row) and every category's.
Figures figuresOf(const nlohmann::json& doc, const std::string& folder, bool trash) {
    Figures f;
    for (const auto& c : doc.at("categories")) f.categories[c.at("id")] = c.at("bytes").get<long long>();
    for (const auto& item : doc.at("recommendations")) {
        if (trash && item.at("id") == "trash") {
            f.bytes = item.at("bytes").get<long long>();
            f.shared = item.value("sharedBytes", 0LL);
        }
        for (const auto& t : item.at("targets"))
            if (t.at("path") == folder) {
                f.bytes = t.at("bytes").get<long long>();
                f.shared = t.value("sharedBytes", 0LL);
            }
    }
    return f;
}

} // namespace

TEST(SharedStorageFigures, CountedOnceTheSameEveryRunAndFreedOnlyWhatMovingFrees) {
    const Row rows[] = {
        {"a cache also named in App Support and projects", ".cache/uv", 2, 48, 0},
        {"a cache named in projects too", ".cache/uv", 1, 0, 6},
        {"the Trash holding files named in a project", ".local/share/Trash/files/uv", 0, 0, 6},
        {"the Trash holding files also in App Support", ".local/share/Trash/files/uv", 1, 12, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeHome home;
        const std::string h = home.path(), folder = h + "/" + row.folder;
        const bool trash = std::string(row.folder).find("Trash") != std::string::npos;
        long long freed = 0, shared = 0;
        int n = 0;
        const auto file = [&](const char* kind) {
            // Deep in it: a walk reaches the other names first.
            const std::string name = kind + std::to_string(n) + ".so",
                              sub = "/v" + std::to_string(n++ % 8) + "/lib/python/site/";
            writeFileOfSize(folder + sub + name, 800'000 + 4096 * n);
            return std::pair{folder + sub + name, allocatedSize(folder + sub + name)};
        };
        const auto link = [](const std::string& from, const std::string& to) {
            makeDirs(to.substr(0, to.rfind('/')));
            ASSERT_EQ(::link(from.c_str(), to.c_str()), 0) << to;
        };
        for (int i = 0; i < row.plain; ++i) freed += file("p").second;
        for (int i = 0; i < row.alsoMeasured + row.alsoInProject; ++i) {
            const auto [path, size] = file("l");
            shared += size;
            link(path, h + "/proj/.venv/lib/" + std::to_string(i) + ".so");
            if (i < row.alsoMeasured) link(path, h + "/.local/share/uv/tools/t" + std::to_string(i % 5) + "/" +
                                                     std::to_string(i) + ".so");
        }
        // A wide cache folder beside it (too small to offer) keeps the cache's walk busy.
        for (int i = 0; i < 1000; ++i) writeFile(h + "/.cache/wide/w" + std::to_string(i) + "/f", "x");
        if (trash) writeFile(h + "/.local/share/Trash/info/uv.trashinfo", "[Trash Info]\nPath=/x/uv\nDeletionDate=2026-01-01T00:00:00\n");
        const std::map<std::string, std::string> env{
            {"HOME", h}, {"SORVEL_SYSTEM_ROOT", home.systemRoot()}, {"XDG_CONFIG_HOME", h + "/.config"}};

        // The same disk gives the same figures every run, the shared bytes counted with the
        // folder whose path sorts first and freed by no move.
        std::optional<Figures> first;
        for (int run = 0; run < 6; ++run) {
            const auto report = runSorvel({"--report", "--json"}, env);
            ASSERT_EQ(report.status, 0) << report.err;
            const Figures now = figuresOf(nlohmann::json::parse(report.out), folder, trash);
            EXPECT_EQ(now.bytes, freed) << report.out;
            EXPECT_EQ(now.shared, shared) << report.out;
            if (!first) first = now;
            EXPECT_EQ(now, *first) << "run " << run;
        }
        EXPECT_EQ(first->categories["appSupport"], 0) << "App Support counts none of the cache's files";
        const auto text = runSorvel({"--report"}, env);
        if (shared > 0) {
            EXPECT_NE(text.out.find(Bytes::format(shared) + " is shared storage"), std::string::npos) << text.out;
        }
        if (trash) continue;

        // The guard measures again what the scan measured: nothing wrote, so nothing is refused.
        for (int run = 0; run < 3; ++run) {
            const auto plan = runSorvel({"--plan"}, env);
            EXPECT_EQ(plan.out.find("changed since the scan"), std::string::npos) << plan.out;
            EXPECT_NE(plan.out.find("  " + Bytes::format(freed) + " would move to the Trash\n"), std::string::npos)
                << plan.out;
        }

        // A sweep's found and moved figures, and History's, count what the move frees.
        ScopedEnv config("XDG_CONFIG_HOME", h + "/.config");
        SweepSchedule s;
        s.rules = SweepSchedule::RuleSelection::only({"user-caches"});
        s.action = SweepSchedule::Action::clean;
        const auto out = SweepRunner::run(s, SweepRun::Trigger::manual, CloudStatus{});
        EXPECT_EQ(out.receipt.movedCount, 1);
        EXPECT_EQ(out.receipt.foundBytes, freed);
        EXPECT_EQ(out.receipt.movedBytes, freed);
        EXPECT_NE(out.receipt.headline().find(Bytes::format(shared) + " more moved is shared storage"), std::string::npos)
            << out.receipt.headline();
        const auto history = runSorvel({"--history"}, env);
        EXPECT_NE(history.out.find(Bytes::format(freed) + " moved in total"), std::string::npos) << history.out;
        // In the Trash now, its row frees what the move freed, no more.
        const auto after = runSorvel({"--report", "--json"}, env);
        const Figures inTrash = figuresOf(nlohmann::json::parse(after.out), "", true);
        EXPECT_EQ(inTrash.bytes, freed) << after.out;
        EXPECT_EQ(inTrash.shared, shared) << after.out;
    }
}
