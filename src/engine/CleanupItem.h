#pragma once
// One cleanup recommendation and the progress of a cleanup run: plain values that a scan
// result carries, so they sit below both the scan and the cleanup rules.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/StorageCategory.h"
#include "platform/UUID.h"

namespace sorvel {

enum class CleanupRisk : int { safe = 0, review = 1 };
inline std::optional<CleanupRisk> cleanupRiskFromRaw(int raw) {
    if (raw == 0) return CleanupRisk::safe;
    if (raw == 1) return CleanupRisk::review;
    return std::nullopt;
}

struct CleanupTarget {
    UUID id = UUID::random();
    std::string name;
    std::string path;
    int64_t size = 0;
    std::optional<std::string> detail;
    /// Some folder inside it refused this user: its size is a lower bound.
    bool partlyRead = false;
    /// Folders inside it (itself included) this user may not write: in the Trash, emptying
    /// it could not delete them, so it is never offered.
    int64_t unwritableFolders = 0;
    /// Of `size`, the bytes of files that also have names outside it (hard links): they
    /// stay on disk when it moves.
    int64_t shared = 0;

    /// What moving it frees: its size but what it shares.
    int64_t freed() const {
        const int64_t held = std::max<int64_t>(size, 0);
        return held - std::clamp<int64_t>(shared, 0, held);
    }

    friend bool operator==(const CleanupTarget&, const CleanupTarget&) = default;
};

struct CleanupItem {
    std::string id; // rule identifier
    std::string title;
    std::string detail;
    std::string locationLabel;
    /// The folders the rule reads: a target's row names the deepest of them holding it.
    std::vector<std::string> places;
    CleanupRisk risk = CleanupRisk::safe;
    StorageCategory category = StorageCategory::caches;
    std::vector<CleanupTarget> targets;
    std::optional<std::string> externalAction;
    /// What acting on it elsewhere frees (emptying the Trash, say), when it moves nothing itself.
    std::optional<int64_t> reportedSize;
    /// Of what it holds beside `reportedSize`, the bytes other names hold too: acting on it
    /// leaves them on disk.
    int64_t reportedShared = 0;
    /// Paths that belong to this item but that this user may not read: no size, no target.
    std::vector<std::string> unreadPaths;
    /// What the rule would offer could not be told apart from what must stay: it offers
    /// nothing, and `detail` says why. Kept among the recommendations so that it is said.
    bool withheld = false;
    /// Found by the rule but refused by the policy (the system's diagnostics, a place the
    /// guard protects): listed for what they hold, never counted in `size()`, never moved.
    /// Each one's `detail` says why.
    std::vector<CleanupTarget> refused;

    /// What acting on it frees: the reported size, else what moving its targets frees.
    int64_t size() const {
        if (reportedSize) return *reportedSize;
        int64_t sum = 0;
        for (const auto& t : targets) sum += t.freed();
        return sum;
    }
    /// What its targets hold, shared or not.
    int64_t heldSize() const {
        if (reportedSize) return *reportedSize + reportedShared;
        int64_t sum = 0;
        for (const auto& t : targets) sum += t.size;
        return sum;
    }
    /// What its targets hold that moving them leaves on disk.
    int64_t sharedSize() const {
        int64_t sum = reportedSize ? reportedShared : 0;
        for (const auto& t : targets) sum += t.size - t.freed();
        return sum;
    }

    /// Nothing to offer and nothing withheld: only what the policy refuses is listed.
    bool onlyRefused() const { return targets.empty() && !withheld && !reportedSize && !refused.empty(); }
    int64_t refusedSize() const {
        int64_t sum = 0;
        for (const auto& t : refused) sum += t.size;
        return sum;
    }

    /// It names paths to move and asks for nothing done elsewhere: the user may tick it.
    bool isActionable() const { return !externalAction && !targets.empty() && !withheld; }
    /// Ticked without asking: the window preselects it, sweeps and the plan take it.
    bool isSafeToClean() const { return risk == CleanupRisk::safe && isActionable(); }
};

struct CleanupProgress {
    int done = 0;
    int total = 0;
    friend bool operator==(const CleanupProgress&, const CleanupProgress&) = default;
};

} // namespace sorvel
