#include "ui/kit/Surface.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>

namespace sorvel::ui {

Surface::Surface(double radius, Adaptive fill, std::optional<Adaptive> border, double borderWidth, QWidget* parent)
    : QFrame(parent), radius_(radius), fill_(std::move(fill)), border_(std::move(border)), borderWidth_(borderWidth) {}

Surface::Surface(QWidget* parent) : Surface(0, Theme::window(), std::nullopt, 0, parent) {}

void Surface::setFill(const Adaptive& fill) {
    fill_ = fill;
    update();
}

void Surface::setHoverFill(std::optional<Adaptive> fill, std::function<void(bool)> onHover) {
    hoverFill_ = std::move(fill);
    onHover_ = std::move(onHover);
    setAttribute(Qt::WA_Hover, true);
}

void Surface::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const Adaptive& fill = hovering_ && hoverFill_ ? *hoverFill_ : fill_;
    if (radius_ <= 0 && !border_) {
        p.fillRect(rect(), fill.resolve());
        return;
    }
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(r, radius_, radius_);
    p.fillPath(shape, fill.resolve());
    if (border_ && borderWidth_ > 0) {
        const double inset = borderWidth_ / 2;
        QPainterPath edge;
        edge.addRoundedRect(r.adjusted(inset, inset, -inset, -inset), radius_ - inset, radius_ - inset);
        p.setPen(QPen(border_->resolve(), borderWidth_));
        p.drawPath(edge);
    }
}

void Surface::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    if (onHover_) onHover_(true);
    update();
    QFrame::enterEvent(event);
}

void Surface::leaveEvent(QEvent* event) {
    hovering_ = false;
    if (onHover_) onHover_(false);
    update();
    QFrame::leaveEvent(event);
}

} // namespace sorvel::ui
