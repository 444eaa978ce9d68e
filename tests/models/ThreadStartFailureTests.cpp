// With no thread to be had, every place that starts one works on its caller or says why.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "CoordinatorFixtures.h"
#include "SweepSchedulerFixtures.h"
#include "cli/HeadlessReport.h"
#include "models/BackgroundWork.h"
#include "models/DesktopNotifications.h"
#include "models/UpdateChecker.h"
#include "platform/Concurrency.h"
#include "removal/RemovalRun.h"
#include "support/ChildProcess.h"
#include "support/ThreadStarts.h"

using namespace sorvel;
using namespace sorvel::test;
using namespace std::chrono_literals;

static std::shared_ptr<ScanCoordinator> finishedScan() {
    auto c = std::make_shared<ScanCoordinator>(ScanCoordinator::Services::standard());
    c->setLiveUpdatesEnabled(false);
    c->start();
    EXPECT_TRUE(waitUntil([&] { return c->phase() == ScanCoordinator::Phase::done; }, 60000));
    return c;
}

// The report with no thread to be had, in a new process: this one's threads and their locks
// would be missing from a fork, yet held there.
static int scanReportWithNoThreads() {
    const std::string home = std::getenv("HOME");
    NoThreads none;
    if (!std::freopen((home + "/err").c_str(), "w", stderr) || !std::freopen("/dev/null", "w", stdout)) return 90;
    const int status = HeadlessReport::run(false, ScanScope::systemData, true);
    return none.refused() > 0 ? status : 91;
}

TEST(ThreadStartFailure, EveryEntryPointWorksOnItsCallerOrSaysWhy) {
    if (isRole("the scan report")) endAs(scanReportWithNoThreads());
    struct Row {
        const char* entry;
        // Readies the entry point, refuses threads (none.emplace()), calls it: "" or what it said.
        std::function<std::string(const CoordinatorHome&, std::optional<NoThreads>& none)> call;
        const char* says;          // none: the work completed
        bool startsAThread = true; // false: a pool or a bus made earlier in the process may serve it
    };
    const Row rows[] = {
        {"the dry run's workers", [](auto& home, auto& none) -> std::string { // first: its pool made with none
             std::vector<CleanupExecutor::PathSize> items;
             for (int i = 0; i < 40; ++i) writeFile(items.emplace_back(home / ("c" + std::to_string(i)), 1).path, "x");
             none.emplace();
             const auto judged = CleanupExecutor::run(items, CleanupExecutor::Mode::dryRun, CleanupPolicy::standard(),
                                                      CloudStatus{});
             return judged.size() == 40 ? "" : "items left unjudged";
         }, nullptr, false},
        {"a background job", [](auto&, auto& none) -> std::string {
             bool ran = false;
             none.emplace();
             Models::runInBackground(Models::WorkPriority::utility, [&] { ran = true; }, nullptr);
             return Models::waitForBackgroundWork(10s) && ran ? "" : "not run, or still counted";
         }, nullptr},
        {"a folder check of a sweep", [](auto& home, auto& none) -> std::string {
             std::vector<std::string> refused;
             none.emplace();
             auto kept = FolderChecks::sweepable({home / "Projects"}, refused, [](auto&) { return std::nullopt; });
             const bool clear = kept.empty() && refused.size() == 1 && FolderChecks::running() == 0;
             return clear ? refused[0] : "kept, or still held";
         }, "could not finish checking"},
        {"a folder added to the sweeps", [](auto& home, auto& none) -> std::string {
             SweepScheduler::Dependencies deps;
             deps.notifications = std::make_shared<RecordingCenter>();
             SweepScheduler scheduler(deps);
             none.emplace();
             scheduler.addFolder(home / "Projects");
             waitUntil([&] { return scheduler.folderRefusal().has_value(); });
             const bool free = FolderChecks::running() == 0 && scheduler.schedule().folders.empty();
             return free ? scheduler.folderRefusal().value_or("") : "added, or still held";
         }, "Sorvel could not finish checking"},
        {"the session bus for notices", [](auto&, auto& none) -> std::string {
             none.emplace();
             return DesktopNotifications::session() ? "" : "no centre";
         }, nullptr, false},
        {"file events, by a watcher made before and one made without threads", [](auto& home, auto& none) {
             FileSystemWatcher before([](auto&) {});
             none.emplace();
             FileSystemWatcher without([](auto&) {});
             std::string said;
             for (FileSystemWatcher* w : {&before, &without})
                 if (w->start({home.path()}); w->isRunning() || !w->lackedThread()) said += "running, or no reason; ";
             return said;
         }, nullptr},
        {"live updates of the window", [](auto& home, auto& none) -> std::string {
             writeFileOfSize(home / "Library/Caches/app/blob", 4096); // a root to watch
             const auto c = finishedScan();
             none.emplace();
             c->setLiveUpdatesEnabled(true);
             waitUntil([&] { return c->failure().has_value(); });
             return c->isWatching() ? "watching" : c->failure().value_or("");
         }, "Sorvel could not finish setting up live updates (no thread could be started"},
        {"a move to the Trash from the window", [](auto& home, auto& none) -> std::string {
             const std::string folder = home / "Library/Caches/app";
             writeFileOfSize(folder + "/blob", 4096);
             const auto c = finishedScan();
             none.emplace();
             ScanCoordinator::Outcomes outcomes;
             c->performCleanup(std::vector<CleanupExecutor::PathSize>{{folder, 4096}}, [&](auto& o) { outcomes = o; });
             waitUntil([&] { return !outcomes.empty(); });
             const auto runs = SweepHistory::load();
             const bool recorded = runs.size() == 1 && runs[0].finished && runs[0].moved.size() == 1;
             const bool moved = outcomes.size() == 1 && outcomes[0].moved() && !exists(folder);
             return moved && recorded && RemovalRun::movesInFlight() == 0 ? "" : "lost on the way";
         }, nullptr},
        {"an update check", [](auto&, auto& none) -> std::string {
             std::optional<UpdateChecker::FetchResult> answer;
             none.emplace();
             UpdateChecker::fetchWithin(1500)(QUrl("https://127.0.0.1:9/feed.json"), [&](auto r) { answer = r; });
             waitUntil([&] { return answer.has_value(); });
             return answer ? answer->message : "no answer";
         }, "The request could not be made because no thread could be started"},
        {"the scan report's progress lines", [](auto& home, auto&) -> std::string { // in a process of its own
             writeFileOfSize(home / "Library/Caches/app/blob", 4096);
             const int status = runTestInNewProcess("the scan report", 2min);
             const std::string err = readFile(home / "err");
             return status == 0 && err.find("  [ 1] ") != std::string::npos ? "" : std::to_string(status) + ": " + err;
         }, nullptr, false},
    };
    for (const auto& row : rows) {
        CoordinatorHome home;
        std::optional<NoThreads> none;
        const std::string said = row.call(home, none);
        EXPECT_TRUE(row.says ? said.find(row.says) != std::string::npos : said.empty()) << row.entry << ": " << said;
        EXPECT_TRUE(!row.startsAThread || (none && none->refused() > 0)) << row.entry << ": no thread start was tried";
    }
    // Threads to be had again: the pool made while none could start has its helpers back.
    std::atomic<int> inside{0}, met{0};
    concurrentPerform(2, [&](size_t) {
        ++inside;
        for (int ms = 0; inside < 2 && ms < 5000; ++ms) std::this_thread::sleep_for(1ms);
        met += inside == 2;
    });
    EXPECT_EQ(met, 2) << "the two iterations never ran side by side";
}
