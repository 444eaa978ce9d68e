// A column of thousands of entries: the widgets made lie where the entries are, those far
// from view are let go, the focus is never taken from under the user, and an entry asked
// for is brought into view.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QScrollBar>

#include <limits>

#include "ui/kit/LazyColumn.h"
#include "uisupport/UiContext.h"

using sorvel::ui::LazyColumn;

namespace {

constexpr int kEntries = 5000;

// Entry i is 20, 40 or 65 px tall; a shape holds heights that differ from its first, so
// estimates are corrected as entries are made.
int heightOf(int i) { return i % 7 == 0 ? 65 : i % 3 == 0 ? 40 : 20; }

struct Column {
    LazyColumn column;
    int made = 0;
    Column() {
        std::vector<LazyColumn::Entry> entries;
        for (int i = 0; i < kEntries; ++i) entries.push_back({i == 0 ? 0 : 6, static_cast<quint64>(i % 3)});
        column.setMargins(QMargins(10, 12, 10, 14));
        column.setEntries(std::move(entries), [this](int i) {
            ++made;
            auto* w = new QWidget;
            w->setObjectName(QString::number(i));
            w->setFocusPolicy(Qt::StrongFocus);
            w->setFixedHeight(heightOf(i));
            return w;
        });
        column.resize(300, 400);
        column.show();
        settle();
    }
    void settle() {
        for (int i = 0; i < 80; ++i) QCoreApplication::processEvents();
    }
    void scrollTo(int y) {
        column.verticalScrollBar()->setValue(y);
        settle();
    }
};

} // namespace

TEST(KitLazyColumn, MadeEntriesLieWhereTheirEntriesAreAndFarOnesAreLetGo) {
    Column c;
    const int bottom = c.column.verticalScrollBar()->maximum();
    for (const int y : {0, 1234, bottom / 2, bottom, 17, bottom - 3}) {
        c.scrollTo(y);
        const int top = c.column.verticalScrollBar()->value();
        const int view = c.column.viewport()->height();
        ASSERT_FALSE(c.column.made().empty()) << y;
        EXPECT_LE(c.column.made().size(), 80u) << y;
        int previous = std::numeric_limits<int>::min();
        bool covered = false;
        for (const auto& [index, widget] : c.column.made()) {
            EXPECT_EQ(widget->height(), heightOf(index)) << y << " entry " << index;
            EXPECT_EQ(widget->y(), c.column.offsetOf(index) - top) << y << " entry " << index;
            EXPECT_EQ(widget->x(), 10);
            EXPECT_EQ(widget->width(), c.column.viewport()->width() - 20);
            EXPECT_GT(widget->y(), previous);
            previous = widget->y();
            covered |= widget->y() <= view / 2 && widget->y() + widget->height() + 6 >= view / 2;
            // Far from view: more than a screen above or two below. The focus keeps its own.
            if (widget->hasFocus()) continue;
            EXPECT_GT(widget->y() + widget->height(), -view - 70) << y << " entry " << index;
            EXPECT_LT(widget->y(), 2 * view + 70) << y << " entry " << index;
        }
        EXPECT_TRUE(covered) << "nothing made in the middle of the view at " << y;
    }
    // Six places in the column: only the entries near them were ever made.
    EXPECT_LT(c.made, 6 * 80);
}

TEST(KitLazyColumn, TheFocusedEntryStaysMadeAndAskedEntriesComeIntoView) {
    Column c;
    QWidget* first = c.column.made().at(2);
    first->setFocus(Qt::TabFocusReason);
    QPointer<QWidget> focused(first);
    c.scrollTo(c.column.verticalScrollBar()->maximum());
    ASSERT_FALSE(focused.isNull()) << "the focused entry was let go";
    EXPECT_EQ(QApplication::focusWidget(), focused.data());

    for (const int index : {4000, 10, kEntries - 1, 2500}) {
        c.column.ensureVisible(index);
        c.settle();
        ASSERT_TRUE(c.column.made().count(index)) << index;
        const QWidget* widget = c.column.made().at(index);
        EXPECT_GE(widget->y(), 0) << index;
        EXPECT_LE(widget->y() + widget->height(), c.column.viewport()->height()) << index;
    }
}
