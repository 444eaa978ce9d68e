#include "ui/kit/CheckBox.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/kit/FocusRing.h"
#include "ui/kit/Theme.h"

namespace sorvel::ui {

CheckBox::CheckBox(double side, double radius, QWidget* parent) : QAbstractButton(parent), side_(side), radius_(radius) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    FocusRing::attach(this, {[this](const QWidget&) { return boxRect(); }, radius_});
}

QRectF CheckBox::boxRect() const { return {(width() - side_) / 2, (height() - side_) / 2, side_, side_}; }

void CheckBox::setMixed(bool mixed) {
    if (mixed == mixed_) return;
    mixed_ = mixed;
    update();
}

QSize CheckBox::sizeHint() const {
    const int s = int(std::ceil(side_));
    return {s, s};
}

void CheckBox::paint(QPainter& p, const QRectF& r, double radius, bool checked, bool mixed, bool enabled) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (!enabled) p.setOpacity(p.opacity() * Theme::disabledOpacity);
    if (checked || mixed) {
        p.setPen(Qt::NoPen);
        p.setBrush(Theme::accent().resolve());
        p.drawRoundedRect(r, radius, radius);
        const double s = r.width();
        QPen pen(Qt::white, std::max(1.5, s / 8.5), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        QPainterPath path;
        if (mixed && !checked) {
            path.moveTo(r.left() + s * 0.28, r.center().y());
            path.lineTo(r.right() - s * 0.28, r.center().y());
        } else {
            path.moveTo(r.left() + s * 0.26, r.top() + s * 0.52);
            path.lineTo(r.left() + s * 0.43, r.top() + s * 0.69);
            path.lineTo(r.left() + s * 0.75, r.top() + s * 0.33);
        }
        p.drawPath(path);
    } else {
        p.setBrush(Theme::raised().resolve());
        p.setPen(QPen(Theme::tertiaryText().opacity(0.6).resolve(), 1.2));
        p.drawRoundedRect(r.adjusted(0.6, 0.6, -0.6, -0.6), radius, radius);
    }
    p.restore();
}

void CheckBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint(p, boxRect(), radius_, isChecked(), mixed_, isEnabled());
}

} // namespace sorvel::ui
