#include "ui/tools/ClickCard.h"

#include <QMouseEvent>

namespace sorvel::ui {

ClickCard::ClickCard(double padding, std::optional<Adaptive> fill, QWidget* parent) : Card(padding, fill, parent) {
    setCursor(Qt::PointingHandCursor);
}

void ClickCard::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    Card::mouseReleaseEvent(event);
}

} // namespace sorvel::ui
