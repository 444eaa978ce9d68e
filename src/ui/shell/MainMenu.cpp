#include "ui/shell/MainMenu.h"

#include <QMenu>
#include <QMenuBar>

#include "models/ScanCoordinator.h"
#include "models/UpdateChecker.h"

namespace sorvel::ui {

MainMenu::MainMenu(ScanCoordinator& coordinator, UpdateChecker& updates, QObject* parent)
    : QObject(parent), coordinator_(coordinator), updates_(updates) {
    checkForUpdates_ = new QAction("Check for Updates…", this);
    settings_ = new QAction("Settings…", this);
    settings_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    settings_->setMenuRole(QAction::PreferencesRole);
    panel_ = new QAction("Show Sweep Panel", this);
    panel_->setVisible(false);
    quit_ = new QAction("Quit", this);
    quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit_->setMenuRole(QAction::QuitRole);

    back_ = new QAction("Back", this);
    back_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_BracketLeft));
    forward_ = new QAction("Forward", this);
    forward_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_BracketRight));
    up_ = new QAction("Enclosing Folder", this);
    up_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
    rescan_ = new QAction("Rescan", this);
    rescan_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    live_ = new QAction("Live Updates", this);
    live_->setCheckable(true);
    live_->setToolTip(liveUpdatesHelp);
    live_->setStatusTip(liveUpdatesHelp);

    for (QAction* a : {settings_, quit_})
        a->setShortcutContext(Qt::ApplicationShortcut);

    connect(checkForUpdates_, &QAction::triggered, this, [this] { updates_.check(true); });
    connect(back_, &QAction::triggered, this, [this] { coordinator_.navigateBack(); });
    connect(forward_, &QAction::triggered, this, [this] { coordinator_.navigateForward(); });
    connect(up_, &QAction::triggered, this, [this] { coordinator_.navigateUp(); });
    connect(rescan_, &QAction::triggered, this, [this] { coordinator_.start(); });
    connect(live_, &QAction::toggled, this, [this](bool on) {
        if (on != coordinator_.liveUpdatesEnabled()) coordinator_.setLiveUpdatesEnabled(on);
    });

    // Navigation state changes with these; progress ticks never touch the menu.
    for (auto signal : {&ScanCoordinator::selectedCategoryChanged, &ScanCoordinator::drillPathChanged,
                        &ScanCoordinator::navigationTokenChanged, &ScanCoordinator::liveUpdatesEnabledChanged,
                        &ScanCoordinator::phaseChanged, &ScanCoordinator::resultChanged})
        connect(&coordinator_, signal, this, &MainMenu::refresh);
    refresh();
}

void MainMenu::refresh() {
    checkForUpdates_->setEnabled(updates_.isConfigured());
    back_->setEnabled(!coordinator_.backStack().empty());
    forward_->setEnabled(!coordinator_.forwardStack().empty());
    up_->setEnabled(coordinator_.canGoUp());
    if (live_->isChecked() != coordinator_.liveUpdatesEnabled()) live_->setChecked(coordinator_.liveUpdatesEnabled());
}

void MainMenu::install(QMenuBar* bar) {
    QMenu* app = bar->addMenu("Sorvel");
    app->addAction(checkForUpdates_);
    app->addSeparator();
    app->addAction(settings_);
    app->addAction(panel_);
    app->addSeparator();
    app->addAction(quit_);
    QMenu* view = bar->addMenu("View");
    view->setToolTipsVisible(true);
    view->addAction(back_);
    view->addAction(forward_);
    view->addAction(up_);
    view->addSeparator();
    view->addAction(rescan_);
    view->addAction(live_);
}

} // namespace sorvel::ui
