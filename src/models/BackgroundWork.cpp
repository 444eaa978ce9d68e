#include "models/BackgroundWork.h"

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

} // namespace

void runInBackground(WorkPriority priority, std::function<void()> work) {
    auto shared = std::make_shared<std::function<void()>>(std::move(work));
    try {
        std::thread([priority, shared] {
            if (priority == WorkPriority::utility) lowerThisThread();
            (*shared)();
        }).detach();
    } catch (const std::system_error&) {
        (*shared)(); // never lower the caller's own thread
    }
}

} // namespace sorvel::Models
