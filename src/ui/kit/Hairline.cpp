#include "ui/kit/Hairline.h"

#include <QPainter>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

Hairline::Hairline(Qt::Orientation orientation, QWidget* parent) : QWidget(parent) {
    if (orientation == Qt::Horizontal) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        setFixedWidth(1);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
}

void Hairline::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::hairline().resolve());
}

} // namespace sorvel::ui
