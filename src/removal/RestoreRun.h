#pragma once
// Putting back the items of one recorded run, written down as it goes: after each batch,
// what came back (or never left, or is already back) leaves the stored run and its counts,
// so a put back cut short (the process killed, the history held, a quit) leaves listed only
// what is still in the Trash, and a later put back tells what came back as already back.
#include <atomic>
#include <vector>

#include "platform/UserDefaults.h"
#include "removal/RestoreExecutor.h"
#include "removal/SweepHistory.h"

namespace sorvel::RestoreRun {

/// Why the put back stopped part way: the history stayed locked past its wait.
inline constexpr const char* kHistoryBusyStopped =
    "Another Sorvel is writing the history and did not let go of it within a few seconds, so Sorvel stopped "
    "putting items back: this one is still in the Trash and stays listed. Try again once the other Sorvel has "
    "finished or quit.";

/// The first batch; each later one twice as large, up to the largest.
inline constexpr size_t kFirstBatch = 16;
inline constexpr size_t kLargestBatch = 512;

struct Result {
    std::vector<RestoreOutcome> outcomes; // one per item, in order
    /// The first write of the run that was not saved; saved when every one was.
    SaveStatus saved;
};

/// Puts back `items` of the stored run `run` (under its policy), batch by batch, taking
/// each batch's items that left the Trash out of the stored run before the next batch.
/// When the history stays locked past its wait, the items after that batch fail with
/// `kHistoryBusyStopped`; `stop` as for `RestoreExecutor::run`.
Result putBack(const SweepRun& run, const std::vector<MovedItem>& items, const std::atomic<bool>* stop = nullptr);

} // namespace sorvel::RestoreRun
