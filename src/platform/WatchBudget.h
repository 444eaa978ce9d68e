#pragma once
// The process's share of the user's inotify watches. The watch limit is the user's, shared
// with every other program that follows files (editors, file managers, sync tools), so
// Sorvel takes at most a quarter of it, across all its event streams together, and stops
// taking any once the system has said there are none left.
#include <cstddef>
#include <optional>

namespace sorvel::WatchBudget {

/// Called when a stream starts watching. While the process holds no watch, the share is
/// worked out afresh from fs.inotify.max_user_watches and a refusal is forgotten.
void open();
/// Reserves one watch; false once the share is spent or the system has refused one.
bool take();
/// Returns watches that were let go (or never placed).
void giveBack(size_t count);
/// The system refused a watch: nothing more is taken until the process holds none.
void refuse();

/// Watches held by the whole process, and the most it may hold.
size_t held();
size_t limit();
/// A quarter of the system's limit (`maxUserWatches`), at least one.
size_t shareOf(size_t maxUserWatches);

/// A fixed share in place of the system's, for tests and benchmarks, from now on; none
/// goes back to the system's.
void overrideLimit(std::optional<size_t> limit);

} // namespace sorvel::WatchBudget
