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
    if (!FocusRing::activateOrMove(this, event, [this] { emit clicked(); })) Card::keyPressEvent(event);
}

void ClickCard::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    Card::mouseReleaseEvent(event);
}

} // namespace sorvel::ui
