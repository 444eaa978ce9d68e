#include "ui/screens/CleanupPreviewSheet.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
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
    scroll_ = new QScrollArea(content_);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll_->setStyleSheet("QScrollArea { background: transparent; } QScrollArea > QWidget > QWidget { background: transparent; }");
    content_->addWidget(scroll_);
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
    connect(&coordinator_, &ScanCoordinator::cleanupProgressChanged, this, [this] { renderProgress(); });
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
    redraw();
    // The coordinator records the run whatever becomes of the sheet; the sheet only hears
    // the outcome while it still exists.
    coordinator_.performCleanup(
        std::move(*paths), whileOpen(&CleanupSheetState::moveReturned), whileOpen(&CleanupSheetState::failed));
}

void CleanupPreviewSheet::reject() {
    switch (state_.stage()) {
    case CleanupSheetState::Stage::confirming:
        if (state_.canGoBack()) {
            state_.back();
            redraw();
        }
        return;
    case CleanupSheetState::Stage::review:
    case CleanupSheetState::Stage::done: QDialog::reject(); return;
    }
}

// The window's own close button acts as "Back" does: during a move the sheet stays, so the
// move's result is shown and what is being moved is never offered again meanwhile.
void CleanupPreviewSheet::closeEvent(QCloseEvent* event) {
    if (state_.isWorking()) {
        event->ignore();
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
    if (!state_.isPreparing()) renderList();

    openTrash_->setVisible(state_.showsOpenTrash());
    amount_->setText(q(Bytes::format(state_.amount())));
    count_->setText(q(state_.countLine()));
    first_->setText(q(state_.firstButton()));
    first_->setEnabled(state_.firstButtonEnabled());
    first_->setOpacity(state_.firstButtonEnabled() ? 1.0 : 0.5); // drawn as inert as it is
    first_->setStyle(stage == Stage::done ? Button::Style::softAccent : Button::Style::subtle);
    second_->setText(q(state_.secondButton()));
    second_->setEnabled(state_.secondButtonEnabled());
    second_->setStyle(stage == Stage::review ? Button::Style::softAccent : Button::Style::accent);
    second_->setOpacity(stage == Stage::review && !state_.secondButtonEnabled() ? 0.5 : 1.0);
    // Return never starts a move, also with the focus on the button that does.
    FocusRing::setReturnPresses(second_, stage != Stage::confirming);

    // A new stage (the review once the dry run is back) focuses its main button.
    if (!state_.isPreparing() && (!shownStage_ || *shownStage_ != stage)) {
        shownStage_ = stage;
        Button* main = second_->isEnabled() ? second_ : first_;
        if (main->isEnabled()) main->setFocus(Qt::OtherFocusReason);
    }
}

void CleanupPreviewSheet::renderList() {
    const int scrolled = scroll_->verticalScrollBar() ? scroll_->verticalScrollBar()->value() : 0;
    rows_.clear();
    groupTitles_.clear();
    auto* list = new QWidget;
    auto* column = new QVBoxLayout(list);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(18);

    const auto& outcomes = state_.outcomes();
    for (const auto& group : state_.groups(items_)) {
        groupTitles_ << q(group.title());
        auto* block = new QVBoxLayout;
        block->setSpacing(8);
        auto* head = new QHBoxLayout;
        head->setContentsMargins(0, 2, 0, 0);
        head->setSpacing(8);
        head->addWidget(new Text(q(group.title()), Fonts::system(13, Fonts::Weight::semibold), Theme::primaryText(), list));
        if (group.item) {
            const bool safe = group.item->risk == CleanupRisk::safe;
            head->addWidget(safe ? new Chip("SAFE", Theme::accentInk(), Theme::accentWash(), list)
                                 : new Chip("REVIEW FIRST", Theme::warning(), Theme::warningWash(), list));
        }
        head->addStretch(1);
        if (auto label = state_.groupButton(group)) {
            auto* button = new TextButton(q(*label), Fonts::system(11, Fonts::Weight::medium), Theme::accentInk(), list, TextButton::Fit::tight);
            // Named after its group, so the focus finds it again once "All" reads "None".
            button->setObjectName("group " + q(group.title()));
            connect(button, &QAbstractButton::clicked, this, [this, group] {
                state_.toggleGroup(group);
                QMetaObject::invokeMethod(this, [this] { redraw(); }, Qt::QueuedConnection);
            });
            head->addWidget(button);
        }
        head->addWidget(new Text(q(Bytes::format(CleanupSheetState::groupBytes(group, outcomes))),
                                 Fonts::mono(11.5), Theme::tertiaryText(), list));
        block->addLayout(head);
        for (size_t i : group.rows) {
            const CleanupOutcome& o = outcomes[i];
            const std::string path = o.path;
            auto* row = new ReviewRow(o, TargetExplainer::explain(o.path, CleanupSheetState::fallbackDetail(o, group)),
                                      state_.isSelected(o), state_.isSelectable(o), [this, path] {
                                          state_.toggle(path);
                                          // Rebuilding inside the click would delete the sender.
                                          QMetaObject::invokeMethod(this, [this] { redraw(); }, Qt::QueuedConnection);
                                      },
                                      list);
            rows_.push_back(row);
            block->addWidget(row);
        }
        column->addLayout(block);
    }
    if (state_.showsNothingSelected())
        column->addWidget(new Text("Nothing selected on the previous screen.", Fonts::system(12), Theme::tertiaryText(), list));
    column->addStretch(1);

    // A tick rebuilds the list: the focus goes back to the control that acted.
    FocusLike like;
    const bool held = list_ && FocusRing::hold(list_, &like);
    scroll_->setWidget(list); // deletes the previous list
    list_ = list;
    if (held) FocusRing::settle(list, like);
    QPointer<QScrollArea> scroll(scroll_);
    QMetaObject::invokeMethod(this, [scroll, scrolled] {
        if (scroll) scroll->verticalScrollBar()->setValue(scrolled);
    }, Qt::QueuedConnection);
}

} // namespace sorvel::ui
