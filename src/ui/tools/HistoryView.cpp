#include "ui/tools/HistoryView.h"

#include "ui/kit/RebuildPlace.h"

#include <QVBoxLayout>

#include <utility>

#include "engine/Bytes.h"
#include "models/HistoryModel.h"
#include "removal/ShownRun.h"
#include "ui/kit/Animations.h"
#include "ui/kit/Button.h"
#include "ui/kit/Card.h"
#include "ui/kit/Chip.h"
#include "ui/kit/ClickArea.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Hairline.h"
#include "ui/kit/HeightAnimation.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/tools/Coalescer.h"
#include "ui/tools/HistoryRules.h"
#include "ui/tools/Layouts.h"
#include "ui/tools/StorageTrendsCard.h"

namespace sorvel::ui {

using namespace Texts;
using namespace Layouts;
using W = Fonts::Weight;

HistoryView::HistoryView(HistoryModel& history, ScanCoordinator& coordinator, QWidget* parent)
    : QWidget(parent), history_(history), rebuild_(new Coalescer([this] { rebuildLedger(); }, this)) {
    setObjectName("historyPage");
    auto* stack = column(20, this);
    header_ = column(0);
    stack->addLayout(header_);
    trends_ = new StorageTrendsCard(coordinator, 30, this);
    stack->addWidget(trends_);
    ledger_ = column(10);
    stack->addLayout(ledger_);
    stack->addStretch(1);
    connect(&history_, &HistoryModel::changed, rebuild_, &Coalescer::request);
    connect(&history_, &HistoryModel::saveErrorChanged, rebuild_, &Coalescer::request);
    rebuildLedger();
}

void HistoryView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Runs recorded since the model last loaded (sweeps, uninstalls, the panel).
    history_.reload();
}

void HistoryView::flush() { rebuild_->flush(); }

void HistoryView::rebuildLedger() {
    RebuildPlace place(this);
    ++builds_;
    cards_.clear();
    clear(header_);
    clear(ledger_);
    const auto& runs = history_.runs();

    auto* title = row(10);
    title->addWidget(text("History", 20, W::semibold, Theme::primaryText()));
    title->addStretch(1);
    if (!runs.empty()) {
        auto* clearLog = new Button("Clear log", Button::Style::subtle);
        clearLog->setObjectName("clearLog");
        connect(clearLog, &Button::clicked, this, [this] { history_.clearHistory(); });
        title->addWidget(clearLog);
    }
    header_->addLayout(title);
    if (const auto& failure = history_.failure()) {
        header_->setSpacing(8);
        header_->addWidget(Texts::failure(*failure));
    }
    if (const auto& error = history_.saveError()) {
        header_->setSpacing(8);
        header_->addWidget(Texts::saveError(*error));
    }
    if (const auto& note = history_.tidyNote()) {
        header_->setSpacing(8);
        header_->addWidget(Texts::failure(*note));
    }

    auto* heading = row(10);
    heading->addWidget(caption("Everything Sorvel has moved", 10.5, W::bold, Theme::secondaryText()));
    heading->addStretch(1);
    if (!runs.empty()) {
        auto* totals = mono(q(HistoryRules::totalsLine(history_.totalCount(), history_.totalMoved())), 11, W::regular,
                            Theme::tertiaryText());
        totals->setObjectName("totals");
        heading->addWidget(totals);
    }
    ledger_->addLayout(heading);

    if (runs.empty()) {
        // A history that could not be read is not empty: it is said where it is, and what
        // Sorvel does with it.
        const auto& unread = history_.nothingRead();
        auto* empty = new Card(18, unread ? std::optional<Adaptive>(Theme::warningWash()) : std::nullopt);
        empty->setObjectName(unread ? "unreadLedger" : "emptyLedger");
        empty->content()->addWidget(unread ? wrapping(q(*unread), 12, Theme::primaryText())
                                           : wrapping(HistoryRules::kEmptyText, 12, Theme::tertiaryText()));
        ledger_->addWidget(empty);
        return;
    }
    if (!history_.lastRestore().empty()) {
        const auto summary = HistoryRules::summary(history_.lastRestore());
        // A put back that brought nothing back is no success: it takes the warning's look.
        auto* card = new Card(13, summary.nothingBack ? Theme::warningWash() : Theme::accentWash().opacity(0.4));
        card->setObjectName(summary.nothingBack ? "restoreFailed" : "restoreSummary");
        card->content()->setSpacing(5);
        card->content()->addWidget(text(q(summary.title), 12, W::semibold, Theme::primaryText()));
        for (const auto& problem : summary.problems) {
            auto* line = text(q(problem), 11, W::regular, Theme::warning());
            line->setElide(Qt::ElideRight);
            line->setObjectName("problemLine");
            card->content()->addWidget(line);
        }
        ledger_->addWidget(card);
    }
    auto* cards = column(7);
    for (size_t i = 0; i < runs.size(); ++i) cards->addWidget(runCard(i));
    ledger_->addLayout(cards);

    if (const auto id = std::exchange(opening_, std::nullopt)) {
        QPointer<QWidget> card = this->card(*id);
        QPointer<QWidget> header;
        for (const auto& listed : cards_)
            if (listed.id == *id) header = listed.header;
        if (card && header && Animations::enabled()) {
            // A new card measures its content only once shown, which the layout does on the
            // next turn of the event loop: unfold it then, before it is painted.
            card->setMaximumHeight(0);
            QMetaObject::invokeMethod(
                this,
                [card, header] {
                    if (!card || !header) return;
                    QWidget* c = card;
                    HeightAnimation::run(
                        c, header->sizeHint().height(), c->sizeHint().height(),
                        [c](int h) { c->setMaximumHeight(h); }, [c] { c->setMaximumHeight(QWIDGETSIZE_MAX); });
                },
                Qt::QueuedConnection);
        }
    }
}

QWidget* HistoryView::card(const UUID& id) const {
    for (const auto& listed : cards_)
        if (listed.id == id) return listed.card;
    return nullptr;
}

void HistoryView::toggleRun(const UUID& id) {
    if (!history_.expanded().count(id)) {
        opening_ = id;
        history_.toggle(id);
        return;
    }
    for (const auto& listed : cards_) {
        if (!(listed.id == id) || !listed.card || !listed.header || !listed.card->isVisible()) continue;
        // The paths stay until the height has folded over them; then the run closes.
        QWidget* card = listed.card;
        HeightAnimation::run(
            card, card->height(), listed.header->height(), [card](int h) { card->setMaximumHeight(h); },
            [this, id] {
                if (history_.expanded().count(id)) history_.toggle(id);
            });
        return;
    }
    history_.toggle(id);
}

QWidget* HistoryView::runCard(size_t index) {
    const SweepRun& run = history_.runs()[index];
    const bool open = history_.expanded().count(run.id) > 0;
    auto* card = new Card(0);
    card->setObjectName("runCard");

    auto* headerButton = new ClickArea;
    headerButton->setObjectName("runHeader");
    auto* head = row(11, headerButton);
    head->setContentsMargins(13, 11, 13, 11);
    const auto trigger = HistoryRules::trigger(run.trigger);
    head->addWidget(new SymbolView(trigger.symbol, Theme::tertiaryText(), 11, nullptr, QSize(16, 0)));
    auto* texts = column(2);
    auto* headline = text(q(ShownRun::headline(run, history_.isMoving(run.id))), 12.5, W::medium, Theme::primaryText());
    headline->setObjectName("runHeadline");
    texts->addWidget(headline);
    auto* subtitle = text(q(HistoryRules::runSubtitle(run, history_.isMoving(run.id))), 10.5, W::regular, Theme::tertiaryText());
    subtitle->setElide(Qt::ElideRight);
    texts->addWidget(subtitle);
    head->addLayout(texts, 1);
    if (run.receipt.refusedCount >= 1)
        head->addWidget(new Chip(QString::number(run.receipt.refusedCount) + " REFUSED", Theme::warning(),
                                 Theme::warningWash()));
    // What the run moved; muted once none of it is still in the Trash.
    auto* moved = figure(q(Bytes::format(ShownRun::movedBytes(run))), 12, W::semibold,
                         run.receipt.movedBytes > 0 ? Theme::accentInk() : Theme::tertiaryText(), 82);
    moved->setObjectName("runFigure");
    head->addWidget(moved);
    auto* chevron = new SymbolView("chevron.right", Theme::tertiaryText(), 9);
    if (open) chevron->setRotation(90);
    head->addWidget(chevron);
    const UUID id = run.id;
    connect(headerButton, &ClickArea::clicked, this, [this, id] { toggleRun(id); });
    card->content()->addWidget(headerButton);
    cards_.push_back({id, card, headerButton});
    if (!open) return card;

    card->content()->addWidget(new Hairline(Qt::Horizontal));
    auto* body = column(8);
    body->setContentsMargins(13, 13, 13, 13);
    const auto detail = HistoryRules::detail(run, history_.restoring(), history_.isMoving(run.id));
    if (detail.withheld) body->addWidget(wrapping(q(*detail.withheld), 11, Theme::warning()));
    if (detail.emptyText) {
        auto* empty = wrapping(q(*detail.emptyText), 11.5, Theme::tertiaryText());
        empty->setObjectName("runDetailNote");
        body->addWidget(empty);
    } else {
        for (size_t i = 0; i < detail.rows; ++i) {
            const MovedItem& item = run.moved[i];
            // No put-back mark beside each path: the run's button puts its items back.
            auto* line = row(9);
            line->addWidget(path(item.originalPath, 10.5, Theme::secondaryText()), 1);
            line->addSpacing(8);
            line->addWidget(mono(q(Bytes::format(item.size)), 10.5, W::regular, Theme::tertiaryText()));
            body->addLayout(line);
        }
        if (detail.more) body->addWidget(text(q(*detail.more), 10.5, W::regular, Theme::tertiaryText()));
        if (detail.button) {
            auto* buttonRow = row(0);
            buttonRow->addStretch(1);
            auto* restore = new Button(q(*detail.button), Button::Style::softAccent);
            restore->setObjectName("restore");
            restore->setEnabled(detail.buttonEnabled);
            restore->setBusy(detail.buttonBusy);
            connect(restore, &Button::clicked, this, [this, index] {
                if (index < history_.runs().size()) history_.restore(history_.runs()[index]);
            });
            buttonRow->addWidget(restore);
            body->addLayout(buttonRow);
            auto* note = wrapping(HistoryRules::kRestoreNote, 10.5, Theme::tertiaryText());
            note->setAlignment(Qt::AlignRight);
            body->addWidget(note);
        } else if (detail.trimmedNote) {
            auto* note = wrapping(q(*detail.trimmedNote), 11, Theme::tertiaryText());
            note->setObjectName("trimmedNote");
            body->addWidget(note);
        }
    }
    card->content()->addLayout(body);
    return card;
}

} // namespace sorvel::ui
