// When the system gives no thread (a process limit, or memory), every place that starts one
// still does its work on the caller or says clearly that it could not: none ends the
// process, loses a record, or leaves a count or a folder held.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

#include "CoordinatorFixtures.h"
#include "SweepSchedulerFixtures.h"
#include "cli/HeadlessReport.h"
#include "engine/FileSystemWatcher.h"
#include "engine/FileWalker.h"
#include "models/BackgroundWork.h"
#include "models/DesktopNotifications.h"
#include "models/UpdateChecker.h"
#include "platform/Concurrency.h"
#include "platform/SerialQueue.h"
#include "removal/CleanupExecutor.h"
#include "removal/FolderChecks.h"
#include "removal/RemovalRun.h"
#include "removal/SweepHistory.h"
#include "support/ThreadStarts.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

// Readies an entry point, then gives the call made while no thread starts: it answers
// empty when the work completed, else with the sentence the work ended with.
using Entry = std::function<std::function<std::string()>(const CoordinatorHome&)>;

std::shared_ptr<ScanCoordinator> finishedScan() {
    auto c = std::make_shared<ScanCoordinator>(ScanCoordinator::Services::standard());
    c->setLiveUpdatesEnabled(false);
    c->start();
    EXPECT_TRUE(waitUntil([&] { return c->phase() == ScanCoordinator::Phase::done; }, 60000));
    return c;
}

// The scan report with progress lines, in a child whose standard error is kept.
std::string scanReportWithProgress(const CoordinatorHome& home) {
    const std::string err = home / "stderr";
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int out = ::open("/dev/null", O_WRONLY);
        if (fd < 0 || out < 0 || ::dup2(fd, STDERR_FILENO) < 0 || ::dup2(out, STDOUT_FILENO) < 0) _exit(90);
        NoThreads none;
        const int status = HeadlessReport::run(false, ScanScope::systemData, true);
        _exit(none.refused() > 0 ? status : 91);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    std::stringstream text;
    text << std::ifstream(err).rdbuf();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "status " + std::to_string(status) + ": " + text.str();
    return text.str().find("  [ 1] ") != std::string::npos ? "" : "no progress line: " + text.str();
}

} // namespace

TEST(ThreadStartFailure, EveryEntryPointWorksOnItsCallerOrSaysWhy) {
    struct Row {
        const char* entry;
        Entry ready;
        const char* says;          // none: the work completed
        bool startsAThread = true; // false: a pool made earlier in the process may serve it
    };
    const Row rows[] = {
        {"iterations run concurrently",
         [](const CoordinatorHome&) {
             return [] {
                 std::atomic<int> ran{0};
                 concurrentPerform(64, [&](size_t) { ++ran; });
                 return ran == 64 ? "" : std::to_string(ran) + " of 64";
             };
         },
         nullptr, false},
        {"a folder walked in parallel",
         [](const CoordinatorHome& home) {
             for (int i = 0; i < 12; ++i) writeFile(home / ("walk/d" + std::to_string(i) + "/f"), "x");
             return [root = home / "walk"] {
                 ScanControl control;
                 const auto node = FileWalker::walkParallel(root, control);
                 return node && node->fileCount == 12 ? "" : std::string("miscounted");
             };
         },
         nullptr, false},
        {"a dry run of many items",
         [](const CoordinatorHome& home) {
             std::vector<CleanupExecutor::PathSize> items;
             for (int i = 0; i < 40; ++i) {
                 items.push_back({home / ("Library/Caches/c" + std::to_string(i)), 1});
                 writeFile(items.back().path, "x");
             }
             return [items] {
                 const auto outcomes = CleanupExecutor::run(items, CleanupExecutor::Mode::dryRun,
                                                            CleanupPolicy::standard(), CloudStatus{});
                 return outcomes.size() == 40 ? "" : std::string("items left unjudged");
             };
         },
         nullptr, false},
        {"a background job",
         [](const CoordinatorHome&) {
             return [] {
                 bool ran = false;
                 Models::runInBackground(Models::WorkPriority::utility, [&] { ran = true; }, nullptr);
                 const bool counted = Models::waitForBackgroundWork(std::chrono::milliseconds(0));
                 return ran && counted ? "" : std::string("not run, or still counted");
             };
         },
         nullptr},
        {"a background job that throws",
         [](const CoordinatorHome&) {
             return [] {
                 std::string heard;
                 Models::runInBackground(
                     Models::WorkPriority::userInitiated, [] { throw std::runtime_error("disk gone"); },
                     [&](const std::string& reason) { heard = reason; });
                 return heard;
             };
         },
         "disk gone"},
        {"a serial queue",
         [](const CoordinatorHome&) {
             return [] {
                 SerialQueue queue("test.queue");
                 bool ran = false;
                 queue.async([&] { ran = true; });
                 return ran ? "" : std::string("block not run");
             };
         },
         nullptr},
        {"a folder check of a sweep",
         [](const CoordinatorHome& home) {
             return [folder = home / "Projects"] {
                 std::vector<std::string> refused;
                 const auto kept = FolderChecks::sweepable({folder}, refused, [](const std::string&) {
                     return std::optional<std::string>();
                 });
                 const bool clear = kept.empty() && refused.size() == 1 && FolderChecks::running() == 0;
                 return clear ? refused[0] : std::string("kept, or still held");
             };
         },
         "could not finish checking"},
        {"a folder added to the sweeps",
         [](const CoordinatorHome& home) {
             SweepScheduler::Dependencies deps;
             deps.notifications = std::make_shared<RecordingCenter>();
             return [scheduler = std::make_shared<SweepScheduler>(deps), folder = home / "Projects"] {
                 scheduler->addFolder(folder);
                 waitUntil([&] { return scheduler->folderRefusal().has_value(); });
                 const bool free = FolderChecks::running() == 0 && scheduler->schedule().folders.empty();
                 return free ? scheduler->folderRefusal().value_or("") : std::string("added, or still held");
             };
         },
         "Sorvel could not finish checking"},
        {"the session bus for notices", // Qt waits on its bus thread for ever once it failed to start
         [](const CoordinatorHome&) {
             return [] { return DesktopNotifications::session() ? "" : std::string("no centre"); };
         },
         nullptr, false}, // the bus may be open already
        {"file events, the watcher's queue made before",
         [](const CoordinatorHome& home) {
             auto watcher = std::make_shared<FileSystemWatcher>([](const std::vector<std::string>&) {});
             return [watcher, root = home.path()] {
                 watcher->start({root});
                 return !watcher->isRunning() && watcher->lackedThread() ? "" : std::string("running, or no reason");
             };
         },
         nullptr},
        {"file events, the watcher made without threads",
         [](const CoordinatorHome& home) {
             return [root = home.path()] {
                 FileSystemWatcher watcher([](const std::vector<std::string>&) {});
                 watcher.start({root});
                 return !watcher.isRunning() && watcher.lackedThread() ? "" : std::string("running, or no reason");
             };
         },
         nullptr},
        {"live updates of the window",
         [](const CoordinatorHome& home) {
             writeFileOfSize(home / "Library/Caches/app/blob", 4096); // a root to watch
             return [c = finishedScan()] {
                 c->setLiveUpdatesEnabled(true);
                 waitUntil([&] { return c->failure().has_value(); });
                 return c->isWatching() ? std::string("watching") : c->failure().value_or("");
             };
         },
         "Sorvel could not finish setting up live updates (no thread could be started"},
        {"a move to the Trash from the window",
         [](const CoordinatorHome& home) {
             const std::string folder = home / "Library/Caches/app";
             writeFileOfSize(folder + "/blob", 4096);
             return [c = finishedScan(), folder] {
                 std::optional<ScanCoordinator::Outcomes> outcomes;
                 c->performCleanup(std::vector<CleanupExecutor::PathSize>{{folder, 4096}},
                                   [&](const ScanCoordinator::Outcomes& o) { outcomes = o; });
                 waitUntil([&] { return outcomes.has_value(); });
                 const auto runs = SweepHistory::load();
                 const bool recorded = runs.size() == 1 && runs[0].finished && runs[0].moved.size() == 1;
                 const bool moved = outcomes && outcomes->size() == 1 && (*outcomes)[0].moved() && !exists(folder);
                 return moved && recorded && RemovalRun::movesInFlight() == 0 ? "" : std::string("lost on the way");
             };
         },
         nullptr},
        {"an update check",
         [](const CoordinatorHome&) {
             return [] {
                 std::optional<UpdateChecker::FetchResult> answer;
                 UpdateChecker::fetchWithin(1500)(QUrl("https://127.0.0.1:9/feed.json"),
                                                  [&](UpdateChecker::FetchResult r) { answer = std::move(r); });
                 waitUntil([&] { return answer.has_value(); });
                 return answer ? "answered: " + answer->message : std::string("no answer");
             };
         },
         "answered: The request could not be made because no thread could be started"},
        {"the scan report's progress lines", // refused in a child of its own
         [](const CoordinatorHome& home) {
             writeFileOfSize(home / "Library/Caches/app/blob", 4096);
             return [&home] { return scanReportWithProgress(home); };
         },
         nullptr, false},
    };
    for (const auto& row : rows) {
        CoordinatorHome home;
        const auto call = row.ready(home);
        NoThreads none;
        const std::string said = call();
        if (row.says) {
            EXPECT_NE(said.find(row.says), std::string::npos) << row.entry << ": " << said;
        } else {
            EXPECT_EQ(said, "") << row.entry;
        }
        if (row.startsAThread) {
            EXPECT_GT(none.refused(), 0u) << row.entry << ": no thread start was tried";
        }
    }
    // Threads to be had again: concurrent work gets its helpers back, though the first
    // row (in a process of its own) made the pool while none could start.
    std::atomic<int> inside{0}, met{0};
    concurrentPerform(2, [&](size_t) {
        ++inside;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (inside < 2 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (inside == 2) ++met;
    });
    EXPECT_EQ(met, 2) << "the two iterations never ran side by side";
}
