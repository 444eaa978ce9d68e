#include "models/BackgroundWork.h"

#include "platform/Concurrency.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <memory>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace sorvel::Models {
namespace {

// Linux keeps a nice value per thread; raising it lowers only this thread, and the
// thread ends with the job, so the change never leaks into other work.
void lowerThisThread() {
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    (void)::setpriority(PRIO_PROCESS, tid, 5);
}

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

void runInBackground(WorkPriority priority, std::function<void()> work, FailureHandler failed) {
    // The error stops at this boundary: past it, a throw on a detached thread is the end
    // of the process, the window with it.
    auto guarded = std::make_shared<std::function<void()>>([work = std::move(work), failed = std::move(failed)] {
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
    });
    auto& state = inFlight();
    {
        std::lock_guard lock(state.mutex);
        ++state.running;
    }
    // Counted out once the job and everything it captured are gone.
    auto counted = std::shared_ptr<void>(nullptr, [&state](void*) {
        std::lock_guard lock(state.mutex);
        --state.running;
        state.ended.notify_all();
    });
    try {
        std::thread([priority, guarded = std::move(guarded), counted]() mutable {
            if (priority == WorkPriority::utility) lowerThisThread();
            (*guarded)();
            guarded.reset();
        }).detach();
    } catch (const std::system_error&) {
        (*guarded)(); // never lower the caller's own thread
    }
}

std::string failureSentence(const std::string& what, const std::string& reason) {
    return "Sorvel could not finish " + what + " (" + reason + ").";
}

} // namespace sorvel::Models
