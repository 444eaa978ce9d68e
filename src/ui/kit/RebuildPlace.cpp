#include "ui/kit/RebuildPlace.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QScrollBar>
#include <QTimer>

namespace sorvel::ui {

namespace {

// Kept on the screen while the control it names is away or disabled.
constexpr const char* kPending = "sorvelPendingFocus";

// What tells a control apart from its siblings of one class and name (rows of a list): its
// accessible name and tooltip. Not a button's title, which may turn over ("Sweeping…").
QString likeOf(const QWidget* w) {
    return QString::fromLatin1(w->metaObject()->className()) + '\n' + w->objectName() + '\n' + w->accessibleName() +
           '\n' + w->toolTip();
}

} // namespace

RebuildPlace::RebuildPlace(QWidget* screen) : screen_(screen) {
    for (QWidget* w = screen; w; w = w->parentWidget())
        if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) scrolls_.emplace_back(area, area->verticalScrollBar()->value());
    QWidget* focused = QApplication::focusWidget();
    if (!focused || (focused != screen && !screen->isAncestorOf(focused))) return;
    hadFocus_ = true;
    like_ = focused == screen ? screen->property(kPending).toString() : likeOf(focused);
    // Parked where hiding the old controls hands nothing on to Qt's chain or the first control.
    if (focused != screen) screen->setFocus(Qt::OtherFocusReason);
}

void RebuildPlace::scrollBack() {
    for (const auto& [area, value] : scrolls_)
        if (area) area->verticalScrollBar()->setValue(value);
}

void RebuildPlace::restore() {
    if (!screen_ || restored_) return;
    restored_ = true;
    scrollBack();
    // The new controls are shown and laid out, and the areas' ranges follow, by posted events.
    QTimer::singleShot(0, screen_, [screen = screen_, scrolls = scrolls_, hadFocus = hadFocus_, like = like_] {
        QCoreApplication::sendPostedEvents();
        for (const auto& [area, value] : scrolls)
            if (area) area->verticalScrollBar()->setValue(value);
        // A focus the user moved meanwhile stays.
        if (!screen || !hadFocus || QApplication::focusWidget() != screen) return;
        screen->setProperty(kPending, QVariant());
        if (like.isEmpty()) return;
        for (QWidget* w : screen->findChildren<QWidget*>()) {
            if (likeOf(w) != like || !(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(screen)) continue;
            if (!w->isEnabled()) break;
            w->setFocus(Qt::OtherFocusReason);
            return;
        }
        screen->setProperty(kPending, like);
    });
}

} // namespace sorvel::ui
