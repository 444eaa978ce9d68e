// Stopped before Logs counted a byte: the sidebar, the overview's tiles and the category page
// say "not measured", never 0; Developer, cut after one root counted, keeps its figure, partial.
#include <gtest/gtest.h>

#include <QAccessible>

#include "engine/Bytes.h"
#include "ui/kit/RollingText.h"
#include "ui/screens/CategoryDetailView.h"
#include "ui/screens/OverviewView.h"
#include "ui/screens/TreemapView.h"
#include "ui/shell/HeaderView.h"
#include "ui/shell/MainMenu.h"
#include "ui/shell/SidebarView.h"
#include "uisupport/UiContext.h"

using namespace sorvel;
using namespace sorvel::ui;

TEST(NotMeasuredFigures, ACategoryCutBeforeItCountedSaysSoOnEverySurface) {
    const auto cutBeforeCounting = [](const std::string& path) {
        auto node = test::sampleNode(path, 0, 0);
        node->markCut();
        return node;
    };
    for (const bool anyCounted : {true, false}) {
        SCOPED_TRACE(anyCounted ? "beside categories that counted" : "stopped before any byte");
        test::UiContext ctx;
        ctx.beginScan();
        if (anyCounted) {
            ctx.scan().hand("caches", test::sampleNode("/tmp/caches", 3'000'000'000, 12));
            ctx.scan().hand("developer", test::sampleNode("/tmp/dev/a", 500'000'000, 40));
            ctx.scan().handOnStop("developer", cutBeforeCounting("/tmp/dev/b"));
            ASSERT_TRUE(test::waitUntil([&] { return ctx.coordinator().completedRoots() == 2; }));
        }
        ctx.scan().handOnStop("logs", cutBeforeCounting("/tmp/logs"));
        ctx.coordinator().cancel();
        ASSERT_TRUE(
            test::waitUntil([&] { return ctx.coordinator().result().categories.size() == (anyCounted ? 3u : 1u); }));
        SidebarView sidebar(ctx.models());
        OverviewView overview(ctx.models(), {});
        CategoryDetailView logsPage(ctx.coordinator(), ctx.desktop(), "logs");
        for (QWidget* w : std::initializer_list<QWidget*>{&sidebar, &overview, &logsPage})
            test::settle(w, {1100, 1400});

        const TreemapView* map = overview.treemap();
        QAccessibleInterface* tiles = QAccessible::queryAccessibleInterface(overview.treemap());
        for (size_t i = 0; i < map->tiles().size(); ++i) {
            const std::string& id = map->tiles()[i].id;
            SCOPED_TRACE(id);
            const QString expected = id == "logs" ? QString("not measured")
                                     : id == "developer"
                                         ? QString::fromStdString(Bytes::compact(500'000'000)) + " (partly read)"
                                         : QString::fromStdString(Bytes::compact(3'000'000'000));
            QAccessibleInterface* side = QAccessible::queryAccessibleInterface(sidebar.row(id));
            EXPECT_EQ(side->text(QAccessible::Value), expected);
            EXPECT_TRUE(side->text(QAccessible::Name).endsWith(", " + expected));
            // The tile reads the same, and is drawn: a tile that says nothing is no tile.
            const QString tile = tiles->child(int(i))->text(QAccessible::Value);
            EXPECT_EQ(tile == "not measured", id == "logs") << tile.toStdString();
            EXPECT_EQ(tile.endsWith("· partial"), id == "developer") << tile.toStdString();
            EXPECT_GT(map->rects()[i].width() * map->rects()[i].height(), 9.0);
            // Wide enough to say so in words, beside a category hundreds of times larger.
            if (id == "logs") {
                EXPECT_GE(std::min(map->rects()[i].width(), map->rects()[i].height()), 120.0);
            }
        }
        EXPECT_EQ(logsPage.headline(), "Not measured");
        EXPECT_EQ(sidebar.row("")->figureText() == "not measured", !anyCounted);
        // The header's total: a dash that says why, never a 0 B.
        MainMenu menu(ctx.coordinator(), ctx.updates());
        HeaderView header(ctx.models(), menu);
        test::settle(&header, {1100, 90});
        EXPECT_EQ(header.number()->text() == "\u2014", !anyCounted) << header.number()->text().toStdString();
        EXPECT_EQ(header.noFigureText()->isVisibleTo(&header), !anyCounted);
        if (!anyCounted) {
            EXPECT_EQ(header.noFigureText()->text(), "not measured");
        }
    }
}
