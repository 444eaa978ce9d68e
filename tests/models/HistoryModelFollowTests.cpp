// The history model follows the history without being asked to load it again: a run that
// its mover (another process) still writes batch by batch, the run settling, its mover dying
// without a word, and runs recorded elsewhere, as they happen.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "models/HistoryModel.h"
#include "models/SweepModelsFixtures.h"
#include "platform/RunLock.h"
#include "support/LockHolder.h"

using namespace sorvel;

namespace {

// A run of `count` items already in the Trash (as a mover stores them batch by batch).
SweepRun runOf(const test::ModelHome& home, const UUID& id, int count, bool finished) {
    SweepRun run;
    run.id = id;
    run.receipt.action = SweepSchedule::Action::clean;
    run.finished = finished;
    for (int i = 0; i < count; ++i) {
        const std::string name = "item" + std::to_string(i);
        run.moved.push_back(MovedItem{home.h + "/Library/Caches/" + name, home.h + "/.local/share/Trash/files/" + name,
                                      1'000, std::nullopt});
    }
    run.recount();
    return run;
}

struct Follow {
    const char* name;
    bool storedFirst;  // a run of 2 items is stored before the model starts
    bool moverHolds;   // another process holds that run's lock: it is still being moved
    std::function<void(const test::ModelHome&, const UUID&, test::LockHolder*)> then;
    std::function<bool(const HistoryModel&, const UUID&)> shows;
};

} // namespace

TEST(HistoryModelFollow, ThePageFollowsRunsAsTheyMoveAndSettle) {
    const Follow rows[] = {
        {"a run being moved grows", true, true,
         [](const test::ModelHome& home, const UUID& id, test::LockHolder*) {
             ASSERT_TRUE(SweepHistory::store(runOf(home, id, 5, false)));
         },
         [](const HistoryModel& m, const UUID& id) {
             return m.totalCount() == 5 && m.runs().size() == 1 && m.runs()[0].moved.size() == 5 && m.isMoving(id);
         }},
        {"the run ends", true, true,
         [](const test::ModelHome& home, const UUID& id, test::LockHolder* mover) {
             ASSERT_TRUE(SweepHistory::store(runOf(home, id, 7, true)));
             mover->release();
         },
         [](const HistoryModel& m, const UUID& id) {
             return !m.isMoving(id) && m.runs().size() == 1 && m.runs()[0].finished && m.totalCount() == 7;
         }},
        {"its mover dies without a word", true, true,
         [](const test::ModelHome&, const UUID&, test::LockHolder* mover) { mover->release(); },
         [](const HistoryModel& m, const UUID& id) { return !m.isMoving(id) && m.runs().size() == 1; }},
        {"a run recorded elsewhere, the history's folder made since", false, false,
         [](const test::ModelHome& home, const UUID& id, test::LockHolder*) {
             ASSERT_TRUE(SweepHistory::store(runOf(home, id, 3, true)));
         },
         [](const HistoryModel& m, const UUID&) { return m.runs().size() == 1 && m.totalCount() == 3; }},
        {"a second run recorded elsewhere", true, false,
         [](const test::ModelHome& home, const UUID&, test::LockHolder*) {
             ASSERT_TRUE(SweepHistory::store(runOf(home, UUID::random(), 3, true)));
         },
         [](const HistoryModel& m, const UUID&) { return m.runs().size() == 2 && m.totalCount() == 5; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::ModelHome home;
        const UUID id = UUID::random();
        if (row.storedFirst) {
            ASSERT_TRUE(SweepHistory::store(runOf(home, id, 2, !row.moverHolds)));
        }
        std::unique_ptr<test::LockHolder> mover;
        if (row.moverHolds) {
            test::makeDirs(RunLock::folderPath());
            mover = std::make_unique<test::LockHolder>(RunLock::folderPath() + "/run-" + id.uuidString() + ".lock",
                                                       test::LockHolder::How::waiting);
            ASSERT_TRUE(mover->holding());
        }
        HistoryModel model;
        ASSERT_TRUE(test::waitUntil([&] { return !model.isLoading(); }));
        ASSERT_EQ(model.runs().size(), row.storedFirst ? 1u : 0u);
        EXPECT_EQ(model.isMoving(id), row.moverHolds);
        row.then(home, id, mover.get());
        // Nothing asks the model to load again: it follows by itself.
        EXPECT_TRUE(test::waitUntil([&] { return row.shows(model, id); }, 10'000))
            << "runs " << model.runs().size() << ", count " << model.totalCount() << ", moving "
            << model.isMoving(id);
    }
}
