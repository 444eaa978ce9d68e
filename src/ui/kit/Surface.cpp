#include "ui/kit/Surface.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPaintEvent>

#include <algorithm>
#include <cmath>

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

void Surface::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const Adaptive& fill = hovering_ && hoverFill_ ? *hoverFill_ : fill_;
    if (radius_ <= 0 && !border_) {
        p.fillRect(rect(), fill.resolve());
        return;
    }
    // A list scrolling over a large surface exposes only its middle, which is plain fill:
    // the rounded outline is drawn only where it shows, so a frame costs no full path.
    const int edge = static_cast<int>(std::ceil(std::max(0.0, border_ ? borderWidth_ : 0.0))) + 1;
    const int corner = static_cast<int>(std::ceil(std::max(0.0, radius_))) + 1;
    const QRect exposed = event->rect();
    if (rect().adjusted(edge, corner, -edge, -corner).contains(exposed) ||
        rect().adjusted(corner, edge, -corner, -edge).contains(exposed)) {
        p.fillRect(exposed, fill.resolve());
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
