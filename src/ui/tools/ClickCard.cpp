#include "ui/tools/ClickCard.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "ui/kit/AccessibleControls.h"
#include "ui/kit/FocusRing.h"

namespace sorvel::ui {

ClickCard::ClickCard(double padding, std::optional<Adaptive> fill, QWidget* parent) : Card(padding, fill, parent) {
    setCursor(Qt::PointingHandCursor);
    FocusRing::attach(this, {{}, Card::radius});
    AccessibleControls::setRole(this, QAccessible::Button);
}

void ClickCard::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter: emit clicked(); return;
    case Qt::Key_Up:
    case Qt::Key_Down: FocusRing::moveAmongLikes(this, event->key() == Qt::Key_Up ? -1 : 1); return;
    default: Card::keyPressEvent(event);
    }
}

void ClickCard::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    Card::mouseReleaseEvent(event);
}

} // namespace sorvel::ui
