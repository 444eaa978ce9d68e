#include "ui/kit/Card.h"

#include <QPainter>

namespace sorvel::ui {

Card::Card(double padding, std::optional<Adaptive> fill, QWidget* parent)
    : QFrame(parent), layout_(new QVBoxLayout(this)), fill_(std::move(fill)) {
    const int m = int(padding + 0.5);
    layout_->setContentsMargins(m, m, m, m);
    layout_->setSpacing(0);
}

void Card::setFill(std::optional<Adaptive> fill) {
    fill_ = std::move(fill);
    update();
}

void Card::setOverlayBorder(Adaptive colour, double width, double radius) {
    overlay_ = std::move(colour);
    overlayWidth_ = width;
    overlayRadius_ = radius;
    update();
}

void Card::paint(QPainter& p, const QRectF& r, const std::optional<Adaptive>& fill) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush((fill ? *fill : Theme::glassFill()).resolve());
    p.drawRoundedRect(r, radius, radius);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Theme::glassStroke().resolve(), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
    p.restore();
}

void Card::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, QRectF(rect()), fill_);
    if (overlay_) {
        p.setRenderHint(QPainter::Antialiasing);
        const double inset = overlayWidth_ / 2;
        p.setPen(QPen(overlay_->resolve(), overlayWidth_));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), overlayRadius_ - inset,
                          overlayRadius_ - inset);
    }
}

} // namespace sorvel::ui
