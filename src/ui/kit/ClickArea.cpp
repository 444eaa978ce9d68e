#include "ui/kit/ClickArea.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include "ui/kit/AccessibleControls.h"
#include "ui/kit/FocusRing.h"

namespace sorvel::ui {

ClickArea::ClickArea(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
    // A plain widget's policy: the children's layout decides, not a button's fixed height.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    FocusRing::attach(this, {{}, 6});
    AccessibleControls::install();
}

QHBoxLayout* ClickArea::row() {
    if (auto* existing = qobject_cast<QHBoxLayout*>(layout())) return existing;
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    return row;
}

void ClickArea::setFill(std::optional<Adaptive> fill, double radius, bool bordered) {
    fill_ = std::move(fill);
    radius_ = radius;
    bordered_ = bordered;
    if (fill_) FocusRing::attach(this, {{}, radius});
    update();
}

void ClickArea::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) && event->modifiers() == Qt::NoModifier) {
        FocusRing::moveAmongLikes(this, event->key() == Qt::Key_Up ? -1 : 1);
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void ClickArea::paintEvent(QPaintEvent*) {
    if (!fill_) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius_, radius_);
    p.fillPath(shape, fill_->resolve());
    if (bordered_) {
        p.setPen(QPen(Theme::hairline().resolve(), 1));
        p.drawPath(shape);
    }
}

} // namespace sorvel::ui
