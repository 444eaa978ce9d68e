#include "cli/DuplicateSearch.h"

#include <vector>

#include "cleanup/CleanupFinder.h"
#include "cleanup/CloudStatus.h"
#include "platform/Path.h"
#include "platform/UserDirs.h"
#include "removal/CleanupExecutor.h"
#include "removal/GuardSession.h"

namespace sorvel::DuplicateSearch {

std::map<std::string, std::string> refusalsOf(const DuplicateFinder::Report& report, const CleanupPolicy& policy) {
    std::vector<const DuplicateFile*> copies;
    for (const auto& group : report.groups)
        if (group.files.size() > 1)
            for (const auto& file : group.files) copies.push_back(&file);
    if (copies.empty()) return {};
    // One guard session for all: the protected places are worked out once, and again only when
    // the mounts or a protected folder change; an unreadable table refuses every copy, as the move would.
    CleanupGuard::Session guard(policy, CloudDetector::detect());
    std::map<std::string, std::string> refused;
    for (const DuplicateFile* copy : copies)
        if (const auto refusal = CleanupExecutor::dryRunCheck(copy->path, copy->size, guard))
            refused.emplace(copy->path, refusal->description());
    return refused;
}

Found run(const std::string& folder, DuplicateFinder::Options options, const CleanupPolicy& policy,
          ScanControl& control) {
    // A copy the rules' own cleanups would move is kept only where every copy lies so.
    options.offeredPlaces = CleanupFinder::offeredPlaces();
    options.documentFolders = UserDirs::documentFolders();
    Found found{DuplicateFinder::scan({namedFolderPlace(folder)}, options, control), {}};
    if (control.cancelled()) return found;
    found.refused = refusalsOf(found.report, policy);
    DuplicateFinder::keepFirst(found.report, found.refused);
    return found;
}

} // namespace sorvel::DuplicateSearch
