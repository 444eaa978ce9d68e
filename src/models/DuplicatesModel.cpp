#include "models/DuplicatesModel.h"

#include <algorithm>

#include <utility>

#include "cli/DuplicateSearch.h"
#include "cleanup/CloudStatus.h"
#include "models/BackgroundWork.h"
#include "models/Models.h"
#include "platform/MountTable.h"
#include "platform/Path.h"
#include "removal/CleanupGuard.h"
#include "removal/RemovalRun.h"
#include "removal/SweepHistory.h"

namespace sorvel {

DuplicatesModel::DuplicatesModel(QObject* parent) : QObject(parent) {}

DuplicatesModel::~DuplicatesModel() {
    // A finder still running for this model has nobody to report to.
    control_->cancel();
}

// MARK: published state

void DuplicatesModel::setReport(DuplicateFinder::Report report) {
    if (Models::assignIfChanged(report_, std::move(report))) emit reportChanged();
}
void DuplicatesModel::setIsScanning(bool value) {
    if (Models::assignIfChanged(isScanning_, value)) emit isScanningChanged();
}
void DuplicatesModel::setScannedRoot(std::optional<std::string> root) {
    if (Models::assignIfChanged(scannedRoot_, std::move(root))) emit scannedRootChanged();
}
void DuplicatesModel::setSelectedPaths(std::set<std::string> paths) {
    if (Models::assignIfChanged(selectedPaths_, std::move(paths))) emit selectedPathsChanged();
}
void DuplicatesModel::setRefusals(std::map<std::string, std::string> refusals) {
    if (Models::assignIfChanged(refusals_, std::move(refusals))) emit refusalsChanged();
}
void DuplicatesModel::setOutcomes(std::vector<CleanupOutcome> outcomes) {
    if (Models::assignIfChanged(outcomes_, std::move(outcomes))) emit outcomesChanged();
}
void DuplicatesModel::setFailure(std::optional<std::string> failure) {
    if (Models::assignIfChanged(failure_, std::move(failure))) emit failureChanged();
}

void DuplicatesModel::setSaveError(std::optional<std::string> error) {
    if (Models::assignIfChanged(saveError_, std::move(error))) emit saveErrorChanged();
}
void DuplicatesModel::setStage(Stage stage) {
    if (Models::assignIfChanged(stage_, stage)) emit stageChanged();
}

// MARK: derived values

std::vector<DuplicateFile> DuplicatesModel::selected() const {
    std::vector<DuplicateFile> files;
    for (const auto& group : report_.groups)
        for (size_t i = 1; i < group.files.size(); ++i) // the first file is the one kept
            if (selectedPaths_.count(group.files[i].path)) files.push_back(group.files[i]);
    return files;
}

int64_t DuplicatesModel::selectedReclaimable() const {
    // Names of one file free its storage only all together.
    return DuplicateFinder::bytesFreed(selected());
}

int64_t DuplicatesModel::selectedApparent() const {
    int64_t total = 0;
    for (const auto& file : selected()) total += file.size;
    return total;
}

std::set<std::string> DuplicatesModel::defaultSelection(const DuplicateFinder::Report& report,
                                                        const std::map<std::string, std::string>& refused) {
    using Kind = DuplicateGroup::Kind;
    std::set<std::string> paths;
    const size_t shown = std::min(report.groups.size(), kSetsShownAtOnce);
    for (size_t g = 0; g < shown; ++g) {
        const DuplicateGroup& group = report.groups[g];
        if (group.kind != Kind::independentCopies && group.kind != Kind::mixed) continue;
        for (size_t i = 1; i < group.files.size(); ++i)
            if (group.extraFreesStorage(i) && group.files[i].unsharedSize() >= 1 && !refused.count(group.files[i].path))
                paths.insert(group.files[i].path);
    }
    return paths;
}

std::map<std::string, std::string> DuplicatesModel::refusalsOf(const DuplicateFinder::Report& report,
                                                               const CleanupPolicy& policy) {
    return DuplicateSearch::refusalsOf(report, policy);
}

CleanupPolicy DuplicatesModel::removalPolicy() const {
    return scannedRoot_ ? CleanupPolicy::standard().allowing({*scannedRoot_}) : CleanupPolicy::standard();
}

// MARK: scanning

void DuplicatesModel::scan(const std::optional<std::string>& root) {
    const std::string folder = root ? *root : homeDirectory();
    if (task_) task_->cancelled = true;
    control_->cancel(); // a finder still on the old control stops at its next step
    control_ = std::make_shared<ScanControl>();

    setIsScanning(true);
    setFailure(std::nullopt);
    setStage(Stage::scanning);
    setScannedRoot(folder);
    setSelectedPaths({});
    setOutcomes({}); // the refusals stay with the report they judge

    auto task = std::make_shared<Task>();
    task_ = task;
    DuplicateFinder::Options options = options_ ? options_() : DuplicateFinder::Options();
    struct Found {
        DuplicateFinder::Report report;
        std::map<std::string, std::string> refused;
    };
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [folder, options, control = control_, policy = removalPolicy()] {
            // What the move would refuse is found here, with the search, not while painting.
            auto [report, refused] = DuplicateSearch::run(folder, options, policy, *control);
            return Found{std::move(report), std::move(refused)};
        },
        [task, folder](DuplicatesModel& model, Found found) {
            if (task->cancelled) return; // an abandoned scan publishes nothing
            model.reportRoot_ = folder;
            DuplicateFinder::Report& report = found.report;
            std::set<std::string> ticks = defaultSelection(report, found.refused);
            model.setRefusals(std::move(found.refused));
            model.setReport(std::move(report));
            model.setIsScanning(false);
            model.setStage(Stage::results);
            model.setSelectedPaths(std::move(ticks));
        },
        [task](DuplicatesModel& model, const std::string& reason) {
            if (task->cancelled) return;
            model.task_.reset();
            model.cancel(); // back to the report on screen, if any
            model.setFailure(Models::failureSentence("the search for duplicates", reason));
        });
}

void DuplicatesModel::cancel() {
    control_->cancel();
    if (task_) task_->cancelled = true;
    setIsScanning(false);
    // The header, "Scan again" and the removal policy must name the folder of the report
    // left on screen, not the stopped one.
    if (scannedRoot_ != reportRoot_) setScannedRoot(reportRoot_);
    setStage(report_.groups.empty() ? Stage::idle : Stage::results);
}

void DuplicatesModel::chooseFolder() {
    if (!chooser_) return; // no window to ask in: as if the panel were dismissed
    const FolderRequest request{"Choose Folder to Search", "Scan", "Look for duplicate files inside this folder.",
                                homeDirectory()};
    if (auto folder = chooser_(request)) scan(*folder);
}

void DuplicatesModel::toggle(const DuplicateFile& file, const DuplicateGroup& group) {
    if (stage_ == Stage::working) return;
    if (!group.files.empty() && group.files.front().path == file.path) return; // the kept copy
    if (refusals_.count(file.path)) return;                                     // the move would refuse it
    std::set<std::string> ticks = selectedPaths_;
    if (!ticks.erase(file.path)) ticks.insert(file.path);
    setSelectedPaths(std::move(ticks));
}

// MARK: removal

void DuplicatesModel::confirm() {
    if (stage_ == Stage::results && !selected().empty()) setStage(Stage::confirming);
}

void DuplicatesModel::cancelConfirm() {
    if (stage_ == Stage::confirming) setStage(Stage::results);
}

void DuplicatesModel::removeSelected() {
    // A second press, or one after the move, would move (and record) the same copies again.
    if (stage_ != Stage::results && stage_ != Stage::confirming) return;
    std::vector<CleanupExecutor::PathSize> targets;
    for (const auto& file : selected()) targets.push_back({file.path, file.size});
    if (targets.empty()) return;
    setStage(Stage::working);
    setFailure(std::nullopt);

    const CleanupPolicy policy = removalPolicy();
    Models::runThenDeliver(
        this, Models::WorkPriority::userInitiated,
        [targets, policy, hold = RemovalRun::holdInFlight(), claimed = RemovalRun::claim(targets)] {
            // Recorded on this worker, ahead of the moves, so a closed screen loses nothing.
            RemovalRun::Request request;
            request.paths = targets;
            request.claim = claimed;
            request.policy = policy;
            request.cloud = CloudDetector::detect();
            request.run.scope = "duplicate copies you picked";
            request.run.allowedRoots = policy.allowedRoots;
            return RemovalRun::moveAndRecord(std::move(request));
        },
        [](DuplicatesModel& model, RemovalRun::Result result) {
            model.setSaveError(result.saveError);
            const MovedItems::Moves moves = MovedItems::of(result.outcomes);
            model.setOutcomes(std::move(result.outcomes));
            model.setStage(Stage::done);
            emit model.itemsMoved(moves);
            emit model.trashChanged();
        },
        [](DuplicatesModel& model, const std::string& reason) {
            model.setOutcomes({});
            model.setStage(Stage::done);
            emit model.trashChanged();
            model.setFailure(Models::failureSentence("the move to the Trash", reason) +
                             " What was moved is listed in the history.");
        });
}

} // namespace sorvel
