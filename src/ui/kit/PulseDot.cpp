#include "ui/kit/PulseDot.h"

#include <QPainter>

#include <cmath>

#include "ui/kit/Animations.h"

namespace sorvel::ui {

PulseDot::PulseDot(double diameter, Adaptive colour, bool pulsing, QWidget* parent)
    : QWidget(parent), diameter_(diameter), colour_(std::move(colour)), pulsing_(pulsing),
      animation_(new QVariantAnimation(this)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // One loop is there and back: 0.75 s each way.
    animation_->setDuration(1500);
    animation_->setLoopCount(-1);
    animation_->setKeyValueAt(0, 1.0);
    animation_->setKeyValueAt(0.5, 0.3);
    animation_->setKeyValueAt(1, 1.0);
    animation_->setEasingCurve(QEasingCurve::Linear);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        opacity_ = v.toDouble();
        update();
    });
}

void PulseDot::setPulsing(bool pulsing) {
    pulsing_ = pulsing;
    sync();
}

QSize PulseDot::sizeHint() const {
    const int s = int(std::ceil(diameter_));
    return {s, s};
}

void PulseDot::showEvent(QShowEvent*) { sync(); }
void PulseDot::hideEvent(QHideEvent*) { animation_->stop(); }

void PulseDot::sync() {
    if (pulsing_ && Animations::enabled() && isVisible()) {
        if (animation_->state() != QAbstractAnimation::Running) animation_->start();
    } else {
        animation_->stop();
        opacity_ = 1.0;
        update();
    }
}

void PulseDot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(opacity_);
    p.setPen(Qt::NoPen);
    p.setBrush(colour_.resolve());
    p.drawEllipse(QRectF((width() - diameter_) / 2, (height() - diameter_) / 2, diameter_, diameter_));
}

} // namespace sorvel::ui
