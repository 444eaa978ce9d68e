#pragma once
// Shared set-up of the tests that mount in a namespace of their own: a fake home with a
// folder for mount points beside it, and the three ways a folder is judged.
#include <cstdio>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/MountTable.h"
#include "removal/CleanupExecutor.h"
#include "removal/CleanupGuard.h"
#include "removal/OwnFolder.h"
#include "removal/SweepRunner.h"
#include "support/MountNaming.h"
#include "support/TestSupport.h"

namespace sorvel::test {

inline bool bindAt(const std::string& from, const std::string& to) {
    return ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0;
}
inline bool tmpfsAt(const std::string& at) { return ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=1m") == 0; }

/// An ext4 image at `image`, read by a loop device and mounted at `point` through a node of
/// the device's numbers at `node` (not /dev/loopN); the device goes once unmounted.
inline bool imageThroughNode(const std::string& image, const std::string& node, const std::string& point,
                             size_t bytes = 4 << 20) {
    writeFileOfSize(image, bytes);
    if (runCommand({"/usr/sbin/mkfs.ext4", "-q", "-F", image}).status != 0) return false;
    auto loop = runCommand({"/usr/sbin/losetup", "-f", "--show", image});
    if (loop.status != 0) return false;
    while (!loop.out.empty() && loop.out.back() == '\n') loop.out.pop_back();
    struct stat st;
    ::unlink(node.c_str());
    const bool ok = ::stat(loop.out.c_str(), &st) == 0 && ::mknod(node.c_str(), S_IFBLK | 0600, st.st_rdev) == 0 &&
                    ::mount(node.c_str(), point.c_str(), "ext4", 0, nullptr) == 0;
    runCommand({"/usr/sbin/losetup", "-d", loop.out});
    return ok;
}

/// From now on, mounts named by this process's table plus `type` from `source` at `point`: for the unmountable.
inline bool pretendMount(const std::string& tables, const std::string& point, const std::string& type,
                         const std::string& source, const std::string& device = "0:990") {
    const std::string own = readFile("/proc/self/mountinfo");
    const auto parent = namedByListing(parseMountTable(own), point);
    if (!parent) return false;
    writeFile(tables + "/table", own + "990 " + std::to_string(*parent) + " " + device + " / " + point + " rw - " +
                                     type + " " + source + " rw,user_id=0\n");
    setMountTablePath(tables + "/table");
    setMountNaming([](const std::string& path) { return namedByListing(readMountTable(), path); });
    return true;
}

/// A stored sweep of the given own folders alone.
inline SweepRunner::Outcome sweepOnly(std::vector<std::string> folders, SweepSchedule::Action action) {
    SweepSchedule s;
    s.rules = SweepSchedule::RuleSelection::only({});
    s.action = action;
    s.folders = std::move(folders);
    return SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{});
}

struct Home {
    FakeHome home;
    ScopedEnv xdg{"XDG_CONFIG_HOME", std::nullopt};
    TempDir mnt; // mount points, outside the home
    std::string h = resolvingExistingPart(home.path()), m = resolvingExistingPart(mnt.path());
    std::string pictures = h + "/Pictures";
    Home() { makeDirs(h + "/.Trash"); }
};

/// 0 when the own folder and an item in it are refused with the sentence and refusal
/// given (by the guard and in a dry run) and a stored sweep of it moves nothing; else 1,
/// said on standard error.
inline int refusedEverywhere(const std::string& folder, const std::string& item, const std::string& says,
                             const CleanupGuard::Refusal& refusal,
                             SweepSchedule::Action action = SweepSchedule::Action::clean) {
    const auto reason = OwnFolder::refusal(folder).value_or("accepted");
    const auto policy = CleanupPolicy::standard().allowing({folder});
    const auto judged = CleanupGuard::check(item, 0, policy, {});
    const auto dry = CleanupExecutor::run({{item, 0}}, CleanupExecutor::Mode::dryRun, policy, {});
    const bool dryRefused = dry.size() == 1 && dry[0].refusal();
    const auto swept = sweepOnly({folder}, action);
    size_t taken = 0;
    for (const auto& o : swept.outcomes) taken += o.moved() || o.wouldMove();
    if (reason.find(says) != std::string::npos && judged == refusal && dryRefused && taken == 0 &&
        swept.receipt.withheldReason.value_or("").find(says) != std::string::npos)
        return 0;
    std::fprintf(stderr, "failed: %s: %s; %s: %s (a dry run %s); a stored sweep took %zu\n", folder.c_str(),
                 reason.c_str(), item.c_str(), judged ? judged->description().c_str() : "passed",
                 dryRefused ? "refused it" : "would move it", taken);
    return 1;
}

} // namespace sorvel::test
