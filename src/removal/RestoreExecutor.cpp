#include "removal/RestoreExecutor.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "engine/Bytes.h"
#include "platform/FileDescriptor.h"
#include "platform/FileIdentity.h"
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
        Trash::restoreEntry(judged.location, destination.get(), judged.name, item.identity, stop);
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
        if (judged->refusal) {
            outcome.result = RestoreOutcome::Refused{*judged->refusal};
        } else {
            outcome.result = move(item, *judged, stop, held);
            // Where it left the Trash from, as the home is spelled now.
            outcome.item.trashPath = judged->location.trashDirectory + "/files/" + judged->location.name;
        }
        outcomes.push_back(std::move(outcome));
    }
    // The crash may also have left records of items that never arrived, which file
    // managers list as items of their own.
    if (records) records->removeOrphans();
    return outcomes;
}

namespace {

// Whether two paths name one entry, a link at the end not followed: the same text, the same
// entry under another spelling of the folders above it (a link, a bind), or, for an entry not
// there, the same name in the same real folder.
bool sameEntry(const std::string& a, const std::string& b) {
    if (a == b) return true;
    if (const auto entry = fileIdentity(a, false)) return entry == fileIdentity(b, false);
    if (lastPathComponent(a) != lastPathComponent(b)) return false;
    const auto above = resolvedPath(deletingLastPathComponent(a));
    return above && above == resolvedPath(deletingLastPathComponent(b));
}

} // namespace

CleanupPolicy policyFor(const SweepRun& run) {
    CleanupPolicy policy = CleanupPolicy::standard();
    if (!run.allowedRoots) return policy;
    // The run's own rule folders (a sweep records every root of its policy) stay rule folders,
    // whose links are not followed, however the home was spelled; only the folders a person
    // named are where their links lead.
    std::vector<std::string> named;
    for (const auto& root : *run.allowedRoots) {
        const std::string written = standardizePath(root);
        const bool rules = std::any_of(policy.allowedRoots.begin(), policy.allowedRoots.end(),
                                       [&](const std::string& own) { return sameEntry(written, own); });
        if (!rules) named.push_back(root);
    }
    return policy.allowing(named);
}

int64_t restoredBytes(const std::vector<RestoreOutcome>& outcomes) {
    int64_t total = 0;
    for (const auto& outcome : outcomes)
        if (outcome.restored()) total = Bytes::saturatingAdd(total, outcome.item.size);
    return total;
}

} // namespace sorvel::RestoreExecutor
