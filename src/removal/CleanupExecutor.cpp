#include "removal/CleanupExecutor.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "platform/Graphemes.h"
#include "engine/Parallel.h"
#include "platform/FileDescriptor.h"
#include "platform/Path.h"
#include "platform/Trash.h"

namespace sorvel::CleanupExecutor {
namespace {

// Moves exactly the entry the guard judged: its parent is opened along the resolved
// path without following links, so a parent swapped for a link since then fails the move
// instead of redirecting it.
CleanupOutcome::Result moveJudged(const CleanupGuard::Judgement& judged) {
    const FileDescriptor parentFd(Trash::openFolderNoFollow(judged.resolvedParent));
    if (!parentFd.valid()) {
        if (errno == ENOENT) return CleanupOutcome::Failed{"The item no longer exists."};
        return CleanupOutcome::Failed{"A folder above the item changed into a symbolic link or stopped being a "
                                      "folder after it was checked, so the item was left where it is."};
    }
    struct stat st;
    CleanupOutcome::Result result;
    if (::fstatat(parentFd.get(), judged.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        result = CleanupOutcome::Failed{"The item no longer exists."};
    } else if (S_ISLNK(st.st_mode)) {
        result = CleanupOutcome::Failed{"The item was replaced by a symbolic link after it was checked, so it "
                                        "was left where it is."};
    } else {
        Trash::MoveResult moved = Trash::moveEntry(parentFd.get(), judged.resolvedParent, judged.name);
        if (moved.moved()) result = CleanupOutcome::MovedToTrash{*moved.trashPath, moved.identity};
        else result = CleanupOutcome::Failed{moved.error};
    }
    return result;
}

} // namespace

std::vector<PathSize> normalize(const std::vector<PathSize>& items) {
    std::vector<PathSize> unique;
    std::unordered_set<std::string> seen;
    for (const auto& item : items) {
        std::string path = standardizePath(item.path);
        if (seen.insert(path).second) unique.push_back({std::move(path), item.size});
    }
    // Shortest first, counted in characters (an accented name is not longer for its bytes).
    std::vector<std::pair<size_t, PathSize>> counted;
    counted.reserve(unique.size());
    for (auto& item : unique) counted.emplace_back(Graphemes::characterCount(item.path), std::move(item));
    std::stable_sort(counted.begin(), counted.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<PathSize> kept;
    for (auto& [count, item] : counted) {
        const bool nested = std::any_of(kept.begin(), kept.end(), [&](const PathSize& parent) {
            return item.path.size() > parent.path.size() &&
                   item.path.compare(0, parent.path.size(), parent.path) == 0 &&
                   item.path[parent.path.size()] == '/';
        });
        if (!nested) kept.push_back(std::move(item));
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
        Parallel::Counter counter;
        return Parallel::map(items.size(), [&](size_t i) {
            const auto& item = items[i];
            auto refusal = CleanupGuard::check(item.path, item.size, policy, cloud);
            const int done = counter.increment();
            if (onProgress && (done == total || done % 8 == 0)) onProgress(done, total);
            CleanupOutcome outcome;
            outcome.path = item.path;
            outcome.size = item.size;
            if (refusal) outcome.result = CleanupOutcome::Refused{*refusal};
            else outcome.result = CleanupOutcome::WouldMove{};
            return outcome;
        });
    }

    std::vector<CleanupOutcome> outcomes;
    outcomes.reserve(items.size());
    for (const auto& item : items) {
        CleanupOutcome outcome;
        outcome.path = item.path;
        outcome.size = item.size;
        const CleanupGuard::Judgement judged = CleanupGuard::judge(item.path, item.size, policy, cloud);
        if (judged.refusal) outcome.result = CleanupOutcome::Refused{*judged.refusal};
        else outcome.result = moveJudged(judged);
        outcomes.push_back(std::move(outcome));
        if (onProgress) onProgress(static_cast<int>(outcomes.size()), total);
    }
    return outcomes;
}

int64_t freed(const std::vector<CleanupOutcome>& outcomes) {
    int64_t sum = 0;
    for (const auto& outcome : outcomes) {
        if (outcome.moved() || outcome.wouldMove()) sum += outcome.size;
    }
    return sum;
}

} // namespace sorvel::CleanupExecutor
