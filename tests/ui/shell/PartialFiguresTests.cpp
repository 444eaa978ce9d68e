// Stopped amid Logs: every surface of its figures, window and reports, says partial; whole Caches does not.
#include <gtest/gtest.h>

#include <QApplication>

#include <algorithm>

#include "cli/ReportExporter.h"
#include "cli/ScanReport.h"
#include "ui/screens/CategoryDetailView.h"
#include "ui/screens/CategoryRowList.h"
#include "ui/screens/OverviewView.h"
#include "ui/screens/ScreenText.h"
#include "ui/screens/TreemapView.h"
#include "ui/shell/SidebarView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

TEST(PartialFigures, EverySurfaceMarksTheCutFolderAndOnlyIt) {
    test::UiContext ctx;
    ctx.beginScan();
    ctx.scan().hand("caches", test::sampleNode("/tmp/caches", 3'000'000'000, 12));
    auto logs = test::sampleNode("/tmp/logs", 0, 0);
    logs->children = {test::sampleNode("/tmp/logs/cut", 700'000'000, 2214), test::sampleNode("/tmp/logs/whole", 200'000'000, 40)};
    logs->children[0]->markCut();
    logs->rollUpTotals();
    ctx.scan().handOnStop("logs", logs);
    ASSERT_TRUE(test::waitUntil([&] { return ctx.coordinator().completedRoots() == 1; }));
    ctx.coordinator().cancel();
    ASSERT_TRUE(test::waitUntil([&] { return ctx.coordinator().result().categories.size() == 2; }));
    EXPECT_EQ(ctx.coordinator().completedRoots(), 1);
    SidebarView sidebar(ctx.models());
    OverviewView overview(ctx.models(), {});
    CategoryDetailView logsPage(ctx.coordinator(), ctx.desktop(), "logs"), cachesPage(ctx.coordinator(), ctx.desktop(), "caches");
    for (QWidget* w : std::initializer_list<QWidget*>{&sidebar, &overview, &logsPage, &cachesPage}) test::settle(w, {1100, 1400});
    auto tile = [](const TreemapView* map, const char* name) {
        const auto t = std::ranges::find_if(map->tiles(), [&](const auto& x) { return x.name == name; });
        return t == map->tiles().end() ? QString("no tile") : t->description();
    };
    const CategoryRowList* rows = logsPage.rowList(); // largest first: cut, whole
    const std::string text = HeadlessReport::scanReportText(ctx.coordinator().result());
    const auto line = [&](const std::string& start) { return QString::fromStdString(text.substr(text.find(start), 90)); };
    const QString report = QString::fromStdString(*HeadlessReport::scanReportJSON(ctx.coordinator().result()));
    const QString exported = QString::fromStdString(*ReportExporter::encode(ctx.coordinator().result()));
    const QString why = QString::fromStdString(ScreenText::partialSentence());
    struct Row { const char* surface; QString cut, whole, mark; };
    const Row surfaces[] = {
        {"sidebar row", sidebar.row("logs")->accessibleDescription(), sidebar.row("caches")->accessibleDescription(), why},
        {"overview tile", tile(overview.treemap(), "Logs"), tile(overview.treemap(), "Caches & Temp"), "· partial"},
        {"page figures", logsPage.filesText(), cachesPage.filesText(), "2254 · partial"},
        {"page line", logsPage.showsPartial() ? "shown" : "", cachesPage.showsPartial() ? "shown" : "", "shown"},
        {"page row", rows->toolTip(0), rows->toolTip(1), why},
        {"page tile", tile(logsPage.treemap(), "cut"), tile(logsPage.treemap(), "whole"), "· partial"},
        {"report row", line("  Logs"), line("  Caches"), "(partial"},
        {"report JSON", report.mid(report.indexOf("\"logs\"") - 200, 400), report.left(report.indexOf("\"logs\"") - 200),
         "\"partial\" : true"},
        {"exported JSON", exported.mid(exported.indexOf("/tmp/logs/cut") - 60, 80),
         exported.mid(exported.indexOf("/tmp/logs/whole") - 60, 80), "\"partial\" : true"},
    };
    for (const Row& row : surfaces) {
        SCOPED_TRACE(row.surface);
        EXPECT_TRUE(row.cut.contains(row.mark)) << row.cut.toStdString();
        EXPECT_FALSE(row.whole.contains(row.mark)) << row.whole.toStdString();
    }

    // A whole folder inside the cut category: its figure and file count are whole.
    ctx.coordinator().move({std::string("logs"), {}}, true);
    ctx.coordinator().drill(logs->children[1]);
    EXPECT_FALSE(logsPage.state().partial);
}
