// The command line says what happened, as the window does: a run put back still says what it
// moved, a run cut short before its first batch says so, a run from the sweep panel is not
// said to come from a tray, `--history` writes nothing, a tree the Trash could not be
// emptied of is refused with its reason, and the help names this system's places.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/CommandAsUser.h"
#include "platform/UserDefaults.h"
#include "removal/SweepHistory.h"
#include "support/TestSupport.h"

using namespace sorvel;

namespace {

// Every file and folder under `folder`: its name, mode and contents.
std::map<std::string, std::string> snapshot(const std::string& folder) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        struct stat st {};
        ::lstat(it->path().c_str(), &st);
        out[it->path().string()] =
            std::to_string(st.st_mode) + (S_ISREG(st.st_mode) ? ":" + test::readFile(it->path().string()) : "");
    }
    return out;
}

SweepRun cleanRun(SweepRun::Trigger trigger) {
    SweepRun run;
    run.trigger = trigger;
    run.scope = "every safe rule";
    run.receipt.action = SweepSchedule::Action::clean;
    return run;
}

// The run as stored, with what was put back of it since (count, bytes).
void storeIn(const std::string& file, const SweepRun& run, int64_t putBackCount = 0, int64_t putBackBytes = 0) {
    nlohmann::json stored = run.toJSON();
    if (putBackCount > 0) {
        stored["putBackCount"] = putBackCount;
        stored["putBackBytes"] = putBackBytes;
    }
    UserDefaults store(file);
    ASSERT_TRUE(store.set("SorvelSweepHistory", nlohmann::json::array({stored})));
}

// The fake home and everything in it belong to the unprivileged user, as a home does.
void giveAway(const std::string& home) {
    namespace fs = std::filesystem;
    ASSERT_EQ(::lchown(home.c_str(), 65534, 65534), 0);
    for (const auto& entry : fs::recursive_directory_iterator(home))
        ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0) << entry.path();
}

} // namespace

TEST(SaysWhatHappened, TheCommandLineTellsWhatHappenedAndChangesNothing) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::function<void(const std::string& home)> setUp;
        std::vector<std::string> words;
        std::vector<std::string> absent;
        bool asUser = false; // run as the unprivileged user, who owns the home
    };
    const auto history = [](const std::string& home) { return home + "/.config/sorvel/history.json"; };
    const Row rows[] = {
        {"every item put back",
         {"--history"},
         [&](const std::string& home) {
             storeIn(history(home), cleanRun(SweepRun::Trigger::scheduled), 4, 848'100'000);
         },
         {"Moved 848.1 MB to the Trash \u00B7 all put back", "848.1 MB moved in total"},
         {"Nothing needed cleaning"}},
        {"some put back",
         {"--history"},
         [&](const std::string& home) {
             SweepRun run = cleanRun(SweepRun::Trigger::manual);
             run.moved = {MovedItem{home + "/Work/kept", home + "/.local/share/Trash/files/kept", 2'000'000}};
             run.recount();
             storeIn(history(home), run, 1, 3'000'000);
         },
         {"Moved 5 MB to the Trash \u00B7 1 item put back"},
         {"Nothing needed cleaning"}},
        {"a sweep killed before its first batch",
         {"--history"},
         [&](const std::string& home) {
             SweepRun run = cleanRun(SweepRun::Trigger::scheduled);
             run.finished = false;
             storeIn(history(home), run);
         },
         {"Cut short before it finished", "did not finish"},
         {"Nothing needed cleaning"}},
        {"a run from the sweep panel",
         {"--history"},
         [&](const std::string& home) { storeIn(history(home), cleanRun(SweepRun::Trigger::menuBar)); },
         {"Sweep panel"},
         {"Tray panel"}},
        {"a history an earlier version kept in the settings",
         {"--history"},
         [](const std::string& home) {
             SweepRun run = cleanRun(SweepRun::Trigger::manual);
             run.moved = {MovedItem{home + "/Work/a", home + "/.local/share/Trash/files/a", 7'000}};
             run.recount();
             storeIn(home + "/.config/sorvel/defaults.json", run);
             ASSERT_EQ(::chmod((home + "/.config/sorvel/defaults.json").c_str(), 0644), 0);
         },
         {"Moved 7 KB to the Trash"},
         {}},
        {"the help's line for --apps",
         {"--help"},
         [](const std::string&) {},
         {"files it left in ~/Library", "Flatpak and snap\n", "apps (~/.var/app, ~/snap) are measured by --report"},
         {"around ~/Library"}},
        {"a build cache holding read-only folders",
         {"--plan"},
         [](const std::string& home) {
             test::writeFileOfSize(home + "/.cache/bazel/_bazel_u/external/repo/BUILD", 2'000'000);
             test::writeFileOfSize(home + "/.cache/pip/http/blob", 2'000'000);
             giveAway(home);
             ASSERT_EQ(::chmod((home + "/.cache/bazel/_bazel_u/external/repo").c_str(), 0555), 0);
         },
         {"~/.cache/bazel", "holds 1 folder you may not write: emptying the Trash could not delete it, so the space "
                            "would never come back",
          "1 of 2 targets passed every safety check"},
         {"not writable by you"},
         true},
    };
    for (const auto& row : rows) {
        if (row.asUser) {
            test::expectCommandAsUser({row.name, row.args, row.setUp, row.words, row.absent, 0});
            continue;
        }
        test::TempDir home;
        row.setUp(home.path());
        const auto before = snapshot(home.path());
        const auto result = test::runSorvel(
            row.args, {{"HOME", home.path()}, {"XDG_CONFIG_HOME", home / ".config"}, {"XDG_DATA_HOME", home / ".local/share"}});
        EXPECT_EQ(result.status, 0) << row.name << "\n" << result.err;
        for (const auto& word : row.words)
            EXPECT_NE(result.out.find(word), std::string::npos) << row.name << ": no \"" << word << "\" in\n" << result.out;
        for (const auto& word : row.absent)
            EXPECT_EQ(result.out.find(word), std::string::npos) << row.name << ": \"" << word << "\" in\n" << result.out;
        // The command line only reads: no file made, rewritten or given another mode.
        EXPECT_EQ(snapshot(home.path()), before) << row.name;
    }
}
