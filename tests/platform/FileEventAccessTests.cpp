// Folders this user may not read, as the event stream meets them: one that opens up is
// watched from then on, with what it holds; one that closes and opens again stays followed.
// Each case runs as an ordinary user (uid 65534 when the suite runs as root).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/FileEventRecorder.h"
#include "platform/FileEvents.h"
#include "support/TestSupport.h"

using namespace sorvel;
using namespace sorvel::test;
using namespace std::chrono_literals;

namespace {

// A folder the unprivileged child owns, inside a temporary one.
std::string ownedFolder(const TempDir& dir) {
    const std::string w = dir / "w";
    makeDirs(w);
    if (geteuid() == 0 && ::chown(w.c_str(), 65534, 65534) != 0) return {};
    return w;
}

bool mode(const std::string& path, mode_t bits) { return ::chmod(path.c_str(), bits) == 0; }

struct Step {
    std::function<bool(const std::string& w)> act;
    std::string reported; // relative to w; empty for w itself
};

struct Case {
    const char* name;
    std::vector<std::string> roots; // relative to w
    std::function<bool(const std::string& w)> setUp;
    std::vector<Step> steps;
};

std::string at(const std::string& w, const std::string& relative) {
    return relative.empty() ? w : w + "/" + relative;
}

// In the child: 0 when every step's folder was reported after it; otherwise 10 + the step.
int runCase(const Case& c, const std::string& w, size_t share = 0) {
    std::optional<ScopedWatchShare> limited;
    if (share > 0) limited.emplace(share);
    if (!c.setUp(w)) return 2;
    SerialQueue queue("test.access");
    BatchRecorder recorder;
    std::vector<std::string> roots;
    for (const auto& r : c.roots) roots.push_back(at(w, r));
    auto stream = FileEventStream::create([&](size_t, const std::vector<std::string>& p) { recorder.add(p); }, roots,
                                          FileEventStream::kEventIdSinceNow, 0.2, 7);
    if (!stream) return 3;
    stream->setDispatchQueue(&queue);
    if (!stream->start()) return 4;
    for (size_t i = 0; i < c.steps.size(); ++i) {
        recorder.clear();
        if (!c.steps[i].act(w)) return 5;
        if (!recorder.waitFor(at(w, c.steps[i].reported), 20s)) return 10 + static_cast<int>(i);
    }
    return 0;
}

} // namespace

TEST(FileEventAccess, FoldersThatOpenUpAreWatchedFromThenOn) {
    const Case cases[] = {
        {"a closed folder opened, then written in, with its subfolders",
         {""},
         [](const std::string& w) {
             writeFile(w + "/lock/old", "x");
             makeDirs(w + "/lock/inner");
             return mode(w + "/lock", 0);
         },
         {{[](const std::string& w) { return mode(w + "/lock", 0755); }, ""},
          {[](const std::string& w) { writeFile(w + "/lock/new", "x"); return true; }, "lock"},
          {[](const std::string& w) { writeFile(w + "/lock/inner/f", "x"); return true; }, "lock/inner"}}},
        {"nested closed folders opened one by one",
         {""},
         [](const std::string& w) {
             makeDirs(w + "/a/b/c");
             return mode(w + "/a/b", 0) && mode(w + "/a", 0);
         },
         {{[](const std::string& w) { return mode(w + "/a", 0755); }, ""},
          {[](const std::string& w) { return mode(w + "/a/b", 0755); }, "a"},
          {[](const std::string& w) { writeFile(w + "/a/b/c/f", "x"); return true; }, "a/b/c"}}},
        {"a closed root inside another tree is watched and reported once it opens",
         {"", "r"},
         [](const std::string& w) {
             makeDirs(w + "/r/sub");
             return mode(w + "/r", 0);
         },
         {{[](const std::string& w) { return mode(w + "/r", 0755); }, "r"},
          {[](const std::string& w) { writeFile(w + "/r/sub/f", "x"); return true; }, "r/sub"}}},
        {"a watched folder closed and opened again is still followed",
         {""},
         [](const std::string& w) {
             makeDirs(w + "/x/y");
             return true;
         },
         {{[](const std::string& w) { return mode(w + "/x", 0); }, ""},
          {[](const std::string& w) { return mode(w + "/x", 0755); }, ""},
          {[](const std::string& w) { writeFile(w + "/x/y/f", "x"); return true; }, "x/y"}}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string w = ownedFolder(dir);
        ASSERT_FALSE(w.empty());
        const int status = runAsUnprivileged([&] { return runCase(c, w); });
        EXPECT_EQ(status, 0) << c.name;
        runAsUnprivileged([&] { // let the cleanup in, whatever the case left closed
            for (const char* p : {"lock", "a", "a/b", "r", "x"}) ::chmod((w + "/" + p).c_str(), 0755);
            return 0;
        });
    }
}

// Past the process's share, a closed folder counts as one unwatched folder; once it opens,
// what it holds is counted too, and nothing more is watched.
TEST(FileEventAccess, AFolderOpeningPastTheShareIsCountedWithWhatItHolds) {
    TempDir dir;
    const std::string w = ownedFolder(dir);
    ASSERT_FALSE(w.empty());
    const int status = runAsUnprivileged([&] {
        ScopedWatchShare share(1);
        makeDirs(w + "/lock/inner");
        if (!mode(w + "/lock", 0)) return 2;
        SerialQueue queue("test.access");
        BatchRecorder recorder;
        auto stream = FileEventStream::create([&](size_t, const std::vector<std::string>& p) { recorder.add(p); },
                                              {w}, FileEventStream::kEventIdSinceNow, 0.2, 7);
        if (!stream) return 3;
        stream->setDispatchQueue(&queue);
        const size_t held = WatchBudget::held();
        if (!stream->start() || stream->watchedFolders() != 1 || stream->unwatchedFolders() != 1) return 4;
        if (!mode(w + "/lock", 0755)) return 5;
        if (!recorder.waitFor(w, 20s)) return 6;
        // The folder and the one inside it, counted beside the events.
        for (int i = 0; i < 2000 && stream->unwatchedFolders() != 2; ++i) std::this_thread::sleep_for(10ms);
        if (stream->unwatchedFolders() != 2) return 7;
        return stream->watchedFolders() == 1 && WatchBudget::held() == held + 1 ? 0 : 8;
    });
    EXPECT_EQ(status, 0);
}
