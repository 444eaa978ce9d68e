#include "ui/tools/SweepSettingsView.h"

#include "ui/kit/RebuildPlace.h"

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QVBoxLayout>


#include "engine/Bytes.h"
#include "engine/PathText.h"
#include "models/ScanCoordinator.h"
#include "models/SweepScheduler.h"
#include "models/UpdateChecker.h"
#include "platform/Path.h"
#include "ui/kit/Button.h"
#include "ui/services/FolderDialog.h"
#include "ui/kit/CheckBox.h"
#include "ui/kit/ClickArea.h"
#include "ui/tools/MenuBarRules.h"
#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/Surface.h"
#include "ui/kit/Switch.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/tools/Coalescer.h"
#include "ui/tools/Layouts.h"
#include "ui/tools/NextSweepTicker.h"
#include "ui/tools/RelativeDate.h"
#include "ui/tools/SchedulePickers.h"
#include "ui/tools/SettingsRules.h"

namespace sorvel::ui {

using namespace Texts;
using namespace Layouts;
using W = Fonts::Weight;
using Selection = SweepSchedule::RuleSelection;

namespace {

Text* heading(const QString& title) { return caption(title, 10.5, W::bold, Theme::secondaryText()); }

/// The rule and folder cards: glass fill, radius 9, hairline border, margin 10.
ClickArea* glassCard() {
    auto* card = new ClickArea;
    card->setFill(Theme::glassFill(), 9, true);
    return card;
}

} // namespace

SweepSettingsView::SweepSettingsView(ScanCoordinator& coordinator, SweepScheduler& scheduler, UpdateChecker& updates,
                                     QWidget* parent)
    : QScrollArea(parent), coordinator_(coordinator), scheduler_(scheduler), updates_(updates), page_(new Surface),
      layout_(column(22, page_)), rebuild_(new Coalescer([this] { rebuild(); }, this)),
      chooser_(&SweepSettingsView::chooseWithDialog), relativeRefresh_(new QTimer(this)),
      nextSweepTicker_(new NextSweepTicker(scheduler, [this] { refreshNextSweep(); }, this)) {
    setObjectName("settingsWindow");
    setWindowTitle(windowTitleText);
    setFixedSize(520, 620);
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout_->setContentsMargins(24, 24, 24, 24);
    layout_->setAlignment(Qt::AlignTop);
    setWidget(page_);
    viewport()->setAutoFillBackground(false);
    for (auto signal : {&SweepScheduler::scheduleChanged, &SweepScheduler::checkingFoldersChanged,
                        &SweepScheduler::folderRefusalChanged, &SweepScheduler::nextRunDateChanged})
        connect(&scheduler_, signal, rebuild_, &Coalescer::request);
    connect(&coordinator_, &ScanCoordinator::resultChanged, rebuild_, &Coalescer::request);
    for (auto signal : {&UpdateChecker::stateChanged, &UpdateChecker::lastCheckedChanged,
                        &UpdateChecker::automaticChecksChanged, &UpdateChecker::saveErrorChanged})
        connect(&updates_, signal, rebuild_, &Coalescer::request);
    relativeRefresh_->setInterval(kRelativeRefreshMs);
    connect(relativeRefresh_, &QTimer::timeout, this, &SweepSettingsView::refreshLastChecked);
    rebuild();
}

void SweepSettingsView::setRelativeRefresh(int ms) { relativeRefresh_->setInterval(ms); }

void SweepSettingsView::showEvent(QShowEvent* event) {
    QScrollArea::showEvent(event);
    refreshLastChecked();
    relativeRefresh_->start();
    nextSweepTicker_->start();
}

void SweepSettingsView::hideEvent(QHideEvent* event) {
    QScrollArea::hideEvent(event);
    relativeRefresh_->stop();
    nextSweepTicker_->stop();
}

void SweepSettingsView::refreshNextSweep() {
    if (!nextSweep_) return;
    const auto next = scheduler_.nextSweep();
    // Sweeps turned off rebuild the window; a line kept till then says only what was true.
    if (const auto line = MenuBarRules::nextSweepLine(next.at, next.shortly)) nextSweep_->setText(q(*line));
}

// Only these lines: a rebuild of the window would close an open hour menu.
void SweepSettingsView::refreshLastChecked() {
    refreshNextSweep();
    if (const auto last = updates_.lastChecked(); last && lastChecked_)
        lastChecked_->setText("last checked " + q(RelativeDate::full(*last, now())));
}

void SweepSettingsView::flush() { rebuild_->flush(); }

QWidget* SweepSettingsView::findWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == windowTitleText) return w;
    return nullptr;
}

std::optional<std::string> SweepSettingsView::chooseWithDialog(QWidget* parent) {
    return FolderDialog::choose(parent, folderRequest());
}

FolderDialog::Request SweepSettingsView::folderRequest() {
    return {"Add Folder to Sweep", "Its subfolders will be swept; files lying directly in it are not. Protected locations stay protected.", "Add to sweep",
            QString::fromStdString(homeDirectory())};
}

void SweepSettingsView::write(const SweepSchedule& schedule) { scheduler_.setSchedule(schedule); }

void SweepSettingsView::addFolder() {
    const auto folder = chooser_ ? chooser_(this) : std::nullopt;
    // The dialog took the window's focus away: it comes back to "Add folder…", added or not.
    refocusAdd_ = true;
    refocusAdd();
    if (!folder || folder->empty()) return;
    // A folder that holds the home would hand a sweep every file the user owns. Judged
    // here by the text alone, which touches no disk; the scheduler's check, on a worker,
    // resolves links and knows places by identity and protected locations inside.
    folderMessage_ = SettingsRules::folderRefusal(*folder, homeDirectory());
    if (!folderMessage_) scheduler_.addFolder(*folder);
    rebuild_->request();
}

void SweepSettingsView::refocusAdd() {
    if (!refocusAdd_) return;
    // Once the window is active again (at once, or when the desktop hands it back).
    if (!window()->isActiveWindow()) return window()->activateWindow();
    refocusAdd_ = false;
    // After the activation has placed its own focus: given anew, so the ring shows where the
    // keyboard was last used; the page may be rebuilding, so the button is found once shown.
    QTimer::singleShot(0, this, [this] {
        if (QWidget* focused = QApplication::focusWidget(); focused && (focused == this || isAncestorOf(focused)))
            focused->clearFocus();
        FocusRing::settle(page_, {Button::staticMetaObject.className(), "addFolder", {}, {}});
    });
}

void SweepSettingsView::changeEvent(QEvent* event) {
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && window()->isActiveWindow()) refocusAdd();
}

std::optional<std::string> SweepSettingsView::folderMessage() const {
    return folderMessage_ ? folderMessage_ : scheduler_.folderRefusal();
}

void SweepSettingsView::rebuild() {
    RebuildPlace place(this);
    ++builds_;
    lastChecked_ = nullptr;
    nextSweep_ = nullptr;
    clear(layout_);
    layout_->addWidget(frequencySection());
    layout_->addWidget(rulesSection());
    layout_->addWidget(foldersSection());
    layout_->addWidget(protectionNote());
    layout_->addWidget(updatesSection());
    layout_->addStretch(1);
    place.restore();
}

QWidget* SweepSettingsView::frequencySection() {
    const SweepSchedule current = scheduler_.schedule();
    auto* stack = column(10);
    stack->addWidget(heading("Schedule"));
    stack->addWidget(frequencyPicker(scheduler_), 0, Qt::AlignLeft);
    if (current.frequency != SweepSchedule::Frequency::off) {
        auto* at = row(10);
        at->addWidget(text("At", 12, W::regular, Theme::secondaryText()));
        auto* hour = new QComboBox;
        hour->setObjectName("hour");
        hour->setFixedWidth(100);
        for (int h = 0; h < 24; ++h) hour->addItem(q(SettingsRules::hourLabel(h)));
        hour->setCurrentIndex(std::clamp(current.hour, 0, 23));
        connect(hour, qOverload<int>(&QComboBox::activated), this, [this](int h) {
            SweepSchedule next = scheduler_.schedule();
            next.hour = h;
            write(next);
        });
        at->addWidget(hour);
        at->addStretch(1);
        stack->addLayout(at);
        stack->addWidget(actionPicker(scheduler_), 0, Qt::AlignLeft);
        stack->addWidget(wrapping(q(SettingsRules::actionExplanation(current.action)), 11.5, Theme::tertiaryText()));
    }
    auto* summary = wrapping(q(current.summary()), 11.5, Theme::secondaryText());
    summary->setObjectName("summary");
    stack->addWidget(summary);
    // The very time the scheduler will sweep at, as the panel counts down to it; kept
    // current while shown.
    const auto next = scheduler_.nextSweep();
    if (const auto line = MenuBarRules::nextSweepLine(next.at, next.shortly)) {
        auto* when = nextSweep_ = wrapping(q(*line), 11.5, Theme::tertiaryText());
        when->setObjectName("nextSweep");
        stack->addWidget(when);
    }
    return wrap(stack);
}

QWidget* SweepSettingsView::rulesSection() {
    const SweepSchedule current = scheduler_.schedule();
    const auto rules = SettingsRules::availableRules(coordinator_.result().cleanupItems);
    auto* stack = column(10);
    auto* head = row(6);
    head->addWidget(heading("What to sweep"));
    head->addStretch(1);
    if (!rules.empty()) {
        const bool allCurrent = current.rules.isAllSafeRules();
        const bool noneCurrent = !allCurrent && current.rules.ids.empty();
        auto quickPick = [&](const QString& title, bool isCurrent, Selection selection) {
            auto* b = new TextButton(title, Fonts::system(11, W::medium),
                                     isCurrent ? Theme::tertiaryText() : Theme::accentInk());
            b->setEnabled(!isCurrent);
            connect(b, &TextButton::clicked, this, [this, selection] {
                SweepSchedule next = scheduler_.schedule();
                next.rules = selection;
                write(next);
            });
            return b;
        };
        auto* all = quickPick("Use all", allCurrent, Selection::allSafeRules());
        all->setObjectName("useAll");
        head->addWidget(all);
        head->addWidget(text("\u00B7", 11, W::regular, Theme::hairline()));
        auto* none = quickPick("Use none", noneCurrent, Selection::only({}));
        none->setObjectName("useNone");
        head->addWidget(none);
    }
    stack->addLayout(head);
    if (rules.empty()) {
        stack->addWidget(text(SettingsRules::kNoRulesText, 12, W::regular, Theme::tertiaryText()));
        return wrap(stack);
    }
    auto* list = column(6);
    std::vector<std::string> listed;
    for (const auto& rule : rules) listed.push_back(rule.id);
    for (const auto& rule : rules) {
        auto* card = glassCard();
        card->setObjectName("ruleRow");
        card->setProperty("ruleID", q(rule.id));
        // Named after its rule: a tick rebuilds the list, and the focus finds this row again.
        card->setAccessibleName(q(rule.title));
        card->setAccessibleDescription(q(rule.locationLabel + ", " + Bytes::format(rule.size())));
        auto* line = row(10, card);
        line->setContentsMargins(10, 10, 10, 10);
        auto* box = new CheckBox(17, 5);
        box->setCheckable(true);
        box->setChecked(SettingsRules::isTicked(current.rules, rule.id));
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        box->setFocusPolicy(Qt::NoFocus); // the row takes the focus and the tick
        line->addWidget(box);
        auto* texts = column(1);
        texts->addWidget(text(q(rule.title), 12.5, W::medium, Theme::primaryText()));
        texts->addWidget(mono(q(rule.locationLabel), 10, W::regular, Theme::tertiaryText()));
        line->addLayout(texts, 1);
        line->addWidget(mono(q(Bytes::format(rule.size())), 11, W::regular, Theme::secondaryText()));
        const std::string id = rule.id;
        connect(card, &ClickArea::clicked, this, [this, id, listed] {
            SweepSchedule next = scheduler_.schedule();
            next.rules = SettingsRules::toggle(next.rules, listed, id);
            write(next);
        });
        list->addWidget(card);
    }
    stack->addLayout(list);
    const auto note = SettingsRules::footnote(current.rules, current.folders.size());
    if (note.warning) {
        auto* warn = row(7);
        auto* symbolColumn = column(0);
        symbolColumn->addWidget(new SymbolView("exclamationmark.triangle.fill", Theme::warning(), 10));
        symbolColumn->addStretch(1);
        warn->addLayout(symbolColumn);
        auto* t = wrapping(q(note.text), 11, Theme::warning());
        t->setObjectName("rulesFootnote");
        warn->addWidget(t, 1);
        stack->addLayout(warn);
    } else {
        auto* t = wrapping(q(note.text), 11, Theme::tertiaryText());
        t->setObjectName("rulesFootnote");
        stack->addWidget(t);
    }
    return wrap(stack);
}

QWidget* SweepSettingsView::foldersSection() {
    const SweepSchedule current = scheduler_.schedule();
    auto* stack = column(10);
    auto* head = row(6);
    head->addWidget(heading("Your own folders"));
    head->addStretch(1);
    auto* add = new Button("Add folder\u2026", Button::Style::subtle);
    add->setObjectName("addFolder");
    connect(add, &Button::clicked, this, [this] { addFolder(); });
    head->addWidget(add);
    stack->addLayout(head);
    // Being checked: said at once, and the rest of the window stays in use meanwhile.
    for (const auto& folder : scheduler_.checkingFolders()) {
        auto* line = row(8);
        line->addWidget(new Spinner(11));
        auto* checking = wrapping(q("Checking \u201C" + tildeAbbreviated(folder) + "\u201D\u2026"), 11.5,
                                  Theme::tertiaryText());
        checking->setObjectName("checkingFolder");
        line->addWidget(checking, 1);
        stack->addLayout(line);
    }
    if (const auto shown = folderMessage()) {
        auto* message = wrapping(q(*shown), 11.5, Theme::warning());
        message->setObjectName("folderMessage");
        stack->addWidget(message);
    }
    if (current.folders.empty()) {
        stack->addWidget(wrapping(SettingsRules::kNoFoldersText, 11.5, Theme::tertiaryText()));
        return wrap(stack);
    }
    auto* list = column(6);
    for (const auto& folder : current.folders) {
        auto* card = glassCard();
        card->setCursor(Qt::ArrowCursor);
        card->setObjectName("folderRow");
        auto* line = row(10, card);
        line->setContentsMargins(10, 10, 10, 10);
        line->addWidget(new SymbolView("folder", Theme::tertiaryText(), 11));
        line->addWidget(path(folder, 11, Theme::primaryText()), 1);
        auto* remove = new TextButton("Remove", Fonts::system(10.5, W::medium), Theme::tint(Tint::rose()).ink);
        remove->setObjectName("removeFolder");
        connect(remove, &TextButton::clicked, this, [this, folder] {
            write(SettingsRules::removingFolder(scheduler_.schedule(), folder));
        });
        line->addWidget(remove);
        list->addWidget(card);
    }
    stack->addLayout(list);
    return wrap(stack);
}

QWidget* SweepSettingsView::protectionNote() {
    auto* note = new ClickArea;
    note->setCursor(Qt::ArrowCursor);
    note->setFill(Theme::accentWash().opacity(0.5), 11);
    auto* line = row(10, note);
    line->setContentsMargins(14, 14, 14, 14);
    auto* symbolColumn = column(0);
    symbolColumn->setContentsMargins(0, 1, 0, 0);
    symbolColumn->addWidget(new SymbolView("lock.shield", Theme::accentInk(), 13));
    symbolColumn->addStretch(1);
    line->addLayout(symbolColumn);
    auto* texts = column(3);
    texts->addWidget(wrapping("Adding a folder widens where Sorvel looks, not what it will destroy", 12,
                              Theme::primaryText(), nullptr, W::semibold));
    texts->addWidget(wrapping("Everything still goes through the same checks: your messages, mail, keychains, device "
                              "backups, Pictures folder and synced cloud folders are refused even if they sit inside a folder "
                              "you added. Removals go to the Trash, and the folder you choose is never removed itself "
                              "\u2014 only the subfolders inside it.",
                              11.5, Theme::secondaryText()));
    line->addLayout(texts, 1);
    return note;
}

QWidget* SweepSettingsView::updatesSection() {
    auto* stack = column(8);
    stack->addWidget(heading("Updates"));
    const bool configured = updates_.isConfigured();
    auto* toggleLine = row(8);
    auto* toggle = new Switch(QSize(32, 18));
    toggle->setObjectName("automaticChecks");
    toggle->setAccessibleName("Check for new versions once a day");
    // With no feed there is no check to run: the switch shows off, whatever is stored.
    toggle->setChecked(configured && updates_.automaticChecks());
    toggle->setEnabled(configured);
    connect(toggle, &Switch::toggled, this, [this](bool on) {
        if (on != updates_.automaticChecks()) updates_.setAutomaticChecks(on);
    });
    toggleLine->addWidget(toggle);
    toggleLine->addWidget(text("Check for new versions once a day", 12.5, W::regular, Theme::primaryText()));
    toggleLine->addStretch(1);
    stack->addLayout(toggleLine);
    stack->addWidget(wrapping(
        configured ? "A plain request for a version number, at most once a day. It sends nothing about you or this "
                     "computer \u2014 no identifier, no usage, no list of what was scanned. Sorvel never downloads or "
                     "installs an update itself: if there is a newer version it says so and opens your browser. "
                     "Turning this off means Sorvel makes no network requests at all."
                   : "This build has no update feed configured, so Sorvel makes no network requests at all.",
        11.5, Theme::tertiaryText()));
    auto* checkLine = row(10);
    auto* check = new Button(q(SettingsRules::checkLabel(updates_.state())), Button::Style::subtle);
    check->setObjectName("checkNow");
    const bool checking = updates_.state().kind == UpdateChecker::State::Kind::checking;
    check->setEnabled(configured && !checking);
    check->setBusy(configured && checking);
    connect(check, &Button::clicked, this, [this] { updates_.check(true); });
    checkLine->addWidget(check);
    if (updates_.lastChecked()) {
        lastChecked_ = text({}, 11, W::regular, Theme::tertiaryText());
        lastChecked_->setObjectName("lastChecked");
        refreshLastChecked();
        checkLine->addWidget(lastChecked_);
    }
    checkLine->addStretch(1);
    stack->addLayout(checkLine);
    if (const auto& error = updates_.saveError()) stack->addWidget(Texts::saveError(*error));
    return wrap(stack);
}

} // namespace sorvel::ui
