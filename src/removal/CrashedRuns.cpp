#include "removal/CrashedRuns.h"

#include <algorithm>

namespace sorvel::CrashedRuns {
namespace {

bool hasPending(const SweepRun& run) {
    return std::any_of(run.moved.begin(), run.moved.end(), [](const MovedItem& item) { return item.isPending(); });
}

} // namespace

std::vector<std::string> pendingPaths(const std::vector<MovedItem>& items) {
    std::vector<std::string> paths;
    for (const auto& item : items)
        if (item.isPending()) paths.push_back(item.originalPath);
    return paths;
}

Whereabouts locate(const MovedItem& item, const Trash::Records& records) {
    Whereabouts where;
    where.trashPath = records.findMoved(item.originalPath, item.identity, true);
    if (where.trashPath || !item.identity) return where;
    const auto now = Trash::identityOf(item.originalPath);
    where.stillInPlace = now && item.identity->admits(*now);
    return where;
}

std::vector<SweepRun> settled(std::vector<SweepRun> runs) {
    std::vector<std::string> paths;
    for (const auto& run : runs) {
        auto more = pendingPaths(run.moved);
        paths.insert(paths.end(), more.begin(), more.end());
    }
    if (paths.empty()) return runs;
    const Trash::Records records(paths);
    for (auto& run : runs) {
        if (!hasPending(run)) continue;
        std::vector<MovedItem> kept;
        kept.reserve(run.moved.size());
        for (auto& item : run.moved) {
            if (item.isPending()) {
                const Whereabouts where = locate(item, records);
                if (where.stillInPlace) continue;
                if (where.trashPath) item.trashPath = *where.trashPath;
            }
            kept.push_back(std::move(item));
        }
        run.moved = std::move(kept);
        run.recount();
    }
    return runs;
}

int removeRecordsOfNothing(const std::vector<SweepRun>& runs) {
    std::vector<std::string> paths;
    for (const auto& run : runs) {
        auto more = pendingPaths(run.moved);
        paths.insert(paths.end(), more.begin(), more.end());
    }
    return Trash::Records(paths).removeOrphans();
}

} // namespace sorvel::CrashedRuns
