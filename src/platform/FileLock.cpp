#include "platform/FileLock.h"

#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace sorvel::FileLock {

int takeBy(int fd, int operation, Clock::time_point deadline, const std::atomic<bool>* stop) {
    // flock has no timed form: a held lock is tried again, soon at first, then every 50 ms.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) return 0;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return errno;
        if (stop && stop->load()) return ECANCELED;
        const auto now = Clock::now();
        if (now >= deadline) return EWOULDBLOCK;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

} // namespace sorvel::FileLock
