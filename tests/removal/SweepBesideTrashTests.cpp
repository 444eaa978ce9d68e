// A sweep folder at the top of a file system holds that file system's trash folders: the
// sweep leaves them alone and sweeps the rest, every time, and nothing in them moves.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>

#include "removal/MountRig.h"

using namespace sorvel;
using Action = SweepSchedule::Action;

namespace {

// Every path under the trash folders at the top of `top`, relative to it.
std::set<std::string> trashContents(const std::string& top) {
    std::set<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(top, error)) {
        const std::string name = entry.path().filename();
        if (!name.starts_with(".Trash")) continue;
        found.insert(name);
        for (const auto& inner : std::filesystem::recursive_directory_iterator(entry.path(), error))
            found.insert(std::filesystem::relative(inner.path(), top, error));
    }
    return found;
}

struct Case {
    const char* what;
    std::function<void(const std::string& top)> before; // trash folders there before the first sweep
};

const Case kCases[] = {
    {"its own trash, made by the first sweep", [](const std::string&) {}},
    {"another user's trash beside it",
     [](const std::string& top) { test::writeFile(top + "/.Trash-4321/files/theirs", "someone else's"); }},
    {"a shared trash folder",
     [](const std::string& top) {
         test::makeDirs(top + "/.Trash");
         ::chmod((top + "/.Trash").c_str(), 01777);
     }},
};

} // namespace

TEST(SweepBesideTrash, AFolderHoldingADisksTrashIsSweptTwiceAndTheTrashLeftAlone) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        test::Home t;
        const std::string top = t.h + "/data";
        test::makeDirs(top);
        const int status = test::inMountNamespace([&] {
            if (!test::tmpfsAt(top)) return test::kSkipped;
            int failed = 0;
            const auto check = [&](bool ok, const std::string& what) {
                if (!ok) ++failed, std::fprintf(stderr, "failed: %s\n", what.c_str());
            };
            c.before(top);
            for (int round = 1; round <= 2; ++round) {
                const std::string item = top + "/cache-" + std::to_string(round);
                test::writeFile(item + "/blob", "cached");
                const auto trashed = trashContents(top);
                const auto reason = OwnFolder::refusal(top);
                check(!reason, "refused: " + reason.value_or(""));
                const auto swept = test::sweepOnly({top}, Action::clean);
                check(swept.outcomes.size() == 1 && swept.outcomes[0].path == item && swept.outcomes[0].moved(),
                      "round " + std::to_string(round) + " did not move " + item + " alone");
                check(swept.receipt.refusedCount == 0 && !swept.receipt.withheldReason,
                      "round " + std::to_string(round) + ": " + swept.receipt.withheldReason.value_or("refused"));
                check(!test::exists(item), item + " still there");
                const auto after = trashContents(top);
                for (const auto& path : trashed) check(after.count(path) > 0, path + " left its trash");
            }
            return failed;
        });
        if (status == test::kSkipped) GTEST_SKIP() << "cannot mount in a mount namespace here (needs root and unshare)";
        EXPECT_EQ(status, 0);
    }
}
