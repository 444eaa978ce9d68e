#include "removal/SweepClaim.h"

#include <cerrno>

#include "platform/RunLock.h"

namespace sorvel::SweepClaim {

Result run(bool scheduled, const std::optional<Date>& known, const std::function<SweepRunner::Outcome()>& sweep) {
    Result result;
    const RunLock::Held lock(kLockName);
    // Where no lock can be kept (a file system without them), sweeps go ahead as before.
    if (!lock.held() && (lock.error() == EWOULDBLOCK || lock.error() == EAGAIN)) return result;
    if (scheduled) {
        // Read from the disk, under the lock: a receipt written since the due test is newer
        // than the one it judged by. One older than it (this process's receipt could not be
        // written) changes nothing.
        const std::optional<SweepReceipt> latest = SweepReceipt::loadLast();
        if (latest && (!known || latest->date > *known)) {
            result.kind = Result::Kind::sweptElsewhere;
            result.latest = latest;
            result.latestFindings = SweepReceipt::loadFindings();
            return result;
        }
    }
    result.kind = Result::Kind::ran;
    result.outcome = sweep();
    return result;
}

} // namespace sorvel::SweepClaim
