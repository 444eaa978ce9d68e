// The sweep panel with a sweep that found thousands of folders: only the rows near the
// list's view are widgets, a tick changes its row and the totals in place, and the keyboard
// walks the rows past those made at first.
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

// Rows out of view are made a few per turn of the event loop.
void settle() {
    for (int i = 0; i < 40; ++i) turn();
}

bool ticked(QWidget* row) { return row->findChild<ui::CheckBox*>()->isChecked(); }

// The list's entry a made row is, checked against the finding its tooltip names ("…/c12").
int indexOf(ui::LazyColumn* list, const QWidget* row) {
    for (const auto& [index, made] : list->made())
        if (made == row) return row->toolTip().endsWith("/c" + QString::number(index)) ? index : -2;
    return -1;
}

} // namespace

TEST(SweepPanelThousands, MakesOnlyRowsNearTheViewTicksInPlaceAndWalksByKeyboard) {
    UiContext ctx;
    std::vector<std::pair<std::string, int64_t>> list;
    int64_t total = 0;
    for (int i = 0; i < kFindings; ++i) {
        list.push_back({ctx / ("Library/Caches/c" + std::to_string(i)), 1'000'000 * int64_t(i + 1)});
        std::filesystem::create_directories(list.back().first); // there, as the panel looks
        total += list.back().second;
    }
    auto sweeper = sweeperFinding(list);
    sweeper->run(SweepRun::Trigger::manual);
    ASSERT_TRUE(waitUntil([&] { return !sweeper->isRunning(); }));
    ui::MenuBarView panel(*sweeper, {});
    panel.show();
    QApplication::setActiveWindow(&panel);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    settle();
    auto* column = one<ui::LazyColumn>(&panel, "findingsList");
    ASSERT_NE(column, nullptr);
    EXPECT_EQ(column->count(), kFindings);
    EXPECT_EQ(column->height(), 200) << "the list keeps its fixed height";
    const size_t madeAtFirst = named(&panel, "findingRow").size();
    EXPECT_GT(madeAtFirst, 5u);
    EXPECT_LT(madeAtFirst, 40u);

    // Scrolled to the middle: the rows made are those near the view, and no others.
    QScrollBar* bar = column->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    settle();
    const int top = bar->value(), view = column->viewport()->height();
    EXPECT_FALSE(column->made().count(0)) << "the first rows are let go far from the view";
    EXPECT_LT(column->made().size(), 40u);
    for (const auto& [index, row] : column->made()) {
        EXPECT_EQ(indexOf(column, row), index);
        EXPECT_GE(column->offsetOf(index), top - 2 * view);
        EXPECT_LE(column->offsetOf(index), top + 3 * view);
    }

    // A click unticks its row and changes the totals, and nothing is made or rebuilt.
    auto* selectAll = one<QAbstractButton>(&panel, "selectAll");
    auto* move = one<ui::Button>(&panel, "moveFindings");
    ASSERT_TRUE(selectAll && move);
    EXPECT_EQ(selectAll->text(), "Deselect all"); // a fresh sweep ticks all
    const auto made = column->made();
    const auto [index, row] = *std::next(made.begin(), static_cast<long>(made.size() / 2));
    const int builds = panel.builds();
    QTest::mouseClick(row, Qt::LeftButton);
    turn();
    EXPECT_EQ(sweeper->selectedPaths().size(), size_t(kFindings - 1));
    EXPECT_FALSE(ticked(row));
    EXPECT_EQ(column->made(), made) << "the row is changed in place, no other made or let go";
    EXPECT_EQ(panel.builds(), builds);
    EXPECT_EQ(move->text().toStdString(), "Move " + Bytes::format(total - 1'000'000 * int64_t(index + 1)) + " to Trash");
    EXPECT_EQ(selectAll->text(), "Select all");
    for (const auto& [other, widget] : made) EXPECT_EQ(ticked(widget), other != index) << other;

    // The keyboard: Down walks the rows past those made at first, each scrolled into view;
    // Space and Return tick the focused row, which keeps the focus.
    bar->setValue(0);
    settle();
    column->made().at(0)->setFocus(Qt::TabFocusReason);
    const int steps = static_cast<int>(madeAtFirst) + 40;
    for (int i = 1; i <= steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        turn();
        QWidget* focused = QApplication::focusWidget();
        ASSERT_EQ(indexOf(column, focused), i) << "Down moves to the next row";
        EXPECT_GE(focused->y(), 0) << i;
        EXPECT_LE(focused->y() + focused->height(), column->viewport()->height()) << i;
    }
    EXPECT_FALSE(column->made().count(0)) << "the rows left far above are let go";
    QWidget* focused = QApplication::focusWidget();
    QTest::keyClick(focused, Qt::Key_Space);
    turn();
    EXPECT_FALSE(ticked(focused));
    EXPECT_EQ(sweeper->selectedPaths().size(), size_t(kFindings - 2));
    QTest::keyClick(focused, Qt::Key_Return);
    turn();
    EXPECT_TRUE(ticked(focused));
    EXPECT_EQ(QApplication::focusWidget(), focused);
    QTest::keyClick(focused, Qt::Key_Up);
    turn();
    EXPECT_EQ(indexOf(column, QApplication::focusWidget()), steps - 1);

    // Rows made later show the ticks as they are now.
    selectAll->click(); // ticks the one left
    selectAll->click(); // unticks all
    ASSERT_TRUE(sweeper->selectedPaths().empty());
    bar->setValue(bar->maximum());
    settle();
    ASSERT_FALSE(column->made().empty());
    for (const auto& [other, widget] : column->made()) EXPECT_FALSE(ticked(widget)) << other;
    EXPECT_EQ(move->text(), "Move 0 KB to Trash");
}

// Home, End, Page Up and Page Down on a finding row move the focus among the rows with the
// list's view, and stay on the first or last row at either end.
TEST(SweepPanelThousands, ListKeysMoveTheFocusWithTheView) {
    UiContext ctx;
    std::vector<std::pair<std::string, int64_t>> list;
    for (int i = 0; i < 400; ++i) {
        list.push_back({ctx / ("Library/Caches/c" + std::to_string(i)), 1'000'000});
        std::filesystem::create_directories(list.back().first);
    }
    auto sweeper = sweeperFinding(list);
    sweeper->run(SweepRun::Trigger::manual);
    ASSERT_TRUE(waitUntil([&] { return !sweeper->isRunning(); }));
    ui::MenuBarView panel(*sweeper, {});
    panel.show();
    QApplication::setActiveWindow(&panel);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    settle();
    auto* column = one<ui::LazyColumn>(&panel, "findingsList");
    ASSERT_NE(column, nullptr);
    const int pitch = column->offsetOf(2) - column->offsetOf(1);
    const int page = column->viewport()->height() / pitch;
    ASSERT_GT(page, 2);
    column->made().at(0)->setFocus(Qt::TabFocusReason);
    const struct {
        Qt::Key key;
        int expected; // -1: a page down from the row before, -2: a page up
    } table[] = {{Qt::Key_End, 399},   {Qt::Key_Down, 399}, {Qt::Key_Home, 0},     {Qt::Key_Up, 0},
                 {Qt::Key_PageDown, -1}, {Qt::Key_PageDown, -1}, {Qt::Key_PageUp, -2}, {Qt::Key_PageUp, -2},
                 {Qt::Key_PageUp, 0}};
    int at = 0;
    for (const auto& row : table) {
        QTest::keyClick(QApplication::focusWidget(), row.key);
        settle();
        SCOPED_TRACE(QTest::toString(QKeySequence(row.key)));
        const int now = indexOf(column, QApplication::focusWidget());
        ASSERT_GE(now, 0) << "the focus left the rows";
        if (row.expected >= 0) EXPECT_EQ(now, row.expected);
        else EXPECT_NEAR(now, at + (row.expected == -1 ? page : -page), 1);
        const QWidget* focused = QApplication::focusWidget();
        EXPECT_GE(focused->y(), 0);
        EXPECT_LE(focused->y() + focused->height(), column->viewport()->height());
        at = now;
    }
}
