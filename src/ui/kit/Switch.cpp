#include "ui/kit/Switch.h"

#include <QPainter>

#include "ui/kit/Animations.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Symbols.h"

namespace sorvel::ui {

Switch::Switch(QSize size, QWidget* parent)
    : QAbstractButton(parent), size_(size), trackOff_(Theme::inset()), trackOn_(Theme::accent()),
      animation_(new QVariantAnimation(this)) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
    FocusRing::attach(this, {[this](const QWidget&) { return trackRect(); }, -1});
    animation_->setDuration(280);
    animation_->setEasingCurve(QEasingCurve::OutBack);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        position_ = v.toDouble();
        update();
    });
}

void Switch::setKnobSymbols(std::optional<KnobSymbol> off, std::optional<KnobSymbol> on) {
    offSymbol_ = std::move(off);
    onSymbol_ = std::move(on);
    update();
}

void Switch::setTrackColours(Adaptive off, Adaptive on) {
    trackOff_ = std::move(off);
    trackOn_ = std::move(on);
    update();
}

QRectF Switch::trackRect() const {
    return {0, (height() - size_.height()) / 2.0, double(size_.width()), double(size_.height())};
}

void Switch::checkStateSet() { moveKnob(); }
void Switch::nextCheckState() {
    QAbstractButton::nextCheckState();
    moveKnob();
}

void Switch::moveKnob() {
    const double target = isChecked() ? 1.0 : 0.0;
    animation_->stop();
    if (!Animations::enabled() || !isVisible()) {
        position_ = target;
        update();
        return;
    }
    animation_->setStartValue(position_);
    animation_->setEndValue(target);
    animation_->start();
}

void Switch::enterEvent(QEnterEvent* e) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(e);
}
void Switch::leaveEvent(QEvent* e) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(e);
}

void Switch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (hovering_) p.setOpacity(0.85);
    if (!isEnabled()) p.setOpacity(Theme::disabledOpacity);
    const QRectF track = trackRect();
    const double r = track.height() / 2;
    QColor fill = isChecked() ? trackOn_.resolve() : trackOff_.resolve();
    p.setBrush(fill);
    p.setPen(QPen(Theme::hairline().resolve(), 1));
    p.drawRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), r - 0.5, r - 0.5);

    const double knob = track.height() - 4;
    const double x = track.left() + 2 + position_ * (track.width() - 4 - knob);
    const QRectF knobRect(x, track.top() + 2, knob, knob);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, int(255 * 0.12)));
    p.drawEllipse(knobRect.translated(0, 1).adjusted(-0.5, -0.5, 0.5, 0.5));
    p.setBrush(Theme::raised().resolve());
    p.setPen(QPen(Theme::hairline().resolve(), 1));
    p.drawEllipse(knobRect.adjusted(0.5, 0.5, -0.5, -0.5));
    const auto& symbol = isChecked() ? onSymbol_ : offSymbol_;
    if (symbol) Symbols::paint(p, knobRect, symbol->name, symbol->colour.resolve(), 9);
}

} // namespace sorvel::ui
