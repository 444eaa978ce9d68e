// A column of thousands of entries: the widgets made lie where their entries are, those far
// from view are let go, the focus is never taken from under the user, and an entry asked
// for comes wholly into view.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPointer>
#include <QScrollBar>
#include <QTest>

#include "ui/kit/Button.h"
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

namespace {

// Entries of 30 px, each a frame holding one focusable control named after its index;
// every fifth entry (a heading) takes no focus and holds none.
struct KeyedColumn {
    LazyColumn column;
    static constexpr int count = 600;
    static bool takesFocus(int i) { return i % 5 != 0; }
    void fill(const QString& prefix) {
        std::vector<LazyColumn::Entry> entries;
        for (int i = 0; i < count; ++i) entries.push_back({i == 0 ? 0 : 4, static_cast<quint64>(takesFocus(i)), takesFocus(i)});
        column.setEntries(std::move(entries), [prefix](int i) {
            auto* frame = new QWidget;
            frame->setFixedHeight(30);
            if (takesFocus(i)) {
                auto* control = new QWidget(frame);
                control->setObjectName("control");
                control->setProperty("entry", prefix + QString::number(i));
                control->setGeometry(4, 4, 40, 22);
                control->setFocusPolicy(Qt::StrongFocus);
            }
            return frame;
        });
    }
    // The entry whose control has the focus; -1 elsewhere.
    int focused() const {
        const QWidget* f = QApplication::focusWidget();
        if (!f) return -1;
        for (const auto& [index, made] : column.made())
            if (made == f || made->isAncestorOf(f)) return index;
        return -1;
    }
    bool wholeInView(int index) const {
        const int top = column.offsetOf(index) - column.verticalScrollBar()->value();
        return top >= 0 && top + 30 <= column.viewport()->height();
    }
};

void pressOn(Qt::Key key) {
    QTest::keyClick(QApplication::focusWidget(), key);
    settle();
}

} // namespace

// The list keys on an entry's control: Up and Down to the next entry that takes the focus,
// Page Up and Down a view's height on with the view, Home and End to the ends; headings are
// passed over, and at either end the focus stays.
TEST(KitLazyColumn, ListKeysMoveTheFocusAmongEntriesThatTakeIt) {
    KeyedColumn k;
    k.fill("a");
    k.column.resize(300, 340); // 10 entries of 34 px a page
    k.column.show();
    QApplication::setActiveWindow(&k.column);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&k.column));
    settle();
    ASSERT_TRUE(k.column.focusEntry(1));
    const struct {
        Qt::Key key;
        int expected;
    } table[] = {
        {Qt::Key_Up, 1},        {Qt::Key_Down, 2},      {Qt::Key_Down, 3},     {Qt::Key_Down, 4},
        {Qt::Key_Down, 6},      {Qt::Key_Up, 4},        {Qt::Key_PageDown, 14}, {Qt::Key_PageDown, 24},
        {Qt::Key_PageDown, 34}, {Qt::Key_PageUp, 24},   {Qt::Key_End, 599},    {Qt::Key_Down, 599},
        {Qt::Key_PageDown, 599}, {Qt::Key_PageUp, 589}, {Qt::Key_Home, 1},     {Qt::Key_PageUp, 1},
        {Qt::Key_PageDown, 11},
    };
    for (const auto& row : table) {
        pressOn(row.key);
        SCOPED_TRACE(QTest::toString(QKeySequence(row.key)));
        ASSERT_EQ(k.focused(), row.expected);
        EXPECT_TRUE(k.wholeInView(row.expected));
    }
}

// Entries replaced (a tick rebuilds the list): the focus goes back to the like control of
// the entry at its place, wherever the list is scrolled; an entry that no longer takes the
// focus hands it to its nearest neighbour that does, never out of the list.
TEST(KitLazyColumn, ReplacedEntriesGiveTheFocusBackToItsEntry) {
    KeyedColumn k;
    k.fill("a");
    k.column.resize(300, 340);
    k.column.show();
    QApplication::setActiveWindow(&k.column);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&k.column));
    settle();
    struct Case {
        int entry;
        bool scrolledAway;
        int expected;
    };
    for (const Case& c : {Case{3, false, 3}, Case{301, true, 301}, Case{598, false, 598}}) {
        SCOPED_TRACE(c.entry);
        ASSERT_TRUE(k.column.focusEntry(c.entry));
        if (c.scrolledAway) k.column.verticalScrollBar()->setValue(0);
        settle();
        k.fill("b");
        settle();
        ASSERT_EQ(k.focused(), c.expected);
        EXPECT_EQ(QApplication::focusWidget()->property("entry").toString(), "b" + QString::number(c.expected));
    }
    // Fewer entries: the focus goes to the last that takes it.
    ASSERT_TRUE(k.column.focusEntry(599));
    std::vector<LazyColumn::Entry> fewer(12, {4, 1, true});
    fewer[11].takesFocus = false;
    k.column.setEntries(std::move(fewer), [](int) {
        auto* w = new QWidget;
        w->setFixedHeight(30);
        w->setFocusPolicy(Qt::StrongFocus);
        return w;
    });
    settle();
    EXPECT_EQ(k.focused(), 10);
}

namespace {

// An entry whose height follows the width it is laid out at, as wrapped text does.
class WrappingEntry : public QWidget {
public:
    explicit WrappingEntry(int index) : index_(index) {}
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return 18 + (index_ % 5) * 2400 / std::max(width, 1); }

private:
    int index_;
};

} // namespace

// However heights turn out as entries are made, at any width and place, the made entries
// lie end to end (gap apart), the view holds no hole, and the last one ends the column.
TEST(KitLazyColumn, MadeEntriesLieEndToEndAsTheirHeightsBecomeKnown) {
    LazyColumn column;
    std::vector<LazyColumn::Entry> entries;
    const int n = 3000;
    const auto gap = [](int i) { return i == 0 ? 0 : i % 4 == 0 ? 12 : 3; };
    // One shape for every height, so guesses are corrected entry by entry.
    for (int i = 0; i < n; ++i) entries.push_back({gap(i), static_cast<quint64>(i % 2)});
    column.setMargins(QMargins(5, 9, 5, 11));
    column.setEntries(std::move(entries), [](int i) { return new WrappingEntry(i); });
    column.resize(400, 500);
    column.show();
    settle();

    QScrollBar* bar = column.verticalScrollBar();
    const struct {
        int width; // of the column
        double share; // scrolled to, as a share of the whole
    } table[] = {{400, 0.0}, {400, 0.3}, {400, 1.0}, {260, 1.0}, {260, 0.5}, {600, 0.0}, {600, 0.7}, {300, 0.02}};
    for (const auto& row : table) {
        if (column.width() != row.width) {
            column.resize(row.width, 500);
            settle();
        }
        bar->setValue(static_cast<int>(bar->maximum() * row.share));
        settle();
        const int top = bar->value(), view = column.viewport()->height();
        int covered = std::max(0, 9 - top); // the bottom of what lies end to end from the view's top
        const auto& made = column.made();
        for (auto it = made.begin(); it != made.end(); ++it) {
            const auto [index, widget] = *it;
            EXPECT_EQ(widget->height(), widget->heightForWidth(column.viewport()->width() - 10)) << index;
            EXPECT_EQ(widget->y(), column.offsetOf(index) - top) << row.width << " " << index;
            const auto next = std::next(it);
            if (next != made.end() && next->first == index + 1) {
                EXPECT_EQ(column.offsetOf(index + 1), column.offsetOf(index) + widget->height() + gap(index + 1))
                    << row.width << " " << row.share << " " << index;
            }
            if (widget->y() <= covered && widget->y() + widget->height() > covered)
                covered = widget->y() + widget->height() + (index + 1 < n ? gap(index + 1) : 0);
            if (index == n - 1) {
                EXPECT_EQ(column.totalHeight(), column.offsetOf(index) + widget->height() + 11);
            }
        }
        EXPECT_GE(covered, std::min(view, column.totalHeight() - top)) << row.width << " " << row.share;
    }
}

namespace {

// A window of a button, a column of thousands of entries (each a control named after its
// index), and a button after it, as a sheet's list sits above its footer.
struct ListBetweenButtons {
    QWidget window;
    sorvel::ui::Button* before = new sorvel::ui::Button("Before", sorvel::ui::Button::Style::subtle, &window);
    LazyColumn* column = new LazyColumn(&window);
    sorvel::ui::Button* after = new sorvel::ui::Button("After", sorvel::ui::Button::Style::subtle, &window);
    static constexpr int count = 5000;

    ListBetweenButtons() {
        std::vector<LazyColumn::Entry> entries;
        for (int i = 0; i < count; ++i) entries.push_back({i == 0 ? 0 : 4, 0, true});
        column->setEntries(std::move(entries), [](int i) {
            auto* frame = new QWidget;
            frame->setFixedHeight(30);
            auto* control = new QWidget(frame);
            control->setObjectName(QString::number(i));
            control->setGeometry(4, 4, 40, 22);
            control->setFocusPolicy(Qt::StrongFocus);
            return frame;
        });
        before->setGeometry(10, 10, 80, 30);
        column->setGeometry(10, 50, 300, 340);
        after->setGeometry(10, 400, 80, 30);
        window.resize(320, 440);
        window.show();
        QApplication::setActiveWindow(&window);
    }
    // "before", "after", or the entry index of the focused control.
    QString focused() const {
        const QWidget* f = QApplication::focusWidget();
        if (f == before) return "before";
        if (f == after) return "after";
        return f && column->viewport()->isAncestorOf(f) ? f->objectName() : QString("elsewhere");
    }
};

} // namespace

// The column is one Tab stop: Tab enters it at the entry last focused (else the first in
// view) and leaves it for the next control, Backtab alike, wherever it is scrolled.
TEST(KitLazyColumn, TabEntersTheColumnAtItsEntryAndLeavesItForTheNextControl) {
    ListBetweenButtons w;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.window));
    QTRY_VERIFY(w.column->made().size() > 0);
    enum class Do { tab, backtab, scrollToEnd, scrollToMiddle };
    const struct {
        Do action;
        const char* expected; // focused after it; empty: unchanged
    } table[] = {
        {Do::scrollToMiddle, ""}, {Do::tab, "middle"},    {Do::tab, "after"},      {Do::backtab, "middle"},
        {Do::backtab, "before"},  {Do::tab, "middle"},    {Do::tab, "after"},      {Do::scrollToEnd, ""},
        {Do::backtab, "middle"},  {Do::tab, "after"},     {Do::tab, "before"},
    };
    w.before->setFocus(Qt::TabFocusReason);
    QString middle;
    for (const auto& row : table) {
        switch (row.action) {
        case Do::tab: QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); break;
        case Do::backtab: QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab); break;
        case Do::scrollToEnd:
        case Do::scrollToMiddle: {
            QScrollBar* bar = w.column->verticalScrollBar();
            bar->setValue(row.action == Do::scrollToEnd ? bar->maximum() : bar->maximum() / 2);
            if (middle.isEmpty()) middle = QString::number(w.column->currentEntry());
            break;
        }
        }
        if (!*row.expected) continue;
        const QString expected = QString(row.expected) == "middle" ? middle : QString(row.expected);
        SCOPED_TRACE(expected.toStdString());
        ASSERT_EQ(w.focused(), expected);
        if (expected == middle) {
            // The entry entered is in view, however far the column had been scrolled from it.
            const int top = w.column->offsetOf(middle.toInt()) - w.column->verticalScrollBar()->value();
            EXPECT_TRUE(top >= 0 && top + 30 <= w.column->viewport()->height()) << top;
        }
    }
    ASSERT_GT(middle.toInt(), 100) << "entered at the first entry in view, not the first of all";
}
