#include "ui/kit/RowColumn.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollArea>

#include <algorithm>
#include <cstdlib>

#include "ui/kit/FocusRing.h"

namespace sorvel::ui {

RowColumn::RowColumn(QWidget* parent) : QWidget(parent) {
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { follow(now); });
}

QWidgetList RowColumn::rows() const { return FocusRing::readingOrder(const_cast<RowColumn*>(this)); }

QWidgetList RowColumn::tabStops() const {
    const QWidgetList all = rows();
    if (current_ && all.contains(current_.data())) return {current_.data()};
    return all.isEmpty() ? QWidgetList{} : QWidgetList{all.front()};
}

void RowColumn::follow(QWidget* now) {
    if (!now || !isAncestorOf(now)) return;
    current_ = now;
    // Its keys are seen before the row's own (a button's arrows walk Qt's chain).
    now->installEventFilter(this);
}

bool RowColumn::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->hasFocus() && isAncestorOf(w) && move(w, static_cast<QKeyEvent*>(event))) return true;
    }
    return QWidget::eventFilter(watched, event);
}

namespace {

// The height of what shows of the page around the column: a page of rows.
int pageHeight(const QWidget* w) {
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(p)) return std::max(1, scroll->viewport()->height());
    return std::max(1, w->window()->height());
}

} // namespace

bool RowColumn::move(QWidget* from, const QKeyEvent* key) {
    if (key->modifiers() & ~Qt::KeypadModifier) return false;
    const QWidgetList all = rows();
    const qsizetype at = all.indexOf(from);
    if (at < 0 || all.isEmpty()) return false;
    const auto top = [this](const QWidget* row) { return row->mapTo(this, QPoint()).y(); };
    qsizetype to = at;
    switch (key->key()) {
    case Qt::Key_Up: to = std::max<qsizetype>(0, at - 1); break;
    case Qt::Key_Down: to = std::min(all.size() - 1, at + 1); break;
    case Qt::Key_Home: to = 0; break;
    case Qt::Key_End: to = all.size() - 1; break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        // The row a page away: the last one still within a page of this one.
        const int step = key->key() == Qt::Key_PageDown ? 1 : -1;
        const int page = pageHeight(this);
        while (to + step >= 0 && to + step < all.size() && std::abs(top(all[to + step]) - top(from)) <= page) to += step;
        if (to == at && to + step >= 0 && to + step < all.size()) to += step;
        break;
    }
    default: return false;
    }
    // At either end the focus stays where it is: it never leaves the list for a button.
    if (to != at) {
        QWidget* row = all[to];
        for (QWidget* p = row->parentWidget(); p; p = p->parentWidget())
            if (auto* scroll = qobject_cast<QScrollArea*>(p)) scroll->ensureWidgetVisible(row, 0, 24);
        row->setFocus(Qt::TabFocusReason);
    }
    return true;
}

} // namespace sorvel::ui
