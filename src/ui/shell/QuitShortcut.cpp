#include "ui/shell/QuitShortcut.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QWidget>

namespace sorvel::ui {

QuitShortcut::QuitShortcut(QAction* quit, QObject* parent) : QObject(parent), quit_(quit) {
    for (QWidget* w : QApplication::topLevelWidgets()) attach(w);
    qApp->installEventFilter(this);
}

QuitShortcut::~QuitShortcut() {
    if (qApp) qApp->removeEventFilter(this);
}

bool QuitShortcut::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) attach(static_cast<QWidget*>(watched));
    return false;
}

void QuitShortcut::attach(QWidget* window) {
    // A menu would list the action as an entry; a tooltip never has the keyboard.
    if (!quit_ || !window->isWindow() || qobject_cast<QMenu*>(window) || window->windowType() == Qt::ToolTip) return;
    if (!window->actions().contains(quit_)) window->addAction(quit_);
}

} // namespace sorvel::ui
