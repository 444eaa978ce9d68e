#pragma once
// The history record of a removal the user started from a screen (an uninstall, a
// Finder hand-off, duplicate copies): every moved item with its place in the Trash,
// and a receipt whose counts come from the outcomes. Runs that moved nothing are
// recorded too, so refusals stay visible.
#include <optional>
#include <string>
#include <vector>

#include "removal/CleanupExecutor.h"
#include "removal/SweepHistory.h"

namespace sorvel::ManualRun {

/// A manual run with full detail: moved items in outcome order, action clean when at
/// least one item moved (else report), found bytes as freed by the outcomes, refused
/// count over refused and failed outcomes, nothing scanned and nothing withheld.
/// `allowedRoots` are the roots of the policy the removal ran under, kept for restores;
/// none for the standard policy.
SweepRun make(const std::vector<CleanupOutcome>& outcomes, std::string scope,
              std::optional<std::vector<std::string>> allowedRoots = std::nullopt);

/// The receipt of such a run: dated now, the counts from the outcomes.
SweepReceipt receipt(const std::vector<CleanupOutcome>& outcomes);

} // namespace sorvel::ManualRun
