#include "ui/screens/ScanSkeleton.h"

#include <QPainter>

#include <cmath>

#include "ui/kit/Animations.h"
#include "ui/kit/Theme.h"
#include "ui/screens/TreemapLayout.h"

namespace sorvel::ui {

ScanSkeleton::ScanSkeleton(bool isScanning, double phase, std::vector<double> weights, QWidget* parent)
    : QWidget(parent), isScanning_(isScanning), start_(phase), phase_(phase), weights_(std::move(weights)),
      sweep_(new QVariantAnimation(this)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    sweep_->setStartValue(start_);
    sweep_->setEndValue(2.0);
    sweep_->setDuration(1800);
    sweep_->setLoopCount(-1);
    connect(sweep_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        phase_ = v.toDouble();
        update();
    });
}

double ScanSkeleton::opacity(double c, double phase) { return 0.55 + 0.45 * std::max(0.0, 1 - 3 * std::abs(c - phase)); }

void ScanSkeleton::showEvent(QShowEvent*) {
    if (isScanning_ && Animations::enabled() && sweep_->state() != QAbstractAnimation::Running) sweep_->start();
}

void ScanSkeleton::hideEvent(QHideEvent*) { sweep_->stop(); }

void ScanSkeleton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double W = width();
    const auto rects = Treemap::layout(weights_, QRectF(0, 0, W, height()));
    for (const QRectF& r : rects) {
        if (!(r.width() > 2 && r.height() > 2)) continue;
        const double c = r.center().x() / std::max(W, 1.0);
        p.setOpacity(opacity(c, phase_));
        // No blur behind the window here: a hairline edge keeps the tiles visible.
        p.setPen(QPen(Theme::hairline().resolve(), 1));
        p.setBrush(Theme::inset().resolve());
        p.drawRoundedRect(QRectF(r.x() + 2.5, r.y() + 2.5, std::max(r.width() - 5, 0.0), std::max(r.height() - 5, 0.0)), 9, 9);
    }
}

} // namespace sorvel::ui
