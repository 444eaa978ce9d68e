#include "models/MoverLinks.h"

#include "models/AppsModel.h"
#include "models/DuplicatesModel.h"
#include "models/HistoryModel.h"
#include "models/ScanCoordinator.h"
#include "models/SweepScheduler.h"

namespace sorvel {

void linkMovers(ScanCoordinator& coordinator, AppsModel& apps, DuplicatesModel& duplicates, SweepScheduler& sweeper,
                HistoryModel& history) {
    ScanCoordinator* target = &coordinator;
    auto fold = [target](const MovedItems::Moves& moves) { target->foldMoves(moves); };
    QObject::connect(&apps, &AppsModel::itemsMoved, target, fold);
    QObject::connect(&duplicates, &DuplicatesModel::itemsMoved, target, fold);
    QObject::connect(&sweeper, &SweepScheduler::itemsMoved, target, fold);
    QObject::connect(&history, &HistoryModel::itemsMoved, target, fold);
}

} // namespace sorvel
