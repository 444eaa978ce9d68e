#include "ui/tools/MenuBarView.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "engine/Bytes.h"
#include "engine/PathText.h"
#include "models/SweepScheduler.h"
#include "platform/Path.h"
#include "removal/ShownRun.h"
#include "ui/kit/Button.h"
#include "ui/kit/CheckBox.h"
#include "ui/kit/ClickArea.h"
#include "ui/kit/Dot.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Hairline.h"
#include "ui/kit/LazyColumn.h"
#include "ui/kit/RebuildPlace.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/Surface.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/tools/Coalescer.h"
#include "ui/tools/Layouts.h"
#include "ui/tools/MenuBarRules.h"
#include "ui/tools/NextSweepTicker.h"
#include "ui/tools/SchedulePickers.h"
#include "ui/tools/SettingsRules.h"
#include "engine/SharedLinks.h"

namespace sorvel::ui {

using namespace Texts;
using namespace Layouts;
using W = Fonts::Weight;

namespace {

// A warning on its tinted box, as the sweep's withheld reason is shown.
QWidget* warningBox(const std::string& message, const char* name) {
    auto* box = new ClickArea;
    box->setCursor(Qt::ArrowCursor);
    box->setFill(Theme::warningWash(), 8);
    auto* inside = column(0, box);
    inside->setContentsMargins(9, 9, 9, 9);
    auto* text = wrapping(q(message), 11.5, Theme::warning());
    text->setObjectName(name);
    inside->addWidget(text);
    return box;
}

QWidget* section(QWidget* content) {
    auto* holder = new QWidget;
    auto* l = column(0, holder);
    l->setContentsMargins(14, 14, 14, 14);
    l->addWidget(content);
    return holder;
}

} // namespace

MenuBarView::MenuBarView(SweepScheduler& scheduler, Actions actions, QWidget* parent)
    : Surface(parent), scheduler_(scheduler), actions_(std::move(actions)), layout_(column(0, this)),
      rebuild_(new Coalescer([this] { rebuild(); }, this)), relativeRefresh_(new QTimer(this)),
      nextSweepTicker_(new NextSweepTicker(scheduler, [this] { refreshStatus(); }, this)) {
    setObjectName("menuBarPanel");
    setFixedWidth(width);
    setAutoFillBackground(false);
    for (auto signal : {&SweepScheduler::isRunningChanged, &SweepScheduler::lastReceiptChanged,
                        &SweepScheduler::putBackChanged, &SweepScheduler::nextRunDateChanged,
                        &SweepScheduler::findingsChanged,
                        &SweepScheduler::isCleaningChanged, &SweepScheduler::scheduleChanged,
                        &SweepScheduler::saveErrorChanged, &SweepScheduler::failureChanged,
                        &SweepScheduler::moveNoteChanged})
        connect(&scheduler_, signal, rebuild_, &Coalescer::request);
    connect(&scheduler_, &SweepScheduler::findingsChanged, this, [this] { ++findingsChanges_; });
    connect(&scheduler_, &SweepScheduler::selectedPathsChanged, this, &MenuBarView::refreshTicks);
    relativeRefresh_->setInterval(kRelativeRefreshMs);
    connect(relativeRefresh_, &QTimer::timeout, this, &MenuBarView::refreshStatus);
    rebuild();
}

void MenuBarView::setRelativeRefresh(int ms) { relativeRefresh_->setInterval(ms); }

void MenuBarView::refreshStatus() {
    if (!status_) return;
    // Worked out afresh at each showing: a time the last check worked out may have passed.
    const auto next = scheduler_.nextSweep();
    status_->setText(q(MenuBarRules::statusLine(scheduler_.isRunning(), next.at, scheduler_.now(), next.shortly)));
}

void MenuBarView::hideEvent(QHideEvent* event) {
    Surface::hideEvent(event);
    relativeRefresh_->stop();
    nextSweepTicker_->stop();
}

void MenuBarView::flush() { rebuild_->flush(); }

// Each time the panel opens it looks again at what is on disk: the findings may have been
// moved, removed or put back since. Asked in the next turn: handing thousands of paths to
// the worker is not added to the turn that builds and shows the panel.
void MenuBarView::showEvent(QShowEvent* event) {
    Surface::showEvent(event);
    // A time shown relative to now is true when shown, and kept so while it is.
    nextSweepTicker_->start();
    relativeRefresh_->start();
    QTimer::singleShot(0, this, [this] { scheduler_.refreshFindings(); });
}

void MenuBarView::rebuild() {
    // A refresh keeps the panel's place: where it and its list are scrolled, and the focus.
    int listScroll = 0, focusedRow = -1;
    QString focusedTip;
    if (list_) {
        listScroll = list_->verticalScrollBar()->value();
        const QWidget* focused = QApplication::focusWidget();
        for (const auto& [index, row] : list_->made())
            if (focused && (row == focused || row->isAncestorOf(focused))) focusedRow = index, focusedTip = row->toolTip();
    }
    RebuildPlace place(this);
    ++builds_;
    list_ = nullptr;
    listed_.clear();
    foundCount_ = 0;
    listedAt_ = findingsChanges_;
    selectAll_ = nullptr;
    move_ = nullptr;
    status_ = nullptr;
    clear(layout_);
    std::vector<QWidget*> sections{header(), lastSweep()};
    // What is left to tick, in order, then what the sweep moved already.
    const auto& all = scheduler_.findings();
    std::vector<uint32_t> listed;
    listed.reserve(all.size());
    for (size_t i = 0; i < all.size(); ++i)
        if (scheduler_.isActionable(all[i])) listed.push_back(static_cast<uint32_t>(i));
    const size_t toTick = listed.size();
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].moved()) listed.push_back(static_cast<uint32_t>(i));
    if (!listed.empty()) sections.push_back(findings(std::move(listed), toTick));
    sections.push_back(schedule());
    sections.push_back(actions());
    for (size_t i = 0; i < sections.size(); ++i) {
        if (i > 0) layout_->addWidget(new Hairline(Qt::Horizontal));
        layout_->addWidget(section(sections[i]));
    }
    layout_->addStretch(1);
    refreshTicks();
    // Shown now rather than in a later turn: a hidden section counts for nothing, and the
    // panel measured without it would shrink, taking the scroll position with it.
    if (isVisible())
        for (int i = 0; i < layout_->count(); ++i)
            if (QWidget* w = layout_->itemAt(i)->widget()) w->show();
    adjustSize();
    place.restore();
    if (!list_) return;
    list_->verticalScrollBar()->setValue(listScroll);
    // A row out of view is not made, so not found by its tooltip: the list is asked for it.
    QTimer::singleShot(0, list_, [this, list = list_, listScroll, focusedRow, focusedTip] {
        list->verticalScrollBar()->setValue(listScroll);
        if (focusedRow < 0 || QApplication::focusWidget() != this) return;
        for (int i = 0; i < static_cast<int>(foundCount_); ++i) {
            const int at = (focusedRow + i) % static_cast<int>(foundCount_);
            const CleanupOutcome* finding = listedFinding(at);
            if (finding && q(tildeAbbreviated(finding->path)) == focusedTip) {
                setProperty("sorvelPendingFocus", QVariant());
                list->focusEntry(at);
                return;
            }
        }
    });
}

namespace {

void showTick(QWidget* row, bool ticked) {
    static_cast<ClickArea*>(row)->setFill(ticked ? std::optional<Adaptive>(Theme::accentWash().opacity(0.5)) : std::nullopt, 7);
    row->findChild<CheckBox*>()->setChecked(ticked);
    row->findChild<Text*>("findingSize")->setColour(ticked ? Theme::accentInk() : Theme::tertiaryText());
}

} // namespace

// Only the rows made so far are widgets to change; the others take their tick when made.
void MenuBarView::refreshTicks() {
    const auto& ticks = scheduler_.selectedPaths();
    if (list_)
        for (const auto& [index, row] : list_->made())
            if (const CleanupOutcome* finding = listedFinding(index); finding && static_cast<size_t>(index) < foundCount_)
                showTick(row, ticks.count(finding->path) > 0);
    if (selectAll_) selectAll_->setText(scheduler_.allSelected() ? "Deselect all" : "Select all");
    if (move_) {
        const auto look = MenuBarRules::moveButton(scheduler_.isCleaning(), ticks.size(), scheduler_.selectedBytes());
        move_->setText(q(look.title));
        move_->setEnabled(look.enabled && !scheduler_.isRunning()); // a sweep's findings replace these
        move_->setBusy(look.busy);
    }
}

QWidget* MenuBarView::header() {
    auto* line = row(10);
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) {
        auto* image = new QLabel;
        image->setPixmap(icon.pixmap(30, 30));
        image->setFixedSize(30, 30);
        line->addWidget(image);
    }
    auto* texts = column(1);
    texts->addWidget(caption("Sorvel", 12, W::bold, Theme::primaryText()));
    auto* status = status_ = text({}, 11, W::regular, Theme::tertiaryText());
    status->setObjectName("statusLine");
    refreshStatus();
    texts->addWidget(status);
    line->addLayout(texts);
    line->addStretch(1);
    if (scheduler_.isRunning()) line->addWidget(new Spinner(16 * 0.65));
    return wrap(line);
}

QWidget* MenuBarView::lastSweep() {
    auto* stack = column(10);
    stack->addWidget(caption("Last sweep", 9.5, W::semibold, Theme::tertiaryText()));
    if (const auto& failure = scheduler_.failure()) stack->addWidget(Texts::failure(*failure));
    if (const auto& error = scheduler_.saveError()) stack->addWidget(Texts::saveError(*error));
    // What the last move left where it was, and why: said here, where it stays in view
    // when no finding is left to list.
    if (const auto& note = scheduler_.moveNote()) stack->addWidget(warningBox(*note, "moveNote"));
    const auto& receipt = scheduler_.lastReceipt();
    if (!receipt) {
        stack->addWidget(text("No sweep has run yet.", 12, W::regular, Theme::secondaryText()));
        return wrap(stack);
    }
    auto* body = column(7);
    auto* headline = row(7);
    auto* dotColumn = column(0);
    dotColumn->setContentsMargins(0, 5, 0, 0);
    dotColumn->addWidget(new Dot(MenuBarRules::accentDot(*receipt) ? Theme::accent() : Theme::tertiaryText()));
    dotColumn->addStretch(1);
    headline->addLayout(dotColumn);
    auto* title = wrapping(q(ShownRun::headline(*receipt, scheduler_.lastPutBack())), 13, Theme::primaryText(), nullptr, W::semibold);
    title->setObjectName("receiptHeadline");
    headline->addWidget(title, 1);
    body->addLayout(headline);
    body->addWidget(text(q(mediumDateShortTime(receipt->date)), 11, W::regular, Theme::tertiaryText()));
    if (receipt->withheldReason) body->addWidget(warningBox(*receipt->withheldReason, "withheld"));
    auto* figures = row(14);
    for (const auto& stat : MenuBarRules::stats(*receipt)) {
        auto* figure = column(1);
        figure->addWidget(caption(q(stat.caption), 9, W::semibold, Theme::tertiaryText()));
        figure->addWidget(mono(q(stat.value), 12, W::medium, Theme::primaryText()));
        figures->addLayout(figure);
    }
    figures->addStretch(1);
    body->addLayout(figures);
    // Beside "Skipped", why: the items the rest of the sweep moved past.
    if (receipt->skippedReason) {
        auto* why = wrapping(q(*receipt->skippedReason), 11, Theme::secondaryText());
        why->setObjectName("skippedReason");
        body->addWidget(why);
    }
    stack->addLayout(body);
    return wrap(stack);
}

const CleanupOutcome* MenuBarView::listedFinding(int index) const {
    const auto& all = scheduler_.findings();
    if (listedAt_ != findingsChanges_ || index < 0 || static_cast<size_t>(index) >= listed_.size() ||
        listed_[static_cast<size_t>(index)] >= all.size())
        return nullptr;
    return &all[listed_[static_cast<size_t>(index)]];
}

QWidget* MenuBarView::findings(std::vector<uint32_t> listed, size_t toTick) {
    auto* stack = column(8);
    auto* head = row(6);
    head->addWidget(caption("Found", 9.5, W::semibold, Theme::tertiaryText()));
    head->addStretch(1);
    if (toTick > 0) {
        auto* selectAll = new TextButton("Select all", Fonts::system(10.5, W::medium), Theme::accentInk());
        selectAll_ = selectAll;
        selectAll->setObjectName("selectAll");
        connect(selectAll, &TextButton::clicked, this, [this] { scheduler_.selectAll(!scheduler_.allSelected()); });
        head->addWidget(selectAll);
    }
    stack->addLayout(head);

    const size_t total = listed.size();
    foundCount_ = toTick;
    listed_ = std::move(listed);
    std::vector<LazyColumn::Entry> entries(total);
    for (size_t i = 0; i < total; ++i) entries[i] = {i == 0 ? 0 : 3, i < foundCount_ ? 0u : 1u, i < foundCount_};
    auto* list = list_ = new LazyColumn;
    list->setObjectName("findingsList");
    list->setFocusPolicy(Qt::NoFocus); // its rows take the focus
    list->setFixedHeight(MenuBarRules::findingsListHeight(total));
    list->setEntries(std::move(entries), [this, list](int index) {
        const CleanupOutcome* finding = list == list_ ? listedFinding(index) : nullptr;
        if (!finding) return new QWidget; // a list about to be replaced
        return static_cast<size_t>(index) < foundCount_ ? makeFinding(*finding) : makeMoved(*finding);
    });
    stack->addWidget(list);
    if (toTick == 0) return wrap(stack);

    auto* move = new Button({}, Button::Style::accent);
    move->setObjectName("moveFindings");
    move->setSymbol("trash");
    move_ = move;
    move->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(move, &Button::clicked, this, [this] { scheduler_.cleanSelected(); });
    stack->addWidget(move);
    stack->addWidget(wrapping(MenuBarRules::kMoveNote, 10.5, Theme::tertiaryText()));
    return wrap(stack);
}

QWidget* MenuBarView::makeFinding(const CleanupOutcome& finding) const {
    auto* area = new ClickArea;
    area->setObjectName("findingRow");
    area->setToolTip(q(tildeAbbreviated(finding.path)));
    auto* line = row(9, area);
    line->setContentsMargins(8, 5, 8, 5);
    auto* box = new CheckBox(15, 4);
    box->setCheckable(true);
    box->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->setFocusPolicy(Qt::NoFocus); // the row takes the focus and the tick
    line->addWidget(box);
    auto* name = text(q(lastPathComponent(finding.path)), 11.5, W::regular, Theme::primaryText());
    name->setElide(Qt::ElideMiddle);
    line->addWidget(name, 1);
    line->addSpacing(6);
    auto* size = mono(q(Bytes::format(finding.freed())), 10.5, W::medium, Theme::tertiaryText());
    if (const auto note = sharedStorageNote(finding.size, finding.shared)) size->setToolTip(q(*note));
    size->setObjectName("findingSize");
    line->addWidget(size);
    const std::string path = finding.path;
    connect(area, &ClickArea::clicked, this, [this, path] { scheduler_.toggle(path); });
    showTick(area, scheduler_.selectedPaths().count(path) > 0);
    return area;
}

QWidget* MenuBarView::makeMoved(const CleanupOutcome& finding) const {
    auto* done = new QWidget;
    done->setObjectName("movedFindingRow");
    done->setToolTip(q(tildeAbbreviated(finding.path)));
    auto* line = row(9, done);
    line->setContentsMargins(8, 5, 8, 5);
    auto* name = text(q(lastPathComponent(finding.path)), 11.5, W::regular, Theme::tertiaryText());
    name->setElide(Qt::ElideMiddle);
    line->addWidget(name, 1);
    line->addSpacing(6);
    line->addWidget(caption(MenuBarRules::kMovedLabel, 9.5, W::semibold, Theme::tertiaryText()));
    line->addWidget(mono(q(Bytes::format(finding.freed())), 10.5, W::medium, Theme::tertiaryText()));
    return done;
}

QWidget* MenuBarView::schedule() {
    auto* stack = column(9);
    stack->addWidget(caption("Schedule", 9.5, W::semibold, Theme::tertiaryText()));
    const SweepSchedule current = scheduler_.schedule();
    stack->addWidget(frequencyPicker(scheduler_));
    if (current.frequency != SweepSchedule::Frequency::off) {
        stack->addWidget(actionPicker(scheduler_));
        stack->addWidget(wrapping(q(SettingsRules::actionExplanation(current.action)), 11, Theme::tertiaryText()));
        stack->addWidget(wrapping("Sweeping " + q(current.scopeSummary()) + ".", 11, Theme::secondaryText()));
    }
    return wrap(stack);
}

QWidget* MenuBarView::actions() {
    auto* stack = column(6);
    auto* sweep = new Button(scheduler_.isRunning() ? "Sweeping\u2026" : "Sweep now", Button::Style::softAccent);
    sweep->setObjectName("sweepNow");
    sweep->setSymbol("wind");
    // Not while the panel moves findings: a sweep would come between its reading and
    // writing of the last sweep's receipt and findings.
    sweep->setEnabled(!scheduler_.isRunning() && !scheduler_.isCleaning());
    sweep->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // A sweep started by hand is the user's own, wherever its button is: History reads "Manual".
    connect(sweep, &Button::clicked, this, [this] { scheduler_.run(SweepRun::Trigger::manual); });
    stack->addWidget(sweep);
    auto* pair = row(6);
    auto* settings = new Button("Settings\u2026", Button::Style::subtle);
    settings->setObjectName("openSettings");
    auto* open = new Button("Open Sorvel", Button::Style::subtle);
    open->setObjectName("openMain");
    for (auto* b : {settings, open}) {
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        pair->addWidget(b, 1);
    }
    connect(settings, &Button::clicked, this, [this] {
        if (actions_.openSettings) actions_.openSettings();
    });
    connect(open, &Button::clicked, this, [this] {
        if (actions_.openMain) actions_.openMain();
    });
    stack->addLayout(pair);
    auto* quit = new Button("Quit Sorvel", Button::Style::subtle);
    quit->setObjectName("quit");
    quit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(quit, &Button::clicked, this, [this] {
        if (actions_.quit) actions_.quit();
    });
    stack->addWidget(quit);
    return wrap(stack);
}

} // namespace sorvel::ui
