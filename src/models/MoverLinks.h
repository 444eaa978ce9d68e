#pragma once
// Every screen that moves items from the window hands what it moved to the coordinator,
// which folds it into the scanned tree the one way it folds the cleanup sheet's.
namespace sorvel {

class ScanCoordinator;
class AppsModel;
class DuplicatesModel;
class SweepScheduler;
class HistoryModel;

/// Connects each mover's `itemsMoved` to the coordinator's `foldMoves`, for their lives.
void linkMovers(ScanCoordinator& coordinator, AppsModel& apps, DuplicatesModel& duplicates, SweepScheduler& sweeper,
                HistoryModel& history);

} // namespace sorvel
