#include "models/BackgroundWork.h"

#include "engine/ScanNode.h"
#include "platform/Concurrency.h"
#include "platform/SerialQueue.h"

#include <QThread>

#include <pthread.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <memory>
#include <system_error>
#include <thread>

namespace sorvel::Models {
namespace {

// Work handed off runs below the main thread, so the window answers while a whole disk is
// scanned, watched or freed; the pool's helpers of that work too. Each job's thread ends
// with it, so its priority never leaks into other work.
constexpr int kUserInitiatedNice = 10;
constexpr int kUtilityNice = 15;

// Jobs still running. Never destroyed: a detached job may end after static destruction began.
struct InFlight {
    std::mutex mutex;
    std::condition_variable ended;
    size_t running = 0;
};
InFlight& inFlight() {
    static auto* state = new InFlight;
    return *state;
}

} // namespace

bool waitForBackgroundWork(std::chrono::milliseconds bound) {
    auto& state = inFlight();
    std::unique_lock lock(state.mutex);
    return state.ended.wait_for(lock, bound, [&] { return state.running == 0; });
}

namespace {

// One job and its count. The count is declared first so it goes last: the job counts as
// ended only once everything it captured is gone.
struct Job {
    std::shared_ptr<void> counted;
    std::function<void()> work;
    FailureHandler failed;

    // The error stops at this boundary: past it, a throw on a detached thread is the end
    // of the process, the window with it.
    void run() {
        try {
            work();
        } catch (...) {
            const std::string reason = failureText(std::current_exception());
            try {
                if (failed) {
                    failed(reason);
                    return;
                }
            } catch (...) {
                // Said on standard error below instead.
            }
            std::fprintf(stderr, "sorvel: background work failed: %s\n", reason.c_str());
        }
    }
};

} // namespace

namespace {

int niceOf(WorkPriority priority) {
    return priority == WorkPriority::utility ? kUtilityNice : kUserInitiatedNice;
}

// Runs the job on a thread of its own, or here when none can start.
void startThread(WorkPriority priority, std::unique_ptr<Job> job) {
    // The thread is handed a plain pointer: a start that fails leaves the job untouched
    // here, where it still runs, rather than gone with the thread that never was.
    Job* handed = job.get();
    std::thread thread;
    try {
        thread = std::thread([priority, handed] {
            const std::unique_ptr<Job> owned(handed);
            pthread_setname_np(pthread_self(), "sorvel.job"); // not its starter's name
            lowerThisThread(niceOf(priority));
            owned->run();
        });
    } catch (...) {
        job->run(); // no thread (a process limit, or memory): here, whose priority stays
        return;
    }
    (void)job.release(); // the thread's now
    thread.detach();
}

// Never destroyed: a job may be started while static destruction runs.
SerialQueue& spawner(WorkPriority priority) {
    static auto* userInitiated = new SerialQueue("sorvel.start");
    static auto* utility = new SerialQueue("sorvel.start.bg");
    auto* queue = priority == WorkPriority::utility ? utility : userInitiated;
    static std::once_flag lowered[2];
    std::call_once(lowered[priority == WorkPriority::utility ? 1 : 0], [&] {
        if (queue->hasThread()) queue->async([priority] { lowerThisThread(niceOf(priority)); });
    });
    return *queue;
}

} // namespace

void runInBackground(WorkPriority priority, std::function<void()> work, FailureHandler failed) {
    lowerHelpers(kUserInitiatedNice);
    auto& state = inFlight();
    {
        std::lock_guard lock(state.mutex);
        ++state.running;
    }
    auto counted = std::shared_ptr<void>(nullptr, [&state](void*) {
        std::lock_guard lock(state.mutex);
        --state.running;
        state.ended.notify_all();
    });
    auto job = std::make_shared<std::unique_ptr<Job>>(
        std::make_unique<Job>(Job{std::move(counted), std::move(work), std::move(failed)}));
    // Threads are started by a thread already at the job's priority, so each is born there:
    // one started at the window's own priority would contend with it as an equal, a newly
    // started thread first of all, until it lowered itself.
    // A job run by a starter that could start no thread starts its own jobs itself, as a
    // caller would, never queued behind itself.
    SerialQueue& starter = spawner(priority);
    if (starter.isCurrent()) return startThread(priority, std::move(*job));
    starter.async([priority, job] { startThread(priority, std::move(*job)); });
}

void releaseElsewhere(std::shared_ptr<const void> held) {
    // Never destroyed: a release may be queued while static destruction runs.
    static auto* queue = [] {
        auto* made = new SerialQueue("sorvel.release");
        if (made->hasThread()) made->async([] { idleThisThread(); }); // nobody waits on it
        return made;
    }();
    queue->async([held = std::move(held)]() mutable { held.reset(); });
}

void keepTreesOffMainThread() {
    ScanNode::reclaimElsewhere(
        [] {
            const QCoreApplication* app = QCoreApplication::instance();
            return app && QThread::currentThread() == app->thread();
        },
        [](std::vector<ScanNodePtr> children) {
            releaseElsewhere(std::make_shared<const std::vector<ScanNodePtr>>(std::move(children)));
        });
}

std::string failureSentence(const std::string& what, const std::string& reason) {
    return "Sorvel could not finish " + what + " (" + reason + ").";
}

} // namespace sorvel::Models
