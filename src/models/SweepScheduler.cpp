#include "models/SweepScheduler.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <unordered_set>

#include "cleanup/CloudStatus.h"
#include "models/BackgroundWork.h"
#include "models/DesktopNotifications.h"
#include "removal/CleanupPolicy.h"
#include "removal/OwnFolder.h"
#include "removal/SweepHistory.h"

namespace sorvel {
namespace {

using Frequency = SweepSchedule::Frequency;

std::optional<double> interval(Frequency frequency) {
    switch (frequency) {
    case Frequency::daily: return SweepScheduler::kDailyInterval;
    case Frequency::weekly: return SweepScheduler::kWeeklyInterval;
    case Frequency::off: break;
    }
    return std::nullopt;
}

double secondsBetween(Date from, Date to) { return std::chrono::duration<double>(to - from).count(); }

// Today's date in the local calendar at `hour`:00:00; none for an hour outside the day.
std::optional<Date> todayAt(int hour, Date now) {
    if (hour < 0 || hour > 23) return std::nullopt;
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(now));
    std::tm parts{};
    if (!localtime_r(&t, &parts)) return std::nullopt;
    parts.tm_hour = hour;
    parts.tm_min = 0;
    parts.tm_sec = 0;
    parts.tm_isdst = -1;
    const std::time_t anchor = std::mktime(&parts);
    if (anchor == static_cast<std::time_t>(-1)) return std::nullopt;
    return dateFromUnixSeconds(static_cast<int64_t>(anchor));
}

// Stored dates keep whole microseconds; a receipt made here reads back equal.
Date storable(Date d) { return std::chrono::time_point_cast<std::chrono::microseconds>(d); }

// Stored finding sizes come from a file anyone could edit; a sum must not overflow.
int64_t saturatingAdd(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? INT64_MAX : INT64_MIN;
}

std::set<std::string> actionablePaths(const std::vector<CleanupOutcome>& outcomes) {
    std::set<std::string> paths;
    for (const auto& o : outcomes)
        if (o.moved() || o.wouldMove()) paths.insert(o.path);
    return paths;
}

} // namespace

SweepScheduler::SweepScheduler(Dependencies dependencies, QObject* parent)
    : QObject(parent), deps_(std::move(dependencies)) {
    if (!deps_.clock) deps_.clock = [] { return sorvel::now(); };
    if (!deps_.runner)
        deps_.runner = [](const SweepSchedule& schedule, SweepRun::Trigger trigger) {
            return SweepRunner::run(schedule, trigger);
        };
    if (!deps_.notifications) deps_.notifications = DesktopNotifications::session();

    schedule_ = SweepSchedule::loadStored();
    lastReceipt_ = SweepReceipt::loadLast();
    // Earlier results are not kept across a restart: every finding comes back as "would move".
    for (const auto& finding : SweepReceipt::loadFindings()) {
        CleanupOutcome outcome;
        outcome.path = finding.path;
        outcome.size = finding.size;
        outcome.result = CleanupOutcome::WouldMove{};
        selectedPaths_.insert(finding.path);
        findings_.push_back(std::move(outcome));
    }
    refreshNextRun();

    connect(&timer_, &QTimer::timeout, this, &SweepScheduler::runIfDue);
}

SweepScheduler::~SweepScheduler() { handle_.close(); }

void SweepScheduler::publish(void (SweepScheduler::*signal)()) {
    emit(this->*signal)();
    emit changed();
}

std::vector<CleanupOutcome> SweepScheduler::actionableFindings() const {
    std::vector<CleanupOutcome> out;
    for (const auto& o : findings_)
        if (o.moved() || o.wouldMove()) out.push_back(o);
    return out;
}

int64_t SweepScheduler::selectedBytes() const {
    int64_t total = 0;
    for (const auto& o : findings_)
        if ((o.moved() || o.wouldMove()) && selectedPaths_.count(o.path)) total = saturatingAdd(total, o.size);
    return total;
}

bool SweepScheduler::allSelected() const {
    const size_t actionable = actionableFindings().size();
    return actionable > 0 && selectedPaths_.size() == actionable;
}

// ---- Schedule and timer ----

void SweepScheduler::setSchedule(const SweepSchedule& requested) {
    std::vector<std::string> refused;
    SweepSchedule schedule = requested;
    schedule.folders = OwnFolder::sweepable(requested.folders, refused);
    if (!refused.empty()) {
        std::string reason = refused.front();
        for (size_t i = 1; i < refused.size(); ++i) reason += " " + refused[i];
        setFolderRefusal(std::move(reason));
    }
    if (schedule == schedule_) return;
    schedule_ = schedule;
    publish(&SweepScheduler::scheduleChanged);
    (void)SweepSchedule::store(schedule_); // unwritable: the timer restarts all the same
    stop();
    start();
}

std::optional<std::string> SweepScheduler::addFolder(const std::string& path) {
    if (auto reason = OwnFolder::refusal(path)) {
        setFolderRefusal(reason);
        return reason;
    }
    setFolderRefusal(std::nullopt);
    if (std::find(schedule_.folders.begin(), schedule_.folders.end(), path) != schedule_.folders.end())
        return std::nullopt;
    SweepSchedule schedule = schedule_;
    schedule.folders.push_back(path);
    setSchedule(schedule);
    return std::nullopt;
}

void SweepScheduler::setFolderRefusal(std::optional<std::string> reason) {
    if (reason == folderRefusal_) return;
    folderRefusal_ = std::move(reason);
    publish(&SweepScheduler::folderRefusalChanged);
}

void SweepScheduler::start() {
    timer_.stop();
    if (schedule_.frequency == Frequency::off) {
        nextRunDate_.reset();
        publish(&SweepScheduler::nextRunDateChanged);
        return;
    }
    refreshNextRun();
    const double ms = std::clamp(tick_ * 1000.0, 1.0, 2'000'000'000.0);
    timer_.start(static_cast<int>(std::lround(ms)));
    runIfDue();
}

void SweepScheduler::stop() {
    timer_.stop();
    nextRunDate_.reset();
    publish(&SweepScheduler::nextRunDateChanged);
}

bool SweepScheduler::isDue(const SweepSchedule& schedule, const std::optional<Date>& last, Date now) {
    const auto every = interval(schedule.frequency);
    if (!every) return false;
    if (!last || *last > now) return true;
    return secondsBetween(*last, now) >= *every;
}

std::optional<Date> SweepScheduler::nextRun(const SweepSchedule& schedule, const std::optional<Date>& last,
                                            Date now) {
    const auto every = interval(schedule.frequency);
    if (!every) return std::nullopt;
    const auto anchor = todayAt(schedule.hour, now);
    if (!anchor) return std::nullopt;
    const auto step = std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(*every));
    const Date bound = last ? std::max(*last, now) : now;
    if (*anchor > bound) return anchor;
    // The first anchor plus whole intervals later than the bound, counted rather than
    // stepped, so a far-off last date neither loops long nor runs off the calendar.
    const auto steps = (bound - *anchor) / step + 1;
    const auto span = Date::duration::max() - anchor->time_since_epoch();
    if (steps > span / step) return std::nullopt;
    return *anchor + steps * step;
}

void SweepScheduler::runIfDue() {
    if (schedule_.frequency == Frequency::off || isRunning_) return;
    std::optional<Date> last;
    if (lastReceipt_) last = lastReceipt_->date;
    if (isDue(schedule_, last, deps_.clock()))
        run(SweepRun::Trigger::scheduled);
    else
        refreshNextRun();
}

void SweepScheduler::refreshNextRun() {
    std::optional<Date> last;
    if (lastReceipt_) last = lastReceipt_->date;
    nextRunDate_ = nextRun(schedule_, last, deps_.clock());
    publish(&SweepScheduler::nextRunDateChanged);
}

// ---- Sweeps ----

void SweepScheduler::run(SweepRun::Trigger trigger) {
    if (isRunning_) return;
    isRunning_ = true;
    publish(&SweepScheduler::isRunningChanged);
    // Later changes of the schedule do not reach a sweep that has begun.
    Models::runInBackground(Models::WorkPriority::utility,
                            [this, handle = handle_, runner = deps_.runner, schedule = schedule_, trigger] {
                                auto outcome = runner(schedule, trigger);
                                // `this` is touched only on its own thread, and only while it exists.
                                handle.post([this, outcome = std::move(outcome)]() mutable {
                                    finishSweep(std::move(outcome));
                                });
                            });
}

void SweepScheduler::finishSweep(SweepRunner::Outcome outcome) {
    lastReceipt_ = outcome.receipt;
    publish(&SweepScheduler::lastReceiptChanged);
    findings_ = std::move(outcome.outcomes);
    publish(&SweepScheduler::findingsChanged);
    selectedPaths_ = actionablePaths(findings_);
    publish(&SweepScheduler::selectedPathsChanged);
    saveError_ = outcome.saveError;
    publish(&SweepScheduler::saveErrorChanged);
    isRunning_ = false;
    publish(&SweepScheduler::isRunningChanged);
    refreshNextRun();
    notify(outcome.receipt);
}

void SweepScheduler::notify(const SweepReceipt& receipt) {
    // A report that found nothing is not worth a notice; a withheld clean always is.
    if (receipt.action == SweepSchedule::Action::report && receipt.foundBytes < 1) return;
    const std::string body = receipt.withheldReason ? *receipt.withheldReason : receipt.headline();
    (void)UserNotifications::post(*deps_.notifications, UserNotifications::Request::make(body));
}

// ---- Menu-bar panel ----

void SweepScheduler::toggle(const std::string& path) {
    if (!selectedPaths_.erase(path)) selectedPaths_.insert(path);
    publish(&SweepScheduler::selectedPathsChanged);
}

void SweepScheduler::selectAll(bool selected) {
    selectedPaths_ = selected ? actionablePaths(findings_) : std::set<std::string>{};
    publish(&SweepScheduler::selectedPathsChanged);
}

void SweepScheduler::cleanSelected() {
    if (isCleaning_) return;
    std::vector<CleanupExecutor::PathSize> picked;
    for (const auto& o : findings_)
        if ((o.moved() || o.wouldMove()) && selectedPaths_.count(o.path)) picked.push_back({o.path, o.size});
    if (picked.empty()) return;
    isCleaning_ = true;
    publish(&SweepScheduler::isCleaningChanged);
    Models::runInBackground(Models::WorkPriority::userInitiated, [this, handle = handle_, picked] {
        // The standard policy alone: a finding from an added folder outside it is refused.
        auto outcomes = CleanupExecutor::run(picked, CleanupExecutor::Mode::moveToTrash, CleanupPolicy::standard(),
                                             CloudDetector::detect());
        handle.post([this, outcomes = std::move(outcomes)]() mutable { finishClean(std::move(outcomes)); });
    });
}

void SweepScheduler::finishClean(std::vector<CleanupOutcome> outcomes) {
    std::vector<MovedItem> moved;
    std::unordered_set<std::string> movedPaths;
    int64_t movedBytes = 0;
    for (const auto& o : outcomes) {
        const auto* trashed = std::get_if<CleanupOutcome::MovedToTrash>(&o.result);
        if (!trashed) continue;
        moved.push_back(MovedItem{o.path, trashed->trashPath, o.size});
        movedPaths.insert(o.path);
        movedBytes += o.size;
    }

    // Scanned, found and refused stay those of the last sweep.
    SweepReceipt receipt; // zero counts and no reason when there was no sweep yet
    if (lastReceipt_) receipt = *lastReceipt_;
    receipt.date = storable(deps_.clock());
    receipt.action = SweepSchedule::Action::clean;
    receipt.movedCount = static_cast<int64_t>(moved.size());
    receipt.movedBytes = movedBytes;
    receipt.withheldReason.reset();
    bool saved = SweepReceipt::record(receipt);

    SweepRun run;
    run.trigger = SweepRun::Trigger::menuBar;
    run.scope = "findings you ticked";
    run.receipt = receipt;
    run.moved = std::move(moved);
    run.hasDetail = true;
    saved = SweepHistory::record(run).has_value() && saved;

    lastReceipt_ = receipt;
    publish(&SweepScheduler::lastReceiptChanged);
    std::vector<CleanupOutcome> remaining;
    for (auto& o : findings_)
        if (!movedPaths.count(o.path)) remaining.push_back(std::move(o));
    findings_ = std::move(remaining);
    publish(&SweepScheduler::findingsChanged);
    for (const auto& path : movedPaths) selectedPaths_.erase(path);
    publish(&SweepScheduler::selectedPathsChanged);

    // Refused and failed picks are kept too, whatever their result.
    std::vector<SweepReceipt::Finding> stored;
    for (const auto& o : findings_) stored.push_back({o.path, o.size});
    saved = SweepReceipt::record(stored) && saved;
    saveError_ = SweepHistory::notSavedMessage(saved);
    publish(&SweepScheduler::saveErrorChanged);

    isCleaning_ = false;
    publish(&SweepScheduler::isCleaningChanged);
}

} // namespace sorvel
