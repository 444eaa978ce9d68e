#include "removal/CrashedRuns.h"

#include <algorithm>
#include <map>
#include <set>
#include <strings.h>
#include <sys/stat.h>
#include <unordered_map>

#include "engine/Bytes.h"
#include "platform/Path.h"
#include "platform/RunLock.h"
#include "platform/UserDefaults.h"
#include "removal/RemovalRun.h"

namespace sorvel::CrashedRuns {
namespace {

// Lists items recorded ahead of their moves whose whereabouts are not yet settled.
bool hasPending(const SweepRun& run) {
    return std::any_of(run.moved.begin(), run.moved.end(), [](const MovedItem& item) { return item.awaitsSettling(); });
}

// Ended before it finished, and not by a move still under way, here or in another process.
bool cutShort(const SweepRun& run) { return !run.finished && !RemovalRun::isMoving(run.id); }

// Still being moved, by this process or another: left as its mover stores it.
bool beingMoved(const SweepRun& run) { return !run.finished && RemovalRun::isMoving(run.id); }

// The sweep's run the receipt was kept ahead for: the same receipt date, from a sweep.
std::optional<SweepRun> runOfSweep(const SweepReceipt& receipt) {
    for (const auto& run : SweepHistory::load())
        if (run.trigger != SweepRun::Trigger::menuBar && run.receipt.date == receipt.date &&
            !RemovalRun::isMoving(run.id))
            return run;
    return std::nullopt;
}

} // namespace

std::vector<std::string> pendingPaths(const std::vector<MovedItem>& items) {
    std::vector<std::string> paths;
    for (const auto& item : items)
        if (item.awaitsSettling()) paths.push_back(item.originalPath);
    return paths;
}

bool listsUnmoved(const SweepRun& run) {
    return std::any_of(run.moved.begin(), run.moved.end(), [](const MovedItem& item) { return item.isPending(); });
}

Evidence recordsOf(const SweepRun& run) {
    Evidence evidence;
    if (run.marksRecords) evidence.byRun = run.id.uuidString();
    evidence.homeTrash = run.homeTrash;
    return evidence;
}

namespace {

// Whether what is at the item's place, or that nothing is, was seen: the nearest folder on
// its way that is there must be on the item's own file system (an unplugged disk leaves its
// mount point's folder, on another).
bool placeRead(const MovedItem& item) {
    struct stat st;
    if (::lstat(item.originalPath.c_str(), &st) == 0) return true;
    if (errno != ENOENT && errno != ENOTDIR) return false;
    std::string folder = item.originalPath;
    for (;;) {
        const std::string up = deletingLastPathComponent(folder);
        if (up.empty() || up == folder) return false;
        folder = up;
        if (::stat(folder.c_str(), &st) == 0)
            return S_ISDIR(st.st_mode) && (!item.identity || st.st_dev == item.identity->device);
        if (errno != ENOENT && errno != ENOTDIR) return false;
    }
}

} // namespace

Whereabouts locate(const MovedItem& item, const Trash::Records& records, const Evidence& evidence) {
    Whereabouts where;
    where.trashPath = records.findMoved(item.originalPath, item.identity, true, evidence.byRun);
    if (where.trashPath) return where;
    if (item.identity) {
        const auto now = Trash::identityOf(item.originalPath);
        where.stillInPlace = now && item.identity->admits(*now);
        if (where.stillInPlace) return where;
    }
    where.unknown = !placeRead(item) || !records.readTrashOf(item.originalPath, item.identity, evidence.homeTrash);
    return where;
}

namespace {

// The places in the Trash that more than one run lists.
std::set<std::string> listedTwice(const std::vector<SweepRun>& runs) {
    std::unordered_map<std::string_view, size_t> first;
    std::set<std::string> twice;
    for (size_t i = 0; i < runs.size(); ++i)
        for (const auto& item : runs[i].moved) {
            if (item.trashPath.empty()) continue;
            const auto [at, added] = first.emplace(item.trashPath, i);
            if (!added && at->second != i) twice.insert(item.trashPath);
        }
    return twice;
}

// An item two runs list at one place in the Trash (put back by another program, then moved
// there again by a later run): the entry there is the item of the run whose record it
// carries, and leaves the others. A record naming no run leaves every run as it is.
void keepWithTheirRun(std::vector<SweepRun>& runs, const std::vector<bool>& left) {
    const std::set<std::string> twice = listedTwice(runs);
    if (twice.empty()) return;
    std::map<std::string, std::string, std::less<>> owners;
    for (const auto& path : twice)
        if (const auto location = Trash::locate(path))
            if (auto run = Trash::recordedRun(*location)) owners.emplace(path, std::move(*run));
    for (size_t i = 0; i < runs.size(); ++i) {
        if (left[i] || !runs[i].hasDetail) continue;
        const std::string id = runs[i].id.uuidString();
        const auto others = [&](const MovedItem& item) {
            const auto owner = owners.find(item.trashPath);
            return owner != owners.end() && ::strcasecmp(owner->second.c_str(), id.c_str()) != 0;
        };
        if (std::erase_if(runs[i].moved, others) > 0) runs[i].recount();
    }
}

// Past the items a run keeps, its list is cut to them, and its counts stand: such a run is
// not put back from History.
void keepTheCap(SweepRun& run) {
    if (run.receipt.movedCount <= static_cast<int64_t>(SweepHistory::kMaximumItemsPerRun)) return;
    std::erase_if(run.moved, [](const MovedItem& item) { return item.stayed; });
    run.moved.resize(std::min(run.moved.size(), SweepHistory::kMaximumItemsPerRun));
    run.hasDetail = false;
}

} // namespace

bool listsTwice(const std::vector<SweepRun>& runs) { return !listedTwice(runs).empty(); }

namespace {

// The runs as they stand. An item recorded ahead of its move is in the Trash only by a
// record its own run wrote there; else it never moved: it stays listed as such with
// `tidying` (a put back tells it is still in place) while its object is at its place, and
// leaves its run when it is gone. While its place or its Trash cannot be read, it stays as
// it was, counted, and is looked for again. Items settled so are neither counted nor looked
// for again, and shown runs list only what moved. Tidying also marks the receipts of runs
// cut short.
std::vector<SweepRun> standing(std::vector<SweepRun> runs, bool tidying) {
    std::vector<std::string> paths;
    std::vector<bool> left(runs.size(), false);
    for (size_t i = 0; i < runs.size(); ++i) {
        if ((left[i] = beingMoved(runs[i])) || !hasPending(runs[i])) continue;
        auto more = pendingPaths(runs[i].moved);
        paths.insert(paths.end(), more.begin(), more.end());
    }
    for (size_t i = 0; i < runs.size(); ++i)
        if (tidying && !left[i] && cutShort(runs[i])) runs[i].receipt.cutShort = true;
    std::optional<Trash::Records> records;
    if (!paths.empty()) records.emplace(paths);
    for (size_t i = 0; i < runs.size(); ++i) {
        SweepRun& run = runs[i];
        if (left[i] || !listsUnmoved(run)) continue;
        const Evidence evidence = recordsOf(run);
        std::vector<MovedItem> kept;
        kept.reserve(run.moved.size());
        int64_t neverMoved = 0, neverMovedBytes = 0;
        for (auto& item : run.moved) {
            if (item.awaitsSettling()) {
                const Whereabouts where = locate(item, *records, evidence);
                if (where.trashPath) {
                    item.trashPath = *where.trashPath;
                } else if (!where.unknown) {
                    ++neverMoved;
                    neverMovedBytes = Bytes::saturatingAdd(neverMovedBytes, std::max<int64_t>(0, item.size));
                    if (!where.stillInPlace) continue; // gone, and not by this run's move
                    item.stayed = true;
                }
            }
            if (item.stayed && !tidying) continue;
            kept.push_back(std::move(item));
        }
        run.moved = std::move(kept);
        if (run.hasDetail) {
            run.recount();
            keepTheCap(run);
        } else {
            // Past the items a run keeps, its list is not all it moved: its counts, which
            // took the items on their way as moved, lose those that never left, once.
            run.receipt.movedCount = std::max<int64_t>(0, run.receipt.movedCount - neverMoved);
            run.receipt.movedBytes = std::max<int64_t>(0, run.receipt.movedBytes - neverMovedBytes);
        }
    }
    keepWithTheirRun(runs, left);
    return runs;
}

} // namespace

std::vector<SweepRun> settled(std::vector<SweepRun> runs) { return standing(std::move(runs), false); }

int removeRecordsOfNothing(const std::vector<SweepRun>& runs) {
    std::vector<std::string> paths;
    // The trashes their items lie in, where a put back may have been cut short too.
    std::set<std::string> trashes;
    for (const auto& run : runs) {
        auto more = pendingPaths(run.moved);
        paths.insert(paths.end(), more.begin(), more.end());
        for (const auto& item : run.moved)
            if (!item.trashPath.empty())
                trashes.insert(deletingLastPathComponent(deletingLastPathComponent(item.trashPath)));
    }
    paths.insert(paths.end(), trashes.begin(), trashes.end());
    return Trash::Records(paths).removeOrphans();
}

Tidied tidy() { return tidy(*SweepHistory::sharedRuns()); }

Tidied tidy(const std::vector<SweepRun>& runs) {
    Tidied tidied;
    // The lock files of movers that were killed; a live mover's stays.
    (void)RunLock::removeStale();
    tidied.recordsRemoved = removeRecordsOfNothing(runs);
    // What never moved stays listed, so a put back still tells it is in its place.
    const std::vector<SweepRun> now = standing(runs, true);
    for (size_t i = 0; i < runs.size(); ++i) {
        if (now[i] == runs[i]) continue;
        bool replaced = false;
        // Not written: the run stays as it was stored and is settled again when read.
        const SaveStatus saved = SweepHistory::replaceIfUnchanged(runs[i], now[i], replaced);
        if (saved && replaced) ++tidied.runsRewritten;
        if (saved.busy()) {
            // Another Sorvel holds the history: the rest would only wait alike.
            tidied.deferred = true;
            break;
        }
    }
    return tidied;
}

std::optional<LastSweep> settleLastSweep() {
    const std::optional<SweepReceipt> kept = SweepReceipt::loadLast();
    if (!kept || !kept->cutShort) return std::nullopt;
    const std::optional<SweepRun> stored = runOfSweep(*kept);
    if (!stored) return std::nullopt; // the receipt is all there is: it says it was cut short
    const SweepRun run = settled({*stored}).front();
    LastSweep last{run.receipt, {}};
    last.receipt.cutShort = !run.finished;
    last.receipt.runs = {run.id};
    if (last.receipt == *kept) return std::nullopt;
    for (const auto& item : run.moved)
        if (!item.isPending()) last.findings.push_back({item.originalPath, item.size, item.trashPath});
    bool replaced = false;
    const SaveStatus saved =
        UserDefaults::standard().modify("SorvelLastSweep", [&](std::optional<nlohmann::json>& value) {
            if (!value || SweepReceipt::fromJSON(*value) != kept) return false; // a newer sweep's
            value = last.receipt.toJSON();
            replaced = true;
            return true;
        });
    if (!saved || !replaced) return std::nullopt;
    if (!SweepReceipt::record(last.findings)) {
        // Receipt and findings must agree: the receipt says again it was cut short, so the
        // next start settles both once the findings can be written.
        (void)UserDefaults::standard().modify("SorvelLastSweep", [&](std::optional<nlohmann::json>& value) {
            if (!value || SweepReceipt::fromJSON(*value) != last.receipt) return false;
            value = kept->toJSON();
            return true;
        });
        return std::nullopt;
    }
    return last;
}

} // namespace sorvel::CrashedRuns
