#include "removal/SweepRunner.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "cleanup/CleanupFinder.h"
#include "engine/Bytes.h"
#include "engine/FileWalker.h"
#include "engine/MultiRootScan.h"
#include "engine/ScanControl.h"
#include "engine/ScanResult.h"
#include "platform/FileIdentity.h"
#include "platform/MountTable.h"
#include "platform/Path.h"
#include "platform/TrashFolders.h"
#include "removal/CleanupPolicy.h"
#include "removal/OfferScreen.h"
#include "removal/OwnFolder.h"
#include "removal/RemovalRun.h"
#include "removal/SweepCoding.h"

namespace sorvel::SweepRunner {
namespace {

using Rules = SweepSchedule::RuleSelection;

bool noRules(const SweepSchedule& schedule) {
    return schedule.rules.kind == Rules::Kind::only && schedule.rules.ids.empty();
}

SweepRun describedRun(const SweepSchedule& schedule, SweepRun::Trigger trigger) {
    SweepRun run;
    run.trigger = trigger;
    run.scope = schedule.scopeSummary();
    run.hasDetail = true;
    return run;
}

// The settings writes of one sweep: once the settings stay locked past one wait (another
// Sorvel writing them, or stopped while it did), the later ones are not tried, so a sweep
// waits once in all.
class SettingsWrites {
public:
    template <class Write>
    void write(Write&& write) {
        if (status_.busy()) return;
        if (SaveStatus saved = write(); !saved && status_) status_ = saved;
    }
    const SaveStatus& status() const { return status_; }

private:
    SaveStatus status_;
};

// Said when the history has the run but the settings could not take the receipt.
std::string receiptNotSaved(const SaveStatus& status) {
    const std::string why = status.busy() ? "another Sorvel held the settings past a few seconds"
                                          : "the settings could not be written: " + status.reason();
    return "Sorvel could not save this sweep as the last one (" + why +
           "), so the panel shows it only until Sorvel quits. The run itself is in the history, where anything it "
           "moved can be put back.";
}

// The persisted values of every sweep, in their order; what could not be written down,
// the history first. A sweep that moved has recorded its run as it moved.
std::optional<std::string> persist(SettingsWrites& settings, const SweepReceipt& receipt,
                                   const std::vector<SweepReceipt::Finding>& findings, const SweepSchedule& schedule,
                                   SweepRun::Trigger trigger, std::optional<std::string> runProblem = std::nullopt,
                                   bool recordRun = true) {
    settings.write([&] { return SweepReceipt::record(receipt); });
    settings.write([&] { return SweepReceipt::record(findings); });
    SaveStatus history;
    if (recordRun) {
        SweepRun run = describedRun(schedule, trigger);
        run.receipt = receipt;
        history = SweepHistory::store(run);
    }
    if (runProblem) return runProblem;
    if (!history) return SweepHistory::notSavedMessage(history);
    if (!settings.status()) return receiptNotSaved(settings.status());
    return std::nullopt;
}

// Why a move moved nothing at all when a lock of Sorvel's own stayed held: the history's
// before the first batch, or the Trash's for every item; none otherwise.
std::optional<std::string> heldOffReason(const std::vector<CleanupOutcome>& outcomes,
                                         const std::optional<std::string>& runProblem, bool nothingRecorded) {
    // The history could not be written before the first move (a full disk, say): nothing moved.
    if (nothingRecorded && runProblem) return runProblem;
    bool anyHeld = false;
    for (const auto& outcome : outcomes) {
        if (outcome.moved()) return std::nullopt;
        if (const auto* failed = std::get_if<CleanupOutcome::Failed>(&outcome.result)) {
            if (failed->message == RemovalRun::kHistoryBusyNothingMoved) return failed->message;
            if (!failed->trashHeld) return std::nullopt;
            anyHeld = true;
        }
    }
    if (runProblem && *runProblem == RemovalRun::kHistoryBusyNothingMoved) return runProblem;
    if (anyHeld)
        for (const auto& outcome : outcomes)
            if (const auto* failure = outcome.failure()) return *failure;
    return std::nullopt;
}

// Another move of this process has it in hand: neither found by this sweep nor refused by it.
bool heldElsewhere(const CleanupOutcome& outcome) {
    const auto* refusal = outcome.refusal();
    return refusal && refusal->kind == CleanupGuard::Refusal::Kind::beingMoved;
}

// Counts the outcomes into the receipt: refused and failed in both modes, moved ones only
// for a real move; what another move has in hand leaves the found bytes.
SweepReceipt counted(SweepReceipt receipt, const std::vector<CleanupOutcome>& outcomes, bool moving) {
    for (const auto& outcome : outcomes) {
        if (heldElsewhere(outcome)) {
            receipt.foundBytes = std::max<int64_t>(0, receipt.foundBytes - outcome.freed());
        } else if (outcome.moved()) {
            if (!moving) continue;
            ++receipt.movedCount;
            receipt.movedBytes = Bytes::saturatingAdd(receipt.movedBytes, outcome.freed());
            receipt.sharedBytes = Bytes::saturatingAdd(receipt.sharedBytes, outcome.size - outcome.freed());
        } else if (!outcome.wouldMove()) {
            ++receipt.refusedCount;
        }
    }
    return receipt;
}

bool ruleTicked(const std::string& id, const Rules& rules) { return rules.isAllSafeRules() || rules.ids.count(id) > 0; }

bool sweepable(const CleanupItem& item, const Rules& rules) { return item.isSafeToClean() && ruleTicked(item.id, rules); }

// What the screening refused of a rule this sweep runs, had it let it pass: kept back, so
// counted as refused, never as nothing found. A rule that offers nothing unattended (one to
// review, done elsewhere, or withheld) keeps nothing back.
std::vector<OfferScreen::Refused> keptBack(const std::vector<CleanupItem>& items,
                                           std::vector<OfferScreen::Refused> screened, const Rules& rules) {
    std::set<std::string> swept;
    for (const auto& item : items)
        if (item.risk == CleanupRisk::safe && !item.externalAction && !item.withheld && ruleTicked(item.id, rules))
            swept.insert(item.id);
    std::set<std::string> seen; // a place two rules found is one item
    std::erase_if(screened, [&](const OfferScreen::Refused& r) {
        return !swept.count(r.ruleId) || !seen.insert(r.target.path).second;
    });
    return screened;
}

void addReason(SweepReceipt& receipt, const std::string& reason) {
    receipt.withheldReason = receipt.withheldReason ? *receipt.withheldReason + " " + reason : reason;
}

// Why nothing moved when refusals kept back all a sweep would have moved: how many, and the
// first of them in the guard's words.
std::string refusedReason(const std::vector<std::pair<std::string, std::string>>& refused) {
    const size_t n = refused.size();
    std::string reason = "Sorvel refused " + std::to_string(n) + (n == 1 ? " item" : " items") +
                         " this sweep would have moved: \u201C" + tildeAbbreviated(refused.front().first) +
                         "\u201D \u2014 " + refused.front().second;
    if (n > 1) reason += "; and " + std::to_string(n - 1) + " more";
    return reason + ".";
}

// The trash folders a sweep leaves alone among an added folder's items, by identity
// whatever they are called: this user's, the shared ".Trash" holding one, and any trash
// folder at the top of a file system (another user's among them).
class TrashFolders {
public:
    TrashFolders() {
        const auto mounts = readMountTable(mountTablePath()).value_or(std::vector<MountEntry>{});
        for (const auto& place : Trash::folderPlaces(mounts)) {
            if (auto id = fileIdentity(place.path, true)) ids_.insert(*id);
            const std::string parent = deletingLastPathComponent(place.path);
            if (!place.top.empty() && lastPathComponent(parent) == ".Trash")
                if (auto id = fileIdentity(parent, true)) ids_.insert(*id);
        }
        for (const auto& mount : mounts) tops_.insert(mount.mountPoint);
    }
    bool contains(const std::string& path) const {
        if (const auto id = fileIdentity(path, false); id && ids_.count(*id)) return true;
        if (!tops_.count(deletingLastPathComponent(path))) return false;
        const std::string name = lastPathComponent(path);
        constexpr std::string_view numbered = ".Trash-";
        return name == ".Trash" || (name.size() > numbered.size() && name.starts_with(numbered) &&
                                    name.find_first_not_of("0123456789", numbered.size()) == std::string::npos);
    }

private:
    std::set<FileIdentity> ids_;
    std::set<std::string> tops_;
};

// Subfolders of one added folder, from the scan when it covers the folder, else walked.
// A trash folder among them is left alone: what is in it is not the folder's to sweep.
void addFolderCandidates(const std::string& folder, const ScanResult& scan, const TrashFolders& trashes,
                         std::vector<CleanupExecutor::PathSize>& candidates) {
    const std::string path = standardizePath(folder);
    ScanNodePtr node = scan.node(path);
    if (!node || node->linkTarget) {
        // A folder a person named is read where its links lead.
        ScanControl control;
        node = FileWalker::walk(namedFolderPlace(path), control, FileWalker::Options{});
    }
    if (!node) return;
    for (const auto& child : node->children)
        if (child->size >= 1 && !trashes.contains(child->path))
            candidates.push_back({child->path, child->size, child->sharedSize});
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
            const std::function<bool()>&, const FolderChecking& checking) {
    if (noRules(schedule) && schedule.folders.empty()) {
        SweepReceipt receipt;
        receipt.date = SweepCoding::sweepNow();
        receipt.action = schedule.action;
        receipt.withheldReason = kNothingSelectedReason;
        SettingsWrites settings;
        auto problem = persist(settings, receipt, {}, schedule, trigger);
        return Outcome{receipt, {}, std::move(problem)};
    }

    // A stored schedule may name a folder that holds the home (written before this
    // check, or by hand), or one on a disk that no longer answers: it is skipped, and the
    // receipt says so.
    std::vector<std::string> skipped;
    const FolderChecks::Check check =
        checking.check ? checking.check : [](const std::string& folder) { return OwnFolder::refusal(folder); };
    const std::vector<std::string> folders =
        FolderChecks::sweepable(schedule.folders, skipped, check, checking.deadline);

    ScanResult scan;
    scan.scope = ScanScope::systemData;
    std::vector<OfferScreen::Refused> kept;
    const bool scanned = !noRules(schedule);
    if (scanned) {
        ScanControl control;
        scan = MultiRootScan::scanSynchronously(control, ScanScope::systemData, scannedCategories(schedule));
        std::vector<OfferScreen::Refused> screened;
        scan.cleanupItems = OfferScreen::recommendations(scan, screened);
        kept = keptBack(scan.cleanupItems, std::move(screened), schedule.rules);
    }

    std::vector<CleanupExecutor::PathSize> candidates;
    for (const auto& item : scan.cleanupItems) {
        if (!sweepable(item, schedule.rules)) continue;
        for (const auto& target : item.targets) candidates.push_back({target.path, target.size, target.shared});
    }
    if (!folders.empty()) {
        const TrashFolders trashes;
        for (const auto& folder : folders) addFolderCandidates(folder, scan, trashes, candidates);
    }

    const auto normalized = CleanupExecutor::normalize(candidates);
    int64_t found = 0;
    // What moving them frees: bytes other names hold too stay on disk, so they count toward no cap.
    for (const auto& pair : normalized)
        found = Bytes::saturatingAdd(found, pair.freed());

    SweepReceipt receipt;
    receipt.date = SweepCoding::sweepNow();
    int64_t scannedBytes = found;
    if (scanned) {
        scannedBytes = 0;
        for (const auto& category : scan.categories)
            for (const auto& root : category.roots) scannedBytes = Bytes::saturatingAdd(scannedBytes, root->size);
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

    // A skipped folder is a refusal like any other: it shows under "Skipped", not only in words.
    receipt.refusedCount = static_cast<int64_t>(skipped.size() + kept.size());
    for (const auto& reason : skipped) addReason(receipt, reason);

    // The screening's refusals, known before anything moves: with nothing left to move, the
    // receipt kept ahead and the history's run say so too.
    std::vector<std::pair<std::string, std::string>> refused;
    for (const auto& r : kept) refused.push_back({r.target.path, r.target.detail.value_or("refused")});
    if (normalized.empty() && !refused.empty()) addReason(receipt, refusedReason(refused));

    const CleanupPolicy policy = CleanupPolicy::standard().allowing(folders);
    const CloudStatus status = cloud ? *cloud : CloudDetector::detect();
    const bool moving = mode == CleanupExecutor::Mode::moveToTrash;
    std::vector<CleanupOutcome> outcomes;
    std::optional<std::string> runProblem;
    bool nothingRecorded = false;
    // The sweep's run is its own from the receipt kept ahead until its findings are written,
    // so no other process settles it meanwhile.
    std::optional<RemovalRun::Owner> owner;
    SweepRun described = describedRun(schedule, trigger);
    SettingsWrites settings;
    if (moving) {
        owner.emplace(described.id);
        // Kept as cut short until the sweep is recorded: a process ended mid-move leaves a
        // receipt that says so, and the next start gives it its run's counts.
        SweepReceipt ahead = receipt;
        ahead.cutShort = true;
        ahead.runs = {described.id};
        settings.write([&] { return SweepReceipt::record(ahead); }); // a failure shows with the receipt's own, below
        RemovalRun::Request request;
        request.paths = normalized;
        request.policy = policy;
        request.cloud = status;
        request.run = described;
        request.run.allowedRoots = policy.allowedRoots;
        request.receipt = [receipt](const std::vector<CleanupOutcome>& so) { return counted(receipt, so, true); };
        RemovalRun::Result result = RemovalRun::moveAndRecord(std::move(request));
        outcomes = std::move(result.outcomes);
        runProblem = std::move(result.saveError);
        nothingRecorded = result.nothingRecorded;
    } else {
        outcomes = CleanupExecutor::run(normalized, mode, policy, status);
    }
    receipt = counted(receipt, outcomes, moving);
    if (moving) receipt.runs = {described.id}; // the panel follows what is put back of it
    std::erase_if(outcomes, heldElsewhere);
    // Nothing moved because a lock of Sorvel's own was held, or the history could not be
    // written: said, and tried again soon, never shown as a sweep that found nothing to clean.
    if (moving && !normalized.empty())
        if (auto held = heldOffReason(outcomes, runProblem, nothingRecorded)) {
            receipt.heldOff = true;
            receipt.refusedCount = static_cast<int64_t>(skipped.size() + kept.size());
            receipt.withheldReason = receipt.withheldReason ? *held + " " + *receipt.withheldReason : *held;
            if (runProblem == *held) runProblem.reset(); // the receipt says it; nothing went unrecorded
        }

    // Nothing moved, nor would, and refusals kept something back: said, never taken for a
    // sweep that found nothing to clean.
    const bool anyGoes = std::any_of(outcomes.begin(), outcomes.end(),
                                     [](const CleanupOutcome& o) { return o.moved() || o.wouldMove(); });
    if (!receipt.heldOff)
        for (const auto& o : outcomes) {
            if (const auto* refusal = o.refusal()) refused.push_back({o.path, refusal->description()});
            else if (const auto* failure = o.failure()) refused.push_back({o.path, *failure});
        }
    if (!receipt.heldOff && !anyGoes && !normalized.empty() && !refused.empty())
        addReason(receipt, refusedReason(refused));
    // The rest moved (or would): what stayed is still said, beside its count.
    if (!refused.empty() && !receipt.heldOff &&
        (!receipt.withheldReason || receipt.withheldReason->find(refusedReason(refused)) == std::string::npos))
        receipt.skippedReason = refusedReason(refused);

    std::vector<SweepReceipt::Finding> findings;
    for (const auto& outcome : outcomes) {
        if (const auto* m = std::get_if<CleanupOutcome::MovedToTrash>(&outcome.result))
            findings.push_back({outcome.path, outcome.size, m->trashPath, outcome.shared});
        else if (outcome.wouldMove())
            findings.push_back({outcome.path, outcome.size, std::nullopt, outcome.shared});
    }

    auto problem = persist(settings, receipt, findings, schedule, trigger, std::move(runProblem), !moving);
    return Outcome{receipt, std::move(outcomes), std::move(problem)};
}

} // namespace sorvel::SweepRunner
