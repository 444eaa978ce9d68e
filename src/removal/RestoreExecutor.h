#pragma once
// Puts items of a recorded run back from the Trash, each through the restore guard, by
// rename only: never over anything, never by copying.
#include <atomic>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/UUID.h"
#include "removal/CleanupPolicy.h"
#include "removal/CrashedRuns.h"
#include "removal/RestoreGuard.h"
#include "removal/SweepHistory.h"

namespace sorvel {

struct RestoreOutcome {
    struct Restored {
        friend bool operator==(const Restored&, const Restored&) = default;
    };
    struct Refused {
        RestoreGuard::Refusal refusal;
        friend bool operator==(const Refused&, const Refused&) = default;
    };
    struct Failed {
        std::string message;
        friend bool operator==(const Failed&, const Failed&) = default;
    };
    using Result = std::variant<Restored, Refused, Failed>;

    UUID id = UUID::random();
    MovedItem item;
    Result result = Restored{};

    bool restored() const { return std::holds_alternative<Restored>(result); }
    const RestoreGuard::Refusal* refusal() const {
        auto* r = std::get_if<Refused>(&result);
        return r ? &r->refusal : nullptr;
    }
    const std::string* failure() const {
        auto* f = std::get_if<Failed>(&result);
        return f ? &f->message : nullptr;
    }
    friend bool operator==(const RestoreOutcome&, const RestoreOutcome&) = default;
};

namespace RestoreExecutor {

/// What an item of a run cut short fails with while its disk or its Trash cannot be read.
inline constexpr const char* kWhereaboutsUnknown =
    "Its disk or its Trash cannot be read now, so where it is is not known; it stays listed, to be put back once "
    "they can be read.";

/// What an item not tried because `stop` was set fails with.
inline constexpr const char* kStopped = "Sorvel is quitting, so the item stayed in the Trash; it can be put back later.";

/// One outcome per item, in order, one item at a time on the calling thread. Once the
/// Trash's lock was kept past one wait (another Sorvel tidying it, or stopped while it
/// did), the items after it fail at once with that reason, as a move's do; once `stop` is
/// set (also during that wait), they fail with `kStopped`.
std::vector<RestoreOutcome> run(const std::vector<MovedItem>& items, const CleanupPolicy& policy,
                                const std::atomic<bool>* stop = nullptr);
/// The same over one batch of a longer put back: `held` carries why the rest is not tried
/// from one batch to the next, so the whole put back waits on a held Trash once. Items of
/// a run cut short are found in the Trash by the run's evidence (`CrashedRuns::recordsOf`).
std::vector<RestoreOutcome> run(const std::vector<MovedItem>& items, const CleanupPolicy& policy,
                                const std::atomic<bool>* stop, std::optional<std::string>& held,
                                const CrashedRuns::Evidence& evidence = {});

/// The policy a run's items are put back under: the standard one widened with the
/// folders the run itself was allowed to touch, so protected places stay refused.
CleanupPolicy policyFor(const SweepRun& run);

/// Sum of the item sizes of the restored outcomes.
int64_t restoredBytes(const std::vector<RestoreOutcome>& outcomes);

} // namespace RestoreExecutor
} // namespace sorvel
