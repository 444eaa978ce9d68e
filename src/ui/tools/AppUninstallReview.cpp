#include "ui/tools/AppUninstallReview.h"

#include <QKeyEvent>

#include "models/AppsModel.h"
#include "models/ScanCoordinator.h"
#include "ui/kit/Card.h"
#include "ui/kit/Button.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LabelStyle.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/tools/Layouts.h"
#include "ui/tools/PlaceholderBar.h"
#include "ui/tools/UninstallSelection.h"
#include "ui/tools/UninstallerRules.h"

namespace sorvel::ui {

using namespace Texts;
using namespace Layouts;
using W = Fonts::Weight;
using FooterButton = UninstallerRules::FooterButton;

AppUninstallReview::AppUninstallReview(AppsModel& apps, ScanCoordinator& coordinator, InstalledApp app, QWidget* parent)
    : QWidget(parent), apps_(apps), coordinator_(coordinator), app_(std::move(app)) {
    setObjectName("uninstallReview");
    setFocusPolicy(Qt::StrongFocus);
    auto* stack = column(14, this);
    const auto stage = apps_.stage();
    const auto allowed = apps_.allowed();
    const auto refused = apps_.refused();

    // A move that stopped with an error has no outcomes to count: it says why instead.
    const auto& failure = apps_.failure();
    const bool stopped = failure && stage == AppsModel::Stage::done;
    auto* title = text(stopped ? QString("The move stopped")
                               : q(UninstallerRules::reviewTitle(stage, app_, allowed.size(), apps_.preview())),
                       15, W::semibold, Theme::primaryText());
    title->setObjectName("reviewTitle");
    stack->addWidget(title);
    auto* subtitle = wrapping(q(stopped ? *failure : UninstallerRules::reviewSubtitle(stage, apps_.preview(), app_)), 12,
                              stopped ? Theme::warning() : Theme::secondaryText());
    subtitle->setObjectName("reviewSubtitle");
    stack->addWidget(subtitle);

    if (apps_.isPreviewing()) {
        for (int i = 0; i < 4; ++i) stack->addWidget(new PlaceholderBar(38, 9));
    } else {
        if (!refused.empty()) {
            stack->addWidget(caption(UninstallerRules::kRefusedCaption, 9.5, W::bold, Theme::tertiaryText()));
            for (const auto& outcome : refused) stack->addWidget(makeOutcomeRow(outcome, app_, this));
        }
        if (!allowed.empty()) {
            stack->addWidget(caption(q(UninstallerRules::allowedCaption(stage)), 9.5, W::bold, Theme::tertiaryText()));
            for (const auto& outcome : allowed) stack->addWidget(makeOutcomeRow(outcome, app_, this));
        }
    }

    auto* footer = new Card(14);
    auto* buttons = row(10);
    buttons->addStretch(1);
    for (const auto& b : UninstallerRules::reviewFooter(stage, allowed.size(), apps_.isPreviewing())) {
        const auto style = b.style == FooterButton::Style::accent ? Button::Style::accent
                           : b.style == FooterButton::Style::soft ? Button::Style::softAccent
                                                                  : Button::Style::subtle;
        auto* button = new Button(q(b.title), style);
        button->setObjectName("reviewFooterButton");
        button->setEnabled(b.enabled);
        button->setBusy(b.busy);
        const int action = static_cast<int>(b.action);
        connect(button, &Button::clicked, this, [this, action] { act(action); });
        buttons->addWidget(button);
    }
    footer->content()->addLayout(buttons);
    stack->addWidget(footer);
    stack->addStretch(1);
}

void AppUninstallReview::act(int action) {
    switch (static_cast<FooterButton::Action>(action)) {
    case FooterButton::Action::back: apps_.back(); break;
    case FooterButton::Action::confirm:
        apps_.confirm();
        break;
    case FooterButton::Action::cancel: apps_.cancelConfirm(); break;
    case FooterButton::Action::uninstall: apps_.uninstall(); break;
    case FooterButton::Action::done: coordinator_.move({rawValue(Tool::apps), {}}, true); break;
    case FooterButton::Action::none: break;
    }
}

void AppUninstallReview::keyPressEvent(QKeyEvent* event) {
    // Escape cancels a confirmation; Return finishes a done review.
    if (event->key() == Qt::Key_Escape && apps_.stage() == AppsModel::Stage::confirming) {
        act(static_cast<int>(FooterButton::Action::cancel));
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && apps_.stage() == AppsModel::Stage::done) {
        act(static_cast<int>(FooterButton::Action::done));
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace sorvel::ui
