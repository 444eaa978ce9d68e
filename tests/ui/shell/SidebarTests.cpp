#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>

#include "uisupport/UiContext.h"
#include "ui/kit/Text.h"
#include "ui/shell/SidebarView.h"

using namespace sorvel;
using namespace sorvel::ui;

TEST(SidebarRows, BeforeAnyScanOnlyOverviewSelectedAtZero) {
    test::UiContext ctx;
    SidebarView sidebar(ctx.models());
    test::settle(&sidebar, {244, 880});
    auto* overview = sidebar.row("");
    EXPECT_EQ(overview->model().size, 0);
    EXPECT_TRUE(overview->model().selected);
    EXPECT_EQ(sidebar.row("caches"), nullptr);
    // A tool page opened on a detail highlights no row.
    ctx.coordinator().show(Tool::apps, std::string("/opt/Editor.app"));
    EXPECT_FALSE(sidebar.row("tool:apps")->model().selected);
    EXPECT_FALSE(overview->model().selected);
    ctx.coordinator().show(Tool::apps);
    EXPECT_TRUE(sidebar.row("tool:apps")->model().selected);
}

TEST(SidebarRows, LockedOnlyWhenUnreadableAndEmptyAndOrderedBySize) {
    test::UiContext ctx;
    ScanResult r = test::UiContext::sampleResult();
    r.categories[0].roots[0]->accessDenied = true; // caches: readable size stays
    r.categories[4].roots[0]->accessDenied = true; // mail: nothing measured
    r.categories[4].roots[0]->size = 0;
    ctx.finishScan(r);
    SidebarView sidebar(ctx.models());
    test::settle(&sidebar, {244, 880});
    const auto cachesID = r.categories[0].category.id;
    const auto mailID = r.categories[4].category.id;
    EXPECT_FALSE(sidebar.row(cachesID)->model().locked);
    EXPECT_TRUE(sidebar.row(mailID)->model().locked);
    // The same rows survive a refresh: a re-selection does not rebuild them.
    SidebarRow* before = sidebar.row(cachesID);
    ctx.coordinator().move({cachesID, {}}, true);
    EXPECT_EQ(sidebar.row(cachesID), before);
    EXPECT_TRUE(before->model().selected);
    // Tapping the selected row at its top level records nothing.
    const size_t back = ctx.coordinator().backStack().size();
    emit before->clicked();
    EXPECT_EQ(ctx.coordinator().backStack().size(), back);
}

TEST(SidebarRows, MeasuringLineOnlyWhileScanningWithoutCategories) {
    test::UiContext ctx;
    SidebarView sidebar(ctx.models());
    test::settle(&sidebar, {244, 880});
    EXPECT_FALSE(sidebar.measuringLine()->isVisible()) << "idle";
    ctx.beginScan();
    EXPECT_TRUE(sidebar.measuringLine()->isVisible());
    ctx.scan().hand("caches", test::sampleNode("/tmp/c", 1'500'000'000));
    ASSERT_TRUE(test::waitUntil([&] { return sidebar.row("caches") != nullptr; }));
    EXPECT_FALSE(sidebar.measuringLine()->isVisible()) << "gone with the first category";
    EXPECT_EQ(sidebar.row("caches")->model().size, 1'500'000'000);
}

// From the keyboard: Down and Up walk the rows in order, Return opens the focused one.
TEST(SidebarKeyboard, ArrowsWalkTheRowsAndReturnOpensOne) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    SidebarView sidebar(ctx.models());
    test::settle(&sidebar, {244, 880});
    QApplication::setActiveWindow(&sidebar);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sidebar));
    ASSERT_TRUE(test::waitUntil([&] { return sidebar.row("caches") != nullptr; }));
    auto* overview = sidebar.row("");
    overview->setFocus(Qt::TabFocusReason);
    QTest::keyClick(overview, Qt::Key_Down);
    auto* second = qobject_cast<SidebarRow*>(QApplication::focusWidget());
    ASSERT_TRUE(second && second != overview);
    EXPECT_GT(second->mapTo(&sidebar, QPoint()).y(), overview->mapTo(&sidebar, QPoint()).y());
    QTest::keyClick(second, Qt::Key_Return);
    EXPECT_TRUE(second->model().selected);
    EXPECT_FALSE(overview->model().selected);
    QTest::keyClick(second, Qt::Key_Up);
    EXPECT_EQ(QApplication::focusWidget(), overview);
    QTest::keyClick(overview, Qt::Key_Space);
    EXPECT_TRUE(overview->model().selected);
}

// The rows are one stop of Tab, as a list is: Tab enters at the selected row and the next
// Tab leaves the sidebar; after the arrows, Tab comes back to the row they reached.
TEST(SidebarKeyboard, TheRowsAreOneTabStopAndArrowsMoveInside) {
    test::UiContext ctx;
    ctx.finishScan(test::UiContext::sampleResult());
    QWidget host;
    auto* column = new QVBoxLayout(&host);
    auto* before = new QPushButton("before", &host);
    auto* sidebar = new SidebarView(ctx.models(), &host);
    auto* after = new QPushButton("after", &host);
    for (QWidget* w : std::initializer_list<QWidget*>{before, sidebar, after}) column->addWidget(w);
    test::settle(&host, {244, 1000});
    QApplication::setActiveWindow(&host);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&host));
    ASSERT_TRUE(test::waitUntil([&] { return sidebar->row("caches") != nullptr; }));
    const auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        return QApplication::focusWidget();
    };
    const auto tab = [&](bool back = false) { return press(Qt::Key_Tab, back ? Qt::ShiftModifier : Qt::NoModifier); };

    before->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(tab(), sidebar->row("")) << "enters at the selected row";
    EXPECT_EQ(tab(), after) << "one Tab leaves the rows";
    EXPECT_EQ(tab(true), sidebar->row(""));
    EXPECT_EQ(press(Qt::Key_End), sidebar->row("tool:history"));
    QWidget* reached = press(Qt::Key_Up);
    EXPECT_EQ(reached, sidebar->row("tool:duplicates"));
    EXPECT_EQ(tab(), after);
    EXPECT_EQ(tab(true), reached) << "Tab comes back to the row the arrows reached";
    EXPECT_EQ(press(Qt::Key_Home), sidebar->row(""));

    // With the focus elsewhere, the stop is the row of the page shown.
    after->setFocus(Qt::TabFocusReason);
    ctx.coordinator().move({std::string("caches"), {}}, true);
    EXPECT_EQ(tab(true), sidebar->row("caches"));
}

// The lock's tooltip used to show only over the lock at the row's right end: over the
// name, where the pointer rests, it said nothing.
TEST(SidebarRows, ALockedRowExplainsItselfOverItsNameAsOverItsLock) {
    test::UiContext ctx;
    ScanResult r = test::UiContext::sampleResult();
    r.categories[4].roots[0]->accessDenied = true; // mail: nothing measured
    r.categories[4].roots[0]->size = 0;
    ctx.finishScan(r);
    SidebarView sidebar(ctx.models());
    test::settle(&sidebar, {244, 880});
    EXPECT_TRUE(sidebar.row(r.categories[0].category.id)->lockTip().isEmpty()); // readable: no tip
    SidebarRow* row = sidebar.row(r.categories[4].category.id);
    ASSERT_NE(row, nullptr);
    const QString tip = row->lockTip();
    ASSERT_FALSE(tip.isEmpty());
    EXPECT_EQ(row->accessibleDescription(), tip);
    // The name first, while no tooltip is up yet.
    for (const int x : {40, row->width() / 2, row->width() - 15}) {
        const QPoint at(x, row->height() / 2);
        QHelpEvent help(QEvent::ToolTip, at, row->mapToGlobal(at));
        QApplication::sendEvent(row, &help);
        EXPECT_EQ(QToolTip::isVisible() ? QToolTip::text() : QString(), tip) << "at x " << x;
    }
    QToolTip::hideText();
}

// A stopped scan worked nothing out: the footer shows no figure, never "0 KB safe to reclaim".
TEST(SidebarFooter, AStoppedScanShowsNoReclaimableFigure) {
    test::UiContext ctx;
    ctx.beginScan();
    ctx.scan().hand("caches", test::sampleNode("/tmp/caches", 3'000'000'000, 12));
    ASSERT_TRUE(test::waitUntil([&] { return !ctx.coordinator().result().categories.empty(); }));
    ctx.coordinator().cancel();
    SidebarView sidebar(ctx.models());
    test::settle(&sidebar, {244, 700});
    QStringList texts;
    for (const auto* text : sidebar.footer()->findChildren<Text*>()) texts << text->text();
    EXPECT_TRUE(texts.contains("—")) << texts.join("|").toStdString();
    EXPECT_TRUE(texts.contains("scan stopped · not worked out")) << texts.join("|").toStdString();
    EXPECT_FALSE(texts.contains("0")) << texts.join("|").toStdString();
}
