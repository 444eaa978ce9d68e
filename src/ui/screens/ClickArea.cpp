#include "ui/screens/ClickArea.h"

namespace sorvel::ui {

ClickArea::ClickArea(QWidget* parent) : QAbstractButton(parent), row_(new QHBoxLayout(this)) {
    row_->setContentsMargins(0, 0, 0, 0);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize ClickArea::sizeHint() const { return row_->sizeHint(); }
QSize ClickArea::minimumSizeHint() const { return row_->minimumSize(); }

} // namespace sorvel::ui
