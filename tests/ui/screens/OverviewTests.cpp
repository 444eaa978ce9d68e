#include <gtest/gtest.h>

#include <QLayout>
#include <QMessageBox>
#include <QRegularExpression>

#include "cli/ReportExporter.h"
#include "uisupport/UiContext.h"
#include "ui/kit/Button.h"
#include "ui/kit/Text.h"
#include "ui/screens/CleanupRow.h"
#include "ui/screens/ExportFlow.h"
#include "ui/screens/OverviewText.h"
#include "ui/screens/OverviewView.h"
#include "ui/screens/SafeToCleanSection.h"
#include "ui/screens/TreemapView.h"

using namespace sorvel;
using namespace sorvel::ui;
using Phase = ScanCoordinator::Phase;

TEST(OverviewTiles, LabelAndBadgeThresholds) {
    const QSizeF minimum(74, 44);
    EXPECT_TRUE(TreemapView::showsLabel({74, 44}, minimum));
    EXPECT_FALSE(TreemapView::showsLabel({73.9, 44}, minimum));
    EXPECT_FALSE(TreemapView::showsLabel({74, 43.9}, minimum));
    EXPECT_TRUE(TreemapView::showsBadge({110, 130}));
    EXPECT_FALSE(TreemapView::showsBadge({130, 110}));
    int safe = 0;
    for (const auto& c : test::UiContext::sampleResult().categories) safe += OverviewText::carriesSafeBadge(c.category);
    EXPECT_EQ(safe, 4);
    for (const auto& c : test::UiContext::wholeDiskResult(3).categories) EXPECT_FALSE(OverviewText::carriesSafeBadge(c.category));
}

// A tile tall enough for its name but not for its size line used to paint the size cut off
// at the tile's bottom edge; the size is left out instead (the tooltip still carries it).
TEST(OverviewTiles, ASizeLineIsNeverCutAtTheTileEdge) {
    struct Case {
        int height;
        bool sizeShown;
    };
    for (const Case c : {Case{52, false}, Case{120, true}}) {
        SCOPED_TRACE(c.height);
        TreemapView map(QSizeF(74, 44));
        const TintColours tint{{Qt::white, Qt::white}, {Qt::black, Qt::black}, {Qt::red, Qt::red}};
        map.setTiles({TreemapTile{"t", "Trash", 405504, tint, std::nullopt, nullptr}});
        map.resize(300, c.height);
        const QImage image = map.grab().toImage();
        const QRectF face(2.5, 2.5, 300 - 5, c.height - 5);
        // Dark pixels below the name: the name line ends by y = 36 at the 13-point font.
        auto darkRowsFrom = [&](int top, int bottom) {
            int dark = 0;
            for (int y = top; y < bottom; ++y)
                for (int x = 16; x < 200; ++x)
                    if (qGray(image.pixel(x, y)) < 96) ++dark;
            return dark;
        };
        EXPECT_GT(darkRowsFrom(15, 34), 0); // the name is there either way
        const int bottom = int(face.bottom()) - 1;
        if (c.sizeShown) {
            EXPECT_GT(darkRowsFrom(38, bottom), 0);
        } else {
            EXPECT_EQ(darkRowsFrom(38, c.height), 0);
        }
    }
}

TEST(OverviewTiles, ClickOpensTheCategoryWithBackEnabled) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    OverviewView overview(ctx.models(), {});
    test::settle(&overview, {1180, 1400});
    auto* map = overview.treemap();
    ASSERT_TRUE(map->isVisible());
    const auto rects = map->rects();
    ASSERT_FALSE(rects.empty());
    const std::string id = map->tiles().front().id;
    map->tiles().front().onTap();
    EXPECT_EQ(ctx.coordinator().selectedCategory(), id);
    EXPECT_FALSE(ctx.coordinator().backStack().empty());
    // Hover survives a late leave of the previous tile.
    map->enterTile("a");
    map->enterTile("b");
    map->leaveTile("a");
    EXPECT_EQ(map->hovered(), "b");
}

TEST(OverviewPlaceholder, SaysWhatHappenedWhenNothingIsMeasured) {
    EXPECT_EQ(OverviewText::placeholderStatus(Phase::scanning), "Measuring…");
    EXPECT_EQ(OverviewText::placeholderStatus(Phase::cancelled), "Scan stopped — nothing was measured.");
    EXPECT_EQ(OverviewText::placeholderStatus(Phase::idle), "No scan yet");
    EXPECT_NE(OverviewText::placeholderStatus(Phase::done), "No scan yet");
    EXPECT_EQ(OverviewText::liveCapsule(5, 3), "measuring 5 of 5");
    test::UiContext ctx;
    ctx.finishScan({});
    OverviewView overview(ctx.models(), {});
    test::settle(&overview, {1180, 1000});
    EXPECT_TRUE(overview.placeholder()->isVisible());
    EXPECT_EQ(overview.placeholderStatus()->text(), OverviewText::placeholderStatus(Phase::done));
}

TEST(SafeToClean, DefaultsAndArithmetic) {
    test::UiContext ctx;
    ctx.beginScan();
    bool opened = false;
    SafeToCleanSection section(ctx.models(), [&] { opened = true; });
    EXPECT_EQ(section.emptyText()->text(), "Recommendations are worked out once the scan finishes.");
    EXPECT_FALSE(section.exportButton()->isVisible());
    ctx.recommendations = test::UiContext::sampleRecommendations();
    auto trash = std::find_if(ctx.recommendations.begin(), ctx.recommendations.end(), [](auto& i) { return i.id == "trash"; });
    trash->externalAction = "File manager → Empty Trash";
    trash->reportedSize = 3'600'000'000;
    trash->targets.clear();
    ctx.finishScan(test::UiContext::sampleResult());
    test::settle(&section, {1100, 800});
    // Safe items with targets and no external action are ticked by default.
    EXPECT_EQ(ctx.coordinator().selectedCleanupIDs(), (std::set<std::string>{"developer-junk", "user-caches"}));
    EXPECT_EQ(section.countText()->text(), "/ 2 selected");
    EXPECT_EQ(section.reviewButton()->text(), "Review 5.4 GB");
    // The Trash row cannot be ticked; the review item can.
    emit section.row("trash")->toggleSelection();
    EXPECT_EQ(ctx.coordinator().selectedCleanupIDs().count("trash"), 0u);
    emit section.row("logs")->toggleSelection();
    EXPECT_EQ(section.countText()->text(), "/ 3 selected");
    EXPECT_EQ(section.reviewButton()->text(), "Review 6.2 GB");
    ctx.coordinator().setSelectedCleanupIDs({});
    EXPECT_FALSE(section.reviewButton()->isEnabled());
    emit section.row("user-caches")->toggleSelection();
    section.reviewButton()->click();
    EXPECT_TRUE(opened);
    // Opening a row lists its paths and stays open across a refresh.
    emit section.row("user-caches")->toggleExpansion();
    EXPECT_EQ(section.row("user-caches")->listedTargetRows(), 2);
    ctx.coordinator().setSelectedCleanupIDs({});
    EXPECT_EQ(section.expanded().count("user-caches"), 1u);
}

TEST(SafeToClean, LongTargetListsStopAtFortyAndSayHowManyMore) {
    test::UiContext ctx;
    CleanupItem item = test::UiContext::sampleRecommendations().front();
    for (int n : {40, 41}) {
        item.targets.clear();
        for (int i = 0; i < n; ++i) item.targets.push_back({UUID::random(), "t", "/tmp/t" + std::to_string(i), 10, {}});
        CleanupRow row(ctx.desktop());
        row.setItem(item, false, true);
        EXPECT_EQ(row.listedTargetRows(), n == 40 ? 40 : 41) << n;
    }
}

TEST(ExportFlow, WritesTheProposedFileOrShowsTheAlert) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    QWidget parent;
    // Cancelled: nothing happens.
    EXPECT_EQ(ExportFlow::run(&parent, ctx.coordinator().result(), ctx.desktop()), nullptr);
    ASSERT_EQ(ctx.desktop().proposedNames.size(), 1u);
    const QString name = ctx.desktop().proposedNames.front();
    EXPECT_TRUE(QRegularExpression(R"(^sorvel-scan-\d{4}-\d{2}-\d{2}-\d{4}\.json$)").match(name).hasMatch()) << name.toStdString();
    EXPECT_TRUE(ctx.desktop().revealed.empty());

    const std::string path = ctx / name.toStdString();
    ctx.desktop().saveAnswer = path;
    EXPECT_EQ(ExportFlow::run(&parent, ctx.coordinator().result(), ctx.desktop()), nullptr);
    EXPECT_TRUE(test::exists(path));
    EXPECT_EQ(ctx.desktop().revealed, std::vector<std::string>{path});

    ctx.desktop().saveAnswer = ctx / "no-such-folder/report.json";
    QMessageBox* alert = ExportFlow::run(&parent, ctx.coordinator().result(), ctx.desktop());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Could not write the report");
    EXPECT_EQ(ctx.desktop().revealed.size(), 1u);
    alert->close();
}

TEST(OverviewNotes, CoverageOnlyForAFinishedWholeDiskScanSnapshotsWhenThereAreAny) {
    const auto notes = [](test::UiContext& ctx) {
        OverviewView overview(ctx.models(), {});
        return overview.footnotes()->layout()->count();
    };
    test::UiContext systemData;
    ScanResult r = test::UiContext::sampleResult();
    systemData.finishScan(r);
    EXPECT_EQ(notes(systemData), 2);
    test::UiContext withSnapshot;
    LocalSnapshot s;
    s.name = "com.apple.TimeMachine.2026-12-01-101500.local";
    s.date = dateFromUnixSeconds(1'796'112'900);
    r.snapshots = {s};
    r.volume.availableForImportantUsage = r.volume.availableCapacity + 5'000'000'000;
    withSnapshot.finishScan(r);
    EXPECT_EQ(notes(withSnapshot), 3);
    EXPECT_EQ(OverviewText::snapshotTitle(1), "1 local Time Machine snapshot");
    EXPECT_EQ(OverviewText::snapshotTitle(2), "2 local Time Machine snapshots");
    const QString body = OverviewText::snapshotBody(r);
    EXPECT_TRUE(body.contains(" Taken ")) << body.toStdString();
    EXPECT_TRUE(body.endsWith(" macOS reports 5 GB of purgeable space, most of which is usually snapshots.")) << body.toStdString();
    test::UiContext wholeDisk;
    wholeDisk.coordinator().setScope(ScanScope::wholeDisk);
    wholeDisk.finishScan(test::UiContext::wholeDiskResult(3));
    EXPECT_EQ(notes(wholeDisk), 3);
}

// A scan stopped with part of its roots measured: the overview says the figures are
// partial where the live count stood, and never that nothing worth cleaning was found.
TEST(OverviewStopped, AStoppedScanSaysItsFiguresArePartialAndFoundNothingYet) {
    struct Row {
        ScanScope scope;
        bool handRoot;     // a root was measured before the stop
        bool capsule;      // the stopped capsule shows
        int footnotes;
    };
    const Row rows[] = {
        {ScanScope::systemData, true, true, 2},
        {ScanScope::wholeDisk, true, true, 3},
        {ScanScope::systemData, false, false, 2},
    };
    for (const auto& row : rows) {
        test::UiContext ctx;
        ctx.coordinator().setScope(row.scope);
        ctx.beginScan();
        if (row.handRoot) {
            ctx.scan().hand(row.scope == ScanScope::wholeDisk ? "disk:/usr" : "caches",
                            test::sampleNode("/tmp/caches", 3'000'000'000, 12));
            ASSERT_TRUE(test::waitUntil([&] { return !ctx.coordinator().result().categories.empty(); }));
        }
        ctx.coordinator().cancel();
        OverviewView overview(ctx.models(), {});
        test::settle(&overview, {1180, 1400});
        EXPECT_EQ(overview.stoppedCapsule()->isVisible(), row.capsule);
        EXPECT_FALSE(overview.capsule()->isVisible());
        if (row.capsule) {
            EXPECT_TRUE(overview.stoppedText()->text().startsWith("stopped — partial, 1 of "));
        }
        const QString empty = overview.safeToClean()->emptyText()->text();
        EXPECT_NE(empty, "Nothing worth cleaning was found.");
        EXPECT_TRUE(empty.contains("stopped")) << empty.toStdString();
        EXPECT_EQ(overview.footnotes()->layout()->count(), row.footnotes);
    }
    EXPECT_TRUE(OverviewText::coverageTitle(test::UiContext::wholeDiskResult(1), true).endsWith(" accounted for so far"));
    // No used space measured: the sum is never set against "0 KB".
    ScanResult unread = test::UiContext::wholeDiskResult(1);
    unread.volume.measured = false;
    for (const bool partial : {false, true}) {
        const QString title = OverviewText::coverageTitle(unread, partial);
        EXPECT_FALSE(title.contains(" of ")) << title.toStdString();
        EXPECT_TRUE(title.endsWith("the disk's used space was not measured")) << title.toStdString();
    }
    EXPECT_EQ(SafeToCleanSection::emptyMessage(Phase::done), "Nothing worth cleaning was found.");
}
