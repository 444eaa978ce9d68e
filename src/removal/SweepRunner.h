#pragma once
// One unattended sweep from start to end on the calling thread: measure what the ticked
// rules need, keep their safe recommendations, add the user's own folders, apply the
// per-run cap, run the executor, and record the receipt, the findings and a history run.
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cleanup/CloudStatus.h"
#include "removal/CleanupExecutor.h"
#include "removal/FolderChecks.h"
#include "removal/SweepHistory.h"
#include "removal/SweepReceipt.h"
#include "removal/SweepSchedule.h"

namespace sorvel::SweepRunner {

struct Outcome {
    SweepReceipt receipt;                 // as persisted as the last sweep
    std::vector<CleanupOutcome> outcomes; // every executor outcome, refused and failed too, but
                                          // none that another move of this process had in hand
    /// Set when the receipt, the findings or the history run could not be saved.
    std::optional<std::string> saveError;
};

inline constexpr const char* kNothingSelectedReason =
    "Nothing is selected to sweep \u2014 no rules are ticked and no folders have been added. "
    "Open Sweep settings to choose what to look at.";

/// How a sweep checks its own folders: each check on a thread of its own, all of them
/// given `deadline` (a hung disk must not hold the sweep for good).
struct FolderChecking {
    FolderChecks::Check check; // empty: OwnFolder::refusal
    std::chrono::milliseconds deadline = FolderChecks::kDeadline;
};

/// Blocks until the sweep is done and recorded. No cloud status: detected just before the
/// executor runs. The only caller never cancels, so `isCancelled` is not consulted. A
/// folder that does not answer its check in time is skipped, and the receipt says so.
Outcome run(const SweepSchedule& schedule, SweepRun::Trigger trigger,
            const std::optional<CloudStatus>& cloud = std::nullopt,
            const std::function<bool()>& isCancelled = [] { return false; }, const FolderChecking& checking = {});

/// The category identifiers to scan; none means every System Data category.
std::optional<std::set<std::string>> scannedCategories(const SweepSchedule& schedule);

/// "Found X, more than the Y limit for an unattended run. Nothing was moved — ...".
std::string withheldReason(int64_t found, int64_t limit);

} // namespace sorvel::SweepRunner
