// A column of thousands of entries: the widgets made lie where their entries are, those far
// from view are let go, the focus is never taken from under the user, and an entry asked
// for comes wholly into view.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QScrollBar>

#include "ui/kit/LazyColumn.h"
#include "uisupport/UiContext.h"

using sorvel::ui::LazyColumn;

namespace {

constexpr int kEntries = 5000;

// 20, 40 or 65 px; one shape holds two heights, so guesses are corrected as entries are made.
int heightOf(int i) { return i % 7 == 0 ? 65 : i % 3 == 0 ? 40 : 20; }

void settle() {
    for (int i = 0; i < 80; ++i) QCoreApplication::processEvents();
}

} // namespace

TEST(KitLazyColumn, MadeEntriesLieInPlaceNearTheViewAndTheFocusedOneStays) {
    LazyColumn column;
    int made = 0;
    std::vector<LazyColumn::Entry> entries;
    for (int i = 0; i < kEntries; ++i) entries.push_back({i == 0 ? 0 : 6, static_cast<quint64>(i % 3)});
    column.setMargins(QMargins(10, 12, 10, 14));
    column.setEntries(std::move(entries), [&made](int i) {
        ++made;
        auto* w = new QWidget;
        w->setFocusPolicy(Qt::StrongFocus);
        w->setFixedHeight(heightOf(i));
        return w;
    });
    column.resize(300, 400);
    column.show();
    settle();
    QPointer<QWidget> focused(column.made().at(2));
    focused->setFocus(Qt::TabFocusReason);

    QScrollBar* bar = column.verticalScrollBar();
    const int view = column.viewport()->height();
    // Scrolled to (as a share of the whole), or asked to show an entry.
    const struct {
        double share;
        int entry;
    } table[] = {{0.25, -1}, {1.0, -1}, {0.0, 4000}, {0.0, 10}, {0.0, kEntries - 1}, {0.5, -1}, {0.0, 2500}};
    for (const auto& row : table) {
        if (row.entry >= 0) column.ensureVisible(row.entry);
        else bar->setValue(static_cast<int>(bar->maximum() * row.share));
        settle();
        const int top = bar->value();
        EXPECT_LE(column.made().size(), 80u) << row.share << " " << row.entry;
        for (const auto& [index, widget] : column.made()) {
            EXPECT_EQ(widget->geometry(), QRect(10, column.offsetOf(index) - top, column.viewport()->width() - 20,
                                                heightOf(index)))
                << index;
            // Within a screen above or two below, unless it holds the focus.
            const bool near = widget->y() + widget->height() > -view - 70 && widget->y() < 2 * view + 70;
            EXPECT_TRUE(near || widget == focused) << index;
        }
        if (row.entry >= 0) {
            ASSERT_TRUE(column.made().count(row.entry)) << row.entry;
            const QRect shown = column.made().at(row.entry)->geometry();
            EXPECT_TRUE(shown.top() >= 0 && shown.bottom() < view) << row.entry;
        }
    }
    ASSERT_FALSE(focused.isNull()) << "the focused entry was let go";
    EXPECT_EQ(QApplication::focusWidget(), focused.data());
    EXPECT_LT(made, 7 * 80); // only ever the entries near the places shown
}
