#include "ui/kit/Spinner.h"

#include <QPainter>

#include <cmath>

#include "ui/kit/Animations.h"
#include "ui/kit/Theme.h"

namespace sorvel::ui {

Spinner::Spinner(double side, QWidget* parent) : QWidget(parent), side_(side) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    timer_.setInterval(16);
    connect(&timer_, &QTimer::timeout, this, [this] {
        angle_ = (angle_ + 12) % 360;
        update();
    });
}

QSize Spinner::sizeHint() const {
    const int s = int(std::ceil(side_));
    return {s, s};
}

void Spinner::showEvent(QShowEvent*) {
    if (Animations::enabled()) timer_.start();
}
void Spinner::hideEvent(QHideEvent*) { timer_.stop(); }

void Spinner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = std::max(1.5, side_ / 8);
    const QRectF r((width() - side_) / 2 + w / 2, (height() - side_) / 2 + w / 2, side_ - w, side_ - w);
    p.setPen(QPen(Theme::hairline().resolve(), w));
    p.drawEllipse(r);
    p.setPen(QPen(Theme::secondaryText().resolve(), w, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(r, -angle_ * 16, 100 * 16);
}

} // namespace sorvel::ui
