#include "platform/Concurrency.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <cerrno>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <system_error>
#include <thread>
#include <vector>

namespace sorvel {

int activeProcessorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    unsigned hw = std::thread::hardware_concurrency();
    return hw > 0 ? static_cast<int>(hw) : 1;
}

void lowerThisThread(int nice) {
    // Linux keeps a nice value per thread: only this one is lowered.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (errno == 0 && current >= nice) return;
    (void)::setpriority(PRIO_PROCESS, tid, nice);
}

void idleThisThread() {
    sched_param none{};
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &none) != 0) lowerThisThread(19);
}

namespace {

std::atomic<int> helperNice{0};

// One concurrentPerform call: iterations are claimed from a shared counter by the
// caller and by any pool worker that picks up a helper task.
struct Batch {
    const std::function<void(size_t)>* body;
    size_t iterations;
    std::atomic<size_t> next{0};
    std::atomic<size_t> finished{0};
    std::atomic<bool> failed{false};
    std::exception_ptr firstError; // written once, by whoever raised `failed`
    std::mutex mutex;
    std::condition_variable allDone;

    // Runs iterations until none are left to claim. An error never leaves a pool worker
    // (that would end the process): it is kept for the caller, and what is left is skipped.
    void drain() {
        for (;;) {
            size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= iterations) return;
            if (!failed.load(std::memory_order_acquire)) {
                try {
                    (*body)(i);
                } catch (...) {
                    std::lock_guard lock(mutex);
                    if (!firstError) firstError = std::current_exception();
                    failed.store(true, std::memory_order_release);
                }
            }
            if (finished.fetch_add(1, std::memory_order_acq_rel) + 1 == iterations) {
                std::lock_guard lock(mutex);
                allDone.notify_all();
            }
        }
    }
};

class Pool {
public:
    explicit Pool(int threads) : wanted_(threads) {
        std::lock_guard lock(mutex_);
        grow();
    }

    void submit(std::shared_ptr<Batch> batch, size_t helpers) {
        {
            std::lock_guard lock(mutex_);
            if (!forkedChild_) grow();
            // No workers here: the caller runs every iteration, and nothing is queued
            // that no one would ever take.
            if (forkedChild_ || workers_ == 0) return;
            for (size_t i = 0; i < helpers; ++i) queue_.push_back(batch);
        }
        if (helpers == 1) wake_.notify_one();
        else wake_.notify_all();
    }

    // A forked child has only the forking thread. The queue lock is held across fork()
    // so the child never inherits it locked by a worker that does not exist there.
    void beforeFork() { mutex_.lock(); }
    void afterForkInParent() { mutex_.unlock(); }
    void afterForkInChild() {
        forkedChild_ = true;
        queue_.clear();
        mutex_.unlock();
    }

private:
    // Under the lock. Out of threads (a process limit, or memory): fewer workers, or none,
    // and the next batch tries again, so a passing shortage does not last. Callers drain
    // their own iterations, so everything still runs meanwhile.
    void grow() {
        while (workers_ < wanted_) {
            try {
                std::thread([this] { workerLoop(); }).detach();
                ++workers_;
            } catch (const std::system_error&) {
                return;
            }
        }
    }

    void workerLoop() {
        int nice = 0;
        for (;;) {
            std::shared_ptr<Batch> batch;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return !queue_.empty(); });
                batch = std::move(queue_.front());
                queue_.pop_front();
            }
            if (const int wanted = helperNice.load(std::memory_order_relaxed); wanted > nice) {
                lowerThisThread(wanted);
                nice = wanted;
            }
            batch->drain();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<Batch>> queue_;
    bool forkedChild_ = false;
    const int wanted_;
    int workers_ = 0;
};

Pool& sharedPool() {
    // Workers live for the whole process; the pool is never destroyed so detached
    // threads never touch a dead object at exit.
    static Pool* pool = [] {
        auto* p = new Pool(std::max(1, activeProcessorCount() - 1));
        pthread_atfork([] { sharedPool().beforeFork(); }, [] { sharedPool().afterForkInParent(); },
                       [] { sharedPool().afterForkInChild(); });
        return p;
    }();
    return *pool;
}

} // namespace

void lowerHelpers(int nice) {
    int held = helperNice.load();
    while (held < nice && !helperNice.compare_exchange_weak(held, nice)) {
    }
}

void concurrentPerform(size_t iterations, const std::function<void(size_t)>& body) {
    if (iterations == 0) return;
    if (iterations == 1) {
        body(0);
        return;
    }
    auto batch = std::make_shared<Batch>();
    batch->body = &body;
    batch->iterations = iterations;
    size_t helpers = std::min<size_t>(iterations - 1, static_cast<size_t>(activeProcessorCount()));
    sharedPool().submit(batch, helpers);
    batch->drain();
    std::unique_lock lock(batch->mutex);
    batch->allDone.wait(lock, [&] {
        return batch->finished.load(std::memory_order_acquire) == iterations;
    });
    if (batch->firstError) std::rethrow_exception(batch->firstError);
}

std::string failureText(std::exception_ptr error) {
    if (!error) return "an error that carries no description";
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        const std::string text = e.what();
        return text.empty() ? "an error that carries no description" : text;
    } catch (...) {
        return "an error that carries no description";
    }
}

} // namespace sorvel
