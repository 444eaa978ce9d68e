#pragma once
// A scrolling column of thousands of entries of which only those in view (and a screen
// around them) exist as widgets: each is made when it scrolls near, laid out at the
// column's width, and let go when it scrolls far away. Until an entry has been made its
// height is taken from a made entry of the same shape, so the scroll bar stays close.
// With the focus in an entry, Up, Down, Page Up, Page Down, Home and End move it among the
// entries that take it, the view following; a focused entry is never let go, and when the
// entries are replaced the focus goes back to its entry's like control. For Tab the column is
// one stop: it is entered at the entry last focused (else the first in view) and left for
// the control after it, however many entries it holds.
#include <QAbstractScrollArea>
#include <QMargins>

class QKeyEvent;

#include <functional>
#include <map>
#include <unordered_map>
#include <vector>

namespace sorvel::ui {

class LazyColumn : public QAbstractScrollArea {
    Q_OBJECT
public:
    struct Entry {
        int gapBefore = 0; // space above the entry, after the one before it
        quint64 shape = 0; // entries of one shape are expected to be of one height
        bool takesFocus = true; // holds a control the list keys may move the focus to
    };
    /// Makes the widget of entry `index`; the column owns it from then on.
    using Make = std::function<QWidget*(int index)>;

    explicit LazyColumn(QWidget* parent = nullptr);

    void setMargins(QMargins margins);
    /// Replaces every entry; the scroll position stays where it can.
    void setEntries(std::vector<Entry> entries, Make make);
    int count() const { return static_cast<int>(entries_.size()); }
    /// The widgets made, by entry index.
    const std::map<int, QWidget*>& made() const { return made_; }
    /// Where entry `index` starts, from the top of the column.
    int offsetOf(int index) const;
    int totalHeight() const { return total_; }
    /// Scrolls as little as needed to show entry `index` whole (its top when it is taller).
    void ensureVisible(int index);
    /// The widget of entry `index`, made now if it was not.
    QWidget* widgetAt(int index);
    /// Moves the focus to entry `index`'s first control and shows the entry whole.
    bool focusEntry(int index);
    /// The entry Tab enters at: the one last focused, else the first in view taking the
    /// focus; -1 when none takes it.
    int currentEntry() const;
    /// What Tab and Backtab stop at in the column: the controls of the current entry (made
    /// now if it was let go).
    QWidgetList tabStops();

protected:
    void resizeEvent(QResizeEvent*) override;
    void scrollContentsBy(int dx, int dy) override;
    bool event(QEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void relayout();
    int heightOf(int index) const;
    /// The last entry starting at or above `y`; -1 above the first.
    int entryAt(int y) const;
    /// Counts every entry's place again when a change moved entries not made (a new shape, a
    /// new width, new entries); otherwise nothing: a made entry's height is noted alone.
    void recount();
    /// Notes entry `index`'s height as made; true when it moved any entry.
    bool noteHeight(int index, int height);
    /// The sum of the first `n` spans.
    int spansBefore(int n) const;
    int indexHolding(const QWidget* widget) const;
    void followFocus(QWidget* now);
    /// The list keys pressed on a control of entry `from`; false for other keys.
    bool moveFocus(int from, const QKeyEvent* key);
    /// The nearest entry taking focus from `index` on in `step`'s direction; -1 when none.
    int focusable(int index, int step) const;
    void place(int index, QWidget* widget);

    std::vector<Entry> entries_;
    Make make_;
    QMargins margins_;
    std::vector<int> heights_; // -1 until made at the current width
    // Entry i starts at the top margin plus the sum of spans 0..i, span i being the gap
    // before entry i and the height of the one above it; summed in a Fenwick tree, so a
    // scroll step finds its entries and notes a height in steps of log of the count.
    std::vector<int> counted_; // each entry's height as summed
    std::vector<int> tree_;
    int spans_ = 0; // the sum of every span
    bool dirty_ = true;
    std::unordered_map<quint64, int> shapeHeights_;
    std::map<int, QWidget*> made_;
    int width_ = -1;
    int total_ = 0;
    bool laying_ = false;
    bool aheadDue_ = false;
    int current_ = -1; // the entry the focus was last in
};

} // namespace sorvel::ui
