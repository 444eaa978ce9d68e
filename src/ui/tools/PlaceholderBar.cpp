#include "ui/tools/PlaceholderBar.h"

#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include "ui/kit/Animations.h"
#include "ui/kit/Theme.h"

namespace sorvel::ui {

PlaceholderBar::PlaceholderBar(int height, double radius, QWidget* parent)
    : QWidget(parent), radius_(radius), animation_(new QVariantAnimation(this)) {
    setFixedHeight(height);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    animation_->setStartValue(1.0);
    animation_->setEndValue(0.3);
    animation_->setDuration(750);
    animation_->setEasingCurve(QEasingCurve::InOutSine);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        opacity_ = v.toDouble();
        update();
    });
    connect(animation_, &QVariantAnimation::finished, this, [this] {
        animation_->setDirection(animation_->direction() == QAbstractAnimation::Forward ? QAbstractAnimation::Backward
                                                                                        : QAbstractAnimation::Forward);
        animation_->start();
    });
}

void PlaceholderBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(opacity_);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius_, radius_);
    p.fillPath(shape, Theme::inset().resolve());
}

void PlaceholderBar::showEvent(QShowEvent*) {
    if (Animations::enabled()) animation_->start();
}

void PlaceholderBar::hideEvent(QHideEvent*) {
    animation_->stop();
    opacity_ = 1;
}

} // namespace sorvel::ui
