#include "support/ThreadStarts.h"

#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <pthread.h>

static std::atomic<int> refusing{0};
static std::atomic<size_t> refusals{0};

// Hands each start on to the next definition (the C library's, or a sanitiser's) unless refusing.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument) noexcept {
    static const auto next = reinterpret_cast<decltype(&pthread_create)>(::dlsym(RTLD_NEXT, "pthread_create"));
    if (refusing > 0 || !next) return ++refusals, EAGAIN;
    return next(thread, attributes, start, argument);
}

sorvel::test::NoThreads::NoThreads() : before(refusals) { ++refusing; }
sorvel::test::NoThreads::~NoThreads() { --refusing; }
size_t sorvel::test::NoThreads::refused() const { return refusals - before; }
