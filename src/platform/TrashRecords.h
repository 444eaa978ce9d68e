#pragma once
// What the Trash's own records say about its entries: which original path an entry's
// info file names, whether an entry is still the object that was moved, where an item
// recorded ahead of its move ended up, and the reservations a crash left behind.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

#include "platform/Trash.h"
#include "platform/TrashFolders.h"

namespace sorvel::Trash {

/// The name a record of Sorvel's has in info/ while it is being written, before it takes
/// its own; file managers list only names ending in ".trashinfo".
inline constexpr std::string_view kRecordDraftPrefix = ".sorvel-record-";
/// The name of a mark in info/ that a rename in or out of the trash taking two steps (where
/// the file system refuses the kernel's no-replace flag) keeps while it is under way; it
/// holds the way, a line of its own, and then the entry's name.
inline constexpr std::string_view kStepMarkPrefix = ".sorvel-step-";
inline constexpr std::string_view kStepInto = "into\n";
inline constexpr std::string_view kStepOutOf = "out\n";

/// The absolute original path the entry's info file records; none when the record is
/// missing, unreadable or names no path.
std::optional<std::string> recordedOriginal(const Location& location);

/// True when the entry's info file is one Sorvel wrote.
bool recordedBySorvel(const Location& location);

/// The run the entry's record of Sorvel's names; none when it names none or cannot be read.
std::optional<std::string> recordedRun(const Location& location);

/// Where an item recorded before its move went: the entry of the home trash, or of the
/// trash of the file system holding `originalPath`, whose record names `originalPath` (and
/// is Sorvel's own with `sorvelsOnly`, written for that run with `byRun`) and whose object
/// the identity admits (when one was recorded). None when there is none.
std::optional<std::string> findMoved(const std::string& originalPath, const std::optional<Identity>& identity,
                                     bool sorvelsOnly = false);

/// For its life, the records this thread writes name this run, so a run cut short is
/// credited only with what it moved itself, never with the same items moved by a later
/// run. Scopes may nest; the innermost names the run.
class RecordingFor {
public:
    explicit RecordingFor(std::string run);
    ~RecordingFor();
    RecordingFor(const RecordingFor&) = delete;
    RecordingFor& operator=(const RecordingFor&) = delete;

private:
    std::string before_;
};
/// The run the records of this thread name; empty outside a `RecordingFor`.
const std::string& recordingFor();

/// Held shared by a move from before its record is written until its rename is done or
/// undone, and taken exclusively, without waiting, by a tidy: held so, it proves that no
/// move into that trash is halfway, in this process or another (a killed one lets go).
/// A move waits for it at most `moveWaitBound()`, so a stopped process holding it for a
/// tidy does not hold every move with it.
class MovesLock {
public:
    enum class Mode { shared, exclusiveIfFree };
    /// `stop`: a shared wait given up (as busy) once it is set.
    MovesLock(const Folder& folder, Mode mode, const std::atomic<bool>* stop = nullptr);
    ~MovesLock();
    MovesLock(const MovesLock&) = delete;
    MovesLock& operator=(const MovesLock&) = delete;
    bool held() const { return held_; }
    /// True when another holder kept it past the wait (at once for a tidy); false when
    /// the file system keeps no locks, where nobody holds it.
    bool busy() const { return busy_; }
    /// Its wait was given up because `stop` was set.
    bool stopped() const { return stopped_; }

private:
    int fd_;
    bool held_ = false;
    bool busy_ = false;
    bool stopped_ = false;
};

/// How long a move waits for the lock a tidy holds: a few seconds.
std::chrono::milliseconds moveWaitBound();
/// Sets that wait, returning the one before (tests shorten it).
std::chrono::milliseconds setMoveWaitBound(std::chrono::milliseconds bound);

/// The records of the home trash and of the trashes of the file systems holding some
/// original paths, listed once by name. A move names an item after its original ("name",
/// else "name 2", "name 3", ...), so each item is then looked for among the few records
/// it could have, not in every record of the Trash.
class Records {
public:
    explicit Records(const std::vector<std::string>& originalPaths);
    Records(Records&&) = default;
    Records& operator=(Records&&) = default;

    /// As `findMoved` above, from the listing.
    std::optional<std::string> findMoved(const std::string& originalPath, const std::optional<Identity>& identity,
                                         bool sorvelsOnly = false,
                                         const std::optional<std::string>& byRun = std::nullopt) const;

    /// Whether the trash a move of the item at `originalPath` (of this identity) used was
    /// read whole: the home trash (`homeTrash` when the move named it, else today's) where
    /// the item was on its file system, else the trash of the item's own file system, or
    /// that file system was seen to hold none. False while it is away or unreadable.
    bool readTrashOf(const std::string& originalPath, const std::optional<Identity>& identity,
                     const std::optional<std::string>& homeTrash = std::nullopt) const;

    /// Undoes first what kills between the two steps of a rename in or out of these trashes
    /// left, as their marks tell: of a move, the empty folder of Sorvel's own, or the second
    /// name, that holds the item's name in files/ goes with its record, the item at its place;
    /// of a put back, the one at the item's place goes, the item in the trash. Either way the
    /// item is where its run lists it.
    /// Removes Sorvel's own records of these trashes whose entry is missing from files/, the
    /// drafts of records a killed mover left, and records left empty, older than a moment
    /// (another program's, or an earlier version's, killed before writing them),
    /// each trash only while no move into it is halfway (its lock is free); a busy trash
    /// keeps every record for a later tidy. Returns how many went.
    int removeOrphans() const;

private:
    struct Listed {
        Folder folder;
        bool read = false; // its info/ listed whole
        std::vector<std::string> infoNames;
        /// Entry names by the item name they may stand for: "a 2" under "a 2" and "a".
        std::unordered_map<std::string, std::vector<std::string>> byItemName;
    };
    std::vector<Listed> listed_;
    std::string homeTrash_;          // today's, its links resolved
    std::vector<dev_t> withoutTrash_; // file systems seen to hold no trash of this user
};

/// The home trash's path with the links of its existing part resolved, as runs record it.
std::string realHomeTrash();

/// Removes Sorvel's own info files without an entry in files/, and drafts, the first time this process
/// uses the trash folder while no move into it is halfway.
void removeOrphanRecords(const Folder& folder);
/// The same, whenever called; returns how many were removed, or -1 when a move was
/// halfway and nothing was looked at.
int removeOrphanRecordsNow(const Folder& folder);

} // namespace sorvel::Trash
