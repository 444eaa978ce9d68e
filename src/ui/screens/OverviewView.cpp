#include "ui/screens/OverviewView.h"

#include <QHBoxLayout>
#include <QStackedLayout>
#include <QVBoxLayout>

#include "models/ScanCoordinator.h"
#include "ui/kit/FilledBox.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LabelStyle.h"
#include "ui/kit/PulseDot.h"
#include "ui/kit/Spinner.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/screens/OverviewText.h"
#include "ui/screens/SafeToCleanSection.h"
#include "ui/screens/ScanSkeleton.h"
#include "ui/screens/TreemapView.h"

namespace sorvel::ui {

namespace {

using Phase = ScanCoordinator::Phase;
const std::vector<double> kSkeletonWeights{0.42, 0.16, 0.13, 0.10, 0.07, 0.05, 0.04, 0.03};

// Symbol, title and body of one note under the overview.
QWidget* infoRow(const char* icon, const QString& title, const QString& body, QWidget* parent) {
    auto* row = new QWidget(parent);
    row->setMaximumWidth(820);
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(11);
    h->addWidget(new SymbolView(icon, Theme::tertiaryText(), 12, row, QSize(16, 17)), 0, Qt::AlignTop);
    auto* v = new QVBoxLayout;
    v->setSpacing(3);
    v->addWidget(new Text(title, Fonts::system(12, Fonts::Weight::semibold), Theme::secondaryText(), row));
    auto* b = new Text(body, Fonts::system(11.5), Theme::tertiaryText(), row);
    b->setWrapping(true);
    v->addWidget(b);
    h->addLayout(v, 1);
    return row;
}

} // namespace

OverviewView::OverviewView(const AppModels& models, Hooks hooks, QWidget* parent)
    : QWidget(parent), models_(models), hooks_(std::move(hooks)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(28);

    // Treemap section.
    auto* section = new QVBoxLayout;
    section->setSpacing(12);
    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(new Text("What's inside", LabelStyle::font(11.5, Fonts::Weight::bold), Theme::secondaryText(), this));
    capsuleBox_ = new FilledBox(Theme::accentWash(), std::nullopt, this);
    auto* capsule = new QHBoxLayout(capsuleBox_);
    capsule->setContentsMargins(9, 3, 9, 3);
    capsule->setSpacing(6);
    capsule->addWidget(new PulseDot(5.5, Theme::accent(), true, capsuleBox_));
    capsuleText_ = new Text("", Fonts::system(11.5), Theme::accentInk(), capsuleBox_);
    capsule->addWidget(capsuleText_);
    header->addWidget(capsuleBox_);
    // A stopped scan's figures are partial: said where the live count stood.
    stoppedBox_ = new FilledBox(Theme::warningWash(), std::nullopt, this);
    auto* stopped = new QHBoxLayout(stoppedBox_);
    stopped->setContentsMargins(9, 3, 9, 3);
    stopped->setSpacing(6);
    stopped->addWidget(new SymbolView("exclamationmark.triangle", Theme::warning(), 10, stoppedBox_));
    stoppedText_ = new Text("", Fonts::system(11.5), Theme::warning(), stoppedBox_);
    stopped->addWidget(stoppedText_);
    header->addWidget(stoppedBox_);
    header->addStretch();
    header->addWidget(new Text("Block area ≈ size on disk", LabelStyle::font(9.5, Fonts::Weight::medium), Theme::tertiaryText(), this));
    section->addLayout(header);

    treemap_ = new TreemapView(QSizeF(74, 44), this);
    treemap_->setAccessibleName("What's inside");
    treemap_->setFixedHeight(410);
    section->addWidget(treemap_);

    placeholder_ = new QWidget(this);
    placeholder_->setFixedHeight(410);
    auto* stack = new QStackedLayout(placeholder_);
    stack->setStackingMode(QStackedLayout::StackAll);
    auto* over = new QWidget(placeholder_);
    auto* overColumn = new QVBoxLayout(over);
    overColumn->setSpacing(10);
    overColumn->addStretch();
    spinner_ = new Spinner(16, over);
    overColumn->addWidget(spinner_, 0, Qt::AlignHCenter);
    status_ = new Text("", Fonts::system(12), Theme::secondaryText(), over);
    status_->setAlignment(Qt::AlignCenter);
    overColumn->addWidget(status_, 0, Qt::AlignHCenter);
    wholeDiskNote_ = new Text("Whole-disk scans take a few minutes — every file on the volume is measured individually. "
                              "You can keep using the app, or switch back to System Data.",
                              Fonts::system(11.5), Theme::tertiaryText(), over);
    wholeDiskNote_->setWrapping(true);
    wholeDiskNote_->setAlignment(Qt::AlignHCenter);
    wholeDiskNote_->setFixedWidth(420);
    overColumn->addWidget(wholeDiskNote_, 0, Qt::AlignHCenter);
    overColumn->addStretch();
    stack->addWidget(over);
    section->addWidget(placeholder_);
    column->addLayout(section);

    cloudSlot_ = new QVBoxLayout;
    cloudSlot_->setContentsMargins(0, 0, 0, 0);
    column->addLayout(cloudSlot_);

    section_ = new SafeToCleanSection(models, hooks_.openPreview, this);
    column->addWidget(section_);

    footnotes_ = new QWidget(this);
    footnoteLayout_ = new QVBoxLayout(footnotes_);
    footnoteLayout_->setContentsMargins(0, 0, 0, 0);
    footnoteLayout_->setSpacing(14);
    column->addWidget(footnotes_);

    auto& c = models.coordinator;
    connect(&c, &ScanCoordinator::progressChanged, this, &OverviewView::refreshProgress);
    for (auto signal : {&ScanCoordinator::phaseChanged, &ScanCoordinator::resultChanged, &ScanCoordinator::scopeChanged,
                        &ScanCoordinator::cloudChanged})
        connect(&c, signal, this, &OverviewView::refresh);
    refresh();
}

void OverviewView::refreshProgress() {
    const auto& c = models_.coordinator;
    const bool scanning = c.phase() == Phase::scanning;
    capsuleBox_->setVisible(scanning);
    if (scanning) capsuleText_->setText(OverviewText::liveCapsule(c.completedRoots(), c.totalRoots()));
    const bool stoppedWithFigures = c.phase() == Phase::cancelled && !c.result().categories.empty();
    stoppedBox_->setVisible(stoppedWithFigures);
    if (stoppedWithFigures) stoppedText_->setText(OverviewText::stoppedCapsule(c.completedRoots(), c.totalRoots()));
}

void OverviewView::refresh() {
    const auto& c = models_.coordinator;
    const ScanResult& result = c.result();
    const bool scanning = c.phase() == Phase::scanning;
    refreshProgress();

    const bool empty = result.categories.empty();
    treemap_->setVisible(!empty);
    placeholder_->setVisible(empty);
    if (empty) {
        // The skeleton sweeps only while scanning; a new one when that changes.
        if (!skeleton_ || skeletonScanning_ != scanning) {
            delete skeleton_;
            skeleton_ = new ScanSkeleton(scanning, -1, kSkeletonWeights, placeholder_);
            skeletonScanning_ = scanning;
            auto* stack = static_cast<QStackedLayout*>(placeholder_->layout());
            stack->addWidget(skeleton_);
            skeleton_->lower();
            skeleton_->show();
        }
        spinner_->setVisible(scanning);
        status_->setText(OverviewText::placeholderStatus(c.phase()));
        wholeDiskNote_->setVisible(scanning && c.scope() == ScanScope::wholeDisk);
    } else {
        std::vector<TreemapTile> tiles;
        for (const auto& cat : result.sortedCategories()) {
            TreemapTile t;
            t.id = cat.category.id;
            t.name = QString::fromStdString(cat.category.title);
            for (const auto& r : cat.roots) t.size += r->size;
            t.tint = Theme::tint(cat.category.tint);
            if (OverviewText::carriesSafeBadge(cat.category)) t.badge = QStringLiteral("SAFE");
            t.partial = cat.partial();
            t.notMeasured = cat.notMeasured();
            auto* coordinator = &models_.coordinator;
            const std::string id = cat.category.id;
            t.onTap = [coordinator, id] { coordinator->move({id, {}}, true); };
            tiles.push_back(std::move(t));
        }
        treemap_->setTiles(std::move(tiles));
    }

    const bool signedIn = c.cloud().accountID.has_value();
    if (signedIn && !cloudRow_ && hooks_.cloudRow) {
        cloudRow_ = hooks_.cloudRow(this);
        if (cloudRow_) cloudSlot_->addWidget(cloudRow_);
    }
    if (cloudRow_) cloudRow_->setVisible(signedIn);
    rebuildFootnotes();
}

void OverviewView::rebuildFootnotes() {
    const auto& c = models_.coordinator;
    const ScanResult& r = c.result();
    // The notes change only with these texts: keep the rows while they stay the same.
    const bool coverage = r.scope == ScanScope::wholeDisk && c.hasResult();
    const bool partial = c.phase() == Phase::cancelled;
    const QString key = (coverage ? OverviewText::coverageTitle(r, partial) : QString()) + QChar(0x1f) +
                        (r.snapshots.empty() ? QString() : OverviewText::snapshotBody(r) + QString::number(r.snapshots.size())) +
                        QChar(0x1f) + OverviewText::setAsideBody(r);
    if (footnotesBuilt_ && key == footnoteKey_) return;
    footnotesBuilt_ = true;
    footnoteKey_ = key;
    while (QLayoutItem* it = footnoteLayout_->takeAt(0)) {
        delete it->widget();
        delete it;
    }
    if (coverage)
        footnoteLayout_->addWidget(infoRow("sum", OverviewText::coverageTitle(r, partial),
            "The remainder is filesystem metadata and the blocks the file system reserves, plus anything this user "
            "may not read. Whole-disk mode measures every top-level directory of /, and a local disk mounted at the "
            "top level (such as a /home partition) on its own; pseudo, memory and network file systems are "
            "deliberately not followed.", footnotes_));
    // A value of the environment Sorvel did not take is said once, with why.
    if (!r.setAsideFolders.empty())
        footnoteLayout_->addWidget(infoRow("exclamationmark.triangle", OverviewText::setAsideTitle(r),
                                           OverviewText::setAsideBody(r), footnotes_));
    footnoteLayout_->addWidget(infoRow("info.circle", "Why this differs from the disk's used space",
        "The file system counts everything it holds as used space, without saying what it is. Sorvel instead measures "
        "specific directories and shows you every one of them, so the totals will not match exactly — but unlike the "
        "used-space figure, each number here is something you can open and inspect.", footnotes_));
    if (!r.snapshots.empty())
        footnoteLayout_->addWidget(infoRow("clock.arrow.circlepath", OverviewText::snapshotTitle(r.snapshots.size()),
                                           OverviewText::snapshotBody(r), footnotes_));
    footnoteLayout_->addWidget(infoRow("eye", "Nothing is deleted, only moved to the Trash",
        "Every removal goes through the same safety checks and lands in the Trash, so you can put it back from the "
        "file manager until you empty it. Protected locations — your messages, mail, keychains, device backups, Pictures "
        "folder — are refused outright, and the review sheet lists anything it declined along with the reason.",
        footnotes_));
}

} // namespace sorvel::ui
