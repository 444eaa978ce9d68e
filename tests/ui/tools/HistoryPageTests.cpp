// The history page on a fake home: a real move put back with "Put all N back", the
// summary and the rewritten run, "Clear log", a run cut short without a restore button,
// the trends card's first-measurement panel, and runs that unfold over 0.12 s.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTest>
#include <QVariantAnimation>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "models/HistoryModel.h"
#include "platform/Path.h"
#include "platform/RunLock.h"
#include "platform/Trash.h"
#include "support/LockHolder.h"
#include "support/MoveToTrash.h"
#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/kit/Button.h"
#include "ui/kit/ClickArea.h"
#include "ui/kit/HeightAnimation.h"
#include "ui/tools/HistoryRules.h"
#include "ui/tools/HistoryView.h"
#include "ui/tools/StorageTrendsCard.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

struct Page {
    UiContext ctx;
    HistoryModel& history = ctx.models().history;
    std::unique_ptr<ui::HistoryView> view;

    void open() {
        view = std::make_unique<ui::HistoryView>(history, ctx.coordinator());
        view->resize(1000, 900);
        view->show(); // loads the stored runs, on a worker
        ASSERT_TRUE(waitUntil([&] { return !history.isLoading(); }));
        view->flush();
    }
    MovedItem trashed(const std::string& relative, const std::string& contents) {
        const std::string original = ctx / relative;
        writeFile(original + "/data.bin", contents);
        const auto moved = test::moveToTrash(original);
        return MovedItem{original, moved.trashPath.value_or("Trash"), int64_t(contents.size())};
    }
};

/// Info files of the Trash that still name `item` (the freedesktop layout keeps one per item).
size_t infoFilesFor(const MovedItem& item) {
    namespace fs = std::filesystem;
    const fs::path info = fs::path(Trash::directory()) / "info";
    size_t count = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(info, ec))
        if (entry.path().stem() == lastPathComponent(item.trashPath)) ++count;
    return count;
}

} // namespace

TEST(HistoryPage, PutAllBackReturnsTheItemsAndRewritesTheRun) {
    Page page;
    const MovedItem a = page.trashed("Library/Caches/com.example.a", "aaaa");
    const MovedItem b = page.trashed("Library/Caches/com.example.b", "bbbbbbbb");
    ASSERT_FALSE(exists(a.originalPath));
    SweepRun run;
    run.scope = "items you picked";
    run.receipt.action = SweepSchedule::Action::clean;
    run.receipt.movedCount = 2;
    run.receipt.movedBytes = a.size + b.size;
    run.moved = {a, b};
    SweepHistory::store(run);
    page.open();
    ASSERT_EQ(page.history.runs().size(), 1u);
    EXPECT_EQ(textOf(page.view.get(), "totals"), "2 items \u00B7 0 KB");

    page.history.toggle(run.id);
    auto* restore = one<ui::Button>(page.view.get(), "restore");
    ASSERT_NE(restore, nullptr);
    EXPECT_EQ(restore->text(), "Put all 2 back");
    restore->click();
    ASSERT_TRUE(waitUntil([&] { return !page.history.isRestoring(); }));
    page.view->flush();

    EXPECT_EQ(readFile(a.originalPath + "/data.bin"), "aaaa");
    EXPECT_EQ(readFile(b.originalPath + "/data.bin"), "bbbbbbbb");
    EXPECT_FALSE(exists(a.trashPath));
    EXPECT_EQ(infoFilesFor(a) + infoFilesFor(b), 0u);
    const auto stored = SweepHistory::load();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored.front().receipt.movedCount, 0);
    EXPECT_TRUE(stored.front().moved.empty());
    auto* summary = one(page.view.get(), "restoreSummary");
    ASSERT_NE(summary, nullptr);
    EXPECT_EQ(summary->findChildren<ui::Text*>().front()->text(), "Put back 2 items \u00B7 0 KB");
    EXPECT_TRUE(named(page.view.get(), "problemLine").empty());
    EXPECT_EQ(one<ui::Button>(page.view.get(), "restore"), nullptr); // nothing left to put back
}

TEST(HistoryPage, ClearLogEmptiesTheLedger) {
    Page page;
    seedHistory(page.ctx);
    page.open();
    ASSERT_EQ(page.history.runs().size(), 2u);
    one<ui::Button>(page.view.get(), "clearLog")->click();
    ASSERT_TRUE(waitUntil([&] { return page.history.runs().empty(); }));
    page.view->flush();
    EXPECT_TRUE(page.history.runs().empty());
    EXPECT_TRUE(SweepHistory::load().empty());
    EXPECT_EQ(named(page.view.get(), "emptyLedger").size(), 1u);
    EXPECT_EQ(one(page.view.get(), "clearLog"), nullptr);
    EXPECT_EQ(one(page.view.get(), "totals"), nullptr);
}

TEST(HistoryPage, ARunCutShortOffersNoRestoreAndSaysWhy) {
    Page page;
    SweepRun run;
    run.scope = "items you picked";
    for (int i = 0; i < 5; ++i) run.moved.push_back(MovedItem{page.ctx / ("f" + std::to_string(i)), "/t", 1});
    run.hasDetail = false; // the history kept only the first items
    page.history.setRuns({run});
    page.history.toggle(run.id);
    page.view = std::make_unique<ui::HistoryView>(page.history, page.ctx.coordinator());
    page.view->flush();
    EXPECT_EQ(one(page.view.get(), "restore"), nullptr);
    EXPECT_NE(textOf(page.view.get(), "trimmedNote").find("trimmed"), std::string::npos);
}

TEST(HistoryPage, OneSnapshotShowsTheFirstMeasurementPanelAndTheSecondTheFigures) {
    Page page;
    page.ctx.finishScan(UiContext::sampleResult());
    page.open();
    EXPECT_EQ(named(page.view.get(), "firstMeasurement").size(), 1u);

    UiContext later;
    seedTrends({3});
    later.finishScan(UiContext::sampleResult());
    ui::HistoryView view(later.models().history, later.coordinator());
    EXPECT_TRUE(named(&view, "firstMeasurement").empty());
    EXPECT_EQ(named(&view, "deltaFigure").size(), 2u);
    EXPECT_NE(textOf(&view, "comparison").find(" \u00B7 only 2 measurements so far"), std::string::npos);
    view.trends()->setDays(90);
    EXPECT_EQ(view.trends()->days(), 90);
}

TEST(HistoryPage, ARunOpensAndClosesWithItsHeightEasing) {
    Page page;
    const MovedItem a = page.trashed("Library/Caches/com.example.a", "aaaa");
    SweepRun run;
    run.scope = "items you picked";
    run.receipt.movedCount = 1;
    run.moved = {a};
    SweepHistory::store(run);
    page.open();
    AnimationsOn animations;
    auto* header = one<ui::ClickArea>(page.view.get(), "runHeader");
    ASSERT_NE(header, nullptr);
    const int closed = page.view->card(run.id)->height();
    emit header->clicked();
    // Run just the start of the rebuilt card's unfolding, no timer yet.
    page.view->flush();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QWidget* card = page.view->card(run.id);
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(ui::HeightAnimation::running(card)) << "the run opened at once";
    EXPECT_LT(card->maximumHeight(), card->sizeHint().height());
    auto* unfolding = card->findChild<QVariantAnimation*>();
    ASSERT_NE(unfolding, nullptr);
    EXPECT_GT(unfolding->endValue().toInt(), closed + 30) << "the card measured its content before it was shown";
    ASSERT_TRUE(waitUntil([&] { return !ui::HeightAnimation::running(card); }, 2000));
    turn();
    EXPECT_GT(card->height(), closed + 30);
    // Closing folds the open card first; the run closes when the height is down.
    emit one<ui::ClickArea>(page.view.get(), "runHeader")->clicked();
    EXPECT_TRUE(ui::HeightAnimation::running(card));
    EXPECT_EQ(page.history.expanded().count(run.id), 1u);
    ASSERT_TRUE(waitUntil([&] { return page.history.expanded().count(run.id) == 0; }, 2000));
    page.view->flush();
    EXPECT_TRUE(waitUntil([&] { return page.view->card(run.id)->height() == closed; }, 2000))
        << page.view->card(run.id)->height() << " against " << closed;
}

namespace {

// How far a widget's painting, laid on white, stands out from the white.
long inkOnWhite(QWidget* w) {
    QImage image(w->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.drawPixmap(0, 0, w->grab());
    p.end();
    long total = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) total += 255 - qGray(image.pixel(x, y));
    return total;
}

} // namespace

// "Put all N back" on a run another process still moves would do nothing: it is drawn as a
// disabled button is, fainter than the same button enabled, and a click puts nothing back.
TEST(HistoryPage, PutBackOfARunStillBeingMovedLooksDisabledAndIgnoresClicks) {
    Page page;
    SweepRun run;
    run.receipt.action = SweepSchedule::Action::clean;
    run.finished = false;
    writeFile(page.ctx / "Library/Caches/stayed/data.bin", "x");
    run.moved.push_back(MovedItem{page.ctx / "Library/Caches/stayed", "", 1'000});
    run.recount();
    // The mover: another process holding the run's lock, which takes no lock of this one.
    // It holds it before it writes the run, as a mover does: the page's start-up tidy, on
    // its way meanwhile, would take a run written unlocked as cut short.
    makeDirs(RunLock::folderPath());
    LockHolder mover(RunLock::folderPath() + "/run-" + run.id.uuidString() + ".lock", LockHolder::How::waiting);
    ASSERT_TRUE(mover.holding());
    ASSERT_TRUE(SweepHistory::store(run));

    page.open();
    ASSERT_TRUE(page.history.isMoving(run.id));
    page.history.toggle(run.id);
    page.view->flush();
    auto* restore = one<ui::Button>(page.view.get(), "restore");
    ASSERT_NE(restore, nullptr);
    EXPECT_EQ(restore->text(), "Put all 1 back");
    EXPECT_FALSE(restore->isEnabled());
    ui::Button enabled(restore->text(), restore->style());
    enabled.resize(restore->size());
    EXPECT_LT(inkOnWhite(restore), inkOnWhite(&enabled) * 3 / 4);
    QTest::mouseClick(restore, Qt::LeftButton);
    restore->click();
    EXPECT_FALSE(page.history.restoring());
    EXPECT_FALSE(page.history.isRestoring());
}

namespace {

bool saysMoving(QWidget* root) {
    turn();
    for (auto* t : root->findChildren<ui::Text*>())
        if (t->text().contains(HistoryRules::kMovingNote)) return true;
    return false;
}

} // namespace

// The page stays open while another process moves a run: its count follows what moved, and
// when the run ends "still being moved" goes and "Put all N back" is enabled at once,
// without the page being left and opened again.
TEST(HistoryPage, AnOpenPageFollowsARunUntilItSettles) {
    Page page;
    const MovedItem a = page.trashed("Library/Caches/com.example.a", "aaaa");
    const MovedItem b = page.trashed("Library/Caches/com.example.b", "bbbbbbbb");
    SweepRun run;
    run.scope = "items you picked";
    run.receipt.action = SweepSchedule::Action::clean;
    run.finished = false;
    run.moved = {a};
    run.recount();
    makeDirs(RunLock::folderPath()); // locked before the run is written, as above
    LockHolder mover(RunLock::folderPath() + "/run-" + run.id.uuidString() + ".lock", LockHolder::How::waiting);
    ASSERT_TRUE(mover.holding());
    ASSERT_TRUE(SweepHistory::store(run));

    page.open();
    page.history.toggle(run.id);
    page.view->flush();
    ASSERT_TRUE(saysMoving(page.view.get()));
    auto* restore = one<ui::Button>(page.view.get(), "restore");
    ASSERT_NE(restore, nullptr);
    EXPECT_FALSE(restore->isEnabled());
    EXPECT_EQ(page.history.totalCount(), 1);

    run.moved = {a, b}; // the next batch is written down
    run.recount();
    ASSERT_TRUE(SweepHistory::store(run));
    EXPECT_TRUE(waitUntil([&] { return page.history.totalCount() == 2; }));

    run.finished = true; // the run ends, and its mover with it
    ASSERT_TRUE(SweepHistory::store(run));
    mover.release();
    EXPECT_TRUE(waitUntil([&] {
        auto* button = one<ui::Button>(page.view.get(), "restore");
        return !saysMoving(page.view.get()) && button && button->isEnabled() && button->text() == "Put all 2 back";
    }));
}
