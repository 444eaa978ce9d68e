#pragma once
// The guard of a run of moves, keeping what it worked out from one item to the next.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cleanup/CloudStatus.h"
#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"

namespace sorvel {
class MountWatch;
}

namespace sorvel::CleanupGuard {

/// The guard of a run of moves: judges as `judge` does, but works out where the protected
/// places lie (and the mount table) once, and again only when something deciding it
/// changed: the mount table (the kernel signals every change), the home, or the way any
/// protected place, allowed root or trash folder resolves (each step of it looked at, not
/// resolved again), what confirms a stacked mount's source near them (its named folders,
/// the root at its point), and the image each loop device beneath such a mount holds. Each path then costs only its own checks. For one thread at a time.
class Session {
public:
    Session(const CleanupPolicy& policy, const std::optional<CloudStatus>& cloud);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Judgement judge(const std::string& path, int64_t recordedSize);
    /// The tests of the path's place, and whether a move could put it into a Trash (its
    /// writability, the Trash it would go to): what is offered is what a move's judgement would let by.
    Judgement judgePlace(const std::string& path);

    /// The watched table, and which read of it the last judgement saw, for the move after it.
    MountWatch& mounts();
    uint64_t judgedTable() const;

    /// A trash folder a move just went into (one made for it, say): looked at like the others from now on.
    void trashUsed(const std::string& trashFolder);

private:
    class Run;
    std::unique_ptr<Run> run_;
};

} // namespace sorvel::CleanupGuard
