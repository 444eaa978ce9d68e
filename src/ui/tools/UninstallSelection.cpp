#include "ui/tools/UninstallSelection.h"

#include "engine/Bytes.h"
#include "platform/Trash.h"
#include "ui/kit/Card.h"
#include "ui/kit/Button.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/services/DesktopServices.h"
#include "ui/tools/Layouts.h"
#include "ui/tools/UninstallerRules.h"

namespace sorvel::ui {

using namespace Texts;
using namespace Layouts;
using W = Fonts::Weight;

std::string trashFolder() { return Trash::directory(); }

SelectionFooter::SelectionFooter(AppsModel& apps, QWidget* parent) : Card(14, std::nullopt, parent), apps_(apps) {
    setObjectName("selectionFooter");
    auto* line = row(12);
    count_ = text({}, 11.5, W::regular, Theme::tertiaryText());
    size_ = mono({}, 15, W::semibold, Theme::accentInk());
    const QString name = apps_.selectedApp() ? q(apps_.selectedApp()->name) : QString();
    review_ = new Button("Review " + name + "\u2026", Button::Style::softAccent);
    review_->setObjectName("reviewButton");
    connect(review_, &Button::clicked, this, [this] { apps_.review(); });
    line->addWidget(count_);
    line->addStretch(1);
    line->addWidget(size_);
    line->addWidget(review_);
    content()->addLayout(line);
    refresh();
}

void SelectionFooter::refresh() {
    const auto targets = apps_.targets();
    const bool running = apps_.selectedApp() &&
                         UninstallerRules::isRunning(*apps_.selectedApp(), apps_.runningBundleIdentifiers());
    count_->setText(q(UninstallerRules::selectionCount(targets.size())));
    size_->setText(apps_.selectedApp() ? q(UninstallerRules::selectionSize(*apps_.selectedApp(), targets))
                                       : q(Bytes::format(apps_.selectedSize())));
    const bool enabled = UninstallerRules::reviewEnabled(targets.size(), running);
    review_->setEnabled(enabled);
}

QWidget* makeHandoffBlock(AppsModel& apps, const InstalledApp& app, bool running, DesktopServices& desktop,
                          QWidget* parent) {
    using H = UninstallerRules::Handoff;
    const H h = UninstallerRules::handoff(apps.handoff(), app, running, apps.canHandOff());
    const TintColours blue = Theme::tint(Tint::blue());
    Adaptive fill = blue.fill.opacity(0.35);
    Adaptive ink = blue.ink;
    if (h.tone == H::Tone::done) {
        fill = Theme::accentWash().opacity(0.45);
        ink = Theme::accentInk();
    } else if (h.tone == H::Tone::failed) {
        fill = Theme::warningWash().opacity(0.55);
        ink = Theme::warning();
    }
    auto* card = new Card(13, fill, parent);
    card->setObjectName("handoffBlock");
    auto* line = row(10);
    auto* symbol = new SymbolView(h.symbol, ink, 12);
    auto* symbolColumn = column(0);
    symbolColumn->setContentsMargins(0, 1, 0, 0);
    symbolColumn->addWidget(symbol);
    symbolColumn->addStretch(1);
    line->addLayout(symbolColumn);
    auto* texts = column(3);
    auto* title = text(q(h.title), 12.5, W::semibold, Theme::primaryText());
    title->setObjectName("handoffTitle");
    texts->addWidget(title);
    auto* body = wrapping(q(h.body), 11.5, Theme::secondaryText());
    body->setObjectName("handoffBody");
    texts->addWidget(body);
    line->addLayout(texts, 1);
    if (!h.button.empty()) {
        line->addSpacing(10);
        auto* button =
            new Button(q(h.button), h.style == H::Style::soft ? Button::Style::softAccent : Button::Style::subtle);
        button->setObjectName("handoffButton");
        button->setEnabled(h.enabled);
        button->setBusy(h.busy);
        if (h.action == H::Action::moveWithFinder) {
            QObject::connect(button, &Button::clicked, card, [&apps] { apps.moveBundleWithFinder(); });
        } else if (h.action == H::Action::openTrash) {
            QObject::connect(button, &Button::clicked, card, [&desktop] { desktop.reveal(trashFolder()); });
        }
        auto* buttonColumn = column(0);
        buttonColumn->addWidget(button);
        buttonColumn->addStretch(1);
        line->addLayout(buttonColumn);
    }
    card->content()->addLayout(line);
    return card;
}

QWidget* makeOutcomeRow(const CleanupOutcome& outcome, const InstalledApp& app, QWidget* parent) {
    using T = UninstallerRules::OutcomeLook::Tone;
    const auto look = UninstallerRules::outcomeLook(outcome.result);
    Adaptive tone = Theme::tertiaryText();
    if (look.tone == T::accent) tone = Theme::accentInk();
    if (look.tone == T::warning) tone = Theme::warning();
    if (look.tone == T::rose) tone = Theme::tint(Tint::rose()).ink;

    auto* card = new Card(11, std::nullopt, parent);
    card->setObjectName("outcomeRow");
    auto* line = row(10);
    auto* symbolColumn = column(0);
    symbolColumn->addWidget(new SymbolView(look.symbol, tone, 11, nullptr, QSize(14, 0)));
    symbolColumn->addStretch(1);
    line->addLayout(symbolColumn);
    auto* texts = column(2);
    texts->addWidget(path(outcome.path, 11, Theme::primaryText()));
    if (look.reason) {
        auto* reason = wrapping(q(*look.reason), 11, tone);
        reason->setObjectName("outcomeReason");
        texts->addWidget(reason);
    }
    line->addLayout(texts, 1);
    auto* sizeColumn = column(0);
    sizeColumn->addWidget(mono(q(UninstallerRules::outcomeSize(app, outcome)), 11, W::medium, Theme::secondaryText()));
    sizeColumn->addStretch(1);
    line->addLayout(sizeColumn);
    card->content()->addLayout(line);
    return card;
}

} // namespace sorvel::ui
