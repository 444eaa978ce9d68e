#pragma once
// Every way an item of a protected place can be asked to move, for tables of such places.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "cleanup/CloudStatus.h"
#include "platform/Path.h"
#include "removal/CleanupExecutor.h"
#include "removal/CleanupGuard.h"
#include "removal/CleanupPolicy.h"
#include "removal/OwnFolder.h"
#include "removal/RestoreGuard.h"
#include "removal/SweepRunner.h"
#include "support/TestSupport.h"

namespace sorvel::test {

inline std::string protectedClause(const std::string& place) { return "protected location (" + tildeAbbreviated(place) + ")"; }

// One way a place's item can be asked to move; true when it was refused for the place.
struct Mover {
    const char* name;
    std::function<bool(const std::string& place, const std::string& item)> refuses;
};

inline std::vector<Mover> movers() {
    const auto guarded = [](const CleanupPolicy& policy, const std::string& place, const std::string& item) {
        const auto refusal = CleanupGuard::check(item, 0, policy, CloudStatus{});
        return refusal && refusal->description() == protectedClause(place);
    };
    return {
        {"guard",
         [=](const std::string& place, const std::string& item) {
             return guarded(CleanupPolicy::standard().allowing({place}), place, item);
         }},
        {"dry run",
         [](const std::string& place, const std::string& item) {
             const auto out = CleanupExecutor::run({{item, 0}}, CleanupExecutor::Mode::dryRun,
                                                   CleanupPolicy::standard().allowing({place}), CloudStatus{});
             return out.size() == 1 && out[0].refusal() && out[0].refusal()->description() == protectedClause(place);
         }},
        {"duplicate removal",
         [](const std::string& place, const std::string& item) {
             // The duplicate screen widens the standard policy with the folder it searched.
             const auto out = CleanupExecutor::run({{item, 0}}, CleanupExecutor::Mode::moveToTrash,
                                                   CleanupPolicy::standard().allowing({place}), CloudStatus{});
             return out.size() == 1 && out[0].refusal() && test::exists(item);
         }},
        {"own folder",
         [](const std::string& place, const std::string&) {
             const auto refusal = OwnFolder::refusal(place);
             return refusal && refusal->find("(" + tildeAbbreviated(place) + ")") != std::string::npos;
         }},
        {"sweep",
         [](const std::string& place, const std::string& item) {
             SweepSchedule s;
             s.rules = SweepSchedule::RuleSelection::only({});
             s.action = SweepSchedule::Action::clean;
             s.folders = {place};
             const auto out = SweepRunner::run(s, SweepRun::Trigger::scheduled, CloudStatus{});
             const bool movedAny = std::any_of(out.outcomes.begin(), out.outcomes.end(),
                                               [](const CleanupOutcome& o) { return o.moved(); });
             return !movedAny && test::exists(item);
         }},
        {"put back",
         [](const std::string& place, const std::string& item) {
             const auto refusal = RestoreGuard::destinationRefusal(item, CleanupPolicy::standard().allowing({place}));
             return refusal && refusal->description() == protectedClause(place);
         }},
        {"uninstaller",
         [=](const std::string& place, const std::string& item) {
             const std::string bundle = deletingLastPathComponent(place) + "/Old.app";
             return guarded(CleanupPolicy::forUninstalling(bundle).allowing({place}), place, item);
         }},
    };
}


} // namespace sorvel::test
