#include "ui/tools/DuplicatesView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/Bytes.h"
#include "engine/PathText.h"
#include "models/DuplicatesModel.h"
#include "platform/Path.h"
#include "ui/kit/AccessibleControls.h"
#include "ui/kit/Card.h"
#include "ui/kit/Button.h"
#include "ui/kit/CheckBox.h"
#include "ui/kit/Chip.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Hairline.h"
#include "ui/kit/PulseDot.h"
#include "ui/kit/RowColumn.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/services/DesktopServices.h"
#include "ui/tools/Coalescer.h"
#include "ui/tools/DuplicateRow.h"
#include "ui/tools/DuplicatesRules.h"
#include "ui/tools/Layouts.h"
#include "ui/tools/PlaceholderBar.h"

namespace sorvel::ui {

using namespace Texts;
using namespace Layouts;
using W = Fonts::Weight;
using Stage = DuplicatesModel::Stage;

DuplicatesView::DuplicatesView(DuplicatesModel& model, DesktopServices& desktop, QWidget* parent)
    : QWidget(parent), model_(model), desktop_(desktop), layout_(column(18, this)),
      rebuild_(new Coalescer([this] { rebuild(); }, this)), builtStage_(model.stage()) {
    setObjectName("duplicatesPage");
    setFocusPolicy(Qt::StrongFocus);
    for (auto signal : {&DuplicatesModel::reportChanged, &DuplicatesModel::isScanningChanged,
                        &DuplicatesModel::scannedRootChanged, &DuplicatesModel::outcomesChanged,
                        &DuplicatesModel::stageChanged, &DuplicatesModel::saveErrorChanged,
                        &DuplicatesModel::failureChanged, &DuplicatesModel::refusalsChanged})
        connect(&model_, signal, rebuild_, &Coalescer::request);
    connect(&model_, &DuplicatesModel::reportChanged, this, [this] { shownSets_ = DuplicatesRules::kMaximumCards; });
    shownSets_ = DuplicatesRules::kMaximumCards;
    connect(&model_, &DuplicatesModel::selectedPathsChanged, this, &DuplicatesView::refreshTicks);
    rebuild();
}

void DuplicatesView::flush() { rebuild_->flush(); }

void DuplicatesView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && model_.stage() == Stage::confirming) {
        model_.cancelConfirm();
        return;
    }
    QWidget::keyPressEvent(event);
}

CheckBox* DuplicatesView::checkBox(const std::string& path) const {
    auto found = rows_.find(path);
    return found == rows_.end() ? nullptr : found->second->box();
}

namespace {

QScrollArea* scrollAreaOf(const QWidget* w) {
    for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (auto* scroll = qobject_cast<QScrollArea*>(p)) return scroll;
    return nullptr;
}

} // namespace

QWidget* DuplicatesView::stageAction() const {
    switch (builtStage_) {
    case Stage::results: return move_;
    // The step that moves things starts on Cancel: Return or Space there moves nothing.
    case Stage::confirming: return cancel_;
    case Stage::working: return moving_;
    case Stage::done: return again_;
    default: return nullptr;
    }
}

void DuplicatesView::rebuild() {
    // A stage change replaces the control that acted: its successor is put where it stood,
    // and takes the focus it had, instead of the page jumping to its first control.
    const bool stageChanged = model_.stage() != builtStage_;
    QScrollArea* scroll = scrollAreaOf(this);
    QWidget* content = layout_->count() > 1 ? layout_->itemAt(1)->widget() : nullptr; // under the header
    QWidget* focused = QApplication::focusWidget();
    // Parked on the page while the moving card stood (it takes no focus), the focus goes on.
    const bool focusInside = focused && ((content && content->isAncestorOf(focused)) || (focused == this && parked_));
    QWidget* anchor = focusInside ? focused : stageAction();
    std::optional<int> anchorTop;
    if (stageChanged && scroll && anchor && anchor->isVisible())
        anchorTop = anchor->mapTo(scroll->viewport(), QPoint()).y();
    if (stageChanged && focusInside) FocusRing::hold(content);
    clear(layout_);
    rows_.clear();
    selectedCount_ = selectedBytes_ = apparent_ = nullptr;
    move_ = confirm_ = cancel_ = nullptr;
    moving_ = again_ = nullptr;
    builtStage_ = model_.stage();
    cards_ = 0;
    ++builds_;
    layout_->addWidget(header());
    switch (DuplicatesRules::content(model_.stage())) {
    case DuplicatesRules::Content::intro: layout_->addWidget(intro()); break;
    case DuplicatesRules::Content::scanning: layout_->addWidget(scanning()); break;
    case DuplicatesRules::Content::results: layout_->addWidget(results()); break;
    case DuplicatesRules::Content::finished: layout_->addWidget(finished()); break;
    }
    layout_->addStretch(1);
    refreshTicks();
    // Escape still reaches the page from its buttons.
    QWidget* action = stageAction();
    parked_ = stageChanged && focusInside && action && action->focusPolicy() == Qt::NoFocus;
    if (stageChanged && focusInside && action && !parked_) action->setFocus(Qt::OtherFocusReason);
    else if (model_.stage() == Stage::confirming && !focusInside) setFocus();
    if (anchorTop) keepInView(*anchorTop);
}

void DuplicatesView::keepInView(int top) {
    QPointer<QWidget> action = stageAction();
    if (!action) return;
    // Where the new control lands is known once the page and the scrolling area are laid out.
    QTimer::singleShot(0, this, [this, action, top] {
        QScrollArea* scroll = scrollAreaOf(this);
        if (!action || !scroll || !action->isVisibleTo(this)) return;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QScrollBar* bar = scroll->verticalScrollBar();
        bar->setValue(bar->value() + action->mapTo(scroll->viewport(), QPoint()).y() - top);
        scroll->ensureWidgetVisible(action, 0, 0);
    });
}

QWidget* DuplicatesView::header() {
    auto* block = column(8);
    auto* line = row(10);
    line->addWidget(text("Duplicates", 20, W::semibold, Theme::primaryText()));
    line->addStretch(1);
    if (model_.isScanning()) {
        auto* stop = new Button("Stop", Button::Style::subtle);
        stop->setObjectName("stop");
        connect(stop, &Button::clicked, this, [this] { model_.cancel(); });
        line->addWidget(stop);
    } else {
        auto* choose = new Button("Choose folder\u2026", Button::Style::subtle);
        choose->setObjectName("chooseFolder");
        connect(choose, &Button::clicked, this, [this] { model_.chooseFolder(); });
        auto* home = new Button("Scan home folder", Button::Style::softAccent);
        home->setObjectName("scanHome");
        connect(home, &Button::clicked, this, [this] { model_.scan(std::nullopt); });
        line->addWidget(choose);
        line->addWidget(home);
    }
    block->addLayout(line);
    if (const auto& failure = model_.failure()) block->addWidget(Texts::failure(*failure));
    if (const auto& error = model_.saveError()) block->addWidget(Texts::saveError(*error));
    if (const auto& root = model_.scannedRoot()) {
        auto* folder = mono(q(tildeAbbreviated(*root)), 11, W::regular, Theme::tertiaryText());
        folder->setObjectName("folderLine");
        block->addWidget(folder);
    }
    return wrap(block, this);
}

QWidget* DuplicatesView::intro() {
    auto* card = new Card(18, std::nullopt, this);
    card->setObjectName("intro");
    card->content()->setSpacing(10);
    card->content()->addWidget(wrapping("Files with identical content, and what removing the extras would actually "
                                        "free \u2014 which, where copies are reflinked clones (XFS, btrfs, bcachefs) or hard links, is "
                                        "often far less than their size suggests.",
                                        12.5, Theme::secondaryText()));
    card->content()->addWidget(wrapping("Files under 1 MB are skipped, and content is compared byte for byte \u2014 "
                                        "matching sizes and names are not enough to offer something for removal.",
                                        11.5, Theme::tertiaryText()));
    return card;
}

QWidget* DuplicatesView::scanning() {
    auto* stack = column(12);
    auto* line = row(8);
    line->addWidget(new PulseDot(6, Theme::accent(), true));
    line->addWidget(text("Hashing candidates\u2026", 12, W::regular, Theme::accentInk()));
    line->addStretch(1);
    stack->addLayout(line);
    for (int i = 0; i < 5; ++i) stack->addWidget(new PlaceholderBar(44, 10));
    auto* w = wrap(stack, this);
    w->setObjectName("scanning");
    return w;
}

QWidget* DuplicatesView::results() {
    const auto& report = model_.report();
    auto* stack = column(14);
    // Summary: three figures, the shared-storage note, the limit warning.
    auto* summary = column(10);
    auto* figures = row(14);
    for (const auto& figure : DuplicatesRules::figures(report, model_.refusals())) {
        using Ink = DuplicatesRules::Figure::Ink;
        const Adaptive colour = figure.ink == Ink::accent      ? Theme::accentInk()
                                : figure.ink == Ink::secondary ? Theme::secondaryText()
                                                               : Theme::primaryText();
        auto* card = new Card(13);
        card->setObjectName("figure");
        card->content()->setSpacing(2);
        card->content()->addWidget(mono(q(figure.value), 17, W::semibold, colour));
        card->content()->addWidget(text(q(figure.label), 10.5, W::regular, Theme::tertiaryText()));
        figures->addWidget(card, 1);
    }
    summary->addLayout(figures);
    if (const auto note = DuplicatesRules::apparentNote(report, model_.refusals())) {
        auto* card = new Card(13, Theme::accentWash().opacity(0.4));
        card->setObjectName("apparentNote");
        auto* line = row(9);
        auto* symbolColumn = column(0);
        symbolColumn->addWidget(new SymbolView("sparkles", Theme::accentInk(), 11));
        symbolColumn->addStretch(1);
        line->addLayout(symbolColumn);
        auto* noteText = wrapping(q(*note), 11.5, Theme::secondaryText());
        noteText->setObjectName("apparentNoteText");
        line->addWidget(noteText, 1);
        card->content()->addLayout(line);
        summary->addWidget(card);
    }
    if (const auto limit = DuplicatesRules::limitLine(report))
        summary->addWidget(wrapping(q(*limit), 11, Theme::warning()));
    if (const auto unreadable = DuplicatesRules::unreadableLine(report))
        summary->addWidget(wrapping(q(*unreadable), 11, Theme::warning()));
    stack->addLayout(summary);

    if (report.groups.empty()) {
        auto* card = new Card(18);
        card->content()->addWidget(wrapping(q(DuplicatesRules::emptyLine(report)), 12, Theme::tertiaryText()));
        stack->addWidget(card);
    } else {
        // Every copy of every set is one row of one list: one Tab stop, the arrows move in it.
        auto* list = new RowColumn;
        list->setObjectName("duplicateSets");
        auto* cards = column(8, list);
        const size_t shown = DuplicatesRules::visibleCards(report, shownSets_);
        for (size_t i = 0; i < shown; ++i) cards->addWidget(groupCard(i));
        cards_ = int(shown);
        stack->addWidget(list);
        // Every set can be seen; sets beyond the first page come unticked.
        if (const auto more = DuplicatesRules::showMoreLabel(report, shownSets_)) {
            auto* button = new Button(q(*more), Button::Style::subtle);
            button->setObjectName("showMoreSets");
            connect(button, &Button::clicked, this, [this] {
                shownSets_ += DuplicatesRules::kMaximumCards;
                rebuild_->request();
            });
            auto* line = row(0);
            line->addStretch(1);
            line->addWidget(button);
            line->addStretch(1);
            stack->addLayout(line);
        }
        stack->addWidget(footer());
    }
    auto* w = wrap(stack, this);
    w->setObjectName("results");
    return w;
}

QWidget* DuplicatesView::groupCard(size_t index) {
    const DuplicateGroup& group = model_.report().groups[index];
    auto* card = new Card(0);
    card->setObjectName("groupCard");
    auto* head = row(10);
    head->setContentsMargins(13, 11, 13, 7);
    const std::string keptPath = group.files.empty() ? std::string() : group.files.front().path;
    auto* name = text(q(lastPathComponent(keptPath)), 12.5, W::semibold, Theme::primaryText());
    name->setElide(Qt::ElideMiddle);
    head->addWidget(name, 1);
    const auto look = DuplicatesRules::kindLook(group.kind);
    head->addWidget(new Chip(q(look.label).toUpper(), look.warning ? Theme::warning() : Theme::accentInk(),
                             look.warning ? Theme::warningWash() : Theme::accentWash()));
    head->addSpacing(8);
    head->addWidget(mono(q(DuplicatesRules::copiesLine(group)), 10.5, W::regular, Theme::tertiaryText()));
    // What can move of the set: copies the guard keeps free nothing.
    const int64_t movable = DuplicatesRules::cardFigure(group, model_.refusals());
    auto* cardFigure =
        figure(q(Bytes::format(movable)), 12, W::semibold, movable >= 1 ? Theme::accentInk() : Theme::tertiaryText(), 80);
    cardFigure->setObjectName("cardFigure");
    head->addWidget(cardFigure);
    card->content()->addLayout(head);
    if (look.explanation) {
        auto* explanation = wrapping(q(*look.explanation), 11, Theme::secondaryText());
        auto* holder = column(0);
        holder->setContentsMargins(13, 0, 13, 8);
        holder->addWidget(explanation);
        card->content()->addLayout(holder);
    }
    card->content()->addWidget(new Hairline(Qt::Horizontal));
    auto* files = column(0);
    files->setContentsMargins(0, 3, 0, 3);
    for (size_t at = 0; at < group.files.size(); ++at) {
        const DuplicateFile& file = group.files[at];
        const bool kept = file.path == keptPath;
        const auto refused = model_.refusals().find(file.path);
        const bool leftAlone = !kept && refused != model_.refusals().end();
        DuplicateRow::Content content{file.path,
                                      kept        ? DuplicateRow::Kind::kept
                                      : leftAlone ? DuplicateRow::Kind::leftAlone
                                                  : DuplicateRow::Kind::tickable,
                                      leftAlone ? q(refused->second) : QString(),
                                      q(DuplicatesRules::amount(group, kept ? 0 : at, model_.refusals())),
                                      kept || leftAlone || group.freedLeaving(at, model_.refusals()) < 1};
        const DuplicateFile copy = file;
        auto* line = new DuplicateRow(
            content,
            [this, index, copy] {
                const auto& groups = model_.report().groups;
                if (index < groups.size()) model_.toggle(copy, groups[index]);
            },
            [this, path = file.path] { desktop_.reveal(path); });
        if (content.kind == DuplicateRow::Kind::tickable) rows_[file.path] = line;
        files->addWidget(line);
    }
    card->content()->addLayout(files);
    return card;
}

QWidget* DuplicatesView::footer() {
    auto* card = new Card(14);
    card->setObjectName("duplicatesFooter");
    auto* line = row(12);
    selectedCount_ = text({}, 11.5, W::regular, Theme::tertiaryText());
    line->addWidget(selectedCount_);
    line->addStretch(1);
    auto* figures = column(1);
    selectedBytes_ = mono({}, 15, W::semibold, Theme::accentInk());
    selectedBytes_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    apparent_ = text({}, 10, W::regular, Theme::tertiaryText());
    apparent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    figures->addWidget(selectedBytes_, 0, Qt::AlignRight);
    figures->addWidget(apparent_, 0, Qt::AlignRight);
    line->addLayout(figures);
    if (model_.stage() == Stage::confirming) {
        auto* cancel = cancel_ = new Button("Cancel", Button::Style::subtle);
        cancel->setObjectName("cancel");
        connect(cancel, &Button::clicked, this, [this] { model_.cancelConfirm(); });
        confirm_ = new Button({}, Button::Style::accent);
        confirm_->setObjectName("confirmMove");
        connect(confirm_, &Button::clicked, this, [this] { model_.removeSelected(); });
        line->addWidget(cancel);
        line->addWidget(confirm_);
    } else {
        move_ = new Button("Move to Trash\u2026", Button::Style::softAccent);
        move_->setObjectName("moveToTrash");
        connect(move_, &Button::clicked, this, [this] { model_.confirm(); });
        line->addWidget(move_);
    }
    card->content()->addLayout(line);
    return card;
}

void DuplicatesView::refreshTicks() {
    const auto& ticks = model_.selectedPaths();
    for (auto& [path, row] : rows_) {
        if (row->box()->isChecked() == (ticks.count(path) > 0)) continue;
        row->box()->setChecked(ticks.count(path) > 0);
        AccessibleControls::changed(row);
    }
    if (!selectedCount_) return;
    const auto selected = model_.selected();
    selectedCount_->setText(q(DuplicatesRules::selectedLine(selected.size())));
    selectedBytes_->setText(q(Bytes::format(model_.selectedReclaimable())));
    const auto apparent = DuplicatesRules::apparentLine(model_.selectedReclaimable(), model_.selectedApparent());
    apparent_->setText(apparent ? q(*apparent) : QString());
    apparent_->setVisible(apparent.has_value());
    if (move_) {
        move_->setEnabled(!selected.empty());
    }
    if (confirm_) confirm_->setText("Move " + QString::number(selected.size()) + " to Trash");
}

QWidget* DuplicatesView::finished() {
    if (model_.stage() == Stage::working) {
        auto* card = new Card(18, std::nullopt, this);
        card->setObjectName("moving");
        moving_ = card;
        auto* line = row(8);
        line->addWidget(new PulseDot(6, Theme::accent(), true));
        line->addWidget(text("Moving\u2026", 12.5, W::regular, Theme::accentInk()));
        line->addStretch(1);
        card->content()->addLayout(line);
        return card;
    }
    const auto done = DuplicatesRules::done(model_.outcomes());
    auto* stack = column(12);
    auto* title = text(q(done.title), 15, W::semibold, Theme::primaryText());
    title->setObjectName("doneTitle");
    stack->addWidget(title);
    if (done.leftAlone) {
        // Copies the guard refused or the move could not take stay where they were.
        auto* left = column(3);
        auto* heading = text(q(*done.leftAlone), 12, W::semibold, Theme::warning());
        heading->setObjectName("leftAlone");
        left->addWidget(heading);
        for (const auto& reason : done.reasons) {
            auto* line = text(q(reason), 11, W::regular, Theme::warning());
            line->setElide(Qt::ElideMiddle);
            left->addWidget(line);
        }
        if (done.moreReasons > 0)
            left->addWidget(text("+ " + QString::number(done.moreReasons) + " more", 11, W::regular,
                                 Theme::tertiaryText()));
        stack->addLayout(left);
    }
    stack->addWidget(wrapping("Recoverable from the Trash until you empty it, and listed in History where it can be "
                              "put back in one step.",
                              12, Theme::secondaryText()));
    auto* again = again_ = new Button("Scan again", Button::Style::softAccent);
    again->setObjectName("scanAgain");
    connect(again, &Button::clicked, this, [this] { model_.scan(model_.scannedRoot()); });
    auto* buttonRow = row(0);
    buttonRow->addWidget(again);
    buttonRow->addStretch(1);
    stack->addLayout(buttonRow);
    auto* w = wrap(stack, this);
    w->setObjectName("finished");
    return w;
}

} // namespace sorvel::ui
