#include "ui/kit/LazyColumn.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>
#include <bit>

#include "ui/kit/FocusRing.h"

namespace sorvel::ui {

namespace {
// Until any entry is made: about one row of a list.
constexpr int kFirstGuess = 80;
// Laid out before the column is shown: about a sheet's list.
constexpr int kUnshownHeight = 480;
// What one turn of the event loop makes at most: entries out of view, entries in all,
// and the time spent making them; the rest follows in the next turns.
constexpr int kMadeAheadPerTurn = 2;
constexpr int kMadePerTurn = 12;
constexpr qint64 kTurnBudgetMs = 15;
} // namespace

LazyColumn::LazyColumn(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(40);
    // The focus may go to an entry partly out of view (Tab): it is scrolled into view.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { followFocus(now); });
}

void LazyColumn::setMargins(QMargins margins) {
    margins_ = margins;
    width_ = -1;
    dirty_ = true;
    relayout();
}

void LazyColumn::setEntries(std::vector<Entry> entries, Make make) {
    // The focus in an entry comes back to its like control in the entry remade at its place
    // (a tick rebuilds the list), not to whatever Qt's chain or a button would give it.
    QWidget* focused = QApplication::focusWidget();
    const int focusedAt = focused ? indexHolding(focused) : -1;
    QByteArray focusedClass;
    QString focusedName;
    if (focusedAt >= 0) {
        focusedClass = focused->metaObject()->className();
        focusedName = focused->objectName();
        setFocus(Qt::OtherFocusReason); // held here while the entry is remade
    }
    for (auto& [index, widget] : made_) delete widget;
    made_.clear();
    entries_ = std::move(entries);
    make_ = std::move(make);
    if (current_ >= count()) current_ = -1;
    heights_.assign(entries_.size(), -1);
    dirty_ = true;
    relayout();
    if (focusedAt < 0 || QApplication::focusWidget() != this) return;
    int at = std::min(focusedAt, count() - 1);
    QWidget* entry = at >= 0 ? widgetAt(at) : nullptr;
    QWidget* like = nullptr;
    if (entry) {
        for (QWidget* w : QWidgetList{entry} + entry->findChildren<QWidget*>())
            if (w->metaObject()->className() == focusedClass && w->objectName() == focusedName &&
                (w->focusPolicy() & Qt::TabFocus) && w->isEnabled()) {
                like = w;
                break;
            }
    }
    if (like) {
        like->setFocus(Qt::OtherFocusReason);
        return;
    }
    // The entry holds no such control now: the nearest entry that takes the focus has it.
    if (at >= 0 && (at = std::max(focusable(at, -1), focusable(at, 1))) >= 0 && focusEntry(at)) return;
    clearFocus();
}

int LazyColumn::focusable(int index, int step) const {
    for (int i = index; i >= 0 && i < count(); i += step)
        if (entries_[i].takesFocus) return i;
    return -1;
}

void LazyColumn::place(int index, QWidget* widget) {
    widget->setGeometry(margins_.left(), offsetOf(index) - verticalScrollBar()->value(), width_, heightOf(index));
    if (!widget->isVisibleTo(viewport())) widget->show();
}

QWidget* LazyColumn::widgetAt(int index) {
    if (index < 0 || index >= count()) return nullptr;
    if (const auto it = made_.find(index); it != made_.end()) return it->second;
    QWidget* widget = made_[index] = make_(index);
    widget->setParent(viewport());
    widget->ensurePolished();
    int h = widget->hasHeightForWidth() ? widget->heightForWidth(width_) : -1;
    if (h < 0) h = widget->sizeHint().height();
    noteHeight(index, std::clamp(h, widget->minimumHeight(), std::max(widget->minimumHeight(), widget->maximumHeight())));
    place(index, widget);
    return widget;
}

bool LazyColumn::focusEntry(int index) {
    QWidget* entry = widgetAt(index);
    if (!entry) return false;
    QWidget* control = (entry->focusPolicy() & Qt::TabFocus) && entry->isEnabled() ? entry : nullptr;
    if (!control)
        for (QWidget* w : FocusRing::readingOrder(entry))
            if (w->isVisibleTo(entry)) {
                control = w;
                break;
            }
    if (!control) return false;
    ensureVisible(index);
    control->setFocus(Qt::OtherFocusReason);
    return true;
}

int LazyColumn::currentEntry() const {
    if (current_ >= 0 && current_ < count() && entries_[current_].takesFocus) return current_;
    const int top = dirty_ ? 0 : std::max(0, entryAt(verticalScrollBar()->value()));
    const int below = focusable(top, 1);
    return below >= 0 ? below : focusable(top, -1);
}

QWidgetList LazyColumn::tabStops() {
    QWidget* entry = widgetAt(currentEntry());
    if (!entry) return {};
    QWidgetList stops;
    if ((entry->focusPolicy() & Qt::TabFocus) && entry->isEnabled()) stops << entry;
    for (QWidget* w : FocusRing::readingOrder(entry))
        if (w->isVisibleTo(entry)) stops << w;
    return stops;
}

int LazyColumn::heightOf(int index) const {
    if (heights_[index] >= 0) return heights_[index];
    const auto known = shapeHeights_.find(entries_[index].shape);
    if (known != shapeHeights_.end()) return known->second;
    return shapeHeights_.empty() ? kFirstGuess : shapeHeights_.begin()->second;
}

void LazyColumn::recount() {
    if (!dirty_) return;
    dirty_ = false;
    const int n = count();
    counted_.resize(n);
    tree_.assign(n + 1, 0);
    spans_ = 0;
    for (int i = 0; i < n; ++i) {
        counted_[i] = heightOf(i);
        tree_[i + 1] = entries_[i].gapBefore + (i > 0 ? counted_[i - 1] : 0);
        spans_ += tree_[i + 1];
    }
    for (int k = 1; k <= n; ++k)
        if (const int up = k + (k & -k); up <= n) tree_[up] += tree_[k];
    total_ = margins_.top() + spans_ + (n > 0 ? counted_[n - 1] : 0) + margins_.bottom();
}

bool LazyColumn::noteHeight(int index, int height) {
    heights_[index] = height;
    // The first height of a shape stands for it, and for shapes not yet made: every entry
    // not made may move.
    if (shapeHeights_.emplace(entries_[index].shape, height).second) {
        dirty_ = true;
        recount();
        return true;
    }
    recount();
    const int delta = height - counted_[index];
    if (delta == 0) return false;
    counted_[index] = height;
    const int n = count();
    if (index + 1 < n) {
        for (int k = index + 2; k <= n; k += k & -k) tree_[k] += delta;
        spans_ += delta;
    }
    total_ += delta;
    return true;
}

int LazyColumn::spansBefore(int n) const {
    int sum = 0;
    for (int k = n; k > 0; k -= k & -k) sum += tree_[k];
    return sum;
}

int LazyColumn::offsetOf(int index) const {
    return index >= 0 && index < count() && !dirty_ ? margins_.top() + spansBefore(index + 1) : 0;
}

void LazyColumn::relayout() {
    if (laying_) return;
    laying_ = true;
    const int width = std::max(1, viewport()->width() - margins_.left() - margins_.right());
    if (width != width_) {
        width_ = width;
        std::fill(heights_.begin(), heights_.end(), -1);
        shapeHeights_.clear();
        dirty_ = true;
    }
    const int view = isVisible() ? viewport()->height() : std::max(viewport()->height(), kUnshownHeight);
    // What is at the top of the view stays there while entries above it find their heights.
    recount();
    int anchor = std::max(0, entryAt(verticalScrollBar()->value()));
    if (anchor + 1 < count() && offsetOf(anchor) + heightOf(anchor) <= verticalScrollBar()->value()) ++anchor;
    const int anchorShift = verticalScrollBar()->value() - offsetOf(anchor);
    int first = 0, last = -1;
    bool more = false;
    QElapsedTimer clock;
    clock.start();
    int ahead = kMadeAheadPerTurn, spare = kMadePerTurn;
    // A made entry of another height moves those below it: the range is found again.
    for (int pass = 0; pass < 4; ++pass) {
        recount();
        const int top = std::clamp(offsetOf(anchor) + anchorShift, 0, std::max(0, total_ - view));
        const int from = top - view, to = top + 2 * view;
        first = std::max(0, entryAt(from));
        last = std::max(first - 1, entryAt(to - 1));
        // What is in view is made now; the screen around it a few entries per turn of the
        // event loop, so no turn makes many.
        const int shownFirst = std::max(0, entryAt(top));
        bool moved = false;
        more = false;
        for (int i = first; i <= last; ++i) {
            const bool shown = i >= shownFirst && offsetOf(i) < top + view;
            if (!made_.count(i)) {
                if (spare == 0 || (!shown && ahead == 0) || clock.elapsed() >= kTurnBudgetMs) {
                    more = true;
                    continue;
                }
                if (!shown) --ahead;
                --spare;
                made_[i] = make_(i);
                made_[i]->setParent(viewport());
            }
            if (heights_[i] >= 0) continue;
            QWidget* widget = made_[i];
            widget->ensurePolished();
            int h = widget->hasHeightForWidth() ? widget->heightForWidth(width_) : -1;
            if (h < 0) h = widget->sizeHint().height();
            h = std::clamp(h, widget->minimumHeight(), std::max(widget->minimumHeight(), widget->maximumHeight()));
            moved |= noteHeight(i, h);
        }
        if (!moved) break;
    }
    recount();

    // Far from view: let go, unless it holds the focus.
    const QWidget* focus = QApplication::focusWidget();
    for (auto it = made_.begin(); it != made_.end();) {
        const bool near = it->first >= first && it->first <= last;
        if (near || (focus && (it->second == focus || it->second->isAncestorOf(focus)))) {
            ++it;
            continue;
        }
        delete it->second;
        it = made_.erase(it);
    }

    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(std::max(1, viewport()->height()));
    bar->setRange(0, std::max(0, total_ - viewport()->height()));
    if (count() > 0) bar->setValue(offsetOf(anchor) + anchorShift);
    const int top = bar->value();
    for (auto& [index, widget] : made_) {
        widget->setGeometry(margins_.left(), offsetOf(index) - top, width_, heightOf(index));
        if (!widget->isVisibleTo(viewport())) widget->show();
    }
    laying_ = false;
    if (more && !aheadDue_) {
        aheadDue_ = true;
        QMetaObject::invokeMethod(this, [this] {
            aheadDue_ = false;
            relayout();
        }, Qt::QueuedConnection);
    }
}

int LazyColumn::entryAt(int y) const {
    // The most spans whose sum stays at or under `y`, less one: spans are never negative.
    int rest = y - margins_.top();
    if (rest < 0 || dirty_) return -1;
    const int n = count();
    int at = 0;
    for (int step = std::bit_floor(static_cast<unsigned>(std::max(n, 1))); step > 0; step >>= 1)
        if (at + step <= n && tree_[at + step] <= rest) {
            at += step;
            rest -= tree_[at];
        }
    return at - 1;
}

void LazyColumn::ensureVisible(int index) {
    if (index < 0 || index >= count()) return;
    QScrollBar* bar = verticalScrollBar();
    const int view = viewport()->height();
    // Entries made on the way may turn out taller or shorter than guessed: looked at again.
    for (int pass = 0; pass < 3; ++pass) {
        const int top = offsetOf(index), bottom = top + heightOf(index);
        if (top < bar->value()) bar->setValue(top - entries_[index].gapBefore);
        else if (bottom > bar->value() + view) bar->setValue(std::min(top, bottom - view + margins_.bottom()));
        else break;
    }
}

int LazyColumn::indexHolding(const QWidget* widget) const {
    for (const auto& [index, made] : made_)
        if (made == widget || made->isAncestorOf(widget)) return index;
    return -1;
}

void LazyColumn::followFocus(QWidget* now) {
    if (!now || !viewport()->isAncestorOf(now)) return;
    // Its keys are seen before the control's own (a button's arrows walk Qt's chain).
    now->installEventFilter(this);
    current_ = indexHolding(now);
    ensureVisible(current_);
}

bool LazyColumn::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        const int from = w && w->hasFocus() ? indexHolding(w) : -1;
        if (from >= 0 && moveFocus(from, static_cast<QKeyEvent*>(event))) return true;
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

bool LazyColumn::moveFocus(int from, const QKeyEvent* key) {
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    QScrollBar* bar = verticalScrollBar();
    const int page = std::max(1, viewport()->height());
    int to = -1;
    switch (key->key()) {
    case Qt::Key_Up: to = focusable(from - 1, -1); break;
    case Qt::Key_Down: to = focusable(from + 1, 1); break;
    case Qt::Key_Home: to = focusable(0, 1); break;
    case Qt::Key_End: to = focusable(count() - 1, -1); break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        // A page on: the entry a view's height away, where the focused one stands in the view.
        const int step = key->key() == Qt::Key_PageDown ? 1 : -1;
        const int y = offsetOf(from) + step * page;
        int at = std::clamp(entryAt(y), 0, count() - 1);
        if (at == from) at += step;
        to = focusable(at, step);
        if (to < 0) to = focusable(step > 0 ? count() - 1 : 0, -step);
        if (to >= 0 && to != from) {
            const int shift = offsetOf(from) - bar->value();
            bar->setValue(offsetOf(to) - shift);
        }
        break;
    }
    default: return false;
    }
    // At either end the focus stays where it is: it never leaves the list for a button.
    if (to >= 0 && to != from) focusEntry(to);
    return true;
}

void LazyColumn::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void LazyColumn::scrollContentsBy(int, int) { relayout(); }

bool LazyColumn::event(QEvent* event) {
    const bool handled = QAbstractScrollArea::event(event);
    if (event->type() == QEvent::Show || event->type() == QEvent::LayoutRequest) relayout();
    return handled;
}

} // namespace sorvel::ui
