#include "ui/tools/DuplicateRow.h"

#include <QKeyEvent>

#include "engine/PathText.h"
#include "ui/kit/AccessibleControls.h"
#include "ui/kit/CheckBox.h"
#include "ui/kit/Chip.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/tools/Layouts.h"

namespace sorvel::ui {

using namespace Texts;
using namespace Layouts;
using W = Fonts::Weight;

DuplicateRow::DuplicateRow(const Content& content, std::function<void()> toggle, std::function<void()> reveal,
                           QWidget* parent)
    : QWidget(parent), kind_(content.kind), toggle_(std::move(toggle)), reveal_(std::move(reveal)) {
    setObjectName("duplicateRow");
    const QString shown = q(tildeAbbreviated(content.path));
    auto* line = row(10, this);
    line->setContentsMargins(13, 5, 13, 5);
    auto* holder = new QWidget;
    holder->setFixedWidth(46);
    auto* holderLine = row(0, holder);
    if (kind_ == Kind::kept) {
        holderLine->addWidget(new Chip("KEEP", Theme::secondaryText(), Theme::raised()));
    } else {
        box_ = new CheckBox(16, 5);
        box_->setAccessibleName(shown);
        if (kind_ == Kind::leftAlone) {
            // The move would refuse it: a tick that cannot be given, and the guard's reason.
            box_->setEnabled(false);
            box_->setToolTip(content.reason);
        } else {
            box_->setCheckable(true);
            connect(box_, &CheckBox::clicked, this, [this] { toggle_(); });
        }
        box_->setFocusPolicy(Qt::NoFocus); // the row takes the focus and the tick
        holderLine->addWidget(box_);
    }
    holderLine->addStretch(1);
    line->addWidget(holder);
    const bool kept = kind_ == Kind::kept;
    if (kind_ == Kind::leftAlone) {
        auto* pathColumn = column(2);
        pathColumn->addWidget(path(content.path, 11, Theme::secondaryText()));
        auto* why = text("Left alone: " + content.reason, 10.5, W::regular, Theme::warning());
        why->setObjectName("refusedReason");
        why->setElide(Qt::ElideRight);
        pathColumn->addWidget(why);
        line->addLayout(pathColumn, 1);
    } else {
        line->addWidget(path(content.path, 11, kept ? Theme::secondaryText() : Theme::primaryText()), 1);
    }
    line->addSpacing(8);
    auto* button = new TextButton("Reveal", Fonts::system(10, W::medium), Theme::accentInk());
    button->setAccessibleName("Reveal " + shown);
    button->setFocusPolicy(Qt::NoFocus); // Return on the row reveals
    connect(button, &TextButton::clicked, this, [this] { reveal_(); });
    line->addWidget(button);
    auto* amount = figure(content.amount, 10.5, W::regular, content.quiet ? Theme::tertiaryText() : Theme::accentInk(), 110);
    amount->setObjectName("amount");
    line->addWidget(amount);

    FocusRing::attach(this, {{}, 6});
    setAccessibleName(shown);
    // Reads as its path with what moving it frees; a copy that can be ticked ticks on a press.
    AccessibleControls::describe(
        this, {QAccessible::ListItem, {}, [amount = content.amount] { return amount; }, [this] {
                   if (kind_ == Kind::tickable) toggle_();
               }},
        {[this]() -> std::optional<bool> {
             if (kind_ != Kind::tickable) return std::nullopt;
             return box_->isChecked();
         },
         [this] { return kind_ == Kind::tickable; }});
}

void DuplicateRow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & ~Qt::KeypadModifier) return QWidget::keyPressEvent(event);
    switch (event->key()) {
    case Qt::Key_Space:
        if (kind_ == Kind::tickable) toggle_();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter: reveal_(); return;
    default: QWidget::keyPressEvent(event);
    }
}

} // namespace sorvel::ui
