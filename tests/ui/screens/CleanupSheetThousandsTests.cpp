// The cleanup preview with a rule of a thousand folders: the list makes only the rows near
// the view, scrolls to any of them, keeps ticks and place, and a move shows how far it has
// come and ends on its done page.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>

#include <condition_variable>
#include <limits>
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
    std::vector<std::string> folders;
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
        item.title = "Bulk cache";
        for (int i = 0; i < kFolders; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "Library/Caches/bulk/f%05d", i);
            folders.push_back(ctx / name);
            test::writeFileOfSize(folders.back() + "/blob", 100);
            CleanupTarget t;
            t.name = name;
            t.path = folders.back();
            t.size = test::independentTotal(folders.back());
            item.targets.push_back(t);
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
            for (int i = 0; i < total; ++i) {
                CleanupOutcome o;
                o.path = paths[static_cast<size_t>(i)].path;
                o.size = paths[static_cast<size_t>(i)].size;
                o.result = CleanupOutcome::MovedToTrash{o.path + ".trashed"};
                outcomes.push_back(std::move(o));
                progress(i + 1, total);
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
        // The rows made lie one under another, in the list's order, without overlapping.
        int bottom = std::numeric_limits<int>::min();
        for (const auto& [index, widget] : list->made()) {
            EXPECT_GE(widget->y(), bottom) << row.fraction << " entry " << index;
            bottom = widget->y() + widget->height();
        }
    }
    delete sheet;
}

TEST(CleanupSheetThousands, ATickFarDownKeepsThePlaceAndTheCount) {
    Thousands t;
    QPointer<CleanupPreviewSheet> sheet = t.open();
    scrollTo(sheet, 1.0);
    const int bottom = sheet->list()->verticalScrollBar()->value();
    ReviewRow* last = nullptr;
    for (auto* row : sheet->rows())
        if (row->path() == sheet->state().outcomes().back().path) last = row;
    ASSERT_NE(last, nullptr);
    QTest::mouseClick(last->checkbox(), Qt::LeftButton);
    Thousands::settle();
    EXPECT_EQ(sheet->countText(), QString("%1 of %2 selected").arg(kFolders - 1).arg(kFolders));
    EXPECT_EQ(sheet->list()->verticalScrollBar()->value(), bottom);
    EXPECT_TRUE(madePaths(sheet).count(sheet->state().outcomes().back().path));
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
