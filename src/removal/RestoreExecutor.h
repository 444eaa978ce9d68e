#pragma once
// Puts items of a recorded run back from the Trash, each through the restore guard, by
// rename only: never over anything, never by copying.
#include <string>
#include <variant>
#include <vector>

#include "platform/UUID.h"
#include "removal/CleanupPolicy.h"
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
};

namespace RestoreExecutor {

/// One outcome per item, in order, one item at a time on the calling thread.
std::vector<RestoreOutcome> run(const std::vector<MovedItem>& items, const CleanupPolicy& policy);

/// The policy a run's items are put back under: the standard one widened with the
/// folders the run itself was allowed to touch, so protected places stay refused.
CleanupPolicy policyFor(const SweepRun& run);

/// Sum of the item sizes of the restored outcomes.
int64_t restoredBytes(const std::vector<RestoreOutcome>& outcomes);

} // namespace RestoreExecutor
} // namespace sorvel
