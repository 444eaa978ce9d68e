#pragma once
// Turns paths with their recorded sizes into outcomes: a dry run of the guard, or moves
// to the Trash one at a time. Nothing is ever deleted outright.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cleanup/CloudStatus.h"
#include "platform/Trash.h"
#include "platform/UUID.h"
#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "removal/GuardSession.h"

namespace sorvel {

struct CleanupOutcome {
    struct MovedToTrash {
        MovedToTrash() = default;
        MovedToTrash(std::string path, std::optional<Trash::Identity> moved = std::nullopt)
            : trashPath(std::move(path)), identity(moved) {}

        std::string trashPath; // empty when the place is unknown
        /// The object as it was moved, so a restore can tell it is still the same one.
        std::optional<Trash::Identity> identity;
        /// Where it really lay (its folder's links followed), as the Trash's record names it;
        /// empty when not known. What History records, so put back compares like with like.
        std::string from;
        const std::string& placeOr(const std::string& path) const { return from.empty() ? path : from; }
        friend bool operator==(const MovedToTrash& a, const MovedToTrash& b) { return a.trashPath == b.trashPath; }
    };
    struct Refused {
        CleanupGuard::Refusal refusal;
        friend bool operator==(const Refused&, const Refused&) = default;
    };
    struct Failed {
        std::string message;
        bool trashHeld = false; // the Trash's lock was not let go in time: the rest of the run fails alike
        /// Where the item lies in the Trash though the move failed (it holds a mount and
        /// could not go back), so the run can still list it for putting back.
        std::optional<MovedToTrash> stranded = std::nullopt;
        friend bool operator==(const Failed&, const Failed&) = default;
    };
    struct WouldMove {
        friend bool operator==(const WouldMove&, const WouldMove&) = default;
    };
    using Result = std::variant<MovedToTrash, Refused, Failed, WouldMove>;

    UUID id = UUID::random();
    std::string path; // standardised
    int64_t size = 0; // as recorded by the caller; what really moved when a newcomer took its place
    Result result = WouldMove{};
    /// Of `size`, what names outside the path hold too (hard links): moving it leaves them.
    int64_t shared = 0;

    /// What moving it frees (or would).
    int64_t freed() const {
        const int64_t held = std::max<int64_t>(size, 0);
        return held - std::clamp<int64_t>(shared, 0, held);
    }

    bool moved() const { return std::holds_alternative<MovedToTrash>(result); }
    bool wouldMove() const { return std::holds_alternative<WouldMove>(result); }
    const CleanupGuard::Refusal* refusal() const {
        auto* r = std::get_if<Refused>(&result);
        return r ? &r->refusal : nullptr;
    }
    const std::string* failure() const {
        auto* f = std::get_if<Failed>(&result);
        return f ? &f->message : nullptr;
    }
    friend bool operator==(const CleanupOutcome&, const CleanupOutcome&) = default;
};

namespace CleanupExecutor {

enum class Mode { dryRun, moveToTrash };

struct PathSize {
    std::string path;
    int64_t size = 0;
    int64_t shared = 0; // of `size`, what names outside the path hold too

    int64_t freed() const {
        const int64_t held = std::max<int64_t>(size, 0);
        return held - std::clamp<int64_t>(shared, 0, held);
    }
    friend bool operator==(const PathSize&, const PathSize&) = default;
};

using Progress = std::function<void(int done, int total)>;

/// Standardised, repeats dropped (first wins), nested paths dropped, largest first.
std::vector<PathSize> normalize(const std::vector<PathSize>& items);

/// One outcome per normalised path, in normalised order. A dry run checks paths
/// concurrently (each as `dryRunCheck`) and reports progress from worker threads at every
/// 8th check and the last; a real run checks and moves one path at a time and reports
/// after each. Once a move found the Trash held past its wait, the rest fail at once with
/// the same reason.
std::vector<CleanupOutcome> run(const std::vector<PathSize>& paths, Mode mode, const CleanupPolicy& policy,
                                const std::optional<CloudStatus>& cloud, const Progress& onProgress = nullptr);

/// One path as a dry run judges it: refused as being moved while another move of this
/// process has it, a folder around it or something inside it in hand (it is not offered
/// again), else as the run's guard session judges it.
std::optional<CleanupGuard::Refusal> dryRunCheck(const std::string& path, int64_t size, CleanupGuard::Session& guard);

/// What the moved and would-move outcomes free: their sizes but what they share.
int64_t freed(const std::vector<CleanupOutcome>& outcomes);

} // namespace CleanupExecutor
} // namespace sorvel
