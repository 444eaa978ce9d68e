#include "ui/kit/TextButton.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

#include "ui/kit/AccessibleControls.h"
#include "ui/kit/FocusRing.h"

namespace sorvel::ui {

TextButton::TextButton(const QString& title, QFont font, Adaptive colour, QWidget* parent, Fit fit)
    : QAbstractButton(parent), font_(std::move(font)), colour_(std::move(colour)), fit_(fit) {
    AccessibleControls::install(); // setText below already asks the bus for a reader
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    FocusRing::attach(this, {{}, 3});
}

void TextButton::setColour(const Adaptive& colour) {
    colour_ = colour;
    update();
}

QSize TextButton::sizeHint() const {
    const QFontMetricsF m(font_);
    const int pad = fit_ == Fit::padded ? 2 : 0;
    return {int(std::ceil(m.horizontalAdvance(text()))) + 2, int(std::ceil(m.height())) + pad};
}

void TextButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font_);
    p.setPen(colour_.resolve());
    if (!isEnabled()) p.setOpacity(Theme::disabledOpacity);
    else if (isDown()) p.setOpacity(0.6);
    p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

} // namespace sorvel::ui
