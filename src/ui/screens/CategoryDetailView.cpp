#include "ui/screens/CategoryDetailView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

#include "cleanup/Advice.h"
#include "engine/Bytes.h"
#include "engine/PathKnowledge.h"
#include "engine/PathText.h"
#include "engine/Reading.h"
#include "models/ScanCoordinator.h"
#include "ui/kit/Button.h"
#include "ui/kit/Card.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/kit/TextButton.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/screens/AdviceSection.h"
#include "ui/screens/CategoryRowList.h"
#include "ui/screens/DockerSection.h"
#include "ui/screens/InsightsPanel.h"
#include "ui/screens/ScreenText.h"
#include "ui/screens/TreemapView.h"
#include "ui/services/DesktopServices.h"

namespace sorvel::ui {

namespace {

QWidget* metricRow(const QString& label, Text*& value, QWidget* parent) {
    auto* w = new QWidget(parent);
    auto* row = new QHBoxLayout(w);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addStretch(1);
    row->addWidget(new Text(label, Fonts::system(10), Theme::tertiaryText(), w));
    value = new Text("", Fonts::mono(11, Fonts::Weight::medium), Theme::secondaryText(), w);
    row->addWidget(value);
    return w;
}

} // namespace

CategoryDetailView::CategoryDetailView(ScanCoordinator& coordinator, DesktopServices& desktop, std::string categoryID,
                                       QWidget* parent)
    : QWidget(parent), coordinator_(coordinator), desktop_(desktop), categoryID_(std::move(categoryID)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(20);

    // Breadcrumb.
    crumbBar_ = new QWidget(this);
    auto* bar = new QHBoxLayout(crumbBar_);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(6);
    crumbRow_ = new QHBoxLayout;
    crumbRow_->setSpacing(6);
    bar->addLayout(crumbRow_);
    bar->addStretch(1);
    reveal_ = new Button("Reveal in File Manager", Button::Style::subtle, crumbBar_);
    reveal_->setSymbol("arrow.up.forward.app");
    connect(reveal_, &QAbstractButton::clicked, this, [this] {
        if (auto target = state().revealTarget) desktop_.reveal(*target);
    });
    bar->addWidget(reveal_);
    column->addWidget(crumbBar_);

    // Summary.
    auto* summary = new Card(18, std::nullopt, this);
    auto* top = new QHBoxLayout;
    top->setSpacing(20);
    auto* left = new QVBoxLayout;
    left->setSpacing(4);
    auto* figure = new QHBoxLayout;
    figure->setSpacing(5);
    number_ = new Text("", Fonts::mono(26, Fonts::Weight::semibold), Theme::primaryText(), summary);
    unit_ = new Text("", Fonts::system(13, Fonts::Weight::medium), Theme::secondaryText(), summary);
    unread_ = new Text("Not readable by this user", Fonts::system(20, Fonts::Weight::semibold), Theme::secondaryText(), summary);
    unread_->hide();
    figure->addWidget(number_, 0, Qt::AlignBottom);
    figure->addWidget(unit_, 0, Qt::AlignBottom);
    figure->addWidget(unread_, 0, Qt::AlignBottom);
    figure->addStretch(1);
    left->addLayout(figure);
    pathText_ = Texts::selectable("", Fonts::mono(11), Theme::tertiaryText(), summary);
    left->addWidget(pathText_);
    blurb_ = Texts::wrapping("", Fonts::system(12), Theme::secondaryText(), summary);
    blurb_->setMaximumWidth(560);
    // In a row of its own, so its height is worked out at the width it really gets.
    auto* blurbRow = new QHBoxLayout;
    blurbRow->addWidget(blurb_, 1);
    blurbRow->addStretch(0);
    left->addLayout(blurbRow);
    links_ = Texts::wrapping("", Fonts::system(11.5), Theme::warning(), summary);
    links_->setMaximumWidth(560);
    links_->hide();
    left->addWidget(links_);
    top->addLayout(left, 1);
    metrics_ = new QWidget(summary);
    auto* right = new QVBoxLayout(metrics_);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(4);
    right->addWidget(metricRow("Items", items_, metrics_));
    right->addWidget(metricRow("Files", files_, metrics_));
    blocked_ = new Text("Partially blocked for this user", Fonts::system(10, Fonts::Weight::medium), Theme::warning(), metrics_);
    right->addWidget(blocked_, 0, Qt::AlignRight);
    partial_ = new Text("Partial — scan stopped", Fonts::system(10, Fonts::Weight::medium), Theme::warning(), metrics_);
    partial_->setToolTip(QString::fromStdString(ScreenText::partialSentence()));
    right->addWidget(partial_, 0, Qt::AlignRight);
    right->addStretch(1);
    top->addWidget(metrics_, 0, Qt::AlignTop);
    summary->content()->addLayout(top);
    column->addWidget(summary);

    insights_ = new InsightsPanel(desktop_, this);
    column->addWidget(insights_);

    empty_ = new Card(18, std::nullopt, this);
    empty_->content()->setSpacing(6);
    emptyTitle_ = new Text("", Fonts::system(13, Fonts::Weight::medium), Theme::secondaryText(), empty_);
    empty_->content()->addWidget(emptyTitle_);
    emptyAccess_ = Texts::wrapping("This user may not read this location, so Sorvel could not measure it. There is no Full Disk Access to grant here.",
                                  Fonts::system(11.5), Theme::tertiaryText(), empty_);
    empty_->content()->addWidget(emptyAccess_);
    column->addWidget(empty_);

    treemap_ = new TreemapView(QSizeF(64, 40), this);
    treemap_->setAccessibleName("What's inside");
    treemap_->setFixedHeight(250);
    column->addWidget(treemap_);

    auto* list = new QVBoxLayout;
    list->setSpacing(4);
    rows_ = new CategoryRowList(this);
    rows_->setAccessibleName("Items");
    rows_->onOpen = [this](const BrowseRow& row) { open(row); };
    rows_->onReveal = [this](const std::string& path) { desktop_.reveal(path); };
    rows_->onCopy = [this](const std::string& path) { desktop_.copy(QString::fromStdString(path)); };
    list->addWidget(rows_);
    more_ = Texts::wrapping("", Fonts::system(11), Theme::tertiaryText(), this);
    more_->setContentsMargins(0, 6, 0, 0);
    list->addWidget(more_);
    column->addLayout(list);

    docker_ = new DockerSection(desktop_, [this] { coordinator_.loadDocker(true); }, this);
    column->addWidget(docker_);

    advice_ = new AdviceSection(desktop_, this);
    advice_->setContentsMargins(0, 6, 0, 0);
    column->addWidget(advice_);
    column->addStretch(1);

    // Several signals arrive for one change (a drill moves the path, the token and the
    // insights): they are folded into one refresh on the next turn of the event loop.
    for (auto signal : {&ScanCoordinator::resultChanged, &ScanCoordinator::drillPathChanged,
                        &ScanCoordinator::phaseChanged, &ScanCoordinator::cloudChanged})
        connect(&coordinator_, signal, this, [this] { schedule(Part::all); });
    for (auto signal : {&ScanCoordinator::insightsChanged, &ScanCoordinator::insightsLoadingChanged})
        connect(&coordinator_, signal, this, [this] { schedule(Part::insights); });
    for (auto signal : {&ScanCoordinator::dockerChanged, &ScanCoordinator::dockerLoadingChanged})
        connect(&coordinator_, signal, this, [this] { schedule(Part::docker); });
    connect(&coordinator_, &ScanCoordinator::navigationTokenChanged, this, [this] { onArrival(); });

    refresh();
    onArrival();
}

CategoryPaneState CategoryDetailView::state() const {
    return CategoryPaneState::derive(coordinator_.result(), categoryID_, coordinator_.drillPath(),
                                     coordinator_.dockerAvailable());
}

void CategoryDetailView::onArrival() {
    const CategoryPaneState s = state();
    coordinator_.loadInsights(s.currentPath, s.excludedBelow);
    if (s.showsDocker) coordinator_.loadDocker(false);
}

void CategoryDetailView::schedule(Part part) {
    const bool queued = pending_ != 0;
    pending_ |= static_cast<int>(part);
    if (queued) return;
    QMetaObject::invokeMethod(this, [this] { flush(); }, Qt::QueuedConnection);
}

void CategoryDetailView::flush() {
    const int parts = std::exchange(pending_, 0);
    if (parts & static_cast<int>(Part::all)) {
        refresh();
        return;
    }
    const CategoryPaneState s = state();
    if (parts & static_cast<int>(Part::insights)) refreshInsights(s);
    if (parts & static_cast<int>(Part::docker)) refreshDocker(s);
}

void CategoryDetailView::refresh() {
    const CategoryPaneState s = state();
    refreshBreadcrumb(s);
    refreshSummary(s);
    refreshInsights(s);
    refreshRows(s);
    refreshDocker(s);
    refreshAdvice(s);
}

void CategoryDetailView::refreshBreadcrumb(const CategoryPaneState& s) {
    // Rebuilt only when the trail itself changed.
    std::vector<std::string> key{s.title()};
    for (const auto& node : coordinator_.drillPath()) key.push_back(node->id.uuidString());
    reveal_->setVisible(s.revealTarget.has_value());
    if (key == crumbKey_) return;
    crumbKey_ = key;
    while (QLayoutItem* item = crumbRow_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    crumbTitles_.clear();
    auto addCrumb = [this](const QString& title, size_t depth) {
        auto* crumb = new TextButton(title, Fonts::system(13, Fonts::Weight::semibold), Theme::primaryText(), crumbBar_, TextButton::Fit::tight);
        connect(crumb, &QAbstractButton::clicked, this, [this, depth] {
            // Going back rebuilds the trail: let the click finish first.
            QMetaObject::invokeMethod(this, [this, depth] { coordinator_.drillBack(depth); }, Qt::QueuedConnection);
        });
        crumbRow_->addWidget(crumb);
        crumbTitles_ << title;
    };
    addCrumb(q(s.title()), 0);
    const auto& path = coordinator_.drillPath();
    for (size_t i = 0; i < path.size(); ++i) {
        crumbRow_->addWidget(new SymbolView("chevron.right", Theme::tertiaryText(), 9, crumbBar_, QSize(10, 14)));
        addCrumb(q(path[i]->name), i + 1);
    }
}

void CategoryDetailView::refreshSummary(const CategoryPaneState& s) {
    const Bytes::Parts parts = Bytes::parts(s.levelSize);
    number_->setText(q(parts.number));
    unit_->setText(q(parts.unit));
    pathText_->setVisible(s.drilled);
    blurb_->setVisible(!s.drilled);
    if (s.drilled) pathText_->setText(q(tildeAbbreviated(*s.currentPath)));
    else blurb_->setText(q(s.blurb()));
    // What was not read has no figure: no 0 KB headline and no zero counts beside it.
    // Nor has what a stop kept from being measured.
    const bool noFigure = s.nothingRead || s.notMeasured;
    number_->setVisible(!noFigure);
    unit_->setVisible(!noFigure);
    unread_->setVisible(noFigure);
    unread_->setText(s.nothingRead ? QStringLiteral("Not readable by this user") : QStringLiteral("Not measured"));
    metrics_->setVisible(s.category != nullptr && !noFigure);
    items_->setText(QString::number(static_cast<qulonglong>(s.rows.size())));
    files_->setText(QString::number(static_cast<qlonglong>(s.fileCount)));
    blocked_->setVisible(s.partiallyBlocked);
    // A link in a root's place: said, with where it leads, since nothing there is counted.
    QStringList links;
    for (const auto& note : s.linkNotes) links << q(note) + QStringLiteral(": nothing there is measured or offered.");
    links_->setText(links.join(QLatin1Char('\n')));
    links_->setVisible(!links.isEmpty());
    // Figures a stop cut short say so: the level's size and its file count.
    partial_->setVisible(s.partial);
    number_->setColour(s.partial ? Theme::warning() : Theme::primaryText());
    files_->setColour(s.partial ? Theme::warning() : Theme::secondaryText());
    if (s.partial) files_->setText(files_->text() + QStringLiteral(" · ") + ScreenText::kPartial);
}

void CategoryDetailView::refreshInsights(const CategoryPaneState& s) {
    // Nothing read, nothing to explain: no breakdown, and no verdict such as "safe to clean".
    const bool shown = s.currentPath.has_value() && !s.nothingRead;
    insights_->setVisible(shown);
    if (!shown) return;
    insights_->setInputs(*s.currentPath, PathKnowledge::note(*s.currentPath), coordinator_.insights(),
                         coordinator_.insightsLoading(), coordinator_.cloud());
    insights_->setVisible(!insights_->cards().isEmpty());
}

void CategoryDetailView::refreshRows(const CategoryPaneState& s) {
    const bool empty = s.rows.empty();
    empty_->setVisible(empty);
    emptyTitle_->setText(coordinator_.phase() == ScanCoordinator::Phase::scanning ? QString::fromUtf8("Still scanning\u2026")
                                                                                  : QString("Nothing to show here."));
    emptyAccess_->setVisible(s.category && s.partiallyBlocked);

    // A level whose rows all measure nothing would leave a blank 250-point area.
    const bool mapped = !empty && !s.drilled && s.levelSize > 0;
    treemap_->setVisible(mapped);
    if (mapped) refreshTiles(s);
    rows_->setVisible(!empty);
    rows_->setRows(s.rows, s.visibleRowCount(), s.rowTotal(), s.tint);
    const auto more = s.moreRowsText();
    more_->setVisible(more.has_value());
    more_->setText(more ? q(*more) : QString());
}

// The first 24 rows, fading from the category's full fill to 0.45.
void CategoryDetailView::refreshTiles(const CategoryPaneState& s) {
    const TintColours colours = Theme::tint(s.tint);
    std::vector<TreemapTile> tiles;
    const size_t n = s.tileCount();
    tiles.reserve(n);
    const std::vector<std::string> names = CategoryPane::rowNames(s.rows, n);
    for (size_t i = 0; i < n; ++i) {
        const BrowseRow row = s.rows[i];
        TreemapTile tile;
        tile.id = row.id().uuidString();
        tile.name = q(names[i]);
        tile.size = row.size();
        tile.tint = {colours.fill.opacity(CategoryPane::tileOpacity(i, n)), colours.ink, colours.dot};
        tile.onTap = [this, row] { open(row); };
        tile.partial = row.isDirectory() && row.node()->partial;
        tile.notMeasured = row.isDirectory() && notMeasured(*row.node());
        tiles.push_back(std::move(tile));
    }
    treemap_->setTiles(std::move(tiles));
}

void CategoryDetailView::refreshDocker(const CategoryPaneState& s) {
    docker_->setVisible(s.showsDocker);
    if (s.showsDocker) docker_->setInputs(coordinator_.docker(), coordinator_.dockerLoading());
}

void CategoryDetailView::refreshAdvice(const CategoryPaneState& s) {
    // Advice marked safe is about content this user could act on: none where nothing was read.
    advice_->setVisible(!s.drilled && !s.nothingRead);
    if (s.drilled || s.nothingRead) return;
    std::optional<DisplayCategory> category;
    if (s.category) category = s.category->category;
    advice_->setInputs(AdviceCatalog::advice(category, coordinator_.result(), coordinator_.cloud()), coordinator_.cloud());
}

void CategoryDetailView::open(const BrowseRow& row) {
    if (CategoryPane::openAction(row) == CategoryPane::OpenAction::reveal) {
        desktop_.reveal(CategoryPane::rowPath(row));
        return;
    }
    coordinator_.drill(row.node());
}

QString CategoryDetailView::moreRowsText() const { return !more_->isHidden() ? more_->text() : QString(); }
QStringList CategoryDetailView::crumbs() const { return crumbTitles_; }

QString CategoryDetailView::linkText() const { return links_->isHidden() ? QString() : links_->text(); }

void CategoryDetailView::clickCrumb(int index) { coordinator_.drillBack(static_cast<size_t>(index)); }

QString CategoryDetailView::headline() const {
    return !unread_->isHidden() ? unread_->text() : number_->text() + " " + unit_->text();
}
QString CategoryDetailView::emptyText() const { return emptyTitle_->text(); }
bool CategoryDetailView::showsEmptyState() const { return !empty_->isHidden(); }
QString CategoryDetailView::filesText() const { return files_->text(); }
bool CategoryDetailView::showsPartial() const { return !partial_->isHidden(); }

} // namespace sorvel::ui
