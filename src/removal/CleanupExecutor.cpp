#include "removal/CleanupExecutor.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "platform/Graphemes.h"
#include "engine/Bytes.h"
#include "engine/FileWalker.h"
#include "engine/Parallel.h"
#include "engine/ScanControl.h"
#include "platform/Concurrency.h"
#include "platform/FileDescriptor.h"
#include "platform/FileIdentity.h"
#include "platform/Path.h"
#include "platform/Trash.h"
#include "removal/GuardSession.h"
#include "removal/RemovalRun.h"

namespace sorvel::CleanupExecutor {
namespace {

FileIdentity identityOf(const struct stat& st) {
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// Allocated bytes of what now sits in the Trash: a link frees nothing of what it names.
int64_t measuredInTrash(const std::string& trashPath, const struct stat& st) {
    if (S_ISDIR(st.st_mode)) {
        ScanControl control;
        ScanNodePtr node = FileWalker::walk(trashPath, control, FileWalker::Options{});
        return node ? node->size : 0;
    }
    return S_ISLNK(st.st_mode) ? 0 : static_cast<int64_t>(st.st_blocks) * 512;
}

// Moves exactly the entry the guard judged: its parent is opened along the resolved
// path without following links, so a parent swapped for a link since then fails the move
// instead of redirecting it. `size` becomes what really moved when the entry was swapped
// for another between the last look and the rename.
CleanupOutcome::Result moveJudged(const CleanupGuard::Judgement& judged, int64_t& size, CleanupGuard::Session& guard) {
    const FileDescriptor parentFd(Trash::openFolderNoFollow(judged.resolvedParent));
    if (!parentFd.valid()) {
        if (errno == ENOENT) return CleanupOutcome::Failed{"The item no longer exists."};
        return CleanupOutcome::Failed{"A folder above the item changed into a symbolic link or stopped being a "
                                      "folder after it was checked, so the item was left where it is."};
    }
    struct stat st;
    if (::fstatat(parentFd.get(), judged.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return CleanupOutcome::Failed{"The item no longer exists."};
    if (S_ISLNK(st.st_mode))
        return CleanupOutcome::Failed{"The item was replaced by a symbolic link after it was checked, so it "
                                      "was left where it is."};
    if (judged.identity && identityOf(st) != *judged.identity)
        return CleanupOutcome::Failed{"The item was replaced by another one after it was checked, so it was left "
                                      "where it is."};
    Trash::MoveResult moved = Trash::moveEntry(parentFd.get(), judged.resolvedParent, judged.name,
                                               Trash::SeenMounts{guard.mounts(), guard.judgedTable()});
    if (!moved.moved()) {
        // A mount made inside it after the judgement: refused as the guard would refuse it now.
        if (moved.heldMount)
            return CleanupOutcome::Refused{moved.heldMount->empty()
                                               ? CleanupGuard::Refusal::mountsUnknown()
                                               : CleanupGuard::Refusal::protectedPath(*moved.heldMount)};
        if (moved.strandedAt) {
            CleanupOutcome::MovedToTrash stranded{*moved.strandedAt, moved.identity};
            stranded.from = appendingPathComponent(judged.resolvedParent, judged.name);
            return CleanupOutcome::Failed{moved.error, false, std::move(stranded)};
        }
        return CleanupOutcome::Failed{moved.error, moved.trashHeld};
    }
    guard.trashUsed(deletingLastPathComponent(deletingLastPathComponent(*moved.trashPath)));
    // The rename takes whatever holds the name at that instant; a rename keeps the
    // identity, so a different one in the Trash means a newcomer went instead, and the
    // record names what really went.
    struct stat inTrash;
    if (::lstat(moved.trashPath->c_str(), &inTrash) != 0) {
        size = 0;
    } else if (identityOf(inTrash) != identityOf(st)) {
        size = measuredInTrash(*moved.trashPath, inTrash);
        moved.identity = Trash::identityOf(*moved.trashPath);
    }
    CleanupOutcome::MovedToTrash done{*moved.trashPath, moved.identity};
    done.from = appendingPathComponent(judged.resolvedParent, judged.name);
    return done;
}

} // namespace

std::vector<PathSize> normalize(const std::vector<PathSize>& items) {
    std::vector<PathSize> unique;
    std::unordered_set<std::string> seen;
    for (const auto& item : items) {
        std::string path = standardizePath(item.path);
        if (seen.insert(path).second) unique.push_back({std::move(path), item.size, item.shared});
    }
    // Shortest first, counted in characters (an accented name is not longer for its bytes).
    std::vector<std::pair<size_t, PathSize>> counted;
    counted.reserve(unique.size());
    for (auto& item : unique) counted.emplace_back(Graphemes::characterCount(item.path), std::move(item));
    std::stable_sort(counted.begin(), counted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // A folder holding a path is shorter than it, so it is kept before the path comes up;
    // looking up each folder around the path keeps thousands of paths from costing their square.
    std::vector<PathSize> kept;
    std::unordered_set<std::string> keptPaths;
    bool rootKept = false;
    for (auto& [count, item] : counted) {
        const std::string& path = item.path;
        bool nested = rootKept && !path.empty() && path[0] == '/';
        for (size_t cut = path.rfind('/'); !nested && cut != std::string::npos && cut > 0; cut = path.rfind('/', cut - 1))
            nested = keptPaths.count(path.substr(0, cut)) > 0;
        if (nested) continue;
        if (path == "/") rootKept = true;
        keptPaths.insert(path);
        kept.push_back(std::move(item));
    }
    std::stable_sort(kept.begin(), kept.end(), [](const PathSize& a, const PathSize& b) { return a.size > b.size; });
    return kept;
}

std::vector<CleanupOutcome> run(const std::vector<PathSize>& paths, Mode mode, const CleanupPolicy& policy,
                                const std::optional<CloudStatus>& cloud, const Progress& onProgress) {
    const std::vector<PathSize> items = normalize(paths);
    const int total = static_cast<int>(items.size());
    if (items.empty()) return {};

    if (mode == Mode::dryRun) {
        // One guard session to a slice of the items: each works out where the protected places
        // lie once for its slice, not once an item.
        const size_t slices = std::min(items.size(), static_cast<size_t>(std::max(1, activeProcessorCount())));
        std::vector<CleanupOutcome> outcomes(items.size());
        Parallel::Counter counter;
        Parallel::map(slices, [&](size_t slice) {
            CleanupGuard::Session guard(policy, cloud);
            for (size_t i = slice; i < items.size(); i += slices) {
                const auto& item = items[i];
                const auto refusal = dryRunCheck(item.path, item.freed(), guard);
                const int done = counter.increment();
                if (onProgress && (done == total || done % 8 == 0)) onProgress(done, total);
                CleanupOutcome& outcome = outcomes[i];
                outcome.path = item.path;
                outcome.size = item.size;
                outcome.shared = item.shared;
                if (refusal) outcome.result = CleanupOutcome::Refused{*refusal};
                else outcome.result = CleanupOutcome::WouldMove{};
            }
            return 0;
        });
        return outcomes;
    }

    std::vector<CleanupOutcome> outcomes;
    outcomes.reserve(items.size());
    std::optional<CleanupOutcome::Failed> held; // a tidy kept the Trash past one move's wait
    CleanupGuard::Session guard(policy, cloud);
    for (const auto& item : items) {
        CleanupOutcome outcome;
        outcome.path = item.path;
        outcome.size = item.size;
        outcome.shared = item.shared;
        if (held) {
            outcome.result = *held;
        } else {
            const CleanupGuard::Judgement judged = guard.judge(item.path, item.freed());
            if (judged.refusal) outcome.result = CleanupOutcome::Refused{*judged.refusal};
            else outcome.result = moveJudged(judged, outcome.size, guard);
            if (const auto* failed = std::get_if<CleanupOutcome::Failed>(&outcome.result); failed && failed->trashHeld)
                held = *failed;
        }
        outcomes.push_back(std::move(outcome));
        if (onProgress) onProgress(static_cast<int>(outcomes.size()), total);
    }
    return outcomes;
}

std::optional<CleanupGuard::Refusal> dryRunCheck(const std::string& path, int64_t size, CleanupGuard::Session& guard) {
    // Offered again, it would only be found gone, or moved twice; not judged either, since
    // it may be halfway into the Trash.
    if (RemovalRun::isBeingMoved(path)) return CleanupGuard::Refusal::beingMoved();
    return guard.judge(path, size).refusal;
}

int64_t freed(const std::vector<CleanupOutcome>& outcomes) {
    int64_t sum = 0;
    for (const auto& outcome : outcomes) {
        if (outcome.moved() || outcome.wouldMove()) sum = Bytes::saturatingAdd(sum, outcome.freed());
    }
    return sum;
}

} // namespace sorvel::CleanupExecutor
