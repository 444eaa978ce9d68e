#pragma once
// Runs cut short by a crash, told as they really stand. A run records each batch of items
// before moving it; when its process dies mid-batch, some of those items reached the Trash
// without their place being written down and the rest never left their places, yet the
// stored run lists and counts them all. Each is looked up once: in the Trash by its record
// and identity, else at its own place.
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
};

/// The original paths of the items recorded ahead of their moves.
std::vector<std::string> pendingPaths(const std::vector<MovedItem>& items);
/// Where one such item is, by records listed for its original path. Without a recorded
/// identity it is never said to be in its place: whatever is there may be another object.
Whereabouts locate(const MovedItem& item, const Trash::Records& records);

/// The runs as they stand: an item recorded ahead of its move gets its place in the Trash,
/// or leaves its run when it never moved, and such a run's moved count and bytes are
/// recounted over what it still lists. An item found in neither place stays as stored.
/// Reads the Trash once; changes nothing on disk. Runs without such items stay as stored.
std::vector<SweepRun> settled(std::vector<SweepRun> runs);

/// Removes Sorvel's own records that name nothing in the home trash and in the trashes of
/// the file systems the runs' unplaced items are on (a move killed between writing its
/// record and its rename leaves one, which file managers list as an item). Returns how
/// many went.
int removeRecordsOfNothing(const std::vector<SweepRun>& runs);

} // namespace sorvel::CrashedRuns
