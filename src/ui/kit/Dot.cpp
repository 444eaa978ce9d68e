#include "ui/kit/Dot.h"

#include <QPainter>

namespace sorvel::ui {

Dot::Dot(Adaptive colour, QWidget* parent) : QWidget(parent), colour_(std::move(colour)) { setFixedSize(6, 6); }

void Dot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour_.resolve());
    p.drawEllipse(QRectF(rect()));
}

} // namespace sorvel::ui
