#pragma once
// Stand-in for the system's concurrent perform: a process-wide pool sized from the usable
// processors. The calling thread takes part in its own iterations, so nested calls from
// inside an iteration never wait on a busy pool and cannot deadlock.
#include <cstddef>
#include <exception>
#include <functional>
#include <string>

namespace sorvel {

/// Processors this process may run on (sched_getaffinity), at least 1.
int activeProcessorCount();

/// Raises the calling thread's nice value to `nice` (lowering its priority), never the other
/// way: a thread without privileges could not come back up.
void lowerThisThread(int nice);

/// Puts the calling thread below every other: it runs when a processor is free and gives
/// way at once to any other thread that wakes, yet still moves on a busy machine. For work
/// nobody waits on, such as letting go of what a closed scope held.
void idleThisThread();

/// From now on the pool's helpers run at `nice` or lower priority, as the work a window
/// hands off does: they never compete with its main thread as equals.
void lowerHelpers(int nice);

/// Runs body(i) for every i in [0, iterations) concurrently; returns when all are done.
/// An iteration that throws stops the ones not yet begun; once the rest have finished,
/// the first error is thrown again on the caller.
void concurrentPerform(size_t iterations, const std::function<void(size_t)>& body);

/// The text a user is shown for a caught error: its own description, "out of memory", or
/// a fixed sentence for an error that carries none.
std::string failureText(std::exception_ptr error);

} // namespace sorvel
