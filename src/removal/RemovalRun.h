#pragma once
// The one way anything is moved to the Trash and written down: on the worker that moves,
// the run is stored before the first move, kept current in batches as items move, and
// marked finished after the last one, so a crash or a closed screen leaves no item in the
// Trash that the stored run does not list. A batch that could not be recorded ahead (the
// history's disk full or folder unwritable, the history locked past its wait by another
// Sorvel, something other than a file in place of it or its lock) is not moved, nor is any
// after it: every such item fails with the reason, which `saveError` carries too, saying
// what moved and is recorded and what stayed. Stopping costs nothing on a full disk: a
// move to the Trash frees no space by itself.
// Every move also counts as in flight, process-wide, so quitting can wait for it.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cleanup/CloudStatus.h"
#include "platform/UserDefaults.h"
#include "removal/CleanupExecutor.h"
#include "removal/CleanupPolicy.h"
#include "removal/SweepHistory.h"

namespace sorvel::RemovalRun {

/// Moves the given (already normalised) paths for real; the executor by default.
using Mover = std::function<std::vector<CleanupOutcome>(
    const std::vector<CleanupExecutor::PathSize>&, const CleanupPolicy&, const std::optional<CloudStatus>&,
    const CleanupExecutor::Progress&)>;
/// The run's receipt from the outcomes so far.
using ReceiptMaker = std::function<SweepReceipt(const std::vector<CleanupOutcome>&)>;

class Claim;

struct Request {
    std::vector<CleanupExecutor::PathSize> paths;
    /// The claim on `paths` taken when the move was queued; none: taken as the move starts.
    std::shared_ptr<const Claim> claim;
    CleanupPolicy policy;
    std::optional<CloudStatus> cloud;
    /// The run as the caller describes it (trigger, scope, allowed roots); its id is kept.
    SweepRun run;
    /// None: the receipt of a manual run (`ManualRun::receipt`).
    ReceiptMaker receipt;
    CleanupExecutor::Progress onProgress;
    Mover mover;
    /// False: a run that moved nothing is taken out of the history again at the end.
    bool keepIfNothingMoved = true;
};

struct Result {
    std::vector<CleanupOutcome> outcomes;
    SweepRun run; // as last stored
    /// Why the run could not be written down; none when every write was saved.
    std::optional<std::string> saveError;
    /// The first batch could not be recorded ahead, so nothing moved (`saveError` says why).
    bool nothingRecorded = false;
};

/// Why nothing moved: the history stayed locked before the first move.
inline constexpr const char* kHistoryBusyNothingMoved =
    "Another Sorvel is writing the history and did not let go of it within a few seconds (it may be paused or "
    "stopped in a debugger), so nothing was moved: Sorvel moves nothing it cannot record. Try again once the "
    "other Sorvel has finished or quit.";
/// Why the moves stopped part way: the history stayed locked before a later batch.
inline constexpr const char* kHistoryBusyStopped =
    "Another Sorvel is writing the history and did not let go of it within a few seconds (it may be paused or "
    "stopped in a debugger), so Sorvel stopped moving: what moved so far is recorded, and the rest is still in "
    "its place. Try again once the other Sorvel has finished or quit.";

/// Moves and records on the calling thread, which must not be the main thread of a window.
/// A path that a move of this process claimed before this one has in hand (`isBeingMoved`)
/// is refused as being moved, not moved twice.
Result moveAndRecord(Request request);

/// The first batch of items stored ahead of its moves; each later batch is twice as
/// large, up to `kLargestBatch`, so a run of thousands costs a handful of writes.
inline constexpr size_t kFirstBatch = 16;
inline constexpr size_t kLargestBatch = 512;

/// Holds one move in flight for its lifetime; taken when a move is queued.
class InFlight {
public:
    InFlight();
    ~InFlight();
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;
};
/// A shareable hold, for work queued as a copyable function.
std::shared_ptr<InFlight> holdInFlight();

/// Has the given paths in hand (`isBeingMoved`) for its lifetime, but those another move
/// had in hand before it, which its move refuses. Taken on the main thread as the move is
/// queued, so no screen opened before its worker starts offers them again. Taking it only
/// notes the paths; the first to look for paths in hand (a worker) sorts them in.
class Claim {
public:
    explicit Claim(const std::vector<CleanupExecutor::PathSize>& paths);
    ~Claim();
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;
    /// True when a move claimed before this one had this (standardised) path in hand.
    bool heldElsewhere(const std::string& path) const;

    struct Paths; // kept with every other claim's
private:
    std::shared_ptr<Paths> paths_;
};
/// A shareable claim, for work queued as a copyable function.
std::shared_ptr<const Claim> claim(const std::vector<CleanupExecutor::PathSize>& paths);

/// Makes this process the mover of the run with this id for its life: the run counts as
/// moving here, and its lock (`RunLock`) tells every other process so until this process
/// lets go or ends. Owners of one run may nest; the last one lets go. `moveAndRecord`
/// holds one; a caller that writes more of the run after it (a sweep's receipt and
/// findings) holds its own around the whole.
class Owner {
public:
    explicit Owner(const UUID& id);
    ~Owner();
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

private:
    UUID id_;
};

/// True while a process, this one or another, is still moving the items of the run with
/// this id (or whether one is cannot be told); its stored copy is rewritten batch by batch
/// until then, so it is not to be tidied, settled or put back elsewhere. Reads the run's
/// lock file unless this process moves the run.
bool isMoving(const UUID& id);

/// True while a move of this process has this path, a folder around it or something
/// inside it in hand (from its claim to its end), so it is not to be offered again.
bool isBeingMoved(const std::string& path);

/// How many moves are in flight in this process.
int movesInFlight();
/// How many moves this process has begun so far: a work that saw the same number at its
/// start and end, with none in flight at either, overlapped no move.
uint64_t movesBegun();
/// Blocks until no move is in flight or the time is up; true when none is.
bool waitForMoves(std::chrono::milliseconds timeout);

} // namespace sorvel::RemovalRun
