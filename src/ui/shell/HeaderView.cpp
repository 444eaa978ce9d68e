#include "ui/shell/HeaderView.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QLayout>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>

#include <cmath>

#include "engine/Bytes.h"
#include "models/ScanCoordinator.h"
#include "ui/kit/AppearanceSetting.h"
#include "ui/kit/Button.h"
#include "ui/kit/CapacityBar.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/PulseDot.h"
#include "ui/kit/RollingText.h"
#include "ui/kit/SegmentedPicker.h"
#include "ui/kit/Switch.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Text.h"
#include "ui/shell/HeaderText.h"
#include "ui/shell/MainMenu.h"
#include "ui/shell/NavigationControls.h"

namespace sorvel::ui {

namespace {

using Phase = ScanCoordinator::Phase;

// How far the part-live line's font may shrink in a narrow header.
constexpr double kCoverageScale = 0.85;
constexpr int kActionBlockWidth = 200;


int64_t scannedTotal(const ScanResult& r) {
    int64_t total = 0;
    for (const auto& c : r.categories)
        for (const auto& root : c.roots) total += root->size;
    return total;
}

int64_t fileCount(const ScanResult& r) {
    int64_t total = 0;
    for (const auto& c : r.categories)
        for (const auto& root : c.roots) total += root->fileCount;
    return total;
}

} // namespace

HeaderView::HeaderView(const AppModels& models, MainMenu& menu, QWidget* parent)
    : QWidget(parent), models_(models), menu_(menu) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(26, 44, 26, 20);
    row->setSpacing(22);

    navigation_ = new NavigationControls(models.coordinator, menu, this);
    auto* navBox = new QVBoxLayout;
    navBox->setContentsMargins(0, 2, 0, 0);
    navBox->addWidget(navigation_);
    navBox->addStretch();
    row->addLayout(navBox);

    // Scope block, 196 wide.
    auto* scopeBlock = new QWidget(this);
    scopeBlock->setFixedWidth(196);
    auto* scopeColumn = new QVBoxLayout(scopeBlock);
    scopeColumn->setContentsMargins(0, 0, 0, 0);
    scopeColumn->setSpacing(3);
    scope_ = new SegmentedPicker(
        {{"System Data", "The ~/Library trees Sorvel counts as System Data — about ten seconds"},
         {"Whole Disk", "Every top-level directory on this volume — several minutes on a full disk"}},
        SegmentedPicker::Look::underline, scopeBlock);
    scope_->setAccessibleName("Scan scope");
    scopeColumn->addWidget(scope_);
    scopeColumn->addSpacing(3);
    auto* numberRow = new QHBoxLayout;
    numberRow->setSpacing(6);
    number_ = new RollingText("—", Fonts::mono(33, Fonts::Weight::semibold), Theme::tertiaryText(), scopeBlock);
    unit_ = new Text("", Fonts::mono(14, Fonts::Weight::medium), Theme::secondaryText(), scopeBlock);
    notScanned_ = new Text("not scanned yet", Fonts::system(12), Theme::tertiaryText(), scopeBlock);
    numberRow->addWidget(number_, 0, Qt::AlignBaseline);
    numberRow->addWidget(unit_, 0, Qt::AlignBottom);
    numberRow->addWidget(notScanned_, 0, Qt::AlignBottom);
    numberRow->addStretch();
    scopeColumn->addLayout(numberRow);
    scopeColumn->addStretch();
    row->addWidget(scopeBlock, 0, Qt::AlignTop);

    bar_ = new CapacityBar(this);
    auto* barBox = new QVBoxLayout;
    barBox->setContentsMargins(0, 6, 0, 0);
    barBox->addWidget(bar_);
    barBox->addStretch();
    row->addLayout(barBox, 1);

    // Action block, 200 wide, trailing; in a narrow header it gives up room down to its
    // buttons' own width (the status line shortens) before anything is cut.
    auto* actionBlock = new QWidget(this);
    actionBlock->setMaximumWidth(kActionBlockWidth);
    actionBlock_ = actionBlock;
    auto* actionColumn = new QVBoxLayout(actionBlock);
    actionColumn->setContentsMargins(0, 0, 0, 0);
    actionColumn->setSpacing(9);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch();
    toggle_ = new Switch(QSize(44, 24), actionBlock);
    toggle_->setTrackColours(Theme::inset(), Theme::inset());
    toggle_->setKnobSymbols(Switch::KnobSymbol{"sun.max.fill", Theme::warning()},
                            Switch::KnobSymbol{"moon.fill", Theme::secondaryText()});
    buttons->addWidget(toggle_);
    action_ = new Button("Rescan", Button::Style::outline, actionBlock);
    buttons->addWidget(action_);
    actionColumn->addLayout(buttons);
    auto* statusBox = new QWidget(actionBlock);
    statusBox->setFixedHeight(13);
    auto* status = new QHBoxLayout(statusBox);
    status->setContentsMargins(0, 0, 0, 0);
    status->setSpacing(6);
    status->addStretch();
    dot_ = new PulseDot(5.5, Theme::accent(), true, statusBox);
    symbol_ = new SymbolView("dot.radiowaves.up.forward", Theme::tertiaryText(), 9, statusBox);
    statusText_ = new Text("", Fonts::mono(10), Theme::tertiaryText(), statusBox);
    statusText_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // "scanning " and a deep path can be wider than the block: shrink a little, then cut
    // the middle, never the start of the line.
    statusText_->setElide(Qt::ElideMiddle, 0.9);
    statusText_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed); // its own width, never more
    status->addWidget(dot_);
    status->addWidget(symbol_);
    status->addWidget(statusText_);
    // Below the status, whatever it says: live updates that follow only part of the folders.
    // A line of its own, so both are read at once and neither is cut.
    coverage_ = new Text("", Fonts::system(10.5, Fonts::Weight::medium), Theme::warning(), actionBlock);
    coverage_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    coverage_->setElide(Qt::ElideMiddle, kCoverageScale);
    coverage_->setFixedHeight(13);
    coverage_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    coverage_->setVisible(false);
    auto* statusLines = new QVBoxLayout;
    statusLines->setSpacing(3);
    statusLines->addWidget(statusBox);
    statusLines->addWidget(coverage_);
    actionColumn->addLayout(statusLines);
    actionColumn->addStretch();
    row->addWidget(actionBlock, 0, Qt::AlignTop);

    auto& c = models.coordinator;
    connect(scope_, &SegmentedPicker::picked, this, [&c](int i) {
        c.setScope(i == 1 ? ScanScope::wholeDisk : ScanScope::systemData);
    });
    connect(toggle_, &QAbstractButton::clicked, this, [this] { models_.appearance.toggle(); });
    connect(&models.appearance, &AppearanceSetting::selectionChanged, this, &HeaderView::refresh);
    connect(&models.appearance, &AppearanceSetting::saveErrorChanged, this, &HeaderView::refresh);
    // Rescan is the menu action (it owns Ctrl+R); Stop cancels.
    connect(action_, &QAbstractButton::clicked, this, [this] {
        if (models_.coordinator.phase() == Phase::scanning) models_.coordinator.cancel();
        else menu_.rescan()->trigger();
    });
    statusText_->installEventFilter(this);
    symbol_->installEventFilter(this);
    connect(&c, &ScanCoordinator::progressChanged, this, &HeaderView::refreshProgress);
    for (auto signal : {&ScanCoordinator::phaseChanged, &ScanCoordinator::resultChanged, &ScanCoordinator::scopeChanged,
                        &ScanCoordinator::hasPendingChangesChanged, &ScanCoordinator::lastLiveUpdateChanged,
                        &ScanCoordinator::liveUpdatesEnabledChanged, &ScanCoordinator::failureChanged,
                        &ScanCoordinator::watchingChanged})
        connect(&c, signal, this, &HeaderView::refresh);
    refresh();
}

void HeaderView::refresh() {
    const auto& c = models_.coordinator;
    scope_->setCurrentIndex(c.scope() == ScanScope::wholeDisk ? 1 : 0);
    toggle_->setChecked(models_.appearance.selection() == Appearance::dark);
    const QString action = models_.appearance.selection() == Appearance::dark ? "Switch to light mode" : "Switch to dark mode";
    toggle_->setAccessibleName(action);
    // A failed store of the choice is told where the choice is made.
    const auto& error = models_.appearance.saveError();
    toggle_->setToolTip(error ? action + "\n" + QString::fromStdString(*error) : action);
    toggle_->setAccessibleDescription(error ? QString::fromStdString(*error) : QString());
    const bool scanning = c.phase() == Phase::scanning;
    action_->setText(scanning ? "Stop" : "Rescan");
    action_->setStyle(scanning ? Button::Style::subtle : Button::Style::outline);
    refreshProgress();
}

void HeaderView::refreshProgress() {
    const auto& c = models_.coordinator;
    const bool scanning = c.phase() == Phase::scanning;
    // A scan stopped before it counted a byte has no figure: a 0 would read as an empty disk.
    const bool unmeasured = !scanning && c.hasResult() && c.result().notMeasured();
    const bool hasNumbers = (scanning || c.hasResult()) && !unmeasured;
    const int64_t shown = scanning ? c.scannedBytes() : (c.hasResult() ? scannedTotal(c.result()) : 0);
    // The figure, the legend and the sidebar change together: the figure's text is always
    // the value of this moment; only the drawing of its changed digits rolls up into place.
    if (hasNumbers) {
        number_->setColour(Theme::primaryText());
        setNumber(shown);
    } else {
        number_->setText("—");
        number_->setColour(Theme::tertiaryText());
        unit_->setText("");
    }
    unit_->setVisible(hasNumbers);
    notScanned_->setText(unmeasured ? "not measured" : "not scanned yet");
    notScanned_->setVisible(!hasNumbers);
    // The bar is one disk's: only what lies on it is set against its capacity; the rest is
    // said under it.
    const auto disks = c.result().diskFigures();
    const auto& v = c.result().volume;
    int64_t elsewhere = 0;
    for (size_t i = 1; i < disks.size(); ++i) elsewhere += disks[i].scanned;
    const int64_t onDisk = scanning ? std::max<int64_t>(0, shown - elsewhere) : disks.front().scanned;
    bar_->setValues({c.scope() == ScanScope::wholeDisk ? "Whole Disk" : "System Data", onDisk, v.used(),
                     v.availableCapacity, hasNumbers, v.measured, HeaderText::diskNote(disks)});
    refreshStatus();
}

void HeaderView::setNumber(int64_t bytes) {
    const auto parts = Bytes::parts(bytes);
    number_->setText(QString::fromStdString(parts.number));
    unit_->setText(QString::fromStdString(parts.unit));
    // A frame painted before the posted layout pass (a rolling digit repaints at once)
    // would cut a text that grew. Lay the row out now.
    if (number_->width() < number_->sizeHint().width() || unit_->width() < unit_->sizeHint().width())
        if (QLayout* layout = number_->parentWidget()->layout()) layout->activate();
}

void HeaderView::refreshStatus() {
    const auto& c = models_.coordinator;
    const auto s = HeaderText::status(c.phase(), c.hasPendingChanges(), c.lastLiveUpdate(), c.hasResult(), now());
    dot_->setVisible(s == HeaderText::Status::scanning || s == HeaderText::Status::updatedJustNow);
    dot_->setPulsing(s == HeaderText::Status::scanning);
    symbol_->setVisible((s == HeaderText::Status::finished && c.liveUpdatesEnabled()) ||
                        s == HeaderText::Status::pendingChanges);
    symbol_->setToolTip({});
    statusText_->setToolTip({});
    const auto coverage = s != HeaderText::Status::scanning && c.hasResult() && c.liveUpdatesEnabled()
                              ? HeaderText::liveCoverage(c.watchedFolders(), c.unwatchedFolders(), c.watchesRanOut(),
                                                         c.stillCountingUnwatched())
                              : std::nullopt;
    switch (s) {
    case HeaderText::Status::scanning:
        statusText_->setFont(Fonts::mono(9.5));
        statusText_->setColour(Theme::tertiaryText());
        statusText_->setText(QString::fromStdString("scanning " + HeaderText::shortPath(c.currentPath())));
        break;
    case HeaderText::Status::stopped:
        statusText_->setFont(Fonts::mono(10));
        statusText_->setColour(Theme::warning());
        statusText_->setText(HeaderText::stoppedLine(c.hasResult(), fileCount(c.result()), c.elapsed()));
        statusText_->setToolTip(HeaderText::stoppedSentence(c.hasResult()));
        break;
    case HeaderText::Status::pendingChanges:
        statusText_->setFont(Fonts::system(10.5, Fonts::Weight::medium));
        statusText_->setColour(Theme::warning());
        statusText_->setText("disk changed — rescan");
        statusText_->setToolTip("More changed than could be updated in place. A rescan will bring the numbers back in line.");
        symbol_->setSymbol("exclamationmark.arrow.triangle.2.circlepath", Theme::warning());
        break;
    case HeaderText::Status::updatedJustNow:
        statusText_->setFont(Fonts::mono(10));
        statusText_->setColour(Theme::accentInk());
        statusText_->setText("updated just now");
        statusText_->setToolTip("A folder changed on disk and was re-measured automatically.");
        break;
    case HeaderText::Status::finished:
        statusText_->setFont(Fonts::mono(10));
        statusText_->setColour(Theme::tertiaryText());
        statusText_->setText(HeaderText::filesAndDuration(fileCount(c.result()), c.result().duration));
        symbol_->setSymbol("dot.radiowaves.up.forward", Theme::tertiaryText());
        symbol_->setToolTip("Watching for changes — deletions update these numbers automatically");
        if (coverage) {
            symbol_->setSymbol("dot.radiowaves.up.forward", Theme::warning());
            symbol_->setToolTip(coverage->sentence);
        }
        break;
    case HeaderText::Status::empty: statusText_->setText(""); break;
    }
    // Work that stopped with an error says so in place of the status, whatever that was.
    if (const auto& failure = c.failure(); failure && s != HeaderText::Status::scanning) {
        statusText_->setFont(Fonts::system(10.5, Fonts::Weight::medium));
        statusText_->setColour(Theme::warning());
        statusText_->setText(QString::fromStdString(*failure));
        statusText_->setToolTip(QString::fromStdString(*failure));
        symbol_->setVisible(true);
        symbol_->setSymbol("exclamationmark.triangle", Theme::warning());
        symbol_->setToolTip(QString::fromStdString(*failure));
    }
    refreshCoverage(coverage);
}

// Past the share of the system's watches part of the tree goes unseen, and with no watch
// at all none of it: said on the line below the status, whatever the status says.
void HeaderView::refreshCoverage(const std::optional<HeaderText::Coverage>& coverage) {
    const QString before = coverage_->toolTip();
    coverage_->setVisible(coverage.has_value());
    coverage_->setText(coverage ? coverage->line : QString());
    coverage_->setToolTip(coverage ? coverage->sentence : QString());
    // Never squeezed past what shrinking its font makes up for: the capacity bar gives up
    // the room first, so the line is never cut.
    coverage_->setMinimumWidth(int(std::ceil(coverage_->sizeHint().width() * kCoverageScale)) + 1);
    // A line longer than the block (a count still under way) widens it rather than spill out.
    actionBlock_->setMaximumWidth(std::max(kActionBlockWidth, coverage ? coverage_->minimumWidth() : 0));
    // A tooltip already open keeps the text it opened with: it follows the line's figure.
    if (coverage && QToolTip::isVisible() && QToolTip::text() == before && before != coverage->sentence)
        QToolTip::showText(QCursor::pos(), coverage->sentence, coverage_);
}

bool HeaderView::eventFilter(QObject* watched, QEvent* event) {
    // The "disk changed — rescan" line is a button: a click starts a scan.
    if ((watched == statusText_ || watched == symbol_) && event->type() == QEvent::MouseButtonRelease &&
        HeaderText::status(models_.coordinator.phase(), models_.coordinator.hasPendingChanges(),
                           models_.coordinator.lastLiveUpdate(), models_.coordinator.hasResult(),
                           now()) == HeaderText::Status::pendingChanges) {
        models_.coordinator.start();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace sorvel::ui
