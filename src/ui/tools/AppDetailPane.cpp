#include "ui/tools/AppDetailPane.h"

#include "engine/Bytes.h"
#include "engine/PathKnowledge.h"
#include "engine/PathText.h"
#include "models/AppsModel.h"
#include "ui/kit/Card.h"
#include "ui/kit/CheckBox.h"
#include "ui/kit/Chip.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Hairline.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/services/DesktopServices.h"
#include "ui/tools/Layouts.h"
#include "ui/tools/UninstallSelection.h"
#include "ui/tools/UninstallerRules.h"

namespace sorvel::ui {

using namespace Texts;
using namespace Layouts;
using W = Fonts::Weight;

AppDetailPane::AppDetailPane(AppsModel& apps, const InstalledApp& app, DesktopServices& desktop, QWidget* parent)
    : QWidget(parent), apps_(apps), desktop_(desktop) {
    setObjectName("appDetail");
    auto* stack = column(14, this);
    const bool running = UninstallerRules::isRunning(app, apps_.runningBundleIdentifiers());
    if (running)
        stack->addWidget(warning(q(app.name) + " is running",
                                 "Quit it first. Removing a running app leaves it writing preferences and re-creating "
                                 "the folders that were just cleared."));
    const auto block = UninstallerRules::removabilityBlock(app);
    if (block.kind == UninstallerRules::RemovabilityBlock::Kind::handoff)
        stack->addWidget(makeHandoffBlock(apps_, app, running, desktop_, this));
    else if (block.kind == UninstallerRules::RemovabilityBlock::Kind::warning)
        stack->addWidget(warning(q(block.title), q(block.body)));

    const auto bundle = UninstallerRules::bundleRow(app);
    stack->addWidget(targetRow(bundle.path, bundle.readable ? std::optional(bundle.size) : std::nullopt, bundle.kind, bundle.reason, bundle.certain, bundle.needsAdmin,
                               false));
    if (app.leftovers.empty()) {
        auto* none = new Card(18);
        none->content()->addWidget(
            wrapping(q(UninstallerRules::noLeftoversText(app)), 12, Theme::tertiaryText()));
        stack->addWidget(none);
    } else {
        stack->addWidget(caption("Left around ~/Library", 10.5, W::bold, Theme::secondaryText()));
        auto* rows = column(6);
        for (const auto& leftover : app.leftovers) {
            const auto r = UninstallerRules::leftoverRow(leftover);
            rows->addWidget(targetRow(r.path, r.size, r.kind, r.reason, r.certain, r.needsAdmin, true));
        }
        stack->addLayout(rows);
    }
    footer_ = new SelectionFooter(apps_, this);
    stack->addWidget(footer_);
    stack->addStretch(1);
    refreshTicks();
}

QWidget* AppDetailPane::warning(const QString& title, const QString& body) {
    auto* card = new Card(13, Theme::warningWash().opacity(0.55), this);
    card->setObjectName("warningBlock");
    auto* line = row(10);
    auto* symbolColumn = column(0);
    symbolColumn->setContentsMargins(0, 1, 0, 0);
    symbolColumn->addWidget(new SymbolView("exclamationmark.triangle.fill", Theme::warning(), 12));
    symbolColumn->addStretch(1);
    line->addLayout(symbolColumn);
    auto* texts = column(3);
    texts->addWidget(text(title, 12.5, W::semibold, Theme::primaryText()));
    texts->addWidget(wrapping(body, 11.5, Theme::secondaryText()));
    line->addLayout(texts, 1);
    card->content()->addLayout(line);
    return card;
}

Text* appSizeFigure(std::optional<int64_t> bytes, double px, Fonts::Weight weight, int width) {
    Text* w = bytes ? figure(q(Bytes::format(*bytes)), px, weight, Theme::primaryText(), width)
                    : text(UninstallerRules::kNotReadable, px - 1.5, W::regular, Theme::tertiaryText());
    if (!bytes) {
        w->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        w->setFixedWidth(width);
        w->setToolTip(UninstallerRules::kNotReadableTip);
    }
    w->setObjectName("sizeFigure");
    return w;
}

QWidget* AppDetailPane::targetRow(const std::string& path, std::optional<int64_t> size, const std::string& kind,
                                  const std::string& reason, bool certain, bool needsAdmin, bool withNote) {
    auto* card = new Card(0, std::nullopt, this);
    card->setObjectName("targetRow");
    auto* main = row(11);
    main->setContentsMargins(13, 10, 13, 10);
    auto* box = new CheckBox(17, 5);
    box->setEnabled(!needsAdmin);
    box->setCheckable(true);
    // The model holds the tick: a click asks it to toggle, and the refresh shows the answer.
    connect(box, &CheckBox::clicked, this, [this, path] { apps_.toggle(path); });
    box->setAccessibleName(q(tildeAbbreviated(path)));
    boxes_[path] = box;
    main->addWidget(box);
    auto* texts = column(2);
    texts->addWidget(Texts::path(path, 11.5, Theme::primaryText()));
    auto* facts = row(6);
    facts->addWidget(text(q(kind), 10.5, W::medium, Theme::secondaryText()));
    facts->addWidget(text("\u00B7", 10.5, W::regular, Theme::tertiaryText()));
    facts->addWidget(text(q(reason), 10.5, W::regular, certain ? Theme::tertiaryText() : Theme::warning()));
    facts->addStretch(1);
    texts->addLayout(facts);
    main->addLayout(texts, 1);
    main->addSpacing(10);
    if (needsAdmin) main->addWidget(new Chip("NEEDS ADMIN", Theme::warning(), Theme::warningWash()));
    main->addWidget(appSizeFigure(size, 12, W::medium, 82));
    auto* reveal = new TextButton("Reveal", Fonts::system(10.5, W::medium), Theme::accentInk());
    connect(reveal, &TextButton::clicked, this, [this, path] { desktop_.reveal(path); });
    main->addWidget(reveal);
    card->content()->addLayout(main);

    const auto note = withNote ? PathKnowledge::note(path) : std::nullopt;
    if (note && note->verdict != PathNote::Verdict::safe) {
        card->content()->addWidget(new Hairline(Qt::Horizontal));
        auto* noteLine = row(8);
        noteLine->setContentsMargins(13, 9, 13, 9);
        auto* symbolColumn = column(0);
        symbolColumn->addWidget(new SymbolView("info.circle", Theme::warning(), 10));
        symbolColumn->addStretch(1);
        noteLine->addLayout(symbolColumn);
        noteLine->addWidget(wrapping(q(note->guidance.value_or(note->what)), 11, Theme::secondaryText()), 1);
        card->content()->addLayout(noteLine);
    }
    return card;
}

void AppDetailPane::refreshTicks() {
    const auto& ticks = apps_.selectedPaths();
    for (auto& [path, box] : boxes_) box->setChecked(ticks.count(path) > 0);
    if (footer_) footer_->refresh();
}

CheckBox* AppDetailPane::checkBox(const std::string& path) const {
    auto found = boxes_.find(path);
    return found == boxes_.end() ? nullptr : found->second;
}

} // namespace sorvel::ui
