// The History page while another Sorvel holds the history past the wait: the runs cut
// short show as they stand, and the page says their tidy is left for later with nothing
// lost; once let go, the next opening tidies them and the note goes.
#include <gtest/gtest.h>

#include "models/HistoryModel.h"
#include "removal/CrashedRuns.h"
#include "support/LockHolder.h"
#include "support/MoveToTrash.h"
#include "support/TestSupport.h"
#include "tools/ToolPageTesting.h"
#include "ui/tools/HistoryView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::test;

TEST(HistoryHeld, ThePageSaysTheTidyIsLeftForLaterUntilTheHistoryIsLetGo) {
    const ShortLockWait shortWait;
    UiContext ctx;
    ASSERT_TRUE(waitUntil([&] { return !ctx.models().history.isLoading(); })); // its own start's tidy
    const std::string work = ctx / "Library/Caches";
    SweepRun run;
    run.finished = false;
    for (const char* name : {"moved", "stayed"}) {
        writeFile(work + "/" + name + "/data.bin", name);
        run.moved.push_back(MovedItem{work + "/" + name, "", 1'000, Trash::identityOf(work + "/" + name)});
    }
    run.recount();
    ASSERT_TRUE(test::moveToTrash(work + "/moved").moved());
    ASSERT_TRUE(SweepHistory::store(run));
    LockHolder holder(SweepHistory::filePath() + ".lock", LockHolder::How::stopped);
    ASSERT_TRUE(holder.holding());

    HistoryModel history; // its start's tidy meets the held history
    ui::HistoryView view(history, ctx.coordinator());
    view.resize(1000, 900);
    view.show();
    ASSERT_TRUE(waitUntil([&] { return !history.isLoading(); }, 20'000));
    view.flush();
    EXPECT_EQ(textOf(&view, "failure"), CrashedRuns::kTidyDeferred);
    EXPECT_EQ(history.runs().size(), 1u);
    EXPECT_EQ(history.totalCount(), 1);
    EXPECT_FALSE(SweepHistory::load().at(0).receipt.cutShort) << "the record kept as it was";
    history.reload(); // still held: still left for later
    ASSERT_TRUE(waitUntil([&] { return !history.isLoading(); }, 20'000));
    EXPECT_TRUE(history.tidyNote().has_value());

    holder.release();
    history.reload();
    ASSERT_TRUE(waitUntil([&] { return !history.isLoading(); }, 20'000));
    view.flush();
    EXPECT_EQ(one(&view, "failure"), nullptr);
    EXPECT_TRUE(SweepHistory::load().at(0).receipt.cutShort);
}
