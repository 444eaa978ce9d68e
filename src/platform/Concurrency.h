#pragma once
// Stand-in for the system's concurrent perform: a process-wide pool sized from the usable
// processors. The calling thread takes part in its own iterations, so nested calls from
// inside an iteration never wait on a busy pool and cannot deadlock.
#include <cstddef>
#include <functional>

namespace sorvel {

/// Processors this process may run on (sched_getaffinity), at least 1.
int activeProcessorCount();

/// Runs body(i) for every i in [0, iterations) concurrently; returns when all are done.
void concurrentPerform(size_t iterations, const std::function<void(size_t)>& body);

} // namespace sorvel
