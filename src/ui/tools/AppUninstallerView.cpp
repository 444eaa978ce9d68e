#include "ui/tools/AppUninstallerView.h"

#include "ui/kit/RebuildPlace.h"

#include <QTimer>
#include <QVBoxLayout>

#include <unordered_map>

#include "engine/Bytes.h"
#include "models/AppsModel.h"
#include "models/PageID.h"
#include "models/ScanCoordinator.h"
#include "ui/kit/Card.h"
#include "ui/kit/Button.h"
#include "ui/kit/Chip.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/PulseDot.h"
#include "ui/kit/SymbolView.h"
#include "ui/kit/Text.h"
#include "ui/kit/Texts.h"
#include "ui/kit/Theme.h"
#include "ui/tools/AppDetailPane.h"
#include "ui/tools/AppIcon.h"
#include "ui/tools/AppUninstallReview.h"
#include "ui/tools/ClickCard.h"
#include "ui/tools/Coalescer.h"
#include "ui/tools/Layouts.h"
#include "ui/tools/PlaceholderBar.h"
#include "ui/tools/UninstallerRules.h"

namespace sorvel::ui {

using namespace Texts;
using namespace Layouts;
using W = Fonts::Weight;

AppUninstallerView::AppUninstallerView(AppsModel& apps, ScanCoordinator& coordinator, DesktopServices& desktop,
                                       QWidget* parent)
    : QWidget(parent), apps_(apps), coordinator_(coordinator), desktop_(desktop), layout_(column(18, this)),
      rebuild_(new Coalescer([this] { rebuild(); }, this)), relativeRefresh_(new QTimer(this)) {
    setObjectName("appsPage");
    relativeRefresh_->setInterval(kRelativeRefreshMs);
    connect(relativeRefresh_, &QTimer::timeout, this, &AppUninstallerView::refreshSubtitles);
    lastDetail_ = pageDetail();
    lastCount_ = apps_.apps().size();

    // Trigger 2: the page's detail changed (back, forward, a row, "All applications").
    connect(&coordinator_, &ScanCoordinator::selectedCategoryChanged, this, [this] {
        const auto detail = pageDetail();
        if (detail == lastDetail_) return;
        lastDetail_ = detail;
        apps_.syncSelection(detail);
    });
    // Trigger 3: the number of apps changed.
    connect(&apps_, &AppsModel::appsChanged, this, [this] {
        if (apps_.apps().size() != lastCount_) {
            lastCount_ = apps_.apps().size();
            apps_.syncSelection(pageDetail());
        }
        rebuild_->request();
    });
    for (auto signal : {&AppsModel::isScanningChanged, &AppsModel::selectedAppChanged, &AppsModel::stageChanged,
                        &AppsModel::previewChanged, &AppsModel::isPreviewingChanged, &AppsModel::handoffChanged,
                        &AppsModel::saveErrorChanged, &AppsModel::failureChanged})
        connect(&apps_, signal, rebuild_, &Coalescer::request);
    // Ticks change in place: the list of rows stays as it is.
    connect(&apps_, &AppsModel::selectedPathsChanged, this, [this] {
        if (detail_) detail_->refreshTicks();
    });
    rebuild();
}

std::optional<std::string> AppUninstallerView::pageDetail() const {
    const auto& selected = coordinator_.selectedCategory();
    return selected ? toolDetail(*selected) : std::nullopt;
}

void AppUninstallerView::setRelativeRefresh(int ms) { relativeRefresh_->setInterval(ms); }

void AppUninstallerView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    relativeRefresh_->stop();
}

// A time shown relative to now stays true while it is shown: only the subtitles change.
void AppUninstallerView::refreshSubtitles() {
    if (subtitles_.empty()) return;
    std::unordered_map<std::string, const InstalledApp*> byPath;
    for (const auto& app : apps_.apps()) byPath.emplace(app.bundlePath, &app);
    const Date at = clock_();
    for (const auto& [label, path] : subtitles_) {
        const auto found = byPath.find(path);
        if (!label || found == byPath.end()) continue;
        if (auto* shown = qobject_cast<Text*>(label.data()))
            shown->setText(q(UninstallerRules::subtitle(*found->second, at)));
    }
}

void AppUninstallerView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refreshSubtitles();
    relativeRefresh_->start();
    // Trigger 1: each time the page is put on screen.
    apps_.scanIfNeeded();
    lastDetail_ = pageDetail();
    apps_.syncSelection(lastDetail_);
}

void AppUninstallerView::flush() { rebuild_->flush(); }

void AppUninstallerView::rebuild() {
    // The same view refreshed (a scan's progress, a preview) keeps its place; another app
    // or stage is another view, which opens at its top.
    const auto& app = apps_.selectedApp();
    const std::string identity = (app ? app->bundlePath : std::string()) + '\n' +
                                 std::to_string(static_cast<int>(apps_.stage())) +
                                 (apps_.isScanning() && apps_.apps().empty() ? "\nskeleton" : "");
    std::optional<RebuildPlace> place;
    if (identity == builtIdentity_) place.emplace(this);
    builtIdentity_ = identity;
    clear(layout_);
    subtitles_.clear();
    detail_ = nullptr;
    ++builds_;
    layout_->addWidget(header());
    if (apps_.isScanning() && apps_.apps().empty()) {
        layout_->addWidget(skeleton());
    } else if (const auto& app = apps_.selectedApp()) {
        if (apps_.stage() == AppsModel::Stage::browsing) {
            detail_ = new AppDetailPane(apps_, *app, desktop_, this);
            layout_->addWidget(detail_);
        } else {
            auto* review = new AppUninstallReview(apps_, coordinator_, *app, this);
            layout_->addWidget(review);
            review->setFocus();
        }
    } else {
        layout_->addWidget(list());
    }
    layout_->addStretch(1);
    if (place) place->restore();
}

QWidget* AppUninstallerView::header() {
    auto* block = column(8);
    auto* line = row(10);
    const auto& app = apps_.selectedApp();
    auto* title = text(app ? q(app->name) : QString("Applications"), 20, W::semibold, Theme::primaryText());
    title->setObjectName("pageTitle");
    line->addWidget(title);
    if (apps_.isScanning()) {
        auto* measuring = row(6);
        measuring->addWidget(new PulseDot(5.5, Theme::accent(), true));
        measuring->addWidget(text("measuring", 11.5, W::regular, Theme::accentInk()));
        auto* indicator = wrap(measuring);
        indicator->setObjectName("measuring");
        line->addWidget(indicator);
    }
    line->addStretch(1);
    if (app) {
        auto* all = new Button("All applications", Button::Style::subtle);
        all->setObjectName("allApplications");
        connect(all, &Button::clicked, this, [this] { coordinator_.move({rawValue(Tool::apps), {}}, true); });
        line->addWidget(all);
    } else {
        auto* rescan = new Button("Rescan", Button::Style::subtle);
        rescan->setObjectName("rescan");
        rescan->setEnabled(!apps_.isScanning());
        connect(rescan, &Button::clicked, this, [this] { apps_.rescan(); });
        line->addWidget(rescan);
    }
    block->addLayout(line);
    if (const auto& failure = apps_.failure()) block->addWidget(Texts::failure(*failure));
    if (const auto& error = apps_.saveError()) block->addWidget(Texts::saveError(*error));
    if (!app)
        block->addWidget(wrapping("Every app bundle in /Applications and ~/Applications and the files it has left "
                                  "around ~/Library \u2014 support folders, caches, containers, preferences, saved state "
                                  "and login items. Flatpak and snap apps are not listed here: their folders in "
                                  "~/.var/app and ~/snap are measured under Containers, and those of apps no longer "
                                  "installed are offered under \u201CLeftovers from removed apps\u201D.",
                                  12.5, Theme::secondaryText()));
    return wrap(block, this);
}

QWidget* AppUninstallerView::skeleton() {
    auto* bars = column(10);
    for (int i = 0; i < 6; ++i) bars->addWidget(new PlaceholderBar(46, 10));
    auto* w = wrap(bars, this);
    w->setObjectName("skeleton");
    return w;
}

QWidget* AppUninstallerView::list() {
    auto* stack = column(12);
    auto* figures = row(14);
    const std::pair<QString, QString> values[] = {
        {q(Bytes::format(apps_.totalLeftovers())), "outside the bundles"},
        {QString::number(apps_.removableApps().size()), "apps listed"},
        {QString::number(apps_.appsNeedingAdministrator().size()), "need an administrator to remove"},
    };
    for (const auto& [value, label] : values) {
        auto* card = new Card(13);
        card->setObjectName("figure");
        card->content()->setSpacing(2);
        card->content()->addWidget(mono(value, 17, W::semibold, Theme::primaryText()));
        card->content()->addWidget(text(label, 10.5, W::regular, Theme::tertiaryText()));
        figures->addWidget(card, 1);
    }
    stack->addLayout(figures);
    auto* rows = column(7);
    const auto removable = apps_.removableApps();
    const auto running = apps_.runningBundleIdentifiers();
    for (const auto& app : removable) {
        auto* card = new ClickCard(0);
        card->setObjectName("appRow");
        card->setProperty("bundlePath", q(app.bundlePath));
        card->setAccessibleName(q(app.name));
        auto* line = row(13);
        line->setContentsMargins(14, 10, 14, 10);
        line->addWidget(new AppIcon(app.bundlePath, 30));
        auto* texts = column(2);
        auto* nameLine = row(7);
        nameLine->addWidget(text(q(app.name), 13.5, W::medium, Theme::primaryText()));
        if (UninstallerRules::isRunning(app, running))
            nameLine->addWidget(new Chip("RUNNING", Theme::warning(), Theme::warningWash()));
        if (app.removability.kind == InstalledApp::Removability::Kind::needsAdministrator) {
            const TintColours blue = Theme::tint(Tint::blue());
            nameLine->addWidget(new Chip("NEEDS ADMIN", blue.ink, blue.fill));
        }
        nameLine->addStretch(1);
        texts->addLayout(nameLine);
        auto* subtitle = text(q(UninstallerRules::subtitle(app, clock_())), 11, W::regular, Theme::tertiaryText());
        subtitle->setObjectName("appSubtitle");
        subtitle->setElide(Qt::ElideRight);
        subtitles_.emplace_back(subtitle, app.bundlePath);
        texts->addWidget(subtitle);
        line->addLayout(texts, 1);
        line->addSpacing(10);
        if (app.leftoverSize() >= 1) {
            auto* left = column(1);
            auto* size = mono(q(Bytes::format(app.leftoverSize())), 11, W::medium, Theme::accentInk());
            size->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            left->addWidget(size, 0, Qt::AlignRight);
            left->addWidget(text("left around", 9.5, W::regular, Theme::tertiaryText()), 0, Qt::AlignRight);
            line->addLayout(left);
        }
        auto* figure = appSizeFigure(UninstallerRules::listedSize(app), 13, W::semibold, 86);
        if (app.bundlePartlyRead) figure->setToolTip(UninstallerRules::kPartlyReadTip);
        line->addWidget(figure);
        line->addWidget(new SymbolView("chevron.right", Theme::tertiaryText(), 10));
        card->content()->addLayout(line);
        const std::string path = app.bundlePath;
        connect(card, &ClickCard::clicked, this, [this, path] { coordinator_.show(Tool::apps, path); });
        rows->addWidget(card);
    }
    stack->addLayout(rows);
    // An empty list says why, where apps were looked for; not while the first look runs.
    if (removable.empty() && apps_.scannedAt()) {
        auto* why = wrapping(q(UninstallerRules::emptyListText(apps_.apps().size(), apps_.looked())), 12,
                             Theme::tertiaryText());
        why->setObjectName("emptyList");
        stack->addWidget(why);
    }
    auto* w = wrap(stack, this);
    w->setObjectName("appList");
    return w;
}

} // namespace sorvel::ui
