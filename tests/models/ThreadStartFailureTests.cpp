// When no thread can be had (a process limit, or memory), every place that starts one does
// its work on the caller or says why it could not: none ends the process, hangs, loses a
// record, or leaves a count or a folder held.
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
#include "models/BackgroundWork.h"
#include "models/DesktopNotifications.h"
#include "models/UpdateChecker.h"
#include "platform/Concurrency.h"
#include "removal/RemovalRun.h"
#include "support/ThreadStarts.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

std::shared_ptr<ScanCoordinator> finishedScan() {
    auto c = std::make_shared<ScanCoordinator>(ScanCoordinator::Services::standard());
    c->setLiveUpdatesEnabled(false);
    c->start();
    EXPECT_TRUE(waitUntil([&] { return c->phase() == ScanCoordinator::Phase::done; }, 60000));
    return c;
}

// The scan report with progress lines, in a child refused threads; empty when it printed them.
std::string scanReportWithProgress(const std::string& err) {
    if (const pid_t child = ::fork(); child == 0) {
        const int fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || ::dup2(fd, STDERR_FILENO) < 0 || !std::freopen("/dev/null", "w", stdout)) _exit(90);
        NoThreads none;
        const int status = HeadlessReport::run(false, ScanScope::systemData, true);
        _exit(none.refused() > 0 ? status : 91);
    } else {
        int status = 0;
        ::waitpid(child, &status, 0);
        std::stringstream text;
        text << std::ifstream(err).rdbuf();
        const bool printed = WIFEXITED(status) && WEXITSTATUS(status) == 0 && text.str().find("  [ 1] ") != std::string::npos;
        return printed ? "" : "status " + std::to_string(status) + ": " + text.str();
    }
}

} // namespace

TEST(ThreadStartFailure, EveryEntryPointWorksOnItsCallerOrSaysWhy) {
    struct Row {
        const char* entry;
        // Readies the entry point, then gives the call made while no thread starts, which
        // answers empty when the work completed, else with what the work said.
        std::function<std::function<std::string()>(const CoordinatorHome&)> ready;
        const char* says;          // none: the work completed
        bool startsAThread = true; // false: a pool or a bus made earlier in the process may serve it
    };
    const Row rows[] = {
        {"the dry run's workers", // first: its pool is made while no thread starts
         [](const CoordinatorHome& home) {
             std::vector<CleanupExecutor::PathSize> items;
             for (int i = 0; i < 40; ++i) writeFile(items.emplace_back(home / ("c" + std::to_string(i)), 1).path, "x");
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
                 const bool ended = Models::waitForBackgroundWork(std::chrono::milliseconds(0));
                 return ran && ended ? "" : std::string("not run, or still counted");
             };
         },
         nullptr},
        {"a folder check of a sweep",
         [](const CoordinatorHome& home) {
             return [folder = home / "Projects"] {
                 std::vector<std::string> refused;
                 const auto kept = FolderChecks::sweepable({folder}, refused, [](auto&) { return std::nullopt; });
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
        {"the session bus for notices",
         [](const CoordinatorHome&) {
             return [] { return DesktopNotifications::session() ? "" : std::string("no centre"); };
         },
         nullptr, false},
        {"file events, the watcher's queue made before",
         [](const CoordinatorHome& home) {
             auto watcher = std::make_shared<FileSystemWatcher>([](auto&) {});
             return [watcher, root = home.path()] {
                 watcher->start({root});
                 return !watcher->isRunning() && watcher->lackedThread() ? "" : std::string("running, or no reason");
             };
         },
         nullptr},
        {"file events, the watcher made without threads",
         [](const CoordinatorHome& home) {
             return [root = home.path()] {
                 FileSystemWatcher watcher([](auto&) {});
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
                 return answer ? answer->message : std::string("no answer");
             };
         },
         "The request could not be made because no thread could be started"},
        {"the scan report's progress lines", // refused in a child of its own
         [](const CoordinatorHome& home) {
             writeFileOfSize(home / "Library/Caches/app/blob", 4096);
             return [err = home / "stderr"] { return scanReportWithProgress(err); };
         },
         nullptr, false},
    };
    for (const auto& row : rows) {
        CoordinatorHome home;
        const auto call = row.ready(home);
        NoThreads none;
        const std::string said = call();
        EXPECT_TRUE(row.says ? said.find(row.says) != std::string::npos : said.empty()) << row.entry << ": " << said;
        EXPECT_TRUE(!row.startsAThread || none.refused() > 0) << row.entry << ": no thread start was tried";
    }
    // Threads to be had again: concurrent work has its helpers back, though the first row
    // (in a process of its own) made the pool while none could start.
    std::atomic<int> inside{0}, met{0};
    concurrentPerform(2, [&](size_t) {
        ++inside;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (inside < 2 && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        met += inside == 2;
    });
    EXPECT_EQ(met, 2) << "the two iterations never ran side by side";
}
