#include "ui/screens/CleanupPreviewSheet.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QScrollBar>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "cleanup/TargetExplainer.h"
#include "engine/Bytes.h"
#include "models/ScanCoordinator.h"
#include "platform/Trash.h"
#include "ui/kit/Button.h"
#include "ui/kit/Chip.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Hairline.h"
#include "ui/kit/LazyColumn.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/screens/ReviewRow.h"
#include "ui/services/DesktopServices.h"

namespace sorvel::ui {

namespace {

/// The sheet's own background: the window colour under the wash gradient.
class SheetBackground : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Theme::window().resolve());
        QLinearGradient wash(0, 0, 0, height());
        wash.setColorAt(0, Theme::washTop().resolve());
        wash.setColorAt(1, Theme::washBottom().resolve());
        p.fillRect(rect(), wash);
    }
};

} // namespace

CleanupPreviewSheet::CleanupPreviewSheet(ScanCoordinator& coordinator, DesktopServices& desktop, QWidget* parent)
    : QDialog(parent), coordinator_(coordinator), desktop_(desktop) {
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Cleanup preview");
    setFixedSize(820, 640);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* background = new SheetBackground(this);
    outer->addWidget(background);
    auto* column = new QVBoxLayout(background);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Header.
    auto* header = new QVBoxLayout;
    header->setContentsMargins(20, 20, 20, 20);
    header->setSpacing(6);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(9);
    symbol_ = new SymbolView("checklist", Theme::secondaryText(), 15, background, QSize(18, 18));
    title_ = new Text("", Fonts::system(15, Fonts::Weight::semibold), Theme::primaryText(), background);
    selectAll_ = new Button("Select all", Button::Style::subtle, background);
    titleRow->addWidget(symbol_);
    titleRow->addWidget(title_);
    titleRow->addStretch(1);
    titleRow->addWidget(selectAll_);
    header->addLayout(titleRow);
    subtitle_ = Texts::wrapping("", Fonts::system(12), Theme::secondaryText(), background);
    header->addWidget(subtitle_);
    // Done stage only: the items are in the Trash, but the run that lists them for a put
    // back could not be written down.
    saveError_ = Texts::saveError("", background);
    header->addWidget(saveError_);
    column->addLayout(header);
    column->addWidget(new Hairline(Qt::Horizontal, background));

    // Content: the preparing page, then the review list.
    content_ = new QStackedWidget(background);
    auto* preparing = new QWidget(content_);
    auto* prep = new QVBoxLayout(preparing);
    prep->setSpacing(10);
    prep->addStretch(1);
    auto* spinner = new Spinner(16, preparing);
    prep->addWidget(spinner, 0, Qt::AlignHCenter);
    auto* checking = new Text(QString::fromUtf8("Checking each item against the safety rules\u2026"), Fonts::system(12),
                              Theme::secondaryText(), preparing);
    prep->addWidget(checking, 0, Qt::AlignHCenter);
    progress_ = new QLabel(preparing);
    progress_->setFont(Fonts::mono(11));
    Text::styleLabel(progress_, Theme::tertiaryText());
    prep->addWidget(progress_, 0, Qt::AlignHCenter);
    prep->addStretch(1);
    content_->addWidget(preparing);
    list_ = new LazyColumn(content_);
    list_->setMargins(QMargins(20, 20, 20, 20));
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setStyleSheet("LazyColumn, LazyColumn > QWidget { background: transparent; }");
    content_->addWidget(list_);
    column->addWidget(content_, 1);
    column->addWidget(new Hairline(Qt::Horizontal, background));

    // Footer.
    auto* footer = new QHBoxLayout;
    footer->setContentsMargins(16, 16, 16, 16);
    footer->setSpacing(10);
    copy_ = new Button("Copy paths", Button::Style::subtle, background);
    openTrash_ = new Button("Open Trash", Button::Style::subtle, background);
    footer->addWidget(copy_);
    footer->addWidget(openTrash_);
    footer->addStretch(1);
    auto* figures = new QVBoxLayout;
    figures->setSpacing(1);
    amount_ = new Text("", Fonts::mono(15, Fonts::Weight::semibold), Theme::accentInk(), background);
    amount_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    count_ = new Text("", Fonts::system(10.5), Theme::tertiaryText(), background);
    count_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    figures->addWidget(amount_, 0, Qt::AlignRight);
    figures->addWidget(count_, 0, Qt::AlignRight);
    footer->addLayout(figures);
    first_ = new Button("Close", Button::Style::subtle, background);
    second_ = new Button("", Button::Style::softAccent, background);
    footer->addWidget(first_);
    footer->addWidget(second_);
    column->addLayout(footer);

    connect(selectAll_, &QAbstractButton::clicked, this, [this] {
        state_.toggleAll();
        redraw();
    });
    connect(copy_, &QAbstractButton::clicked, this, [this] { desktop_.copy(QString::fromStdString(state_.copiedPaths())); });
    connect(openTrash_, &QAbstractButton::clicked, this,
            [this] { desktop_.openURL(QUrl::fromLocalFile(QString::fromStdString(Trash::directory())).toString()); });
    connect(first_, &QAbstractButton::clicked, this, [this] {
        switch (state_.stage()) {
        case CleanupSheetState::Stage::review: QDialog::reject(); break;
        case CleanupSheetState::Stage::confirming:
            state_.back();
            redraw();
            break;
        case CleanupSheetState::Stage::done: {
            ScanCoordinator& coordinator = coordinator_;
            QDialog::accept();
            coordinator.start();
            break;
        }
        }
    });
    connect(second_, &QAbstractButton::clicked, this, [this] {
        switch (state_.stage()) {
        case CleanupSheetState::Stage::review:
            state_.proceed();
            redraw();
            break;
        case CleanupSheetState::Stage::confirming: confirmMove(); break;
        case CleanupSheetState::Stage::done: QDialog::accept(); break;
        }
    });
    // A move reports after every path: what gathered is drawn once per turn of the loop.
    connect(&coordinator_, &ScanCoordinator::cleanupProgressChanged, this, [this] {
        if (progressDue_) return;
        progressDue_ = true;
        QMetaObject::invokeMethod(this, [this] {
            progressDue_ = false;
            renderProgress();
        }, Qt::QueuedConnection);
    });
    connect(&coordinator_, &ScanCoordinator::cleanupSaveErrorChanged, this, [this] { redraw(); });
    redraw();
}

void CleanupPreviewSheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        startDryRun();
    }
}

// A step of the sheet's state with what came back, then a redraw, while the sheet still exists.
template <typename Arg>
std::function<void(const Arg&)> CleanupPreviewSheet::whileOpen(void (CleanupSheetState::*step)(Arg)) {
    return [self = QPointer<CleanupPreviewSheet>(this), step](const Arg& value) {
        if (!self) return;
        (self->state_.*step)(value);
        self->redraw();
    };
}

void CleanupPreviewSheet::startDryRun() {
    items_ = coordinator_.selectedCleanupItems();
    coordinator_.runCleanup(
        CleanupExecutor::Mode::dryRun, std::nullopt, whileOpen(&CleanupSheetState::dryRunReturned),
        whileOpen(&CleanupSheetState::failed));
    renderProgress();
}

void CleanupPreviewSheet::confirmMove() {
    auto paths = state_.startMove();
    if (!paths) return;
    // The coordinator records the run whatever becomes of the sheet; the sheet only hears
    // the outcome while it still exists. Started first, so the progress drawn is this run's.
    coordinator_.performCleanup(
        std::move(*paths), whileOpen(&CleanupSheetState::moveReturned), whileOpen(&CleanupSheetState::failed));
    redraw();
}

// Escape: "Back" while confirming, also while the move runs. While a move runs the review
// it leads back to is not closed by Escape (a second press), so the move's result is shown;
// "Close" still closes it.
void CleanupPreviewSheet::reject() {
    switch (state_.stage()) {
    case CleanupSheetState::Stage::confirming:
        if (state_.canGoBack()) {
            state_.back();
            redraw();
        }
        return;
    case CleanupSheetState::Stage::review:
        if (!state_.isWorking()) QDialog::reject();
        return;
    case CleanupSheetState::Stage::done: QDialog::reject(); return;
    }
}

// The window's own close button acts as Escape does during a move: the sheet stays, so the
// move's result is shown.
void CleanupPreviewSheet::closeEvent(QCloseEvent* event) {
    if (state_.isWorking()) {
        event->ignore();
        reject();
        return;
    }
    if (isVisible()) QDialog::reject();
    event->accept();
}

void CleanupPreviewSheet::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (state_.stage() == CleanupSheetState::Stage::done) QDialog::accept();
        return; // Return never starts a move
    }
    QDialog::keyPressEvent(event);
}

QString CleanupPreviewSheet::titleText() const { return title_->text(); }
QString CleanupPreviewSheet::subtitleText() const { return subtitle_->text(); }
QString CleanupPreviewSheet::saveErrorText() const { return saveError_->isVisibleTo(this) ? saveError_->text() : QString(); }
QString CleanupPreviewSheet::amountText() const { return amount_->text(); }
QString CleanupPreviewSheet::countText() const { return count_->text(); }
QStringList CleanupPreviewSheet::groupTitles() const { return groupTitles_; }

void CleanupPreviewSheet::renderProgress() {
    const CleanupProgress p = coordinator_.cleanupProgress();
    progress_->setVisible(p.total >= 1);
    progress_->setText(QString("%1 of %2").arg(p.done).arg(p.total));
    if (state_.isWorking()) {
        state_.moveProgressed(p.done, p.total);
        subtitle_->setText(q(state_.subtitle()));
    }
    // A long move shows how far it has come in the footer, under the amount; back in the
    // review, the footer counts the ticks again.
    if (state_.isWorking() && state_.stage() == CleanupSheetState::Stage::confirming && p.total >= 1) {
        const QLocale locale;
        count_->setText(QString("%1 of %2 moved").arg(locale.toString(p.done), locale.toString(p.total)));
    }
}

void CleanupPreviewSheet::redraw() {
    using Stage = CleanupSheetState::Stage;
    const Stage stage = state_.stage();
    switch (state_.headerSymbol()) {
    case CleanupSheetState::HeaderSymbol::checklist: symbol_->setSymbol("checklist", Theme::secondaryText()); break;
    case CleanupSheetState::HeaderSymbol::success: symbol_->setSymbol("checkmark.circle.fill", Theme::accent()); break;
    case CleanupSheetState::HeaderSymbol::warning: symbol_->setSymbol("exclamationmark.triangle", Theme::warning()); break;
    }
    title_->setText(q(state_.title()));
    subtitle_->setText(q(state_.subtitle()));
    const auto& saveError = coordinator_.cleanupSaveError();
    saveError_->setVisible(stage == Stage::done && saveError.has_value());
    saveError_->setText(stage == Stage::done && saveError ? q(*saveError) : QString());
    const auto headerButton = state_.headerButton();
    selectAll_->setVisible(headerButton.has_value());
    if (headerButton) selectAll_->setText(q(*headerButton));

    content_->setCurrentIndex(state_.isPreparing() ? 0 : 1);
    if (!state_.isPreparing()) {
        // Thousands of new outcomes: the header is drawn in this turn, the rows placed and
        // made in the next, so neither holds the window long.
        const bool fresh = listedGeneration_ != state_.outcomesGeneration();
        listedGeneration_ = state_.outcomesGeneration();
        if (fresh && state_.outcomes().size() > kRowsPlacedAtOnce) {
            listDue_ = true;
            QMetaObject::invokeMethod(this, [self = QPointer<CleanupPreviewSheet>(this)] {
                if (!self || !self->listDue_) return;
                self->listDue_ = false;
                self->renderList();
            }, Qt::QueuedConnection);
        } else if (!listDue_) {
            renderList();
        }
    }

    openTrash_->setVisible(state_.showsOpenTrash());
    amount_->setText(q(Bytes::format(state_.amount())));
    count_->setText(q(state_.countLine()));
    if (state_.isWorking()) renderProgress();
    first_->setText(q(state_.firstButton()));
    first_->setEnabled(state_.firstButtonEnabled());
    first_->setStyle(stage == Stage::done ? Button::Style::softAccent : Button::Style::subtle);
    second_->setText(q(state_.secondButton()));
    second_->setEnabled(state_.secondButtonEnabled());
    second_->setStyle(stage == Stage::review ? Button::Style::softAccent : Button::Style::accent);
    second_->setBusy(stage == Stage::confirming && state_.isWorking()); // "Moving…"
    // Return never starts a move, also with the focus on the button that does.
    FocusRing::setReturnPresses(second_, stage != Stage::confirming);

    // A new stage (the review once the dry run is back) focuses its main button; the step
    // that moves starts on "Back", so no key pressed on from the step before moves anything.
    if (!state_.isPreparing() && (!shownStage_ || *shownStage_ != stage)) {
        shownStage_ = stage;
        Button* main = second_->isEnabled() && stage != Stage::confirming ? second_ : first_;
        if (main->isEnabled()) main->setFocus(Qt::OtherFocusReason);
    }
}

// One entry of the list: a group's head, one of its rows, or the note that nothing is listed.
struct CleanupPreviewSheet::ListEntry {
    int group = -1;
    std::optional<size_t> row; // index into the outcomes
};

void CleanupPreviewSheet::renderList() {
    groups_ = std::make_shared<const std::vector<CleanupSheetState::Group>>(state_.groups(items_));
    groupTitles_.clear();
    auto entries = std::make_shared<std::vector<ListEntry>>();
    std::vector<LazyColumn::Entry> shapes;
    shapes.reserve(state_.outcomes().size() + 8);
    const auto& outcomes = state_.outcomes();
    for (size_t g = 0; g < groups_->size(); ++g) {
        const auto& group = (*groups_)[g];
        groupTitles_ << q(group.title());
        entries->push_back({static_cast<int>(g), std::nullopt});
        // The list keys walk the rows that can be ticked and the heads' "All" / "None": the
        // list is one Tab stop, so nothing in it is reached by Tab alone.
        shapes.push_back({g == 0 ? 0 : 18, 0, state_.groupButton(group).has_value()});
        for (size_t i : group.rows) {
            entries->push_back({static_cast<int>(g), i});
            // Rows alike in group, state and tick box are alike in height until made.
            const bool selectable = state_.isSelectable(outcomes[i]);
            shapes.push_back({8, 2 + (g << 8) + (outcomes[i].result.index() << 1) + (selectable ? 1 : 0), selectable});
        }
    }
    if (state_.showsNothingSelected()) {
        entries->push_back({-1, std::nullopt});
        shapes.push_back({0, 1, false});
    }

    // A tick rebuilds what is in view: the list gives the focus back to the control that acted.
    list_->setEntries(std::move(shapes), [this, entries, groups = groups_](int index) {
        const ListEntry& entry = (*entries)[static_cast<size_t>(index)];
        if (entry.group < 0)
            return static_cast<QWidget*>(new Text("Nothing selected on the previous screen.", Fonts::system(12),
                                                  Theme::tertiaryText()));
        const auto& group = (*groups)[static_cast<size_t>(entry.group)];
        return entry.row ? makeRow(group, *entry.row) : makeHead(group);
    });
}

QWidget* CleanupPreviewSheet::makeHead(const CleanupSheetState::Group& group) {
    auto* head = new QWidget;
    auto* line = new QHBoxLayout(head);
    line->setContentsMargins(0, 2, 0, 0);
    line->setSpacing(8);
    line->addWidget(new Text(q(group.title()), Fonts::system(13, Fonts::Weight::semibold), Theme::primaryText(), head));
    if (group.item) {
        const bool safe = group.item->risk == CleanupRisk::safe;
        line->addWidget(safe ? new Chip("SAFE", Theme::accentInk(), Theme::accentWash(), head)
                             : new Chip("REVIEW FIRST", Theme::warning(), Theme::warningWash(), head));
    }
    line->addStretch(1);
    if (auto label = state_.groupButton(group)) {
        auto* button = new TextButton(q(*label), Fonts::system(11, Fonts::Weight::medium), Theme::accentInk(), head, TextButton::Fit::tight);
        // Named after its group, so the focus finds it again once "All" reads "None".
        button->setObjectName("group " + q(group.title()));
        connect(button, &QAbstractButton::clicked, this, [this, group] {
            state_.toggleGroup(group);
            QMetaObject::invokeMethod(this, [this] { redraw(); }, Qt::QueuedConnection);
        });
        line->addWidget(button);
    }
    line->addWidget(new Text(q(Bytes::format(CleanupSheetState::groupBytes(group, state_.outcomes()))),
                             Fonts::mono(11.5), Theme::tertiaryText(), head));
    return head;
}

QWidget* CleanupPreviewSheet::makeRow(const CleanupSheetState::Group& group, size_t index) {
    const CleanupOutcome& o = state_.outcomes()[index];
    const std::string path = o.path;
    return new ReviewRow(o, TargetExplainer::explain(o.path, CleanupSheetState::fallbackDetail(o, group)),
                         state_.isSelected(o), state_.isSelectable(o), [this, path] {
                             state_.toggle(path);
                             // Rebuilding inside the click would delete the sender.
                             QMetaObject::invokeMethod(this, [this] { redraw(); }, Qt::QueuedConnection);
                         });
}

std::vector<ReviewRow*> CleanupPreviewSheet::rows() const {
    std::vector<ReviewRow*> rows;
    for (const auto& [index, widget] : list_->made())
        if (auto* row = qobject_cast<ReviewRow*>(widget)) rows.push_back(row);
    return rows;
}

int CleanupPreviewSheet::listedRows() const {
    int n = 0;
    if (groups_)
        for (const auto& g : *groups_) n += static_cast<int>(g.rows.size());
    return n;
}

} // namespace sorvel::ui
