// The cleanup preview with a rule of a thousand folders: the list makes only the rows near
// the view wherever it is scrolled, and a move shows how far it has come, then its done page.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>

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
            for (const auto& [path, size] : paths) {
                outcomes.push_back({UUID::random(), path, size, CleanupOutcome::MovedToTrash{path + ".trashed"}});
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
