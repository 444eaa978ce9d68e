#include "removal/RemovalRun.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <set>

#include "engine/Bytes.h"
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
std::set<UUID>& movingRuns() {
    static std::set<UUID> runs;
    return runs;
}

// Marks a run as moving for the life of the call.
class Moving {
public:
    explicit Moving(const UUID& id) : id_(id) {
        std::lock_guard lock(flightMutex());
        movingRuns().insert(id_);
    }
    ~Moving() {
        std::lock_guard lock(flightMutex());
        movingRuns().erase(id_);
    }
    Moving(const Moving&) = delete;
    Moving& operator=(const Moving&) = delete;

private:
    UUID id_;
};

MovedItem movedItem(const CleanupOutcome& outcome) {
    const auto& moved = std::get<CleanupOutcome::MovedToTrash>(outcome.result);
    return MovedItem{outcome.path, moved.trashPath, outcome.size, moved.identity};
}

// Stored ahead of its move: no place in the Trash yet, found again by its record and
// its identity should the process end before the place is written down.
MovedItem pendingItem(const CleanupExecutor::PathSize& path) {
    return MovedItem{path.path, std::string(), path.size, Trash::identityOf(path.path)};
}

} // namespace

InFlight::InFlight() {
    std::lock_guard lock(flightMutex());
    ++flightCount();
}

InFlight::~InFlight() {
    {
        std::lock_guard lock(flightMutex());
        --flightCount();
    }
    flightChanged().notify_all();
}

std::shared_ptr<InFlight> holdInFlight() { return std::make_shared<InFlight>(); }

bool isMoving(const UUID& id) {
    std::lock_guard lock(flightMutex());
    return movingRuns().count(id) > 0;
}

int movesInFlight() {
    std::lock_guard lock(flightMutex());
    return flightCount();
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
    const std::vector<CleanupExecutor::PathSize> items = CleanupExecutor::normalize(request.paths);
    const int total = static_cast<int>(items.size());

    Result result;
    result.run = std::move(request.run);
    result.run.hasDetail = true;
    const Moving moving(result.run.id);
    std::vector<MovedItem> moved;
    SaveStatus problem;
    auto store = [&](const std::vector<MovedItem>& pending, bool finished) {
        SweepRun& run = result.run;
        run.finished = finished;
        run.receipt = request.receipt(result.outcomes);
        run.moved = moved;
        run.moved.insert(run.moved.end(), pending.begin(), pending.end());
        if (!finished) {
            // Counted with the items still on their way, so the stored run adds up.
            run.receipt.movedCount = static_cast<int64_t>(run.moved.size());
            run.receipt.movedBytes = 0;
            for (const auto& item : run.moved)
                run.receipt.movedBytes = Bytes::saturatingAdd(run.receipt.movedBytes, item.size);
        }
        // The last write decides: a run stored whole at the end lost nothing on the way.
        problem = SweepHistory::store(run);
    };

    size_t next = 0;
    size_t batch = kFirstBatch;
    do {
        const size_t end = std::min(items.size(), next + batch);
        const std::vector<CleanupExecutor::PathSize> chunk(items.begin() + static_cast<long>(next),
                                                            items.begin() + static_cast<long>(end));
        std::vector<MovedItem> pending;
        for (const auto& path : chunk) pending.push_back(pendingItem(path));
        store(pending, false);
        if (chunk.empty()) break;
        const size_t offset = next;
        CleanupExecutor::Progress progress;
        if (request.onProgress)
            progress = [&, offset](int done, int) { request.onProgress(static_cast<int>(offset) + done, total); };
        for (auto& outcome : request.mover(chunk, request.policy, request.cloud, progress)) {
            if (outcome.moved()) moved.push_back(movedItem(outcome));
            // In the Trash though it failed (it holds a mount): listed, so it can be put back.
            if (const auto* failed = std::get_if<CleanupOutcome::Failed>(&outcome.result); failed && failed->stranded)
                moved.push_back(
                    MovedItem{outcome.path, failed->stranded->trashPath, outcome.size, failed->stranded->identity});
            result.outcomes.push_back(std::move(outcome));
        }
        next = end;
        batch = std::min(batch * 2, kLargestBatch);
    } while (next < items.size());
    store({}, true);
    if (!request.keepIfNothingMoved && moved.empty()) problem = SweepHistory::forget(result.run.id);

    result.saveError = SweepHistory::notSavedMessage(problem);
    return result;
}

} // namespace sorvel::RemovalRun
