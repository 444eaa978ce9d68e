#include "ui/kit/Texts.h"

#include "engine/PathText.h"
#include "ui/kit/LabelStyle.h"

namespace sorvel::ui::Texts {

Text* text(const QString& t, double px, Fonts::Weight weight, const Adaptive& colour, QWidget* parent) {
    return new Text(t, Fonts::system(px, weight), colour, parent);
}

Text* wrapping(const QString& t, double px, const Adaptive& colour, QWidget* parent, Fonts::Weight weight) {
    auto* w = new Text(t, Fonts::system(px, weight), colour, parent);
    w->setWrapping(true);
    return w;
}

Text* wrapping(const QString& t, const QFont& font, const Adaptive& colour, QWidget* parent) {
    auto* w = new Text(t, font, colour, parent);
    w->setWrapping(true, Text::WrapHeight::fromLayout);
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

Text* failure(const std::string& message, QWidget* parent) {
    auto* w = wrapping(q(message), 11.5, Theme::warning(), parent);
    w->setObjectName("failure");
    return w;
}

QLabel* selectable(const QString& text, const QFont& font, const Adaptive& colour, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setCursor(Qt::IBeamCursor);
    Text::styleLabel(label, colour);
    return label;
}

} // namespace sorvel::ui::Texts
