#include "ui/screens/ScreenLook.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/kit/Symbols.h"
#include "ui/kit/Text.h"

namespace sorvel::ui {

namespace Look {

Adaptive ink(Tone tone) {
    switch (tone) {
    case Tone::accent: return Theme::accent();
    case Tone::accentInk: return Theme::accentInk();
    case Tone::warning: return Theme::warning();
    case Tone::rose: return Theme::tint(Tint::rose()).ink;
    case Tone::blue: return Theme::tint(Tint::blue()).ink;
    case Tone::tertiary: return Theme::tertiaryText();
    case Tone::secondary: return Theme::secondaryText();
    case Tone::primary: return Theme::primaryText();
    }
    return Theme::secondaryText();
}

Adaptive wash(Tone tone) {
    switch (tone) {
    case Tone::accent:
    case Tone::accentInk: return Theme::accentWash();
    case Tone::warning: return Theme::warningWash();
    case Tone::rose: return Theme::tint(Tint::rose()).fill;
    case Tone::blue: return Theme::tint(Tint::blue()).fill;
    default: return Theme::inset();
    }
}

QString q(const std::string& text) { return QString::fromStdString(text); }

QLabel* selectable(const QString& text, const QFont& font, const Adaptive& colour, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setCursor(Qt::IBeamCursor);
    Text::styleLabel(label, colour);
    return label;
}

WrapText* wrapping(const QString& text, const QFont& font, const Adaptive& colour, QWidget* parent) {
    return new WrapText(text, font, colour, parent);
}

} // namespace Look

WrapText::WrapText(QString text, QFont font, Adaptive colour, QWidget* parent)
    : QWidget(parent), text_(std::move(text)), font_(std::move(font)), colour_(std::move(colour)) {
    QWidget::setFont(font_);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WrapText::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    cachedWidth_ = -1;
    updateGeometry();
    update();
}

int WrapText::heightForWidth(int width) const {
    if (width != cachedWidth_) {
        const QMargins m = contentsMargins();
        const int inner = std::max(1, width - m.left() - m.right());
        const QRectF box = QFontMetricsF(font_).boundingRect(QRectF(0, 0, inner, 1e6), Qt::TextWordWrap, text_);
        cachedWidth_ = width;
        cachedHeight_ = int(std::ceil(box.height())) + m.top() + m.bottom();
    }
    return cachedHeight_;
}

QSize WrapText::sizeHint() const {
    const QMargins m = contentsMargins();
    const int w = std::min(480, int(std::ceil(QFontMetricsF(font_).horizontalAdvance(text_))) + 1) + m.left() + m.right();
    return {w, heightForWidth(w)};
}

QSize WrapText::minimumSizeHint() const {
    const QMargins m = contentsMargins();
    return {0, int(std::ceil(QFontMetricsF(font_).height())) + m.top() + m.bottom()};
}

void WrapText::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ContentsRectChange) cachedWidth_ = -1;
    QWidget::changeEvent(event);
}

void WrapText::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font_);
    p.setPen(colour_.resolve());
    p.drawText(contentsRect(), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text_);
}

Surface::Surface(double radius, Adaptive fill, std::optional<Adaptive> border, double borderWidth, QWidget* parent)
    : QFrame(parent), radius_(radius), fill_(std::move(fill)), border_(std::move(border)), borderWidth_(borderWidth) {}

void Surface::setFill(const Adaptive& fill) {
    fill_ = fill;
    update();
}

void Surface::setBorder(std::optional<Adaptive> border) {
    border_ = std::move(border);
    update();
}

void Surface::setHoverFill(std::optional<Adaptive> fill, std::function<void(bool)> onHover) {
    hoverFill_ = std::move(fill);
    onHover_ = std::move(onHover);
    setAttribute(Qt::WA_Hover, true);
}

void Surface::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(r, radius_, radius_);
    p.fillPath(shape, (hovering_ && hoverFill_ ? *hoverFill_ : fill_).resolve());
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

SymbolIcon::SymbolIcon(std::string name, double px, Adaptive colour, QSize frame, QWidget* parent)
    : QWidget(parent), name_(std::move(name)), px_(px), colour_(std::move(colour)), frame_(frame) {
    setFixedSize(frame);
}

void SymbolIcon::set(std::string name, Adaptive colour) {
    name_ = std::move(name);
    colour_ = std::move(colour);
    update();
}

void SymbolIcon::setRotation(double degrees) {
    rotation_ = degrees;
    update();
}

void SymbolIcon::setOpacity(double opacity) {
    opacity_ = opacity;
    update();
}

void SymbolIcon::paintEvent(QPaintEvent*) {
    if (opacity_ <= 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(opacity_);
    const QPointF centre = QRectF(rect()).center();
    p.translate(centre);
    p.rotate(rotation_);
    p.translate(-centre);
    Symbols::paint(p, QRectF(rect()), name_, colour_.resolve(), px_);
}

TextLink::TextLink(const QString& text, QFont font, Adaptive colour, QWidget* parent)
    : QAbstractButton(parent), font_(std::move(font)), colour_(std::move(colour)) {
    setText(text);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize TextLink::sizeHint() const {
    const QFontMetricsF m(font_);
    return {int(std::ceil(m.horizontalAdvance(text()))) + 2, int(std::ceil(m.height()))};
}

void TextLink::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font_);
    QColor c = colour_.resolve();
    if (isDown()) c.setAlphaF(c.alphaF() * 0.6);
    p.setPen(c);
    p.drawText(rect(), Qt::AlignCenter, text());
}

ElidedLabel::ElidedLabel(QString text, const QFont& font, const Adaptive& colour, Qt::TextElideMode mode,
                         bool selectable, QWidget* parent)
    : QLabel(parent), full_(std::move(text)), mode_(mode) {
    setFont(font);
    setTextFormat(Qt::PlainText);
    if (selectable) {
        setTextInteractionFlags(Qt::TextSelectableByMouse);
        setCursor(Qt::IBeamCursor);
    }
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    Text::styleLabel(this, colour);
    refit();
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == full_) return;
    full_ = text;
    refit();
}

QSize ElidedLabel::minimumSizeHint() const { return {0, fontMetrics().height()}; }

QSize ElidedLabel::sizeHint() const { return {fontMetrics().horizontalAdvance(full_) + 2, fontMetrics().height()}; }

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    refit();
}

void ElidedLabel::refit() {
    const QString shown = fontMetrics().elidedText(full_, mode_, std::max(0, width()));
    if (shown != text()) setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
}

HairlineRule::HairlineRule(QWidget* parent) : QWidget(parent) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void HairlineRule::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::hairline().resolve());
}

} // namespace sorvel::ui
