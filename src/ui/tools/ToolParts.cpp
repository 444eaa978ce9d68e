#include "ui/tools/ToolParts.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVariantAnimation>

#include <cmath>

#include "engine/PathText.h"
#include "ui/kit/Animations.h"
#include "ui/kit/LabelStyle.h"
#include "ui/kit/Symbols.h"

namespace sorvel::ui::ToolParts {

Text* text(const QString& t, double px, Fonts::Weight weight, const Adaptive& colour, QWidget* parent) {
    return new Text(t, Fonts::system(px, weight), colour, parent);
}

Text* wrapping(const QString& t, double px, const Adaptive& colour, QWidget* parent, Fonts::Weight weight) {
    auto* w = new Text(t, Fonts::system(px, weight), colour, parent);
    w->setWrapping(true);
    return w;
}

Text* mono(const QString& t, double px, Fonts::Weight weight, const Adaptive& colour, QWidget* parent) {
    return new Text(t, Fonts::mono(px, weight), colour, parent);
}

Text* path(const std::string& p, double px, const Adaptive& colour, QWidget* parent) {
    auto* w = new Text(q(tildeAbbreviated(p)), Fonts::mono(px), colour, parent);
    w->setElide(Qt::ElideMiddle);
    w->setToolTip(q(tildeAbbreviated(p)));
    return w;
}

Text* caption(const QString& t, double px, Fonts::Weight weight, const Adaptive& colour, QWidget* parent) {
    return new Text(t, LabelStyle::font(px, weight), colour, parent);
}

Text* figure(const QString& t, double px, Fonts::Weight weight, const Adaptive& colour, int width, QWidget* parent) {
    auto* w = mono(t, px, weight, colour, parent);
    w->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    w->setFixedWidth(width);
    return w;
}

Text* saveError(const std::string& message, QWidget* parent) {
    auto* w = wrapping(q(message), 11.5, Theme::warning(), parent);
    w->setObjectName("saveError");
    return w;
}

QHBoxLayout* row(int spacing, QWidget* parent) {
    auto* l = new QHBoxLayout(parent);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(spacing);
    return l;
}

QVBoxLayout* column(int spacing, QWidget* parent) {
    auto* l = new QVBoxLayout(parent);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(spacing);
    return l;
}

QWidget* wrap(QLayout* layout, QWidget* parent) {
    auto* w = new QWidget(parent);
    w->setLayout(layout);
    return w;
}

void clear(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            // Out of the tree at once (lookups see only the new widgets), deleted once the
            // event that may have come from it is over.
            w->hide();
            w->setParent(nullptr);
            w->deleteLater();
        } else if (QLayout* inner = item->layout()) {
            clear(inner);
            delete inner;
            continue; // the inner layout was its own item
        }
        delete item;
    }
}

// MARK: TextButton

TextButton::TextButton(const QString& title, QFont font, Adaptive colour, QWidget* parent)
    : QAbstractButton(parent), font_(std::move(font)), colour_(std::move(colour)) {
    setText(title);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TextButton::setColour(const Adaptive& colour) {
    colour_ = colour;
    update();
}

QSize TextButton::sizeHint() const {
    const QFontMetricsF m(font_);
    return {int(std::ceil(m.horizontalAdvance(text()))) + 2, int(std::ceil(m.height())) + 2};
}

void TextButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font_);
    p.setPen(colour_.resolve());
    if (isDown()) p.setOpacity(0.6);
    p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

// MARK: SymbolView

SymbolView::SymbolView(std::string name, double px, Adaptive colour, int width, QWidget* parent)
    : QWidget(parent), name_(std::move(name)), px_(px), colour_(std::move(colour)), width_(width) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setRotation(double degrees) {
    rotation_ = degrees;
    update();
}

QSize SymbolView::sizeHint() const {
    const QSizeF s = Symbols::size(px_);
    return {width_ > 0 ? width_ : int(std::ceil(s.width())), int(std::ceil(s.height()))};
}

namespace {
// The few symbols only these screens use, drawn as strokes in the glyph's square.
bool paintOwn(QPainter& p, const QRectF& r, const std::string& name, const QColor& colour) {
    auto at = [&](double x, double y) { return QPointF(r.left() + x * r.width(), r.top() + y * r.height()); };
    QPen pen(colour, std::max(1.2, r.width() * 0.1), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    QPainterPath path;
    if (name == "equal") {
        path.moveTo(at(0.22, 0.4)); path.lineTo(at(0.78, 0.4));
        path.moveTo(at(0.22, 0.6)); path.lineTo(at(0.78, 0.6));
    } else if (name == "arrow.up.right") {
        path.moveTo(at(0.25, 0.75)); path.lineTo(at(0.75, 0.25));
        path.moveTo(at(0.4, 0.25)); path.lineTo(at(0.75, 0.25)); path.lineTo(at(0.75, 0.6));
    } else if (name == "arrow.down.right") {
        path.moveTo(at(0.25, 0.25)); path.lineTo(at(0.75, 0.75));
        path.moveTo(at(0.75, 0.4)); path.lineTo(at(0.75, 0.75)); path.lineTo(at(0.4, 0.75));
    } else if (name == "circle.dashed") {
        pen.setStyle(Qt::DashLine);
        path.addEllipse(QRectF(at(0.18, 0.18), at(0.82, 0.82)));
    } else if (name == "menubar.arrow.up.rectangle") {
        path.addRoundedRect(QRectF(at(0.12, 0.2), at(0.88, 0.8)), 1.5, 1.5);
        path.moveTo(at(0.12, 0.34)); path.lineTo(at(0.88, 0.34));
        path.moveTo(at(0.5, 0.72)); path.lineTo(at(0.5, 0.46));
        path.moveTo(at(0.38, 0.56)); path.lineTo(at(0.5, 0.46)); path.lineTo(at(0.62, 0.56));
    } else if (name == "hand.point.right" || name == "hand.tap") {
        // A pointing finger reads as an arrow towards the action.
        path.moveTo(at(0.2, 0.5)); path.lineTo(at(0.78, 0.5));
        path.moveTo(at(0.56, 0.3)); path.lineTo(at(0.78, 0.5)); path.lineTo(at(0.56, 0.7));
        if (name == "hand.tap") path.addEllipse(QRectF(at(0.1, 0.38), at(0.3, 0.62)));
    } else {
        return false;
    }
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    return true;
}
} // namespace

void paintSymbol(QPainter& p, const QRectF& r, const std::string& name, const QColor& colour, double px) {
    if (!paintOwn(p, r, name, colour)) Symbols::paint(p, r, name, colour, px);
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QSizeF s = Symbols::size(px_);
    QRectF r(QPointF((width() - s.width()) / 2, (height() - s.height()) / 2), s);
    if (rotation_ != 0) {
        p.translate(r.center());
        p.rotate(rotation_);
        p.translate(-r.center());
    }
    paintSymbol(p, r, name_, colour_.resolve(), px_);
}

// MARK: ClickCard

ClickCard::ClickCard(double padding, std::optional<Adaptive> fill, QWidget* parent) : Card(padding, fill, parent) {
    setCursor(Qt::PointingHandCursor);
}

void ClickCard::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    Card::mouseReleaseEvent(event);
}

// MARK: ClickArea

ClickArea::ClickArea(QWidget* parent) : QWidget(parent) { setCursor(Qt::PointingHandCursor); }

void ClickArea::setFill(std::optional<Adaptive> fill, double radius, bool bordered) {
    fill_ = std::move(fill);
    radius_ = radius;
    bordered_ = bordered;
    update();
}

void ClickArea::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    QWidget::mouseReleaseEvent(event);
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

void Surface::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Theme::window().resolve());
}

// MARK: PlaceholderBar

PlaceholderBar::PlaceholderBar(int height, double radius, QWidget* parent)
    : QWidget(parent), radius_(radius), animation_(new QVariantAnimation(this)) {
    setFixedHeight(height);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    animation_->setStartValue(1.0);
    animation_->setEndValue(0.3);
    animation_->setDuration(750);
    animation_->setEasingCurve(QEasingCurve::InOutSine);
    connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        opacity_ = v.toDouble();
        update();
    });
    connect(animation_, &QVariantAnimation::finished, this, [this] {
        animation_->setDirection(animation_->direction() == QAbstractAnimation::Forward ? QAbstractAnimation::Backward
                                                                                        : QAbstractAnimation::Forward);
        animation_->start();
    });
}

void PlaceholderBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setOpacity(opacity_);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), radius_, radius_);
    p.fillPath(shape, Theme::inset().resolve());
}

void PlaceholderBar::showEvent(QShowEvent*) {
    if (Animations::enabled()) animation_->start();
}

void PlaceholderBar::hideEvent(QHideEvent*) {
    animation_->stop();
    opacity_ = 1;
}

// MARK: Coalescer

Coalescer::Coalescer(std::function<void()> work, QObject* parent) : QObject(parent), work_(std::move(work)) {}

void Coalescer::request() {
    if (pending_) return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] { flush(); });
}

void Coalescer::flush() {
    if (!pending_) return;
    pending_ = false;
    work_();
}

} // namespace sorvel::ui::ToolParts
