#include "removal/RestoreExecutor.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "engine/Bytes.h"
#include "platform/FileDescriptor.h"
#include "platform/Path.h"
#include "platform/Trash.h"
#include "platform/TrashRecords.h"
#include "removal/CrashedRuns.h"

namespace sorvel::RestoreExecutor {
namespace {

std::string messageFor(int code) {
    switch (code) {
    case EEXIST:
    case ENOTEMPTY:
        return "Something appeared at the original path, and Sorvel never overwrites; the item stayed in the Trash.";
    case EXDEV:
        return "The original place is on another file system than the Trash; Sorvel only puts items back by "
               "renaming them, so the item stayed in the Trash.";
    case ENOENT:
        return "The item or the folder it came from disappeared; nothing was moved.";
    case ENOTDIR:
    case ELOOP:
        return "A folder on the way is a symbolic link or not a folder, so the item stayed where it is.";
    case EACCES:
    case EPERM:
        return "You do not have permission to put the item back there; it stayed in the Trash.";
    default:
        return std::string("The item could not be put back: ") + std::strerror(code) + ".";
    }
}

// `held` is set when the Trash's lock was kept past the wait, or its wait stopped.
RestoreOutcome::Result move(const MovedItem& item, const RestoreGuard::Judgement& judged,
                            const std::atomic<bool>* stop, std::optional<std::string>& held) {
    const auto location = Trash::locate(standardizePath(item.trashPath));
    if (!location) return RestoreOutcome::Failed{"The item is no longer in the Trash; nothing was moved."};

    // Exactly the folder the guard judged, opened without following links: a parent
    // swapped for a link since the check fails the move instead of redirecting it.
    FileDescriptor destination(Trash::openFolderNoFollow(judged.resolvedParent));
    if (!destination.valid()) {
        if (errno == ENOTDIR || errno == ELOOP) {
            return RestoreOutcome::Failed{"The folder it came from changed into a symbolic link or stopped being a "
                                          "folder after it was checked, so the item stayed in the Trash."};
        }
        return RestoreOutcome::Failed{messageFor(errno)};
    }
    const Trash::RestoreResult result =
        Trash::restoreEntry(*location, destination.get(), judged.name, item.identity, stop);
    if (result.restored) return RestoreOutcome::Restored{};
    if (result.stopped) held = kStopped;
    else if (result.trashHeld) held = result.error;
    if (held) return RestoreOutcome::Failed{*held};
    if (result.code == ESTALE) return RestoreOutcome::Refused{RestoreGuard::Refusal::notTheMovedItem()};
    if (result.code == 0) return RestoreOutcome::Failed{result.error};
    return RestoreOutcome::Failed{messageFor(result.code)};
}

} // namespace

std::vector<RestoreOutcome> run(const std::vector<MovedItem>& items, const CleanupPolicy& policy,
                                const std::atomic<bool>* stop) {
    std::optional<std::string> held;
    return run(items, policy, stop, held);
}

std::vector<RestoreOutcome> run(const std::vector<MovedItem>& items, const CleanupPolicy& policy,
                                const std::atomic<bool>* stop, std::optional<std::string>& held,
                                const CrashedRuns::Evidence& evidence) {
    std::vector<RestoreOutcome> outcomes;
    outcomes.reserve(items.size());
    // Items recorded ahead of a move the process did not live to write down (a crash):
    // looked for in the Trash's records, listed once for them all.
    const std::vector<std::string> pending = CrashedRuns::pendingPaths(items);
    std::optional<Trash::Records> records;
    if (!pending.empty()) records.emplace(pending);
    // Once `held` says why, the rest is not tried: one wait on a held Trash is enough, as
    // for a move.
    for (const auto& given : items) {
        RestoreOutcome outcome;
        outcome.item = given;
        if (!held && stop && stop->load()) held = kStopped;
        if (held) {
            outcome.result = RestoreOutcome::Failed{*held};
            outcomes.push_back(std::move(outcome));
            continue;
        }
        MovedItem item = given;
        std::optional<RestoreGuard::Judgement> judged;
        if (item.stayed) {
            judged = RestoreGuard::Judgement{RestoreGuard::Refusal::stillInPlace(), {}, {}};
        } else if (item.isPending()) {
            const CrashedRuns::Whereabouts where = CrashedRuns::locate(item, *records, evidence);
            if (where.unknown) {
                outcome.result = RestoreOutcome::Failed{kWhereaboutsUnknown};
                outcomes.push_back(std::move(outcome));
                continue;
            }
            if (where.trashPath) item.trashPath = *where.trashPath;
            else if (where.stillInPlace) judged = RestoreGuard::Judgement{RestoreGuard::Refusal::stillInPlace(), {}, {}};
            else judged = RestoreGuard::Judgement{RestoreGuard::Refusal::missingFromTrash(), {}, {}};
        }
        if (!judged) judged = RestoreGuard::judge(item, policy);
        if (judged->refusal) outcome.result = RestoreOutcome::Refused{*judged->refusal};
        else outcome.result = move(item, *judged, stop, held);
        outcomes.push_back(std::move(outcome));
    }
    // The crash may also have left records of items that never arrived, which file
    // managers list as items of their own.
    if (records) records->removeOrphans();
    return outcomes;
}

CleanupPolicy policyFor(const SweepRun& run) {
    const CleanupPolicy standard = CleanupPolicy::standard();
    return run.allowedRoots ? standard.allowing(*run.allowedRoots) : standard;
}

int64_t restoredBytes(const std::vector<RestoreOutcome>& outcomes) {
    int64_t total = 0;
    for (const auto& outcome : outcomes)
        if (outcome.restored()) total = Bytes::saturatingAdd(total, outcome.item.size);
    return total;
}

} // namespace sorvel::RestoreExecutor
