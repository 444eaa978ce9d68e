// Folders this user may not read, as the event stream meets them: one that opens up is
// watched from then on, with what it holds; one that closes and opens again stays followed.
// Each case runs as an ordinary user (uid 65534 when the suite runs as root).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "platform/FileEventRecorder.h"
#include "platform/FileEvents.h"
#include "support/ChildProcess.h"
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

// A folder made by someone else inside a watched folder while this user may not enter it
// cannot be watched then; once the folder holding it opens again, it is. The other user is
// root, acting on a thread of the parent at the child's word.
TEST(FileEventAccess, AFolderMadeWhileItsParentWasClosedIsWatchedOnceItOpens) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act in a folder closed to everyone else";
    TempDir dir;
    const std::string w = ownedFolder(dir);
    ASSERT_FALSE(w.empty());
    makeDirs(w + "/p");
    int toRoot[2], toChild[2];
    ASSERT_EQ(pipe(toRoot), 0);
    ASSERT_EQ(pipe(toChild), 0);
    // Each word from the child is the next step: 1 closes p and makes p/new in it, 2 opens
    // p, 3 writes in p/new. Each is answered once done.
    // Root acts from a process of its own, forked before the unprivileged one: forking while
    // a thread of this process runs can leave the child stuck on a lock that thread held.
    const pid_t root = fork();
    ASSERT_GE(root, 0);
    if (root == 0) {
        close(toRoot[1]);
        close(toChild[0]);
        char step = 0;
        while (read(toRoot[0], &step, 1) == 1) {
            bool ok = true;
            if (step == 1) ok = mode(w + "/p", 0) && ::mkdir((w + "/p/new").c_str(), 0755) == 0;
            if (step == 2) ok = mode(w + "/p", 0755);
            if (step == 3) writeFile(w + "/p/new/f", "x");
            const char answer = ok ? 1 : 0;
            if (write(toChild[1], &answer, 1) != 1) break;
        }
        _exit(0);
    }
    const int status = runAsUnprivileged([&] {
        SerialQueue queue("test.access");
        BatchRecorder recorder;
        auto stream = FileEventStream::create([&](size_t, const std::vector<std::string>& p) { recorder.add(p); },
                                              {w}, FileEventStream::kEventIdSinceNow, 0.2, 7);
        if (!stream) return 3;
        stream->setDispatchQueue(&queue);
        if (!stream->start()) return 4;
        const std::string expected[] = {w + "/p", w + "/p", w + "/p/new"};
        for (char step = 1; step <= 3; ++step) {
            recorder.clear();
            char answer = 0;
            if (write(toRoot[1], &step, 1) != 1 || read(toChild[0], &answer, 1) != 1 || answer != 1) return 5;
            if (!recorder.waitFor(expected[step - 1], 20s)) return 10 + step;
        }
        return 0;
    });
    for (int fd : {toRoot[0], toRoot[1], toChild[0], toChild[1]}) close(fd);
    test::waitForChild(root, test::kChildDeadline); // its pipe closed, it ends
    EXPECT_EQ(status, 0);
}
