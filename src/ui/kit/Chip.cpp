#include "ui/kit/Chip.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

#include "ui/kit/AccessibleControls.h"
#include "ui/kit/Fonts.h"

namespace sorvel::ui {

Chip::Chip(QString text, Adaptive ink, Adaptive fill, QWidget* parent)
    : QWidget(parent), text_(std::move(text)), ink_(std::move(ink)), fill_(std::move(fill)) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    AccessibleControls::install(); // read on the bus as the label it draws
}

void Chip::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    updateGeometry();
    update();
    AccessibleControls::changed(this);
}

void Chip::setColours(const Adaptive& ink, const Adaptive& fill) {
    ink_ = ink;
    fill_ = fill;
    update();
}

QFont Chip::font() {
    QFont f = Fonts::system(9.5, Fonts::Weight::bold);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.7);
    return f;
}

QSizeF Chip::size(const QString& text) {
    const QFontMetricsF m(font());
    return {m.horizontalAdvance(text) + 18, m.height() + 9};
}

QSize Chip::sizeHint() const {
    const QSizeF s = size(text_);
    return {int(std::ceil(s.width())), int(std::ceil(s.height()))};
}

void Chip::paint(QPainter& p, QPointF topLeft, const QString& text, const QColor& ink, const QColor& fill) {
    const QRectF r(topLeft, size(text));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    p.setFont(font());
    p.setPen(ink);
    p.drawText(r, Qt::AlignCenter, text);
    p.restore();
}

void Chip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QSizeF s = size(text_);
    paint(p, QPointF(0, (height() - s.height()) / 2), text_, ink_.resolve(), fill_.resolve());
}

} // namespace sorvel::ui
