#pragma once

#include <algorithm>
#include <csignal>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/TrashInfo.h"
#include "removal/RemovalRun.h"
#include "support/TestSupport.h"

namespace sorvel::test {

/// A mover that moves as the executor does, and kills its process once `killAfter` items
/// have moved.
inline RemovalRun::Mover killedAfter(int killAfter) {
    const auto before = std::make_shared<int>(0);
    return [before, killAfter](const std::vector<CleanupExecutor::PathSize>& chunk, const CleanupPolicy& policy,
                               const std::optional<CloudStatus>& cloud, const CleanupExecutor::Progress& progress) {
        const long take = std::min<long>(static_cast<long>(chunk.size()), killAfter - *before);
        auto outcomes =
            CleanupExecutor::run(std::vector<CleanupExecutor::PathSize>(chunk.begin(), chunk.begin() + take),
                                 CleanupExecutor::Mode::moveToTrash, policy, cloud, progress);
        if ((*before += static_cast<int>(take)) == killAfter) std::raise(SIGKILL);
        return outcomes;
    };
}

/// A fake home that also holds the settings and run history.
struct RunHome {
    FakeHome home;
    ScopedEnv config{"XDG_CONFIG_HOME", std::nullopt};
    std::string h = home.path();
    std::string work = h + "/Work";
    std::string trash = h + "/.local/share/Trash";
    std::string info = trash + "/info/";

    /// Folders Work/d0 .. d<count-1>, each holding a file.
    std::vector<CleanupExecutor::PathSize> folders(int count) const {
        std::vector<CleanupExecutor::PathSize> out;
        for (int i = 0; i < count; ++i) {
            const std::string path = work + "/d" + std::to_string(i);
            writeFile(path + "/f", "x");
            out.push_back({path, 0});
        }
        return out;
    }
    RemovalRun::Request request(std::vector<CleanupExecutor::PathSize> paths) const {
        RemovalRun::Request r;
        r.paths = std::move(paths);
        r.policy = CleanupPolicy::standard().allowing({work});
        r.run.scope = "test";
        r.run.allowedRoots = r.policy.allowedRoots;
        return r;
    }
    /// A record Sorvel wrote without its item: what a kill between the two leaves.
    std::string reservation(const std::string& name) const {
        writeFile(info + name + ".trashinfo", TrashInfo::sorvelText(work + "/" + name, std::time(nullptr)));
        return info + name + ".trashinfo";
    }
};

} // namespace sorvel::test
