#pragma once
// Runs cut short by a crash, told as they really stand. A run records each batch of items
// before moving it; when its process dies mid-batch, some of those items reached the Trash
// without their place being written down and the rest never left their places, yet the
// stored run lists and counts them all. Each is credited to its run only by the record
// that run wrote in the Trash (and its identity), never by a later run that moved the same
// object; else it is found at its own place, or gone. The first tidy settles each once, so
// nothing is looked up or subtracted again. A run ended before it finished, by a crash or
// by a quit that could not wait any longer, is tidied alike at the next start, and its
// receipt says it was cut short.
#include <optional>
#include <string>
#include <vector>

#include "platform/TrashRecords.h"
#include "removal/SweepHistory.h"

namespace sorvel::CrashedRuns {

/// Where an item recorded ahead of its move really is.
struct Whereabouts {
    std::optional<std::string> trashPath; // in the Trash, by Sorvel's own record
    bool stillInPlace = false;            // never moved: its very object is at its own place
    /// Neither, but its place or its Trash could not be read (its disk away, its Trash
    /// unreadable, the home Trash another folder now): where it is is not known, and it
    /// stays listed as it was until both can be read.
    bool unknown = false;
};

/// The original paths of the items recorded ahead of their moves and not yet settled.
std::vector<std::string> pendingPaths(const std::vector<MovedItem>& items);
/// Whether the run lists items with no place in the Trash: not yet settled, or never moved.
bool listsUnmoved(const SweepRun& run);
/// What a run's items are looked for by.
struct Evidence {
    /// The run whose records alone prove an item of it moved (`Trash::Records::findMoved`'s
    /// `byRun`); none for runs recorded before records named their run, for which any
    /// record of Sorvel's does.
    std::optional<std::string> byRun;
    /// The home Trash the run moved into; none for runs recorded before it was kept.
    std::optional<std::string> homeTrash;
};
Evidence recordsOf(const SweepRun& run);
/// Where one such item is, by records listed for its original path (written for the run
/// the evidence names, when it names one). Without a recorded identity it is never said to
/// be in its place: whatever is there may be another object.
Whereabouts locate(const MovedItem& item, const Trash::Records& records, const Evidence& evidence = {});

/// Whether two runs list an item at one place in the Trash: the entry there counts only in
/// the run whose record it carries, which `settled` works out.
bool listsTwice(const std::vector<SweepRun>& runs);

/// The runs as they stand: an item recorded ahead of its move gets its place in the Trash
/// by its run's own record, or leaves its run when it never moved (as do items a tidy
/// settled so), and such a run's moved count and bytes lose what never moved; one whose
/// place or Trash cannot be read stays as it was. An item two runs list at one place in
/// the Trash stays only in the run whose record the entry there carries. Past the items a
/// run keeps, its list is cut to them. Reads the Trash once; changes nothing on disk. Runs
/// without such items stay as stored, and so do runs a process is still moving
/// (`RemovalRun::isMoving`): their mover stores them.
std::vector<SweepRun> settled(std::vector<SweepRun> runs);

struct Tidied {
    int recordsRemoved = 0; // records of nothing
    int runsRewritten = 0;  // runs cut short, now stored as they stand
    /// The history stayed locked past its wait (another Sorvel writing it, or stopped while
    /// it did): the runs not yet rewritten stay as stored, to be tidied later. Nothing is
    /// lost meanwhile: they read as they stand (`settled`) and can be put back.
    bool deferred = false;
};

/// What the window says while a tidy is left for later.
inline constexpr const char* kTidyDeferred =
    "Another Sorvel is writing the history, so tidying the runs that were cut short is left for later. Nothing is "
    "lost: they are shown as they stand, and what they moved can still be put back.";
/// At the application's start: removes the lock files of movers that are gone and the
/// records of nothing, then stores each run cut short as it stands (its items' places in
/// the Trash, its counts of what really moved, its receipt saying it was cut short), unless
/// a process (this one or another) is moving it, or it changed on disk meanwhile. Items
/// that never moved and are still in their places stay listed, settled as such and
/// uncounted, so a put back tells they are still in place; those gone leave the run.
/// Finished runs stay.
Tidied tidy();
/// The same over the runs as the caller has just read them, so the start reads the history
/// once; the history is read again only when a run was rewritten.
Tidied tidy(const std::vector<SweepRun>& runs);

/// The last sweep as it stands, when its stored receipt is still the one kept as cut
/// short ahead of its moves.
struct LastSweep {
    SweepReceipt receipt;
    std::vector<SweepReceipt::Finding> findings; // what its run moved
};
/// A sweep stores its receipt as cut short before it moves and replaces it once recorded;
/// a process ended between the two leaves it. This takes the counts of the sweep's run in
/// the history (the run settled; whole, not cut short, when it finished and only the
/// receipt was lost), stores that receipt unless another has replaced it meanwhile, and
/// the run's moved items as the findings. None when nothing was changed.
std::optional<LastSweep> settleLastSweep();

/// Removes Sorvel's own records that name nothing in the home trash and in the trashes of
/// the file systems the runs' items are on (a move killed between writing its record and
/// its rename leaves one, which file managers list as an item), after settling what kills
/// between two steps of a move or a put back left there. Returns how many went.
int removeRecordsOfNothing(const std::vector<SweepRun>& runs);

} // namespace sorvel::CrashedRuns
