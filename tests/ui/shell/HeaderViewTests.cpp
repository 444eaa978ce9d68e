#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QImage>
#include <QToolTip>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <set>

#include "uisupport/UiContext.h"
#include "ui/kit/Button.h"
#include "ui/kit/CapacityBar.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/RollingText.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Text.h"
#include "ui/shell/HeaderView.h"
#include "ui/shell/MainMenu.h"
#include "ui/shell/NavigationControls.h"
#include "ui/shell/SidebarView.h"
#include "engine/Bytes.h"
#include "platform/FileEventRecorder.h"
#include "platform/FileEvents.h"
#include "platform/SerialQueue.h"
#include "ui/shell/HeaderText.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {
struct Header {
    test::UiContext& ctx;
    MainMenu menu{ctx.coordinator(), ctx.updates()};
    HeaderView view{ctx.models(), menu};
    explicit Header(test::UiContext& c) : ctx(c) { test::settle(&view, {1180, 140}); }
};
} // namespace

TEST(HeaderNumbers, IdleAndEmptyCancelledShowTheDashScanningFollowsTheLiveCount) {
    test::UiContext ctx;
    Header h(ctx);
    EXPECT_EQ(h.view.number()->text(), "—");
    EXPECT_FALSE(h.view.capacityBar()->values().hasScanned);
    EXPECT_EQ(h.view.statusText()->text(), "");
    EXPECT_EQ(h.view.actionButton()->text(), "Rescan");

    ctx.beginScan();
    EXPECT_EQ(h.view.actionButton()->text(), "Stop");
    EXPECT_TRUE(h.view.statusText()->text().startsWith("scanning "));
    ctx.coordinator().cancel();
    EXPECT_EQ(h.view.number()->text(), "—") << "cancelled before any category: as idle";

    ctx.beginScan();
    ctx.scan().hand("caches", test::sampleNode("/tmp/caches", 3'000'000'000, 12));
    ASSERT_TRUE(test::waitUntil([&] { return ctx.coordinator().scannedBytes() > 0 || !ctx.coordinator().result().categories.empty(); }));
    test::waitUntil([&] { return !ctx.coordinator().result().categories.empty(); });
    ctx.coordinator().cancel();
    // Cancelled with a partial result: its total, file count and duration.
    EXPECT_EQ(h.view.number()->text(), "3");
    EXPECT_EQ(h.view.unit()->text(), "GB");
    // Said as stopped, with the time it ran until the stop (the poll folded the root in
    // 120 ms or more after the start), never "0.0s".
    const QString line = h.view.statusText()->text();
    EXPECT_TRUE(line.startsWith("stopped · 12 files · ")) << line.toStdString();
    EXPECT_FALSE(line.endsWith(" 0.0s")) << line.toStdString();
    EXPECT_TRUE(h.view.statusText()->toolTip().contains("partial"));
}

TEST(HeaderNumbers, UsedSpaceNeverNegative) {
    test::UiContext ctx;
    ScanResult r = test::UiContext::sampleResult();
    r.volume = {100, 500, 500}; // available above total
    ctx.finishScan(r);
    Header h(ctx);
    EXPECT_EQ(h.view.capacityBar()->values().used, 0);
    EXPECT_EQ(h.view.capacityBar()->values().free, 500);
    EXPECT_TRUE(h.view.capacityBar()->values().hasScanned);
}

// Neither the home's volume nor the root file system could be read: the figure of the scan
// stands, the volume's figures are not measured, never a disk of 0 bytes.
TEST(HeaderNumbers, AVolumeNoOneCouldReadIsNotMeasuredBesideTheScansFigure) {
    for (const bool measured : {true, false}) {
        test::UiContext ctx;
        ScanResult r = test::UiContext::sampleResult();
        r.volume = {1'000'000'000, 400'000'000, 400'000'000};
        r.volume.measured = measured;
        ctx.finishScan(r);
        Header h(ctx);
        EXPECT_NE(h.view.number()->text(), "—");
        EXPECT_EQ(h.view.capacityBar()->values().volumeMeasured, measured);
        EXPECT_TRUE(h.view.capacityBar()->values().hasScanned);
    }
}

TEST(HeaderScope, PickingWholeDiskStartsItsScanAndPickingItAgainDoesNothing) {
    test::UiContext ctx;
    Header h(ctx);
    int starts = 0;
    QObject::connect(&ctx.coordinator(), &ScanCoordinator::phaseChanged, [&] {
        if (ctx.coordinator().phase() == ScanCoordinator::Phase::scanning) ++starts;
    });
    // The picker's second option is Whole Disk.
    emit h.view.scopePicker()->picked(1);
    EXPECT_EQ(ctx.coordinator().scope(), ScanScope::wholeDisk);
    EXPECT_EQ(starts, 1);
    emit h.view.scopePicker()->picked(1);
    EXPECT_EQ(starts, 1);
}

TEST(HeaderNavigation, UpButtonNamesTheEnclosingLevel) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    MainMenu menu(ctx.coordinator(), ctx.updates());
    NavigationControls nav(ctx.coordinator(), menu);
    test::settle(&nav, {300, 30});
    EXPECT_FALSE(nav.back()->isEnabled());
    EXPECT_FALSE(nav.up()->isVisible());
    ctx.coordinator().move({"caches", {}}, true);
    EXPECT_TRUE(nav.back()->isEnabled());
    EXPECT_FALSE(nav.forward()->isEnabled());
    EXPECT_TRUE(nav.up()->isVisible());
    EXPECT_EQ(nav.up()->accessibleName(), "Up to Overview");
    nav.up()->click();
    EXPECT_EQ(ctx.coordinator().selectedCategory(), std::nullopt);
    nav.back()->click();
    EXPECT_EQ(ctx.coordinator().selectedCategory(), "caches");
}

// At the window's minimum width a drilled crumb used to squeeze the capacity legend until its
// last figure was cut; the crumb now elides first.
TEST(HeaderLayout, TheCapacityLegendFitsAtTheMinimumWidthWhileDrilled) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    Header h(ctx);
    const ScanNodePtr root = ctx.coordinator().result().categories.front().roots.front();
    ctx.coordinator().move({ctx.coordinator().result().categories.front().category.id, {}}, true);
    ctx.coordinator().drill(root->children.front());
    for (int width : {1095, 1180}) {
        SCOPED_TRACE(width);
        test::settle(&h.view, {width, 140});
        CapacityBar* bar = h.view.capacityBar();
        EXPECT_GE(bar->width() + 0.5, bar->legendWidth());
        EXPECT_LE(bar->geometry().right(), h.view.width());
    }
}

// The scope picker stood at x 356, 450 and 466 on three pages, so a click aimed at one
// place pressed another: it stays put on every page, at every width, while the up button
// comes and goes (its name elides, or only its chevron remains in a narrow header).
TEST(HeaderLayout, TheScopePickerStaysInOnePlaceOnEveryPage) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    Header h(ctx);
    auto& c = ctx.coordinator();
    const std::string category = c.result().categories.front().category.id;
    const ScanNodePtr root = c.result().categories.front().roots.front();
    const std::vector<std::function<void()>> pages{
        [&] { c.move({std::nullopt, {}}, true); },
        [&] { c.move({category, {}}, true); },
        [&] { c.drill(root->children.front()); },
        [&] { c.move({"tool:history", {}}, true); },
    };
    for (int width : {716, 1095, 1122, 1400}) {
        SCOPED_TRACE(width);
        std::set<int> xs;
        for (const auto& page : pages) {
            page();
            test::settle(&h.view, {width, 140});
            xs.insert(h.view.scopePicker()->mapTo(&h.view, QPoint(0, 0)).x());
            EXPECT_GE(h.view.actionButton()->width(), h.view.actionButton()->sizeHint().width());
        }
        EXPECT_EQ(xs.size(), 1u) << *xs.begin() << " .. " << *xs.rbegin();
    }
}

namespace {
// A finished scan of one category whose only root is `root`, so live updates watch it.
void finishScanOf(test::UiContext& ctx, const std::string& root) {
    ScanResult r = test::UiContext::sampleResult();
    r.categories.resize(1);
    r.categories[0].roots = {test::sampleNode(root, 4096, 3)};
    ctx.finishScan(r);
}

// A scanned tree of five folders against a share of three watches, and its header.
struct PartLive {
    test::ScopedWatchShare share{3};
    test::TempDir tree;
    test::UiContext ctx;
    bool made = [this] {
        for (const char* folder : {"a/b", "a/c", "d"}) test::makeDirs(tree / folder);
        finishScanOf(ctx, tree.path());
        return true;
    }();
    Header h{ctx};
};
} // namespace

// Past the share of watches, the line below the status says how many folders live updates follow.
TEST(HeaderLiveStatus, LiveUpdatesPastTheWatchShareSayHowManyFoldersTheyFollow) {
    PartLive live;
    test::UiContext& ctx = live.ctx;
    Header& h = live.h;
    EXPECT_TRUE(test::waitUntil([&] { return h.view.coverageText()->text() == "live for 3 of 5 folders"; }))
        << h.view.coverageText()->text().toStdString() << "; watching " << ctx.coordinator().isWatching() << ", "
        << ctx.coordinator().watchedFolders() << " watched, " << ctx.coordinator().unwatchedFolders()
        << " not, share held " << WatchBudget::held();
    EXPECT_TRUE(h.view.coverageText()->isVisible());
    EXPECT_EQ(h.view.coverageText()->toolTip(),
              "Live updates follow 3 of 5 folders; a rescan shows changes below the rest.");
    EXPECT_TRUE(h.view.statusText()->text().startsWith("3 files · "));
    ctx.coordinator().setLiveUpdatesEnabled(false);
    EXPECT_FALSE(h.view.coverageText()->isVisible());
    EXPECT_TRUE(h.view.statusText()->text().startsWith("3 files · "));
}

// A live update used to turn the orange "live for N of M folders" into a green "updated
// just now" alone, though most of the tree was still unseen; and a tooltip already open kept
// the figure it opened with while the line moved on (490,603 against 491,022). Rows: what
// happens while the tooltip is open.
TEST(HeaderLiveStatus, ThePartLiveLineStaysWhateverTheStatusSaysAndItsTooltipFollowsIt) {
    struct Row {
        std::string made; // under the tree: a file, or a folder past the share
        QString status;   // how the status line starts
        QString figure;
    };
    for (const Row& row : {Row{"", "3 files · ", "3 of 5"}, Row{"grown", "updated just now", "3 of 5"},
                           Row{"made/", "3 files · ", "3 of 6"}}) {
        SCOPED_TRACE(row.made);
        PartLive live;
        const test::TempDir& tree = live.tree;
        Header& h = live.h;
        Text* line = h.view.coverageText();
        ASSERT_TRUE(test::waitUntil([&] { return line->text() == "live for 3 of 5 folders"; }));
        QToolTip::showText(line->mapToGlobal(QPoint(2, 2)), line->toolTip(), line);
        if (row.made == "made/") test::makeDirs(tree / row.made);
        else if (!row.made.empty()) test::writeFileOfSize(tree / row.made, 200'000);
        EXPECT_TRUE(test::waitUntil([&] {
            return line->text() == "live for " + row.figure + " folders" && h.view.statusText()->text().startsWith(row.status);
        }, 20'000)) << line->text().toStdString() << " / " << h.view.statusText()->text().toStdString();
        EXPECT_TRUE(line->isVisible());
        EXPECT_EQ(QToolTip::text().toStdString(),
                  ("Live updates follow " + row.figure + " folders; a rescan shows changes below the rest.").toStdString());
        QToolTip::hideText();
    }
}

// At every turn of the event loop, a figure short of the final one says "still counting", tooltip too.
TEST(HeaderLiveStatus, APartLiveCountStillUnderWaySaysSo) {
    test::ScopedWatchShare share{3};
    test::TempDir tree;
    for (int i = 0; i < 4000; ++i) test::makeDirs(tree / ("d" + std::to_string(i / 50) + "/e" + std::to_string(i)));
    test::UiContext ctx;
    finishScanOf(ctx, tree.path());
    Header h(ctx);
    Text* line = h.view.coverageText();
    const QString whole = "live for 3 of " + HeaderText::decimal(4081) + " folders";
    QString shortWithoutWord;
    EXPECT_TRUE(test::waitUntil([&] {
        if (!line->text().isEmpty() && line->text() != whole &&
            !(line->text().endsWith("+ · still counting") && line->toolTip().contains("still counting")))
            shortWithoutWord = line->text() + " / " + line->toolTip();
        return line->text() == whole;
    }, 30'000)) << line->text().toStdString();
    EXPECT_TRUE(shortWithoutWord.isEmpty()) << shortWithoutWord.toStdString();
    EXPECT_EQ(line->toolTip(), HeaderText::partlyWatchedSentence(3, 4078));
}

// At 1366 × 768 (a header 1,122 wide) the line used to be cut in its middle on Whole Disk
// ("live for 48,134 … 491,086 folders"); on its own line it is whole, even past a million.
TEST(HeaderLayout, ThePartLiveLineIsWholeAt1366) {
    test::UiContext ctx;
    Header h(ctx);
    Text* line = h.view.coverageText();
    for (const char* text : {"live for 48,134 of 491,086 folders", "live for 48,134 of 12,345,678 folders"}) {
        SCOPED_TRACE(text);
        line->setText(text);
        line->setVisible(true);
        test::settle(&h.view, {1366 - 244, 140});
        EXPECT_GE(line->width(), line->sizeHint().width());
        EXPECT_LE(line->mapTo(&h.view, QPoint(line->width(), 0)).x(), h.view.width());
        EXPECT_LE(line->mapTo(&h.view, QPoint(0, line->height())).y(), h.view.height());
    }
}

// The longer "still counting" line stays whole and inside, at 1366 as at the header's least width.
TEST(HeaderLayout, AStillCountingLineIsWholeAt1366) {
    test::UiContext ctx;
    Header h(ctx);
    Text* line = h.view.coverageText();
    h.view.refreshCoverage(HeaderText::liveCoverage(48'134, 12'345'678 - 48'134, false, true));
    ASSERT_TRUE(line->text().endsWith("still counting"));
    for (const int width : {1366 - 244, 716}) {
        SCOPED_TRACE(width);
        test::settle(&h.view, {width, 140});
        EXPECT_GE(line->width(), int(std::ceil(line->sizeHint().width() * 0.85)));
        EXPECT_LE(line->mapTo(&h.view, QPoint(line->width(), 0)).x(), h.view.width());
        EXPECT_LE(line->mapTo(&h.view, QPoint(0, line->height())).y(), h.view.height());
    }
}

// With no watch left at all the stream never starts; the header used to go on saying it
// watched for changes.
TEST(HeaderLiveStatus, LiveUpdatesWithNoWatchLeftSaySoInsteadOfWatching) {
    test::ScopedWatchShare share(1);
    test::TempDir tree, other;
    for (const char* folder : {"a/b", "d"}) test::makeDirs(tree / folder);
    SerialQueue queue("test.holder"); // outlives the stream that delivers on it
    auto holder = FileEventStream::create([](size_t, const std::vector<std::string>&) {}, {other.path()},
                                          FileEventStream::kEventIdSinceNow, 0.1, 0);
    holder->setDispatchQueue(&queue);
    ASSERT_TRUE(holder->start()); // takes the one watch of the share
    test::UiContext ctx;
    finishScanOf(ctx, tree.path());
    Header h(ctx);
    EXPECT_TRUE(test::waitUntil([&] { return h.view.coverageText()->text() == "not live"; }))
        << h.view.coverageText()->text().toStdString();
    EXPECT_EQ(h.view.coverageText()->toolTip(), HeaderText::notWatchingSentence());
    holder->stop();
    holder->invalidate();
    ctx.coordinator().setLiveUpdatesEnabled(false);
    EXPECT_FALSE(ctx.coordinator().watchesRanOut());
    EXPECT_FALSE(h.view.coverageText()->isVisible());
    EXPECT_TRUE(h.view.statusText()->text().startsWith("3 files · "));
}

// "scanning " with a deep path is wider than the action block; its start used to be cut off
// at the block's left edge ("anning …/d62/d137").
TEST(HeaderLayout, ALongStatusLineIsShortenedNotCutAtItsStart) {
    test::UiContext ctx;
    Header h(ctx);
    Text* status = h.view.statusText();
    status->setFont(Fonts::mono(9.5));
    for (const char* line : {"905 files · 0.0s", "scanning …e/tree13/d1/d8/d62/d137/d200"}) {
        SCOPED_TRACE(line);
        status->setText(line);
        test::settle(&h.view, {1095, 140});
        EXPECT_LE(status->mapTo(&h.view, QPoint(status->width(), 0)).x(), h.view.width());
        const QImage image = status->grab().toImage();
        const int background = qGray(image.pixel(image.width() - 1, 0));
        int edgeInk = 0;
        for (int y = 0; y < image.height(); ++y) edgeInk += std::abs(qGray(image.pixel(0, y)) - background) > 40;
        EXPECT_EQ(edgeInk, 0);
        // The symbol before the line stays beside it, not at the far edge of the block.
        EXPECT_LE(status->width(), int(QFontMetricsF(Fonts::mono(9.5)).horizontalAdvance(line)) + 2);
    }
}

// While its digits roll, every frame of the figure is whole (as wide as its text) and shows
// the figure the capacity legend shows at that moment, never one the legend has left.
TEST(HeaderNumbers, EveryFrameOfTheRollingFigureIsWholeAndShowsTheLegendsFigure) {
    test::UiContext ctx;
    Header h(ctx);
    ctx.beginScan();
    ctx.scan().progress(9'000'000);
    ASSERT_TRUE(test::waitUntil([&] { return h.view.number()->text() == "9"; }));
    test::AnimationsOn animations;
    struct PaintWatch : QObject {
        CapacityBar* bar;
        int frames = 0;
        QStringList wrong; // cut, or not the legend's figure
        explicit PaintWatch(CapacityBar* b) : bar(b) {}
        bool eventFilter(QObject* o, QEvent* e) override {
            auto* n = static_cast<Text*>(o);
            if (e->type() != QEvent::Paint || !++frames) return false;
            const auto legend = QString::fromStdString(Bytes::parts(bar->values().scanned).number);
            if (n->width() < n->sizeHint().width() || n->text() != legend)
                wrong << n->text() + " (legend " + legend + ")";
            return false;
        }
    } watch(h.view.capacityBar());
    h.view.number()->installEventFilter(&watch);
    // Grows, changes two digits, then shrinks into the next unit.
    for (int64_t count : {971'200'000, 975'300'000, 1'000'300'000}) {
        ctx.scan().progress(count - h.view.capacityBar()->values().scanned);
        ASSERT_TRUE(test::waitUntil([&] { return h.view.capacityBar()->values().scanned == count; }));
        test::waitUntil([&] { return h.view.number()->roll()->state() == QAbstractAnimation::Stopped; }, 3000);
    }
    EXPECT_GT(watch.frames, 3);
    EXPECT_TRUE(watch.wrong.isEmpty()) << watch.wrong.join(", ").toStdString();
}

// While a scan runs, the header's figure, the legend under the capacity bar and the sidebar's
// Overview row are one figure of one moment (they once read 735.3 MB, 894.6 MB and 58 MB).
TEST(HeaderNumbers, TheFigureTheLegendAndTheSidebarAgreeWhileScanning) {
    test::UiContext ctx;
    Header h(ctx);
    SidebarView sidebar(ctx.models());
    test::AnimationsOn animations;
    ctx.beginScan();
    ctx.scan().hand("caches", test::sampleNode("/tmp/caches", 58'000'000, 3));
    for (int64_t count : {735'300'000, 894'600'000}) {
        ctx.scan().progress(count - h.view.capacityBar()->values().scanned);
        ASSERT_TRUE(test::waitUntil([&] { return h.view.capacityBar()->values().scanned == count; }));
        EXPECT_EQ((h.view.number()->text() + " " + h.view.unit()->text()).toStdString(), Bytes::format(count));
        EXPECT_EQ(sidebar.row("")->model().size, count);
    }
}
