#include "ui/screens/ReviewRow.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "engine/Bytes.h"
#include "engine/PathText.h"
#include "ui/kit/CheckBox.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/kit/Texts.h"
#include "ui/screens/ElidedLabel.h"
#include "ui/screens/ReviewRowText.h"
#include "ui/screens/ToneColours.h"
#include "engine/SharedLinks.h"

namespace sorvel::ui {

ReviewRow::ReviewRow(const CleanupOutcome& outcome, const TargetExplainer::Explanation& explanation, bool isSelected,
                     bool isSelectable, std::function<void()> toggle, QWidget* parent)
    : Surface(10, Theme::card(), isSelected && isSelectable ? Theme::accent().opacity(0.4) : Theme::hairline(), 1,
              parent),
      path_(outcome.path) {
    const bool marked = isSelected && isSelectable;
    const Adaptive tone = ToneColours::ink(ReviewRowText::tone(outcome));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(13, 13, 13, 13);
    row->setSpacing(12);

    auto* lead = new QVBoxLayout;
    lead->setContentsMargins(0, 1, 0, 0);
    if (isSelectable) {
        auto* box = new CheckBox(18, 5, this);
        box->setCheckable(true);
        box->setChecked(isSelected);
        box->setCursor(Qt::PointingHandCursor);
        connect(box, &QAbstractButton::clicked, this, [box, isSelected, toggle] {
            box->setChecked(isSelected); // the sheet rebuilds the row with the new tick
            if (toggle) toggle();
        });
        box->setAccessibleName(q(ReviewRowText::name(outcome.path)));
        box->setObjectName(q(outcome.path)); // two rows may share a name, never a path
        checkbox_ = box;
        lead->addWidget(box);
    } else {
        lead->addWidget(new SymbolView(ReviewRowText::symbol(outcome), tone, 12, this, QSize(18, 18)));
    }
    lead->addStretch(1);
    row->addLayout(lead);

    auto* column = new QVBoxLayout;
    column->setSpacing(4);
    auto* nameLine = new QHBoxLayout;
    nameLine->setSpacing(8);
    auto* name = new Text(q(ReviewRowText::name(outcome.path)), Fonts::system(12.5, Fonts::Weight::semibold),
                          Theme::primaryText(), this);
    name->setElide(Qt::ElideRight);
    nameLine->addWidget(name, 1);
    auto* size = new Text(q(Bytes::format(outcome.freed())), Fonts::mono(12, Fonts::Weight::semibold),
                          marked ? Theme::accentInk() : Theme::secondaryText(), this);
    nameLine->addSpacing(8);
    nameLine->addWidget(size);
    column->addLayout(nameLine);

    column->addWidget(Texts::wrapping(q(explanation.what), Fonts::system(11.5), Theme::secondaryText(), this));
    if (const auto note = sharedStorageNote(outcome.size, outcome.shared))
        column->addWidget(Texts::wrapping(q(*note), Fonts::system(11.5), Theme::tertiaryText(), this));
    if (explanation.cost) {
        auto* cost = new QHBoxLayout;
        cost->setSpacing(6);
        auto* arrowBox = new QVBoxLayout;
        arrowBox->setContentsMargins(0, 2, 0, 0);
        arrowBox->addWidget(new SymbolView("arrow.turn.down.right", Theme::tertiaryText(), 9, this, QSize(11, 11)));
        arrowBox->addStretch(1);
        cost->addLayout(arrowBox);
        cost->addWidget(Texts::wrapping(q(*explanation.cost), Fonts::system(11.5), Theme::tertiaryText(), this), 1);
        column->addLayout(cost);
    }
    if (auto status = ReviewRowText::statusMessage(outcome))
        column->addWidget(Texts::wrapping(q(*status), Fonts::system(11, Fonts::Weight::medium), tone, this));
    column->addWidget(new ElidedLabel(q(tildeAbbreviated(outcome.path)), Fonts::mono(10), Theme::tertiaryText(),
                                      Qt::ElideMiddle, true, this));
    row->addLayout(column, 1);
}

} // namespace sorvel::ui
