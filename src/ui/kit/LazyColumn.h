#pragma once
// A scrolling column of thousands of entries of which only those in view (and a screen
// around them) exist as widgets: each is made when it scrolls near, laid out at the
// column's width, and let go when it scrolls far away. Until an entry has been made its
// height is taken from a made entry of the same shape, so the scroll bar stays close.
// With the focus in an entry, Up, Down, Page Up, Page Down, Home and End move it among the
// entries that take it, the view following; a focused entry is never let go, and when the
// entries are replaced the focus goes back to its entry's like control.
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
    void recount();
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
    std::vector<int> offsets_; // where each entry starts
    std::unordered_map<quint64, int> shapeHeights_;
    std::map<int, QWidget*> made_;
    int width_ = -1;
    int total_ = 0;
    bool laying_ = false;
    bool aheadDue_ = false;
};

} // namespace sorvel::ui
