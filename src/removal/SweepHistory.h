#pragma once
// The log of removal runs, newest first: at most 250 runs, at most 2000 items per run, and
// the item lists only on the 20 newest runs. A run still being moved (or cut short and not
// yet tidied) is exempt from both bounds until it has settled, whatever else is recorded.
// It is kept under "SorvelSweepHistory" in a settings file of its own, "history.json"
// beside "defaults.json", so a settings write never rewrites it and a settings read never
// parses it. Every change is one read-modify-write under that file's cross-process lock.
// An entry this version cannot read is skipped when listing and written back unchanged, in
// its place, so a damaged or newer record is never lost; keys it does not know survive on
// readable runs.
//
// Earlier versions kept the list in "defaults.json" itself. The first touch moves it over:
// the runs are written to the history file first and only then taken out of the settings,
// each run once by its id (an entry that cannot be read, by its exact form), so a crash or
// a second process in between doubles nothing and loses nothing. While the old list cannot
// be taken out, it stays where it is, is shown with the rest, and changes are refused.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/Trash.h"
#include "platform/UUID.h"
#include "platform/UserDefaults.h"
#include "removal/SweepReceipt.h"

namespace sorvel {

/// One item a run moved to the Trash.
struct MovedItem {
    std::string originalPath;
    /// Empty while the item is recorded ahead of its move; it is then found by its record
    /// in the Trash and its identity.
    std::string trashPath;
    int64_t size = 0;
    /// The object as it was moved; none for items recorded before it was kept.
    std::optional<Trash::Identity> identity = std::nullopt;
    /// Recorded ahead of a move its run, cut short, never made: settled so once, it is not
    /// counted nor looked for again, and stays listed so a put back tells it never left.
    bool stayed = false;

    /// No place in the Trash is written down for it.
    bool isPending() const { return trashPath.empty(); }
    /// Recorded ahead of its move and not yet settled: where it is must still be found.
    bool awaitsSettling() const { return isPending() && !stayed; }

    const std::string& id() const { return originalPath; }
    /// Equal over the recorded fields; the identity is evidence, not part of the item.
    friend bool operator==(const MovedItem& a, const MovedItem& b) {
        return a.originalPath == b.originalPath && a.trashPath == b.trashPath && a.size == b.size &&
               a.stayed == b.stayed;
    }
};

struct SweepRun {
    enum class Trigger { scheduled, manual, menuBar };

    UUID id = UUID::random();
    Trigger trigger = Trigger::manual;
    std::string scope; // a short phrase beginning in lower case
    SweepReceipt receipt;
    std::vector<MovedItem> moved;
    /// True while `moved` lists every item the run moved.
    bool hasDetail = true;
    /// The folders the run was allowed to touch, so a restore may put items back there;
    /// none for runs under the standard policy and for runs recorded before it was kept.
    std::optional<std::vector<std::string>> allowedRoots;
    /// False while the run is moving, and for good when it was cut short (a crash): its
    /// items can still be put back.
    bool finished = true;
    /// The Trash records of its moves name it, so only those prove an item of it moved;
    /// false for runs recorded before records named their run.
    bool marksRecords = false;
    /// The home Trash the run moved into, its links resolved: while the home Trash is
    /// another folder (`XDG_DATA_HOME` changed), that one is not read, and what may lie in
    /// it stays listed as it was. None for runs recorded before it was kept.
    std::optional<std::string> homeTrash;
    /// Of what the run moved, the items (and their bytes) put back since: they left `moved`
    /// and the receipt's counts, and the run still says it moved them.
    int64_t putBackCount = 0;
    int64_t putBackBytes = 0;

    /// The receipt's moved count and bytes from `moved` (but for items that stayed), held at the 64-bit limits (the
    /// sizes come from a file anyone could edit).
    void recount();

    nlohmann::json toJSON() const;
    /// None when a key is missing, null, of another type, or the trigger is unknown.
    static std::optional<SweepRun> fromJSON(const nlohmann::json& json);

    friend bool operator==(const SweepRun&, const SweepRun&) = default;
};

std::string rawValue(SweepRun::Trigger trigger); // "scheduled", "manual", "menuBar"
std::optional<SweepRun::Trigger> sweepTriggerFromRaw(const std::string& raw);

namespace SweepHistory {

inline constexpr size_t kMaximumRuns = 250;
inline constexpr size_t kMaximumItemsPerRun = 2000;
inline constexpr size_t kRunsWithDetail = 20;

/// None when saved; else what callers show when a run could not be written down, with
/// the system's reason.
std::optional<std::string> notSavedMessage(const SaveStatus& status);

/// "history.json" in the folder of the standard settings file.
std::string filePath();

/// None while the history file and its lock are plain files, or absent. Else what a move
/// says that stops because nothing can be recorded there (a pipe, a folder, a device, or a
/// link in place of the lock): `nothingMoved` before its first item, else part way.
std::optional<std::string> notAFile(bool nothingMoved);

struct Loaded {
    std::vector<SweepRun> runs; // newest first
    size_t unreadable = 0;      // stored entries that could not be read
};

/// The readable stored runs, newest first, and how many entries were skipped. Served from
/// memory until the history file changes.
Loaded read();
/// What `read` gives, with nothing written: a list an earlier version kept in the settings
/// is read where it stands and left there (the command line only reads).
Loaded readWithoutWriting();
/// The readable stored runs, newest first; empty when absent.
std::vector<SweepRun> load();
/// The runs of `read`, shared with what it keeps rather than copied: a full history is
/// large, and a window holds it for good.
std::shared_ptr<const std::vector<SweepRun>> sharedRuns();
/// What `read` gives, shared in the same way.
std::shared_ptr<const Loaded> sharedRead();
/// The file that holds the history when it cannot be read: the history file, or the
/// settings file while the history has no file of its own yet. None when it reads.
std::optional<UnreadableStore> unreadableStore();
/// For a reading with no run in it: one sentence when that is because the history's file,
/// or every entry in it, could not be read (where it is, and what Sorvel does with it);
/// none when there is simply nothing recorded, or when some runs were read.
std::optional<std::string> nothingReadNote(const Loaded& loaded);
/// Moves a list an earlier version kept in the settings file over to the history file;
/// saved at once when there is none.
SaveStatus moveOver();
/// Replaces the stored run with the same id in place, or adds it as the newest when it is
/// not stored (first write, or cleared meanwhile), applying the bounds then; a run of more
/// items than a run keeps is cut to them.
SaveStatus store(const SweepRun& run);
/// Inside one locked read-modify-write: takes the items with these original paths out of
/// the stored run with this id and recounts its moved items and bytes; those also in
/// `putBack` are added to what the run says was put back. Nothing when that run is gone.
SaveStatus removeItems(const UUID& id, const std::vector<std::string>& originalPaths,
                       const std::vector<std::string>& putBack = {});
/// Inside one locked read-modify-write: replaces the stored run with the id of `seen` by
/// `now`, only while it is still stored as `seen` (a process still moving it rewrites it
/// meanwhile). `replaced` says whether it was.
SaveStatus replaceIfUnchanged(const SweepRun& seen, const SweepRun& now, bool& replaced);
/// Forgets the stored run with this id; nothing when there is none.
SaveStatus forget(const UUID& id);
/// Forgets every readable run; entries that could not be read stay.
SaveStatus clear();

} // namespace SweepHistory
} // namespace sorvel
