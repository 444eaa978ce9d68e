#include "ui/kit/FilledBox.h"

#include <QPainter>

namespace sorvel::ui {

FilledBox::FilledBox(Adaptive colour, std::optional<double> radius, QWidget* parent)
    : QWidget(parent), colour_(std::move(colour)), radius_(radius) {}

void FilledBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour_.resolve());
    const double radius = radius_.value_or(height() / 2.0);
    p.drawRoundedRect(QRectF(rect()), radius, radius);
}

} // namespace sorvel::ui
