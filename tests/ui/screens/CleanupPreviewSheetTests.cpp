// The cleanup preview on a fake home: real dry runs and real moves through the
// coordinator, the history record, the mends around moving and closing, and the focus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QTest>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>

#include "engine/Bytes.h"
#include "platform/Path.h"
#include "removal/SweepHistory.h"
#include "ui/kit/Button.h"
#include "ui/kit/LazyColumn.h"
#include "ui/screens/CleanupPreviewSheet.h"
#include "ui/screens/OverviewView.h"
#include "ui/screens/ReviewRow.h"
#include "ui/screens/SafeToCleanSection.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageHost.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;
using test::waitUntil;
using Stage = CleanupSheetState::Stage;

namespace {

CleanupTarget target(const std::string& path) {
    CleanupTarget t;
    t.name = lastPathComponent(path);
    t.path = path;
    t.size = test::independentTotal(path);
    return t;
}

CleanupItem item(const std::string& id, std::vector<CleanupTarget> targets) {
    CleanupItem i;
    i.id = id;
    i.title = "Title " + id;
    i.targets = std::move(targets);
    return i;
}

/// Holds real moves until released; dry runs pass straight through.
struct MoveGate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

/// Cache folders in the fake home (the context's), recommended by two rules and ticked,
/// on a coordinator of its own whose moves wait for the gate when asked to.
struct Prepared {
    test::UiContext ctx;
    std::string a1, a2, b1;
    std::shared_ptr<MoveGate> gate = std::make_shared<MoveGate>();
    std::unique_ptr<ScanCoordinator> coordinator;

    explicit Prepared(bool gated = false) {
        a1 = ctx / "Library/Caches/com.example.one";
        a2 = ctx / "Library/Caches/com.example.two";
        b1 = ctx / "Library/Caches/com.example.three";
        for (const auto& dir : {a1, a2, b1}) test::writeFileOfSize(dir + "/blob", 40'000);
        std::vector<CleanupItem> items = {item("user-caches", {target(a1), target(a2)}), item("logs", {target(b1)})};
        auto s = ScanCoordinator::Services::standard();
        s.scan = [](ScanControl&, ScanScope scope) {
            ScanResult r;
            r.scope = scope;
            return r;
        };
        s.recommend = [items](const ScanResult&) { return items; };
        s.dockerPath = [] { return std::optional<std::string>(); };
        auto g = gate;
        s.runCleanup = [g, gated](const std::vector<CleanupExecutor::PathSize>& paths, CleanupExecutor::Mode mode,
                                  const CleanupPolicy& policy, const std::optional<CloudStatus>& cloud,
                                  const CleanupExecutor::Progress& progress) {
            if (gated && mode == CleanupExecutor::Mode::moveToTrash) {
                std::unique_lock lock(g->mutex);
                g->changed.wait(lock, [&] { return g->open; });
            }
            return CleanupExecutor::run(paths, mode, policy, cloud, progress);
        };
        coordinator = std::make_unique<ScanCoordinator>(s);
        coordinator->start();
        EXPECT_TRUE(waitUntil([&] { return coordinator->phase() == ScanCoordinator::Phase::done; }));
        coordinator->setSelectedCleanupIDs({"user-caches", "logs"});
    }
    ~Prepared() { gate->release(); }

    CleanupPreviewSheet* openSheet() {
        auto* sheet = new CleanupPreviewSheet(*coordinator, ctx.desktop());
        sheet->open();
        // Rows are made within a time budget per turn: under load some come a turn later.
        EXPECT_TRUE(waitUntil([&] {
            return !sheet->state().isPreparing() && sheet->rows().size() == static_cast<size_t>(sheet->listedRows());
        }));
        QCoreApplication::processEvents();
        return sheet;
    }
};

ReviewRow* rowFor(CleanupPreviewSheet* sheet, const std::string& path) {
    for (auto* row : sheet->rows())
        if (row->path() == path) return row;
    return nullptr;
}

void click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

} // namespace

TEST(CleanupPreviewSheetFlow, DryRunUntickConfirmMoveAndRecord) {
    Prepared p;
    const size_t before = SweepHistory::load().size();
    QPointer<CleanupPreviewSheet> sheet = p.openSheet();
    EXPECT_EQ(sheet->titleText(), "Choose what to remove");
    EXPECT_EQ(sheet->groupTitles(), QStringList({"Title user-caches", "Title logs"}));
    EXPECT_EQ(sheet->countText(), "3 of 3 selected");

    ReviewRow* keep = rowFor(sheet, p.a2);
    ASSERT_NE(keep, nullptr);
    click(keep->checkbox());
    EXPECT_EQ(sheet->countText(), "2 of 3 selected");
    EXPECT_EQ(sheet->headerButton()->text(), "Select all");

    click(sheet->secondButton());
    ASSERT_EQ(sheet->state().stage(), Stage::confirming);
    EXPECT_EQ(sheet->titleText(), "Move 2 items to the Trash?");
    for (auto* row : sheet->rows()) EXPECT_FALSE(row->showsCheckbox());

    click(sheet->secondButton());
    ASSERT_TRUE(waitUntil([&] { return sheet && sheet->state().stage() == Stage::done; }));
    EXPECT_EQ(sheet->titleText(), "Moved to the Trash");
    EXPECT_EQ(sheet->countText(), "moved");
    EXPECT_FALSE(test::exists(p.a1));
    EXPECT_FALSE(test::exists(p.b1));
    EXPECT_TRUE(test::exists(p.a2 + "/blob")); // unticked: left where it was
    ASSERT_EQ(sheet->state().outcomes().size(), 2u);
    for (const auto& o : sheet->state().outcomes()) {
        ASSERT_TRUE(o.moved()) << o.path;
        const std::string inTrash = std::get<CleanupOutcome::MovedToTrash>(o.result).trashPath;
        EXPECT_TRUE(test::exists(inTrash + "/blob")) << inTrash;
        // The desktop's Trash keeps an info file beside each item in its files folder.
        const auto files = std::filesystem::path(inTrash).parent_path();
        if (files.filename() == "files") {
            EXPECT_TRUE(test::exists((files.parent_path() / "info" / (lastPathComponent(inTrash) + ".trashinfo")).string()));
        }
    }
    const auto runs = SweepHistory::load();
    ASSERT_EQ(runs.size(), before + 1);
    EXPECT_EQ(runs.front().trigger, SweepRun::Trigger::manual);
    EXPECT_EQ(runs.front().moved.size(), 2u);
    EXPECT_EQ(runs.front().scope, "items you picked");
    delete sheet;
}

// "Back" stays enabled while the move runs: the review comes back with its rows to tick
// (the move goes on), Escape there does not close the sheet, and once the move returns the
// sheet shows its outcomes on the done page wherever it is.
TEST(CleanupPreviewSheetFlow, BackDuringTheMoveReviewsAgainUntilTheMoveReturns) {
    enum class Back { button, escape };
    for (const Back how : {Back::button, Back::escape}) {
        SCOPED_TRACE(how == Back::button ? "Back" : "Escape");
        Prepared p(/*gated=*/true);
        QPointer<CleanupPreviewSheet> sheet = p.openSheet();
        click(sheet->secondButton());
        click(sheet->secondButton());
        ASSERT_TRUE(sheet->state().isWorking());
        EXPECT_EQ(sheet->secondButton()->text(), QString::fromUtf8("Moving\u2026"));
        EXPECT_FALSE(sheet->secondButton()->isEnabled());
        EXPECT_TRUE(sheet->firstButton()->isEnabled());
        EXPECT_EQ(sheet->firstButton()->text(), "Back");

        if (how == Back::button) click(sheet->firstButton());
        else QTest::keyClick(sheet, Qt::Key_Escape);
        ASSERT_EQ(sheet->state().stage(), Stage::review);
        EXPECT_EQ(sheet->titleText(), "Choose what to remove");
        EXPECT_EQ(sheet->countText(), "3 of 3 selected");
        // Rows are made within a time budget per turn: under load some come a turn later.
        ASSERT_TRUE(waitUntil([&] { return sheet->rows().size() == 3u; }));
        for (auto* row : sheet->rows()) EXPECT_TRUE(row->showsCheckbox()) << row->path();
        click(rowFor(sheet, p.a2)->checkbox());
        EXPECT_EQ(sheet->countText(), "2 of 3 selected");
        ASSERT_TRUE(waitUntil([&] { return rowFor(sheet, p.a2) && rowFor(sheet, p.a2)->checkbox(); }));
        EXPECT_FALSE(rowFor(sheet, p.a2)->checkbox()->isChecked());
        QTest::keyClick(sheet, Qt::Key_Escape);
        QCoreApplication::processEvents();
        ASSERT_FALSE(sheet.isNull());
        EXPECT_TRUE(sheet->isVisible()) << "Escape closed the sheet during the move";
        click(sheet->secondButton()); // "Move to Trash…" shows the move still running
        EXPECT_EQ(sheet->state().stage(), Stage::confirming);
        EXPECT_FALSE(sheet->secondButton()->isEnabled());
        click(sheet->firstButton());
        EXPECT_EQ(sheet->state().stage(), Stage::review);

        p.gate->release();
        ASSERT_TRUE(waitUntil([&] { return sheet->state().stage() == Stage::done; }));
        EXPECT_EQ(sheet->state().movedCount(), 3) << "the move went on with what it was given";
        EXPECT_EQ(sheet->titleText(), "Moved to the Trash");
        EXPECT_FALSE(test::exists(p.a2)) << "unticked after Back, but already being moved";
        for (auto* row : sheet->rows()) EXPECT_FALSE(row->showsCheckbox()) << row->path();
        delete sheet;
    }
}

TEST(CleanupPreviewSheetFlow, ATargetGoneBeforeTheMoveIsNotReportedAsMoved) {
    Prepared p;
    QPointer<CleanupPreviewSheet> sheet = p.openSheet();
    click(sheet->headerButton()); // Deselect all
    click(rowFor(sheet, p.b1)->checkbox());
    std::filesystem::remove_all(p.b1);
    click(sheet->secondButton());
    click(sheet->secondButton());
    ASSERT_TRUE(waitUntil([&] { return sheet->state().stage() == Stage::done; }));
    EXPECT_EQ(sheet->titleText(), "Nothing was moved");
    EXPECT_EQ(sheet->amountText().toStdString(), Bytes::format(0));
    EXPECT_FALSE(sheet->subtitleText().contains("still recoverable"));
    ASSERT_EQ(sheet->rows().size(), 1u);
    EXPECT_FALSE(sheet->rows()[0]->showsCheckbox());
    delete sheet;
}

// The window's own close button during a move acts as "Back" does: the sheet stays and
// shows the move's result. Another sheet opened meanwhile offers none of the items being
// moved: they are listed as already being moved, and nothing can be ticked.
TEST(CleanupPreviewSheetFlow, ClosingDuringTheMoveKeepsTheSheetAndTheItemsAreNotOfferedAgain) {
    Prepared p(/*gated=*/true);
    const size_t before = SweepHistory::load().size();
    QPointer<CleanupPreviewSheet> sheet = p.openSheet();
    click(sheet->secondButton());
    click(sheet->secondButton());
    ASSERT_TRUE(sheet->state().isWorking());
    EXPECT_FALSE(sheet->close()); // the window's own close button
    QCoreApplication::processEvents();
    ASSERT_FALSE(sheet.isNull());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->state().stage(), Stage::review);
    EXPECT_FALSE(sheet->close()) << "closing the review the move went back to";
    QCoreApplication::processEvents();
    ASSERT_FALSE(sheet.isNull());
    EXPECT_TRUE(sheet->isVisible());

    QPointer<CleanupPreviewSheet> again = p.openSheet();
    ASSERT_EQ(again->rows().size(), 3u);
    for (auto* row : again->rows()) EXPECT_FALSE(row->showsCheckbox()) << row->path();
    EXPECT_EQ(again->countText(), "0 of 0 selected");
    EXPECT_TRUE(again->subtitleText().contains("3 items were refused")) << again->subtitleText().toStdString();
    ASSERT_EQ(again->state().refused().size(), 3u);
    for (const auto* refused : again->state().refused())
        EXPECT_EQ(refused->refusal()->description(), "already being moved to the Trash") << refused->path;
    EXPECT_FALSE(again->secondButton()->isEnabled());
    delete again;

    p.gate->release();
    ASSERT_TRUE(waitUntil([&] { return sheet->state().stage() == Stage::done; }));
    EXPECT_EQ(sheet->state().movedCount(), 3);
    EXPECT_EQ(sheet->titleText(), "Moved to the Trash");
    ASSERT_TRUE(waitUntil([&] { return SweepHistory::load().size() == before + 1 && SweepHistory::load()[0].finished; }));
    EXPECT_EQ(SweepHistory::load().front().moved.size(), 3u);
    EXPECT_FALSE(test::exists(p.a1));
    EXPECT_TRUE(sheet->close()); // once done, it closes
}

TEST(CleanupPreviewSheetFlow, CopyPathsAndOpenTrashGoThroughTheDesktop) {
    Prepared p;
    QPointer<CleanupPreviewSheet> sheet = p.openSheet();
    click(rowFor(sheet, p.a1)->checkbox());
    click(sheet->copyButton());
    ASSERT_EQ(p.ctx.desktop().copied.size(), 1u);
    EXPECT_EQ(p.ctx.desktop().copied[0].toStdString(), p.a2 + "\n" + p.b1);
    EXPECT_TRUE(sheet->openTrashButton()->isHidden());
    delete sheet;
}

TEST(CleanupPreviewSheetFlow, TheOverviewsReviewButtonOpensTheSheetOverTheWindow) {
    test::UiContext ctx;
    const std::string dir = ctx / "Library/Caches/com.example.one";
    test::writeFileOfSize(dir + "/blob", 20'000);
    ctx.recommendations = {item("user-caches", {target(dir)})};
    ctx.finishScan(test::UiContext::sampleResult());
    ASSERT_EQ(ctx.coordinator().selectedCleanupIDs(), std::set<std::string>{"user-caches"});
    ui::MainWindow window(ctx.models());
    test::settle(&window, QSize(1440, 980));
    auto* overview = qobject_cast<ui::OverviewView*>(window.pageHost().pageWidget());
    ASSERT_NE(overview, nullptr);
    click(overview->safeToClean()->reviewButton());
    CleanupPreviewSheet* sheet = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        sheet = window.findChild<CleanupPreviewSheet*>();
        return sheet && !sheet->state().isPreparing();
    }));
    EXPECT_TRUE(sheet->isModal() || sheet->windowModality() == Qt::WindowModal);
    EXPECT_EQ(sheet->countText(), "1 of 1 selected");
}

TEST(CleanupPreviewSheetFlow, RowsStayAsDryRunWhenALiveUpdateChangesTheRecommendations) {
    Prepared p;
    QPointer<CleanupPreviewSheet> sheet = p.openSheet();
    const QStringList groups = sheet->groupTitles();
    std::vector<std::string> order;
    for (auto* row : sheet->rows()) order.push_back(row->path());
    ASSERT_EQ(order.size(), 3u);
    // A live update dropped one recommendation; the coordinator keeps only what is left.
    p.coordinator->setSelectedCleanupIDs({"logs"});
    click(rowFor(sheet, p.b1)->checkbox());
    EXPECT_EQ(sheet->groupTitles(), groups) << "rows were regrouped under the pointer";
    std::vector<std::string> after;
    for (auto* row : sheet->rows()) after.push_back(row->path());
    EXPECT_EQ(after, order);
    EXPECT_EQ(sheet->countText(), "2 of 3 selected");
    // Confirming shows only the two that will move.
    click(sheet->secondButton());
    ASSERT_EQ(sheet->state().stage(), Stage::confirming);
    std::vector<std::string> listed;
    for (auto* row : sheet->rows()) listed.push_back(row->path());
    EXPECT_EQ(listed, (std::vector<std::string>{p.a1, p.a2}));
    delete sheet;
}

// From the keyboard the focus stays on what was acted on; each stage focuses its main button;
// Return on the confirm button moves nothing.
TEST(CleanupPreviewSheetFocus, TicksKeepTheFocusAndEachStageFocusesItsMainButton) {
    Prepared p;
    QPointer<CleanupPreviewSheet> sheet = p.openSheet();
    QApplication::setActiveWindow(sheet);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == sheet->secondButton(); })) << "review";

    // Space on a row's box: the rebuilt row's box has the focus and its ring.
    rowFor(sheet, p.a2)->checkbox()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return sheet->countText() == "2 of 3 selected"; }));
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == rowFor(sheet, p.a2)->checkbox(); }));
    EXPECT_TRUE(test::ringFitsNow(rowFor(sheet, p.a2)->checkbox()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(QApplication::focusWidget(), rowFor(sheet, p.a1)->checkbox()) << "Up goes to the row above";
    // The list is one Tab stop: Backtab leaves it for the control before it, and Tab comes
    // back to the row that had the focus.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_FALSE(sheet->list()->isAncestorOf(QApplication::focusWidget())) << "Backtab stayed in the list";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), rowFor(sheet, p.a1)->checkbox()) << "Tab came back to another row";

    // A group's "All" turns into "None" under the focus.
    auto* group = sheet->findChild<QAbstractButton*>("group Title user-caches");
    ASSERT_NE(group, nullptr);
    group->setFocus(Qt::TabFocusReason);
    QTest::keyClick(group, Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return sheet->countText() == "3 of 3 selected"; }));
    EXPECT_TRUE(waitUntil([&] {
        auto* now = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        return now && now->objectName() == "group Title user-caches" && now->text() == "None";
    }));

    sheet->secondButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(sheet->secondButton(), Qt::Key_Space);
    ASSERT_EQ(sheet->state().stage(), Stage::confirming);
    // The step that moves starts on "Back", never on the button that moves.
    EXPECT_EQ(QApplication::focusWidget(), sheet->firstButton()) << "confirming";
    sheet->secondButton()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(sheet->secondButton(), Qt::Key_Return);
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    EXPECT_TRUE(sheet->state().stage() == Stage::confirming && !sheet->state().isWorking())
        << "Return started the move";

    QTest::keyClick(sheet->secondButton(), Qt::Key_Space);
    ASSERT_TRUE(waitUntil([&] { return sheet->state().stage() == Stage::done; }));
    EXPECT_TRUE(waitUntil([&] { return QApplication::focusWidget() == sheet->secondButton(); })) << "done";
    QCoreApplication::processEvents();
    EXPECT_TRUE(test::ringFitsNow(sheet->secondButton())) << "done: the ring follows the button's new width";
    delete sheet;
}

// The done stage says so, with the reason, when the run could not be written down: then
// nothing moved, as nothing may that History could not put back.
TEST(CleanupPreviewSheetFlow, AHistoryThatCouldNotBeWrittenIsShownWhenDone) {
    // Written; not writable (its folder lies below a plain file) or a folder in the history
    // file's place: a move that could record itself nowhere does not start, and the sheet
    // says why.
    enum class History { written, unwritable, folderInPlace };
    for (const History history : {History::written, History::unwritable, History::folderInPlace}) {
        SCOPED_TRACE(history == History::written ? "history written"
                     : history == History::unwritable ? "history not written" : "a folder in its place");
        Prepared p;
        std::optional<test::UnwritableSettings> unwritable;
        if (history == History::unwritable) unwritable.emplace();
        if (history == History::folderInPlace) test::makeDirs(SweepHistory::filePath());
        QPointer<CleanupPreviewSheet> sheet = p.openSheet();
        click(sheet->secondButton());
        click(sheet->secondButton());
        ASSERT_TRUE(waitUntil([&] { return sheet && sheet->state().stage() == Stage::done; }));
        EXPECT_EQ(test::exists(p.a1), history != History::written);
        const QString error = sheet->saveErrorText();
        switch (history) {
        case History::written: EXPECT_TRUE(error.isEmpty()) << error.toStdString(); break;
        case History::unwritable:
            EXPECT_TRUE(error.startsWith("Sorvel could not save this run to its history") &&
                        error.contains(QString::fromUtf8(std::strerror(ENOTDIR))) &&
                        error.contains("so nothing was moved"))
                << error.toStdString();
            break;
        case History::folderInPlace:
            EXPECT_EQ(error.toStdString(), SweepHistory::notAFile(true).value_or("")) << error.toStdString();
            break;
        }
        delete sheet;
    }
}
