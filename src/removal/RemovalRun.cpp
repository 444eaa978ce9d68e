#include "removal/RemovalRun.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_set>

#include "engine/Bytes.h"
#include "platform/Path.h"
#include "platform/RunLock.h"
#include "platform/Text.h"
#include "platform/TrashRecords.h"
#include "removal/ManualRun.h"

namespace sorvel::RemovalRun {
namespace {

std::mutex& flightMutex() {
    static std::mutex m;
    return m;
}
std::condition_variable& flightChanged() {
    static std::condition_variable c;
    return c;
}
int& flightCount() {
    static int count = 0;
    return count;
}
uint64_t& flightsBegun() {
    static uint64_t count = 0;
    return count;
}
// The runs this process moves, each with how many owners hold it.
std::map<UUID, int>& movingRuns() {
    static std::map<UUID, int> runs;
    return runs;
}

// The lock of each run this process moves, taken by its first owner, let go by its last.
// Apart from flightMutex: taking one may wait a moment on a process looking at it.
std::mutex& locksMutex() {
    static std::mutex m;
    return m;
}
std::map<UUID, std::pair<int, std::unique_ptr<RunLock::Held>>>& runLocks() {
    static std::map<UUID, std::pair<int, std::unique_ptr<RunLock::Held>>> locks;
    return locks;
}

} // namespace

struct Claim::Paths {
    std::vector<std::string> asked; // as given, until sorted in
    std::vector<std::string> taken;
    std::unordered_set<std::string> elsewhere;
    bool sortedIn = false;
};

namespace {

// The paths the moves in flight have in hand (a claim's own may nest).
std::set<std::string>& pathsInHand() {
    static std::set<std::string> paths;
    return paths;
}
// Claims taken and not yet sorted into pathsInHand, oldest first.
std::deque<std::shared_ptr<Claim::Paths>>& claimsToSort() {
    static std::deque<std::shared_ptr<Claim::Paths>> claims;
    return claims;
}

// Under flightMutex, the claims sorted in: the path, a folder around it or something
// inside it is in hand.
bool inHandNow(const std::string& path) {
    const auto& paths = pathsInHand();
    if (paths.empty() || path.empty()) return false;
    if (paths.count(path)) return true;
    for (size_t cut = path.rfind('/'); cut != std::string::npos && cut > 0; cut = path.rfind('/', cut - 1))
        if (paths.count(path.substr(0, cut))) return true;
    if (paths.count("/")) return true;
    const std::string inside = path == "/" ? path : path + "/";
    const auto next = paths.lower_bound(inside);
    return next != paths.end() && next->compare(0, inside.size(), inside) == 0;
}

// Under flightMutex: each claim in the order taken, its paths against those of the claims
// before it. Every path is looked up before any is taken: one nested in another of the
// same claim is its own move's, not held elsewhere.
void sortInClaims() {
    for (const auto& claim : claimsToSort()) {
        std::vector<std::string> free;
        for (const auto& asked : claim->asked) {
            std::string path = standardizePath(asked);
            if (inHandNow(path)) claim->elsewhere.insert(std::move(path));
            else free.push_back(std::move(path));
        }
        for (auto& path : free) // one spelled twice is let go once
            if (pathsInHand().insert(path).second) claim->taken.push_back(std::move(path));
        claim->asked = {};
        claim->sortedIn = true;
    }
    claimsToSort().clear();
}

bool inHand(const std::string& path) {
    sortInClaims();
    return inHandNow(path);
}

// Where an item not yet judged really lies (its folder's links followed), as the Trash's record
// will name it: found again however the home or the item was spelled.
std::string realPlace(const std::string& path) {
    const auto parent = resolvedPath(deletingLastPathComponent(path));
    return parent ? appendingPathComponent(*parent, lastPathComponent(path)) : path;
}

MovedItem movedItem(const CleanupOutcome& outcome) {
    const auto& moved = std::get<CleanupOutcome::MovedToTrash>(outcome.result);
    // Recorded at what its move frees: History's figures add up to the plan's and the sweep's.
    return MovedItem{moved.placeOr(outcome.path), moved.trashPath, outcome.freed(), moved.identity};
}

// The rest of a run, failed at once with the reason the Trash was held.
std::vector<CleanupOutcome> heldOutcomes(const std::vector<CleanupExecutor::PathSize>& paths,
                                         const CleanupOutcome::Failed& held) {
    std::vector<CleanupOutcome> outcomes;
    for (const auto& path : paths) {
        CleanupOutcome outcome;
        outcome.path = path.path;
        outcome.size = path.size;
        outcome.result = held;
        outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

// Stored ahead of its move: no place in the Trash yet, found again by its record and
// its identity should the process end before the place is written down.
MovedItem pendingItem(const CleanupExecutor::PathSize& path) {
    return MovedItem{realPlace(path.path), std::string(), path.freed(), Trash::identityOf(path.path)};
}

// Why the moves stopped: the batch under way could not be recorded ahead, so neither it
// nor any after it moved; every item moved before it was recorded ahead of its move.
std::string notRecordedAhead(const SaveStatus& status, size_t moved, size_t stayed) {
    if (moved == 0)
        return status.notSaved("Sorvel could not save this run to its history",
                               "so nothing was moved: Sorvel moves nothing it cannot record");
    // Past the items a run keeps in detail, only their count is recorded.
    const bool listed = moved <= SweepHistory::kMaximumItemsPerRun;
    return status.notSaved(
        "Sorvel could not save the rest of this run to its history",
        "so Sorvel stopped moving: the " + counted(static_cast<int64_t>(moved), "item") +
            (moved == 1 ? " it moved is recorded" : " it moved are recorded") +
            (listed ? " and can be put back from there" : "") + ", and the " +
            counted(static_cast<int64_t>(stayed), "item") +
            (stayed == 1 ? " not yet moved is still in its place" : " not yet moved are still in their places"));
}

// The last write, which marks the run finished, failed: its items were recorded ahead.
std::string notFinished(const SaveStatus& status, bool nothingMoved) {
    if (nothingMoved)
        return status.notSaved("Sorvel could not save the end of this run to its history",
                               "so History shows it as not finished; it moved nothing");
    return status.notSaved("Sorvel could not save the end of this run to its history",
                           "so History shows it as not finished: what it moved was recorded before it moved and "
                           "can be put back from there");
}

} // namespace

InFlight::InFlight() {
    std::lock_guard lock(flightMutex());
    ++flightCount();
    ++flightsBegun();
}

InFlight::~InFlight() {
    {
        std::lock_guard lock(flightMutex());
        --flightCount();
    }
    flightChanged().notify_all();
}

std::shared_ptr<InFlight> holdInFlight() { return std::make_shared<InFlight>(); }

Claim::Claim(const std::vector<CleanupExecutor::PathSize>& paths) : paths_(std::make_shared<Paths>()) {
    paths_->asked.reserve(paths.size());
    for (const auto& item : paths) paths_->asked.push_back(item.path);
    std::lock_guard lock(flightMutex());
    claimsToSort().push_back(paths_);
}

Claim::~Claim() {
    std::lock_guard lock(flightMutex());
    auto& waiting = claimsToSort();
    if (!paths_->sortedIn) waiting.erase(std::find(waiting.begin(), waiting.end(), paths_));
    for (const auto& path : paths_->taken) pathsInHand().erase(path);
}

bool Claim::heldElsewhere(const std::string& path) const {
    std::lock_guard lock(flightMutex());
    sortInClaims();
    return paths_->elsewhere.count(path) > 0;
}

std::shared_ptr<const Claim> claim(const std::vector<CleanupExecutor::PathSize>& paths) {
    return std::make_shared<const Claim>(paths);
}

Owner::Owner(const UUID& id) : id_(id) {
    {
        std::lock_guard lock(flightMutex());
        ++movingRuns()[id_];
    }
    std::lock_guard lock(locksMutex());
    auto& [count, held] = runLocks()[id_];
    // Not held (no lock can be kept there): this process still knows its own run.
    if (count++ == 0) held = std::make_unique<RunLock::Held>(id_.uuidString());
}

Owner::~Owner() {
    {
        std::lock_guard lock(locksMutex());
        auto it = runLocks().find(id_);
        if (it != runLocks().end() && --it->second.first == 0) runLocks().erase(it);
    }
    std::lock_guard lock(flightMutex());
    auto it = movingRuns().find(id_);
    if (it != movingRuns().end() && --it->second == 0) movingRuns().erase(it);
}

bool isMoving(const UUID& id) {
    {
        std::lock_guard lock(flightMutex());
        if (movingRuns().count(id) > 0) return true;
    }
    // Another process's: what cannot be told is taken as moving, and left alone.
    return RunLock::state(id.uuidString()) != RunLock::State::free;
}

int movesInFlight() {
    std::lock_guard lock(flightMutex());
    return flightCount();
}

uint64_t movesBegun() {
    std::lock_guard lock(flightMutex());
    return flightsBegun();
}

bool isBeingMoved(const std::string& path) {
    std::lock_guard lock(flightMutex());
    return inHand(standardizePath(path));
}

bool waitForMoves(std::chrono::milliseconds timeout) {
    std::unique_lock lock(flightMutex());
    return flightChanged().wait_for(lock, timeout, [] { return flightCount() == 0; });
}

Result moveAndRecord(Request request) {
    const InFlight held;
    if (!request.receipt) request.receipt = [](const std::vector<CleanupOutcome>& o) { return ManualRun::receipt(o); };
    if (!request.mover)
        request.mover = [](const std::vector<CleanupExecutor::PathSize>& paths, const CleanupPolicy& policy,
                           const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
            return CleanupExecutor::run(paths, CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
        };
    const std::shared_ptr<const Claim> claimed = request.claim ? request.claim : claim(request.paths);
    std::vector<CleanupExecutor::PathSize> items, busy;
    for (auto& item : CleanupExecutor::normalize(request.paths))
        (claimed->heldElsewhere(item.path) ? busy : items).push_back(std::move(item));
    const int total = static_cast<int>(items.size() + busy.size());

    Result result;
    // Another move has these in hand: refused here, never moved twice or offered as moved.
    for (const auto& item : busy) {
        CleanupOutcome outcome;
        outcome.path = item.path;
        outcome.size = item.size;
        outcome.result = CleanupOutcome::Refused{CleanupGuard::Refusal::beingMoved()};
        result.outcomes.push_back(std::move(outcome));
    }
    result.run = std::move(request.run);
    result.run.hasDetail = true;
    result.run.marksRecords = true;
    result.run.homeTrash = Trash::realHomeTrash();
    const Owner owner(result.run.id); // before its first write, until after its last
    // Every Trash record of its moves names it: the evidence that this run moved an item.
    const Trash::RecordingFor recording(result.run.id.uuidString());
    std::vector<MovedItem> moved;
    SaveStatus problem;
    auto store = [&](const std::vector<MovedItem>& pending, bool finished) {
        SweepRun& run = result.run;
        run.finished = finished;
        run.receipt = request.receipt(result.outcomes);
        run.moved = moved;
        run.hasDetail = true;
        if (!finished) {
            // Counted with the items still on their way, so the stored run adds up.
            run.receipt.movedCount = static_cast<int64_t>(moved.size() + pending.size());
            run.receipt.movedBytes = 0;
            for (const auto& item : moved) run.receipt.movedBytes = Bytes::saturatingAdd(run.receipt.movedBytes, item.size);
            for (const auto& item : pending) run.receipt.movedBytes = Bytes::saturatingAdd(run.receipt.movedBytes, item.size);
            // Up to the items a run keeps, every item moved is listed with those on their
            // way, so a run cut short under the cap is listed whole. Past them, those on
            // their way are kept in place of the last ones moved: a run cut short in this
            // batch is settled from them, and counts only those that reached the Trash.
            if (moved.size() > SweepHistory::kMaximumItemsPerRun) {
                const size_t room =
                    SweepHistory::kMaximumItemsPerRun - std::min(pending.size(), SweepHistory::kMaximumItemsPerRun);
                run.moved.resize(std::min(run.moved.size(), room));
                run.hasDetail = false;
            }
        }
        run.moved.insert(run.moved.end(), pending.begin(), pending.end());
        // The last write decides: a run stored whole at the end lost nothing on the way.
        problem = SweepHistory::store(run);
    };

    // Once a tidy kept the Trash past one move's wait, every later move would wait alike.
    std::optional<CleanupOutcome::Failed> trashHeld;
    // Why the moves stopped before their end: the history stayed locked past its wait, or
    // something other than a file is in its place.
    std::optional<std::string> stopped;
    bool nothingMoved = false;
    size_t next = 0;
    size_t batch = kFirstBatch;
    do {
        const size_t end = std::min(items.size(), next + batch);
        const std::vector<CleanupExecutor::PathSize> chunk(items.begin() + static_cast<long>(next),
                                                            items.begin() + static_cast<long>(end));
        std::vector<MovedItem> pending;
        for (const auto& path : chunk) pending.push_back(pendingItem(path));
        store(pending, false);
        if (problem.busy()) stopped = next == 0 ? kHistoryBusyNothingMoved : kHistoryBusyStopped;
        else if (!problem) {
            stopped = SweepHistory::notAFile(next == 0);
            if (!stopped) stopped = notRecordedAhead(problem, moved.size(), items.size() - next);
        }
        if (stopped) {
            // Not recorded ahead, so not moved: neither this batch nor the rest.
            nothingMoved = next == 0;
            const std::vector<CleanupExecutor::PathSize> rest(items.begin() + static_cast<long>(next), items.end());
            for (auto& outcome : heldOutcomes(rest, CleanupOutcome::Failed{*stopped}))
                result.outcomes.push_back(std::move(outcome));
            break;
        }
        if (chunk.empty()) break;
        const size_t offset = next;
        CleanupExecutor::Progress progress;
        if (request.onProgress)
            progress = [&, offset](int done, int) {
                request.onProgress(static_cast<int>(busy.size() + offset) + done, total);
            };
        auto outcomes = trashHeld ? heldOutcomes(chunk, *trashHeld)
                                  : request.mover(chunk, request.policy, request.cloud, progress);
        for (auto& outcome : outcomes) {
            if (const auto* failed = std::get_if<CleanupOutcome::Failed>(&outcome.result); failed && failed->trashHeld)
                trashHeld = *failed;
            if (outcome.moved()) moved.push_back(movedItem(outcome));
            // In the Trash though it failed (it holds a mount): listed, so it can be put back.
            if (const auto* failed = std::get_if<CleanupOutcome::Failed>(&outcome.result); failed && failed->stranded)
                moved.push_back(
                    MovedItem{failed->stranded->placeOr(outcome.path), failed->stranded->trashPath, outcome.freed(), failed->stranded->identity});
            result.outcomes.push_back(std::move(outcome));
        }
        next = end;
        batch = std::min(batch * 2, kLargestBatch);
    } while (next < items.size());
    if (nothingMoved) {
        // Nothing was written and nothing moved: no record to finish or take out again.
        result.run.moved.clear();
        result.run.receipt = request.receipt(result.outcomes);
        result.saveError = stopped;
        result.nothingRecorded = true;
        return result;
    }
    store({}, true);
    const SaveStatus closed = problem;
    // Left listed when it cannot be taken out: a finished run that moved nothing says so.
    if (!request.keepIfNothingMoved && moved.empty()) (void)SweepHistory::forget(result.run.id);

    if (stopped) result.saveError = stopped; // still true: what moved was recorded ahead
    else if (!closed) result.saveError = notFinished(closed, moved.empty());
    return result;
}

} // namespace sorvel::RemovalRun
