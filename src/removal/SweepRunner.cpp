#include "removal/SweepRunner.h"

#include "cleanup/CleanupFinder.h"
#include "engine/Bytes.h"
#include "engine/FileWalker.h"
#include "engine/MultiRootScan.h"
#include "engine/ScanControl.h"
#include "engine/ScanResult.h"
#include "platform/Path.h"
#include "removal/CleanupPolicy.h"
#include "removal/OwnFolder.h"
#include "removal/SweepCoding.h"

namespace sorvel::SweepRunner {
namespace {

using Rules = SweepSchedule::RuleSelection;

bool noRules(const SweepSchedule& schedule) {
    return schedule.rules.kind == Rules::Kind::only && schedule.rules.ids.empty();
}

// The three persisted values of every sweep, in their order; the history's message when
// the run could not be written down.
std::optional<std::string> persist(const SweepReceipt& receipt, const std::vector<SweepReceipt::Finding>& findings,
                                   const SweepSchedule& schedule, SweepRun::Trigger trigger,
                                   std::vector<MovedItem> moved,
                                   std::optional<std::vector<std::string>> allowedRoots = std::nullopt) {
    const bool receiptSaved = SweepReceipt::record(receipt);
    const bool findingsSaved = SweepReceipt::record(findings);
    SweepRun run;
    run.trigger = trigger;
    run.scope = schedule.scopeSummary();
    run.receipt = receipt;
    run.moved = std::move(moved);
    run.hasDetail = true;
    run.allowedRoots = std::move(allowedRoots);
    const bool runSaved = SweepHistory::record(run).has_value();
    return SweepHistory::notSavedMessage(receiptSaved && findingsSaved && runSaved);
}

bool sweepable(const CleanupItem& item, const Rules& rules) {
    if (item.risk != CleanupRisk::safe || item.externalAction || item.targets.empty()) return false;
    if (rules.isAllSafeRules()) return true;
    return rules.ids.count(item.id) > 0;
}

// Subfolders of one added folder, from the scan when it covers the folder, else walked.
void addFolderCandidates(const std::string& folder, const ScanResult& scan,
                         std::vector<CleanupExecutor::PathSize>& candidates) {
    const std::string path = standardizePath(folder);
    ScanNodePtr node = scan.node(path);
    if (!node) {
        ScanControl control;
        node = FileWalker::walk(path, control, FileWalker::Options{});
    }
    if (!node) return;
    for (const auto& child : node->children)
        if (child->size >= 1) candidates.push_back({child->path, child->size});
}

} // namespace

std::optional<std::set<std::string>> scannedCategories(const SweepSchedule& schedule) {
    if (schedule.rules.isAllSafeRules()) return std::nullopt;
    auto categories = CleanupFinder::categories(schedule.rules.ids);
    if (!categories) return std::nullopt;
    std::set<std::string> ids;
    for (auto category : *categories) ids.insert(rawValue(category));
    return ids;
}

std::string withheldReason(int64_t found, int64_t limit) {
    return "Found " + Bytes::format(found) + ", more than the " + Bytes::format(limit) +
           " limit for an unattended run. " + "Nothing was moved \u2014 open Sorvel to review it.";
}

Outcome run(const SweepSchedule& schedule, SweepRun::Trigger trigger, const std::optional<CloudStatus>& cloud,
            const std::function<bool()>&) {
    if (noRules(schedule) && schedule.folders.empty()) {
        SweepReceipt receipt;
        receipt.date = SweepCoding::sweepNow();
        receipt.action = schedule.action;
        receipt.withheldReason = kNothingSelectedReason;
        auto problem = persist(receipt, {}, schedule, trigger, {});
        return Outcome{receipt, {}, std::move(problem)};
    }

    // A stored schedule may name a folder that holds the home (written before this
    // check, or by hand): it is skipped, and the receipt says so.
    std::vector<std::string> skipped;
    const std::vector<std::string> folders = OwnFolder::sweepable(schedule.folders, skipped);

    ScanResult scan;
    scan.scope = ScanScope::systemData;
    const bool scanned = !noRules(schedule);
    if (scanned) {
        ScanControl control;
        scan = MultiRootScan::scanSynchronously(control, ScanScope::systemData, scannedCategories(schedule));
        scan.cleanupItems = CleanupFinder::recommendations(scan);
    }

    std::vector<CleanupExecutor::PathSize> candidates;
    for (const auto& item : scan.cleanupItems) {
        if (!sweepable(item, schedule.rules)) continue;
        for (const auto& target : item.targets) candidates.push_back({target.path, target.size});
    }
    for (const auto& folder : folders) addFolderCandidates(folder, scan, candidates);

    const auto normalized = CleanupExecutor::normalize(candidates);
    int64_t found = 0;
    for (const auto& pair : normalized) found += pair.size;

    SweepReceipt receipt;
    receipt.date = SweepCoding::sweepNow();
    int64_t scannedBytes = found;
    if (scanned) {
        scannedBytes = 0;
        for (const auto& category : scan.categories)
            for (const auto& root : category.roots) scannedBytes += root->size;
    }
    receipt.action = schedule.action;
    receipt.scannedBytes = scannedBytes;
    receipt.foundBytes = found;

    auto mode = CleanupExecutor::Mode::dryRun;
    if (schedule.action == SweepSchedule::Action::clean) {
        if (found <= schedule.maximumBytesPerRun) {
            mode = CleanupExecutor::Mode::moveToTrash;
        } else {
            receipt.action = SweepSchedule::Action::report;
            receipt.withheldReason = withheldReason(found, schedule.maximumBytesPerRun);
        }
    }

    for (const auto& reason : skipped)
        receipt.withheldReason = receipt.withheldReason ? *receipt.withheldReason + " " + reason : reason;

    const CleanupPolicy policy = CleanupPolicy::standard().allowing(folders);
    const CloudStatus status = cloud ? *cloud : CloudDetector::detect();
    auto outcomes = CleanupExecutor::run(normalized, mode, policy, status);

    std::vector<SweepReceipt::Finding> findings;
    std::vector<MovedItem> moved;
    for (const auto& outcome : outcomes) {
        if (auto* m = std::get_if<CleanupOutcome::MovedToTrash>(&outcome.result)) {
            moved.push_back({outcome.path, m->trashPath, outcome.size});
            findings.push_back({outcome.path, outcome.size});
        } else if (outcome.wouldMove()) {
            findings.push_back({outcome.path, outcome.size});
        } else {
            ++receipt.refusedCount;
        }
    }
    if (mode == CleanupExecutor::Mode::moveToTrash) {
        receipt.movedCount = static_cast<int64_t>(moved.size());
        for (const auto& item : moved) receipt.movedBytes += item.size;
    }

    auto problem = persist(receipt, findings, schedule, trigger, std::move(moved), policy.allowedRoots);
    return Outcome{receipt, std::move(outcomes), std::move(problem)};
}

} // namespace sorvel::SweepRunner
