// The cleanup preview with a rule of a thousand folders: the list makes only the rows near
// the view wherever it is scrolled, and a move shows how far it has come, then its done page.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <condition_variable>
#include <mutex>

#include "ui/kit/Button.h"
#include "ui/kit/LazyColumn.h"
#include "ui/screens/CleanupPreviewSheet.h"
#include "ui/screens/ReviewRow.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;
using test::waitUntil;
using Stage = CleanupSheetState::Stage;

namespace {

constexpr int kFolders = 1000;

/// `kFolders` cache folders under one ticked rule, dry-run for real, on a coordinator whose
/// moves wait for the gate, report half of their batch, wait for it again, then report every
/// folder moved (the moves themselves are the executor's, tested on their own).
struct Thousands {
    test::UiContext ctx;
    std::unique_ptr<ScanCoordinator> coordinator;
    struct Gate {
        std::mutex mutex;
        std::condition_variable changed;
        int opened = 0;
        void wait(int times) {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return opened >= times; });
        }
    };
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();

    Thousands() {
        CleanupItem item;
        item.id = "bulk";
        for (int i = 0; i < kFolders; ++i) {
            const std::string folder = ctx / ("Library/Caches/bulk/f" + std::to_string(i));
            test::writeFileOfSize(folder + "/blob", 100);
            item.targets.push_back({UUID::random(), "f", folder, test::independentTotal(folder), std::nullopt});
        }
        auto s = ScanCoordinator::Services::standard();
        s.scan = [](ScanControl&, ScanScope scope) {
            ScanResult r;
            r.scope = scope;
            return r;
        };
        s.recommend = [item](const ScanResult&) { return std::vector<CleanupItem>{item}; };
        s.dockerPath = [] { return std::optional<std::string>(); };
        s.runCleanup = [g = gate](const std::vector<CleanupExecutor::PathSize>& paths, CleanupExecutor::Mode mode,
                                  const CleanupPolicy& policy, const std::optional<CloudStatus>& cloud,
                                  const CleanupExecutor::Progress& progress) {
            if (mode != CleanupExecutor::Mode::moveToTrash) return CleanupExecutor::run(paths, mode, policy, cloud, progress);
            const int total = static_cast<int>(paths.size());
            g->wait(1);
            for (int i = 1; i <= total / 2; ++i) progress(i, total);
            g->wait(2);
            std::vector<CleanupOutcome> outcomes;
            for (const auto& p : paths) {
                outcomes.push_back({UUID::random(), p.path, p.size, CleanupOutcome::MovedToTrash{p.path + ".trashed"}});
                progress(static_cast<int>(outcomes.size()), total);
            }
            return outcomes;
        };
        coordinator = std::make_unique<ScanCoordinator>(s);
        coordinator->start();
        EXPECT_TRUE(waitUntil([&] { return coordinator->phase() == ScanCoordinator::Phase::done; }));
        coordinator->setSelectedCleanupIDs({"bulk"});
    }
    ~Thousands() {
        release();
        release();
    }
    void release() {
        std::lock_guard lock(gate->mutex);
        ++gate->opened;
        gate->changed.notify_all();
    }
    CleanupPreviewSheet* open() {
        auto* sheet = new CleanupPreviewSheet(*coordinator, ctx.desktop());
        sheet->open();
        EXPECT_TRUE(waitUntil([&] { return !sheet->state().isPreparing(); }, 60'000));
        settle();
        return sheet;
    }
    // Rows out of view are made a few per turn of the event loop.
    static void settle() {
        for (int i = 0; i < 60; ++i) QCoreApplication::processEvents();
    }
};

std::set<std::string> madePaths(const CleanupPreviewSheet* sheet) {
    std::set<std::string> paths;
    for (auto* row : sheet->rows()) paths.insert(row->path());
    return paths;
}

void scrollTo(CleanupPreviewSheet* sheet, double fraction) {
    QScrollBar* bar = sheet->list()->verticalScrollBar();
    bar->setValue(static_cast<int>(bar->maximum() * fraction));
    Thousands::settle();
}

} // namespace

TEST(CleanupSheetThousands, OnlyRowsNearTheViewAreMadeWhereverItIsScrolled) {
    Thousands t;
    QPointer<CleanupPreviewSheet> sheet = t.open();
    EXPECT_EQ(sheet->listedRows(), kFolders);
    EXPECT_EQ(sheet->countText(), QString("%1 of %1 selected").arg(kFolders));
    const auto& outcomes = sheet->state().outcomes();
    // Where the list is scrolled to, and an outcome far from there that must have no row.
    const struct {
        double fraction;
        size_t far;
    } table[] = {{0.0, kFolders - 1}, {1.0, 0}, {0.5, 0}, {0.5, kFolders - 1}, {0.0, kFolders / 2}};
    for (const auto& row : table) {
        scrollTo(sheet, row.fraction);
        const LazyColumn* list = sheet->list();
        // The entry under the middle of the view; entry 0 is the rule's head, so entry i is outcome i - 1.
        const int middle = list->verticalScrollBar()->value() + list->viewport()->height() / 2;
        int entry = 0;
        while (entry + 1 < list->count() && list->offsetOf(entry + 1) <= middle) ++entry;
        ASSERT_GE(entry, 1) << row.fraction;
        const auto made = madePaths(sheet);
        EXPECT_LE(made.size(), 40u) << row.fraction;
        EXPECT_TRUE(made.count(outcomes[static_cast<size_t>(entry - 1)].path)) << row.fraction;
        EXPECT_FALSE(made.count(outcomes[row.far].path)) << row.fraction;
    }
    delete sheet;
}

TEST(CleanupSheetThousands, AMoveShowsItsProgressThenTheDonePage) {
    Thousands t;
    QPointer<CleanupPreviewSheet> sheet = t.open();
    QTest::mouseClick(sheet->secondButton(), Qt::LeftButton);
    Thousands::settle();
    ASSERT_EQ(sheet->state().stage(), Stage::confirming);
    EXPECT_EQ(sheet->listedRows(), kFolders);
    QTest::mouseClick(sheet->secondButton(), Qt::LeftButton);
    ASSERT_TRUE(sheet->state().isWorking());
    // Held before its first move, then halfway: the footer counts against the whole run.
    ASSERT_TRUE(waitUntil([&] { return sheet->countText() == QString("0 of 1,000 moved"); }));
    t.release();
    // The run moves in batches: held halfway through its first.
    const QRegularExpression partway("^[1-9][0-9]* of 1,000 moved$");
    ASSERT_TRUE(waitUntil([&] { return partway.match(sheet->countText()).hasMatch(); })) << sheet->countText().toStdString();
    EXPECT_EQ(sheet->state().stage(), Stage::confirming);
    EXPECT_EQ(sheet->secondButton()->text(), QString::fromUtf8("Moving\u2026"));
    t.release();
    ASSERT_TRUE(waitUntil([&] { return sheet->state().stage() == Stage::done; }, 60'000));
    Thousands::settle();
    EXPECT_EQ(sheet->titleText(), "Moved to the Trash");
    EXPECT_EQ(sheet->countText(), "moved");
    EXPECT_EQ(sheet->state().movedCount(), kFolders);
    EXPECT_EQ(sheet->listedRows(), kFolders);
    EXPECT_LE(sheet->rows().size(), 40u);
    delete sheet;
}

namespace {

// The outcome whose row holds the focus; -1 when the focus is elsewhere.
int focusedRow(const CleanupPreviewSheet* sheet) {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (auto* row = qobject_cast<ReviewRow*>(w)) {
            const auto& outcomes = sheet->state().outcomes();
            for (size_t i = 0; i < outcomes.size(); ++i)
                if (outcomes[i].path == row->path()) return static_cast<int>(i);
        }
    return -1;
}

// The entry of the list holding the focus: 0 for the rule's head (its "None"), i + 1 for
// outcome i's row; -1 when the focus is outside the list.
int focusedEntry(const CleanupPreviewSheet* sheet) {
    const QWidget* f = QApplication::focusWidget();
    for (const auto& [index, widget] : sheet->list()->made())
        if (f && (widget == f || widget->isAncestorOf(f))) return index;
    return -1;
}

bool wholeInView(const LazyColumn* list, int entry) {
    const int top = list->offsetOf(entry) - list->verticalScrollBar()->value();
    for (const auto& [index, widget] : list->made())
        if (index == entry) return top >= 0 && top + widget->height() <= list->viewport()->height();
    return false;
}

void press(Qt::Key key) {
    QTest::keyClick(QApplication::focusWidget(), key);
    Thousands::settle();
}

} // namespace

// On a row, the list keys move the focus with the view: each key lands on the entry a list
// user expects (the rows, and the head's "None" at the top), wholly in view, and the focus
// never leaves the list for a button of the footer.
TEST(CleanupSheetThousands, ListKeysMoveTheFocusWithTheView) {
    Thousands t;
    QPointer<CleanupPreviewSheet> sheet = t.open();
    QApplication::setActiveWindow(sheet);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    LazyColumn* list = sheet->list();
    const int last = kFolders; // entry 0 is the head
    // Rows a page holds: rows are alike, so a page is the view over one row's pitch.
    const int pitch = list->offsetOf(3) - list->offsetOf(2);
    ASSERT_GT(pitch, 0);
    const int page = list->viewport()->height() / pitch;
    ASSERT_GT(page, 2);
    // Each key from where the one before left the focus; -1 expects about a page on or back.
    const struct {
        Qt::Key key;
        int expected;
        int pageStep; // with expected -1: +1 a page down, -1 a page up
    } table[] = {
        {Qt::Key_End, last, 0},         {Qt::Key_Down, last, 0},  {Qt::Key_Home, 0, 0},   {Qt::Key_Up, 0, 0},
        {Qt::Key_PageDown, -1, +1},     {Qt::Key_Down, -2, 0},    {Qt::Key_PageDown, -1, +1},
        {Qt::Key_PageUp, -1, -1},       {Qt::Key_Up, -3, 0},      {Qt::Key_End, last, 0},
        {Qt::Key_PageDown, last, 0},    {Qt::Key_PageUp, -1, -1}, {Qt::Key_Home, 0, 0},
        {Qt::Key_PageUp, 0, 0},
    };
    ASSERT_FALSE(sheet->rows().empty());
    sheet->rows().front()->checkbox()->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Up);
    ASSERT_EQ(focusedEntry(sheet), 0);
    int at = 0;
    for (const auto& row : table) {
        press(row.key);
        const int now = focusedEntry(sheet);
        SCOPED_TRACE(QTest::toString(QKeySequence(row.key)));
        ASSERT_GE(now, 0) << "the focus left the list for " << QApplication::focusWidget()->metaObject()->className();
        if (row.expected >= 0) EXPECT_EQ(now, row.expected);
        else if (row.expected == -1) EXPECT_NEAR(now, at + row.pageStep * page, 1) << "from " << at;
        else EXPECT_EQ(now, at + (row.expected == -2 ? 1 : -1)) << "Down and Up go on from where the page left it";
        EXPECT_TRUE(wholeInView(list, now)) << now;
        at = now;
    }
    EXPECT_EQ(sheet->state().stage(), Stage::review);
    delete sheet;
}

// A focused row scrolled far out of view by the wheel keeps the focus: Space ticks that row
// (it comes back into view), and never opens the confirm stage.
TEST(CleanupSheetThousands, AFocusedRowScrolledAwayKeepsTheFocus) {
    Thousands t;
    QPointer<CleanupPreviewSheet> sheet = t.open();
    QApplication::setActiveWindow(sheet);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    LazyColumn* list = sheet->list();
    sheet->rows().at(3)->checkbox()->setFocus(Qt::TabFocusReason);
    const int focused = focusedRow(sheet);
    ASSERT_GE(focused, 0);
    for (int notch = 0; notch < 400; ++notch) {
        const QPoint at = list->viewport()->rect().center();
        QWheelEvent wheel(at, list->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(list->viewport(), &wheel);
        if (notch % 20 == 0) Thousands::settle();
    }
    Thousands::settle();
    ASSERT_GT(list->verticalScrollBar()->value(), 20 * list->viewport()->height()) << "the wheel scrolled far";
    EXPECT_EQ(focusedRow(sheet), focused);
    press(Qt::Key_Space);
    EXPECT_EQ(sheet->state().stage(), Stage::review) << "Space opened the confirm stage";
    EXPECT_EQ(sheet->countText(), QString("%1 of %2 selected").arg(kFolders - 1).arg(kFolders));
    EXPECT_FALSE(sheet->state().isSelected(sheet->state().outcomes()[static_cast<size_t>(focused)]));
    EXPECT_EQ(focusedRow(sheet), focused) << "the rebuilt row has the focus back";
    press(Qt::Key_Space);
    EXPECT_TRUE(sheet->state().isSelected(sheet->state().outcomes()[static_cast<size_t>(focused)]));
    EXPECT_EQ(focusedRow(sheet), focused);
    delete sheet;
}

// A thousand rows are one Tab stop: from a row, "Move to Trash…" is a few presses away, and
// Backtab from the footer comes back to the row that had the focus.
TEST(CleanupSheetThousands, TabLeavesTheListForTheFooterInAFewPresses) {
    Thousands t;
    QPointer<CleanupPreviewSheet> sheet = t.open();
    QApplication::setActiveWindow(sheet);
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    const struct {
        double scrolled; // the list scrolled to before the row is focused
    } table[] = {{0.0}, {0.5}, {1.0}};
    for (const auto& row : table) {
        SCOPED_TRACE(row.scrolled);
        scrollTo(sheet, row.scrolled);
        ASSERT_FALSE(sheet->rows().empty());
        ReviewRow* start = sheet->rows().at(sheet->rows().size() / 2);
        start->checkbox()->setFocus(Qt::TabFocusReason);
        const int focused = focusedRow(sheet);
        ASSERT_GE(focused, 0);
        int presses = 0;
        while (QApplication::focusWidget() != sheet->secondButton() && presses < 8) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            ++presses;
        }
        EXPECT_EQ(QApplication::focusWidget(), sheet->secondButton()) << "Move to Trash\u2026 not reached";
        EXPECT_LE(presses, 4);
        while (focusedRow(sheet) < 0 && presses-- > 0) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        EXPECT_EQ(focusedRow(sheet), focused) << "Backtab came back to another row";
    }
    delete sheet;
}

// Back while the move runs: the review says the move is under way and how far it has come,
// never "Nothing has been moved."
TEST(CleanupSheetThousands, BackDuringAMoveSaysItIsUnderWay) {
    Thousands t;
    QPointer<CleanupPreviewSheet> sheet = t.open();
    EXPECT_TRUE(sheet->subtitleText().startsWith("Nothing has been moved.")) << "before any move";
    QTest::mouseClick(sheet->secondButton(), Qt::LeftButton);
    QTest::mouseClick(sheet->secondButton(), Qt::LeftButton);
    ASSERT_TRUE(sheet->state().isWorking());
    QTest::mouseClick(sheet->firstButton(), Qt::LeftButton); // Back
    ASSERT_EQ(sheet->state().stage(), Stage::review);
    EXPECT_EQ(sheet->subtitleText(),
              "The move to the Trash is under way \u2014 0 of 1000 items moved so far. What it moved is shown when it ends.");
    t.release();
    const QRegularExpression partway("^The move to the Trash is under way \u2014 [1-9][0-9]* of 1000 items moved so far\\.");
    ASSERT_TRUE(waitUntil([&] { return partway.match(sheet->subtitleText()).hasMatch(); }))
        << sheet->subtitleText().toStdString();
    EXPECT_FALSE(sheet->subtitleText().contains("Nothing has been moved"));
    t.release();
    ASSERT_TRUE(waitUntil([&] { return sheet->state().stage() == Stage::done; }, 60'000));
    EXPECT_FALSE(sheet->subtitleText().contains("under way"));
    delete sheet;
}
