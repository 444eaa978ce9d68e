#include "support/ThreadStarts.h"

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <pthread.h>

namespace {
std::atomic<int> refusing{0};
std::atomic<size_t> refusals{0};
using Start = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
} // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument) noexcept {
    static const auto next = reinterpret_cast<Start>(::dlsym(RTLD_NEXT, "pthread_create"));
    if (refusing.load() > 0 || !next) return refusals.fetch_add(1), EAGAIN;
    return next(thread, attributes, start, argument);
}

namespace sorvel::test {
NoThreads::NoThreads() : before_(refusals.load()) { refusing.fetch_add(1); }
NoThreads::~NoThreads() { refusing.fetch_sub(1); }
size_t NoThreads::refused() const { return refusals.load() - before_; }
} // namespace sorvel::test
