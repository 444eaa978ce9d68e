// The sweep panel with a sweep that found thousands of folders: only the rows near the
// list's view are widgets wherever it is scrolled, a tick changes its row and the totals in
// place, and the keyboard walks the rows past those made at first.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <filesystem>

#include "engine/Bytes.h"
#include "tools/ToolPageTesting.h"
#include "tools/ToolWorld.h"
#include "ui/kit/Button.h"
#include "ui/kit/CheckBox.h"
#include "ui/kit/LazyColumn.h"
#include "ui/tools/MenuBarView.h"

using namespace sorvel;
using namespace sorvel::test;

namespace {

constexpr int kFindings = 3000;

// A sweep that found `kFindings` cache folders, all on disk (empty), "c0" the smallest.
struct Thousands {
    UiContext ctx;
    std::unique_ptr<SweepScheduler> sweeper;
    std::unique_ptr<ui::MenuBarView> panel;
    int64_t total = 0;

    Thousands() {
        std::vector<std::pair<std::string, int64_t>> list;
        for (int i = 0; i < kFindings; ++i) {
            list.push_back({ctx / ("Library/Caches/c" + std::to_string(i)), 1'000'000 * int64_t(i + 1)});
            std::filesystem::create_directories(list.back().first);
            total += list.back().second;
        }
        sweeper = sweeperFinding(list);
        sweeper->run(SweepRun::Trigger::manual);
        EXPECT_TRUE(waitUntil([&] { return !sweeper->isRunning(); }));
        panel = std::make_unique<ui::MenuBarView>(*sweeper, ui::MenuBarView::Actions{});
        panel->show();
        QApplication::setActiveWindow(panel.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(panel.get()));
        settle();
    }
    ui::LazyColumn* list() { return one<ui::LazyColumn>(panel.get(), "findingsList"); }
    // Rows out of view are made a few per turn of the event loop.
    static void settle() {
        for (int i = 0; i < 40; ++i) turn();
    }
    // Which finding a made row stands for, from the path its tooltip names.
    static int findingOf(const QWidget* row) {
        const QString tip = row->toolTip();
        return tip.mid(tip.lastIndexOf("/c") + 2).toInt();
    }
    int indexOf(const QWidget* row) {
        for (const auto& [index, made] : list()->made())
            if (made == row) return index;
        return -1;
    }
};

bool ticked(QWidget* row) { return row->findChild<ui::CheckBox*>()->isChecked(); }

} // namespace

TEST(SweepPanelThousands, OnlyRowsNearTheViewAreWidgetsWhereverItIsScrolled) {
    Thousands t;
    auto* list = t.list();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count(), kFindings);
    EXPECT_EQ(list->height(), 200) << "the list keeps its fixed height";
    const auto first = named(t.panel.get(), "findingRow");
    EXPECT_GT(first.size(), 5u);
    EXPECT_LT(first.size(), 40u);
    EXPECT_EQ(first.size(), list->made().size());
    for (const auto& [index, row] : list->made()) EXPECT_EQ(Thousands::findingOf(row), index);

    QScrollBar* bar = list->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    Thousands::settle();
    const int top = bar->value(), view = list->viewport()->height();
    EXPECT_FALSE(list->made().count(0)) << "the first rows are let go far from the view";
    EXPECT_LT(list->made().size(), 40u);
    for (const auto& [index, row] : list->made()) {
        EXPECT_EQ(Thousands::findingOf(row), index);
        EXPECT_GE(list->offsetOf(index), top - 2 * view);
        EXPECT_LE(list->offsetOf(index), top + 3 * view);
        EXPECT_FALSE(row->toolTip().isEmpty());
    }
    // What is at the top of the view is a row, made.
    QWidget* atTop = list->viewport()->childAt(40, 8);
    while (atTop && atTop->parentWidget() != list->viewport()) atTop = atTop->parentWidget();
    ASSERT_NE(atTop, nullptr);
    EXPECT_EQ(atTop->objectName(), "findingRow");
}

TEST(SweepPanelThousands, ATickChangesItsRowAndTheTotalsNotTheList) {
    Thousands t;
    auto* list = t.list();
    ASSERT_NE(list, nullptr);
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
    Thousands::settle();
    ASSERT_EQ(t.sweeper->selectedPaths().size(), size_t(kFindings)); // a fresh sweep ticks all
    auto* selectAll = one<QAbstractButton>(t.panel.get(), "selectAll");
    ASSERT_NE(selectAll, nullptr);
    EXPECT_EQ(selectAll->text(), "Deselect all");
    const auto made = list->made();
    auto it = std::next(made.begin(), static_cast<long>(made.size() / 2));
    QWidget* row = it->second;
    const int finding = Thousands::findingOf(row);
    ASSERT_TRUE(ticked(row));
    const int builds = t.panel->builds();

    QTest::mouseClick(row, Qt::LeftButton);
    turn();
    EXPECT_EQ(t.sweeper->selectedPaths().size(), size_t(kFindings - 1));
    EXPECT_FALSE(ticked(row));
    EXPECT_EQ(list->made().at(it->first), row) << "the row is changed in place, not made again";
    EXPECT_EQ(list->made(), made) << "no other row is made or let go";
    EXPECT_EQ(t.panel->builds(), builds);
    const int64_t left = t.total - 1'000'000 * int64_t(finding + 1);
    EXPECT_EQ(one<ui::Button>(t.panel.get(), "moveFindings")->text().toStdString(),
              "Move " + Bytes::format(left) + " to Trash");
    EXPECT_EQ(selectAll->text(), "Select all");
    for (const auto& [index, other] : list->made()) {
        EXPECT_TRUE(other == row || ticked(other)) << index;
    }

    QTest::mouseClick(row, Qt::LeftButton);
    turn();
    EXPECT_TRUE(ticked(row));
    EXPECT_EQ(one<ui::Button>(t.panel.get(), "moveFindings")->text().toStdString(),
              "Move " + Bytes::format(t.total) + " to Trash");
    EXPECT_EQ(selectAll->text(), "Deselect all");

    // A row made later shows the tick it has now.
    selectAll->click();
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    Thousands::settle();
    ASSERT_FALSE(list->made().empty());
    for (const auto& [index, other] : list->made()) EXPECT_FALSE(ticked(other)) << index;
    EXPECT_EQ(one<ui::Button>(t.panel.get(), "moveFindings")->text().toStdString(), "Move 0 KB to Trash");
}

TEST(SweepPanelThousands, TheKeyboardWalksTheRowsPastThoseMadeAtFirst) {
    Thousands t;
    auto* list = t.list();
    ASSERT_NE(list, nullptr);
    const size_t madeAtFirst = list->made().size();
    QWidget* row = list->made().at(0);
    row->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), row);
    const int steps = static_cast<int>(madeAtFirst) + 40;
    for (int i = 1; i <= steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        turn();
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr) << i;
        ASSERT_EQ(focused->objectName(), "findingRow") << i;
        ASSERT_EQ(t.indexOf(focused), i) << "Down moves to the next row";
        // The focused row is scrolled into view.
        const int top = list->verticalScrollBar()->value();
        EXPECT_GE(focused->y(), 0) << i;
        EXPECT_LE(focused->y() + focused->height(), list->viewport()->height()) << i << " at " << top;
    }
    EXPECT_GT(list->verticalScrollBar()->value(), 0);
    EXPECT_FALSE(list->made().count(0)) << "the rows left far above are let go";

    // Space and Return tick the focused row, which keeps the focus.
    QWidget* focused = QApplication::focusWidget();
    const int finding = Thousands::findingOf(focused);
    EXPECT_EQ(finding, steps);
    QTest::keyClick(focused, Qt::Key_Space);
    turn();
    EXPECT_FALSE(ticked(focused));
    EXPECT_EQ(t.sweeper->selectedPaths().size(), size_t(kFindings - 1));
    EXPECT_EQ(QApplication::focusWidget(), focused);
    QTest::keyClick(focused, Qt::Key_Return);
    turn();
    EXPECT_TRUE(ticked(focused));
    EXPECT_EQ(t.sweeper->selectedPaths().size(), size_t(kFindings));

    // Up walks back.
    QTest::keyClick(focused, Qt::Key_Up);
    turn();
    EXPECT_EQ(t.indexOf(QApplication::focusWidget()), steps - 1);
}
