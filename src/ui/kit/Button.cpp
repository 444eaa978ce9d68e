#include "ui/kit/Button.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

#include "ui/kit/AccessibleControls.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/LabelStyle.h"
#include "ui/kit/Symbols.h"

namespace sorvel::ui {

Button::Button(const QString& title, Style style, QWidget* parent) : QAbstractButton(parent), style_(style) {
    AccessibleControls::install(); // setText below already asks the bus for a reader
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    FocusRing::attach(this, {{}, look().radius});
}

void Button::setStyle(Style style) {
    if (style == style_) return;
    style_ = style;
    FocusRing::attach(this, {{}, look().radius});
    updateGeometry();
    update();
}

void Button::setSymbol(std::string name) {
    symbol_ = std::move(name);
    updateGeometry();
    update();
}

void Button::setBusy(bool busy) {
    busy_ = busy;
    if (busy) setEnabled(false);
    update();
}

void Button::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    // A button that would not act does not offer the hand either.
    if (event->type() == QEvent::EnabledChange) setCursor(isEnabled() ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

Button::Look Button::look() const {
    switch (style_) {
    case Style::accent:
        return {11, 3, Adaptive{Qt::white, Qt::white}, 18, 9, 9, Theme::accent(), Theme::accent().opacity(0.82),
                std::nullopt, 0};
    case Style::softAccent:
        return {11, 3, Theme::accentInk(), 16, 9, 9, Theme::accentWash(), Theme::accentWash().opacity(0.75),
                std::nullopt, 0};
    case Style::outline:
        return {11, 3, Theme::accentInk(), 18, 9, 9, Theme::glassFill(), Theme::accentWash(),
                Theme::accent().opacity(0.55), 1.2};
    case Style::subtle:
        return {10.5, 2, Theme::secondaryText(), 14, 8, 8, Theme::glassFill(), Theme::inset(), Theme::hairline(), 1};
    }
    return {};
}

QFont Button::labelFont() const {
    const Look l = look();
    return LabelStyle::font(l.size, l.weight == 3 ? Fonts::Weight::bold : Fonts::Weight::semibold);
}

QSize Button::sizeHint() const {
    const Look l = look();
    const QFontMetricsF m(labelFont());
    double w = m.horizontalAdvance(text().toUpper()) + 2 * l.padX;
    if (!symbol_.empty()) w += Symbols::size(l.size).width() + 6;
    const double h = m.height() + 2 * l.padY;
    return {int(std::ceil(w)), int(std::ceil(h))};
}

void Button::paintEvent(QPaintEvent*) {
    const Look l = look();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled() && !busy_) p.setOpacity(Theme::disabledOpacity);
    const QRectF r = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(r, l.radius, l.radius);
    p.fillPath(shape, (isDown() ? l.pressed : l.rest).resolve());
    if (l.border) {
        const double inset = l.borderWidth / 2;
        p.setPen(QPen(l.border->resolve(), l.borderWidth));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(inset, inset, -inset, -inset), l.radius - inset, l.radius - inset);
    }
    const QFont font = labelFont();
    const QFontMetricsF m(font);
    const double textWidth = m.horizontalAdvance(text().toUpper());
    const double symbolWidth = symbol_.empty() ? 0 : Symbols::size(l.size).width() + 6;
    double x = r.center().x() - (textWidth + symbolWidth) / 2;
    if (!symbol_.empty()) {
        const QSizeF s = Symbols::size(l.size);
        Symbols::paint(p, QRectF(x, r.center().y() - s.height() / 2, s.width(), s.height()), symbol_,
                       l.label.resolve(), l.size);
        x += symbolWidth;
    }
    p.setFont(font);
    p.setPen(l.label.resolve());
    p.drawText(QRectF(x, r.top(), textWidth + 2, r.height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

} // namespace sorvel::ui
