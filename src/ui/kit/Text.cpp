#include "ui/kit/Text.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "ui/kit/AccessibleControls.h"

namespace sorvel::ui {

Text::Text(QString text, QFont font, Adaptive colour, QWidget* parent)
    : QWidget(parent), text_(std::move(text)), font_(std::move(font)), colour_(std::move(colour)) {
    QWidget::setFont(font_);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    AccessibleControls::install(); // read on the bus as the label it draws
}

void Text::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    forgetMeasures();
    updateGeometry();
    update();
    AccessibleControls::changed(this);
}

void Text::setFont(const QFont& font) {
    font_ = font;
    forgetMeasures();
    QWidget::setFont(font);
    updateGeometry();
    update();
}

void Text::setColour(const Adaptive& colour) {
    if (colour == colour_) return;
    colour_ = colour;
    update();
}

void Text::setOpacity(double opacity) {
    if (opacity == opacity_) return;
    opacity_ = opacity;
    update();
}

void Text::setElide(Qt::TextElideMode mode, double minimumScale) {
    elide_ = mode;
    minimumScale_ = minimumScale;
    fittedWidth_ = -1;
    if (mode != Qt::ElideNone) setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    updateGeometry();
    update();
}

void Text::setWrapping(bool on, WrapHeight height) {
    wrapping_ = on;
    wrapHeight_ = height;
    QSizePolicy policy(QSizePolicy::Preferred,
                       on && height == WrapHeight::fromLayout ? QSizePolicy::Minimum : QSizePolicy::Preferred);
    policy.setHeightForWidth(on);
    setSizePolicy(policy);
    updateGeometry();
}

void Text::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void Text::forgetMeasures() {
    natural_ = -1;
    std::fill(std::begin(cachedWidths_), std::end(cachedWidths_), -1);
}

qreal Text::naturalWidth() const {
    if (natural_ < 0) natural_ = QFontMetricsF(font_).horizontalAdvance(text_);
    return natural_;
}

QSize Text::sizeHint() const {
    if (wrapping_) {
        const QMargins margins = contentsMargins();
        const int w = std::min(480, int(std::ceil(naturalWidth())) + 1) + margins.left() + margins.right();
        return {w, heightForWidth(w)};
    }
    return {int(std::ceil(naturalWidth())) + 1, int(std::ceil(QFontMetricsF(font_).height()))};
}

QSize Text::minimumSizeHint() const {
    const QFontMetricsF m(font_);
    if (wrapping_) {
        const QMargins margins = contentsMargins();
        return {0, int(std::ceil(m.height())) + margins.top() + margins.bottom()};
    }
    if (elide_ != Qt::ElideNone) return {0, int(std::ceil(m.height()))};
    return sizeHint();
}

int Text::heightForWidth(int width) const {
    for (int i = 0; i < kHeightsKept; ++i)
        if (cachedWidths_[i] == width) return cachedHeights_[i];
    const QMargins m = contentsMargins();
    const int inner = std::max(1, width - m.left() - m.right());
    const QRectF r =
        QFontMetricsF(font_).boundingRect(QRectF(0, 0, inner, 1e6), Qt::TextWordWrap | Qt::AlignLeft, text_);
    const int height = int(std::ceil(r.height())) + m.top() + m.bottom();
    cachedWidths_[nextCached_] = width;
    cachedHeights_[nextCached_] = height;
    nextCached_ = (nextCached_ + 1) % kHeightsKept;
    return height;
}

void Text::changeEvent(QEvent* event) {
    // The margins are part of each height kept; the natural width is the text's own.
    if (event->type() == QEvent::ContentsRectChange) std::fill(std::begin(cachedWidths_), std::end(cachedWidths_), -1);
    QWidget::changeEvent(event);
}

void Text::resizeEvent(QResizeEvent*) {
    // Layouts size most widgets from their hints; a wrapping text asks for the height its
    // width needs once it knows that width.
    if (!wrapping_ || wrapHeight_ != WrapHeight::claimed) return;
    const int h = heightForWidth(width());
    if (minimumHeight() != h) setMinimumHeight(h);
}

void Text::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setOpacity(opacity_);
    p.setPen(colour_.resolve());
    if (wrapping_) {
        p.setFont(font_);
        p.drawText(contentsRect(), Qt::TextWordWrap | (alignment_ & Qt::AlignHorizontal_Mask) | Qt::AlignTop, text_);
        return;
    }
    // Measured and elided once per text, font and width, not on every frame a list scrolls.
    if (fittedWidth_ != width() || fittedFor_ != text_ || fittedFrom_ != font_) {
        QFont f = font_;
        QString shown = text_;
        if (elide_ != Qt::ElideNone) {
            // Shrink first (down to the allowed factor), elide only what still does not fit.
            const double natural = QFontMetricsF(f).horizontalAdvance(text_);
            if (natural > width() && natural > 0) {
                const double scale = std::max(minimumScale_, width() / natural);
                if (scale < 1.0) f.setPointSizeF(f.pointSizeF() * scale);
                shown = QFontMetricsF(f).elidedText(text_, elide_, width());
            }
        }
        fittedWidth_ = width();
        fittedFor_ = text_;
        fittedFrom_ = font_;
        fittedFont_ = f;
        fittedText_ = shown;
    }
    const QFont& f = fittedFont_;
    const QString& shown = fittedText_;
    p.setFont(f);
    p.drawText(rect(), int(alignment_) | Qt::TextSingleLine, shown);
}

void Text::styleLabel(QLabel* label, const Adaptive& colour) {
    const auto apply = [label, colour] {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, colour.resolve());
        pal.setColor(QPalette::Text, colour.resolve());
        label->setPalette(pal);
    };
    apply();
    QObject::connect(&Theme::notifier(), &ThemeSignals::appearanceChanged, label, apply);
}

} // namespace sorvel::ui
