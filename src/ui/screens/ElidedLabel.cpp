#include "ui/screens/ElidedLabel.h"

#include "ui/kit/Text.h"

namespace sorvel::ui {

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

} // namespace sorvel::ui
