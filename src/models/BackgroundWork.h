#pragma once
// Work that a main-thread model hands off: each job gets a thread of its own, so a long
// sweep never holds up a restore or a clean, and its priority ends with it.
#include <functional>

namespace sorvel::Models {

enum class WorkPriority {
    userInitiated, // the user waits on it: restores, moves from the menu-bar panel
    utility,       // long and unattended: sweeps
};

/// Starts `work` on a new detached thread; runs it on the caller when no thread can start.
void runInBackground(WorkPriority priority, std::function<void()> work);

} // namespace sorvel::Models
