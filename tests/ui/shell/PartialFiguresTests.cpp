// A scan stopped while a root was still being walked: that root's figures show, and every
// surface that shows them says they are partial; the roots measured whole say nothing.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/kit/Text.h"
#include "ui/screens/CategoryDetailView.h"
#include "ui/screens/CategoryRowList.h"
#include "ui/screens/OverviewView.h"
#include "ui/screens/ScreenText.h"
#include "ui/screens/TreemapView.h"
#include "ui/shell/SidebarView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

namespace {

// Caches measured whole before the stop; Logs cut short by it, in its "cut" folder.
struct StoppedScan {
    test::UiContext ctx;
    ScanNodePtr cutChild;
    bool ready = [this] {
        ctx.beginScan();
        ctx.scan().hand("caches", test::sampleNode("/tmp/caches", 3'000'000'000, 12));
        auto logs = test::sampleNode("/tmp/logs", 0, 0);
        cutChild = test::sampleNode("/tmp/logs/cut", 700'000'000, 2214);
        cutChild->markCut();
        logs->children = {cutChild, test::sampleNode("/tmp/logs/whole", 200'000'000, 40)};
        logs->rollUpTotals();
        ctx.scan().handOnStop("logs", logs);
        test::waitUntil([&] { return ctx.coordinator().completedRoots() == 1; });
        ctx.coordinator().cancel();
        return test::waitUntil([&] { return ctx.coordinator().result().categories.size() == 2; });
    }();
};

} // namespace

TEST(PartialFigures, EverySurfaceMarksTheCutFolderAndOnlyIt) {
    StoppedScan s;
    ASSERT_TRUE(s.ready);
    EXPECT_EQ(s.ctx.coordinator().completedRoots(), 1);
    const QString why = QString::fromStdString(ScreenText::partialSentence());

    SidebarView sidebar(s.ctx.models());
    test::settle(&sidebar, {244, 880});
    OverviewView overview(s.ctx.models(), {});
    test::settle(&overview, {1180, 1400});
    auto tile = [&](const std::string& id) -> const TreemapTile& {
        for (const auto& t : overview.treemap()->tiles())
            if (t.id == id) return t;
        throw std::runtime_error("no tile " + id);
    };
    s.ctx.coordinator().move({std::string("logs"), {}}, true);
    CategoryDetailView logsPage(s.ctx.coordinator(), s.ctx.desktop(), "logs");
    test::settle(&logsPage, {1100, 1400});
    CategoryDetailView cachesPage(s.ctx.coordinator(), s.ctx.desktop(), "caches");
    test::settle(&cachesPage, {1100, 1400});
    auto rowNamed = [&](const std::string& name) {
        const CategoryRowList* rows = logsPage.rowList();
        for (size_t i = 0; i < rows->rowCount(); ++i)
            if (CategoryPane::rowName(rows->row(i)) == name) return i;
        return rows->rowCount();
    };

    struct Row {
        const char* surface;
        std::function<QString()> partial; // what the cut figure says of itself
        std::function<QString()> whole;   // what a whole one says there
        QString marked;                   // found in the first, not in the second
    };
    const Row rows[] = {
        {"sidebar row", [&] { return sidebar.row("logs")->accessibleDescription(); },
         [&] { return sidebar.row("caches")->accessibleDescription(); }, why},
        {"sidebar overview row", [&] { return sidebar.row("")->tip(); }, [] { return QString(); }, why},
        {"overview tile", [&] { return tile("logs").description(); }, [&] { return tile("caches").description(); },
         "· partial"},
        {"page figures", [&] { return logsPage.filesText(); }, [&] { return cachesPage.filesText(); }, "· partial"},
        {"page line", [&] { return logsPage.showsPartial() ? QString("shown") : QString(); },
         [&] { return cachesPage.showsPartial() ? QString("shown") : QString(); }, "shown"},
        {"page row", [&] { return logsPage.rowList()->toolTip(rowNamed("cut")); },
         [&] { return logsPage.rowList()->toolTip(rowNamed("whole")); }, why},
        {"page tile", [&] { return logsPage.treemap()->tiles()[rowNamed("cut")].description(); },
         [&] { return logsPage.treemap()->tiles()[rowNamed("whole")].description(); }, "· partial"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.surface);
        EXPECT_TRUE(row.partial().contains(row.marked)) << row.partial().toStdString();
        EXPECT_FALSE(row.whole().contains(row.marked)) << row.whole().toStdString();
    }
    EXPECT_EQ(logsPage.filesText(), "2254 · partial");
    EXPECT_EQ(cachesPage.filesText(), "12");

    // Drilled into the whole folder of the cut category: its own figure is whole, the
    // category's file count beside it is not.
    s.ctx.coordinator().drill(s.ctx.coordinator().result().category("logs")->roots.front()->children.back());
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    EXPECT_TRUE(logsPage.showsPartial());
    EXPECT_FALSE(logsPage.state().partial);
    EXPECT_TRUE(logsPage.state().filesPartial);
}
