#include "ui/shell/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QScrollArea>
#include <QVBoxLayout>

#include "models/ScanCoordinator.h"
#include "models/SweepScheduler.h"
#include "models/UpdateChecker.h"
#include "ui/kit/AppearanceSetting.h"
#include "ui/kit/Hairline.h"
#include "ui/shell/MainMenu.h"
#include "ui/shell/HeaderView.h"
#include "ui/shell/PageHost.h"
#include "ui/shell/SidebarView.h"
#include "ui/shell/WindowGlass.h"
#include "ui/shell/WindowBackground.h"

namespace sorvel::ui {

MainWindow::Startup MainWindow::Startup::standard(const AppModels& m) {
    return {
        [&a = m.appearance] { a.apply(); },
        [&s = m.sweeper] { s.start(); },
        [&c = m.coordinator] { c.startIfNeeded(); },
        [&u = m.updates] { u.checkIfDue(); },
    };
}

MainWindow::MainWindow(const AppModels& models, QWidget* parent) : MainWindow(models, Startup::standard(models), parent) {}

MainWindow::MainWindow(const AppModels& models, Startup startup, QWidget* parent)
    : QMainWindow(parent), models_(models), startup_(std::move(startup)),
      menu_(new MainMenu(models.coordinator, models.updates, this)) {
    setWindowTitle("Sorvel");
    setObjectName("main");
    fitToScreen();
    menu_->install(menuBar());

    auto* root = new WindowBackground(this);
    auto* row = new QHBoxLayout(root);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    sidebar_ = new SidebarView(models_, root);
    sidebar_->setFixedWidth(244);
    row->addWidget(sidebar_);
    row->addWidget(new Hairline(Qt::Vertical, root));

    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    header_ = new HeaderView(models_, *menu_, root);
    column->addWidget(header_);
    column->addWidget(new Hairline(Qt::Horizontal, root));
    host_ = new PageHost(models_, root);
    column->addWidget(host_, 1);
    row->addLayout(column, 1);
    // On a screen smaller than the content's own minimum the content keeps that minimum and
    // scrolls, rather than its parts being drawn over each other.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("windowScroll");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setWidget(root);
    setCentralWidget(scroll);
}

QSize MainWindow::fitted(QSize wanted, QRect available) {
    if (!available.isValid()) return wanted;
    return {std::max(1, std::min(wanted.width(), available.width() - frameAllowanceWidth)),
            std::max(1, std::min(wanted.height(), available.height() - frameAllowanceHeight))};
}

void MainWindow::fitToScreen() {
    const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area = where ? where->availableGeometry() : QRect();
    setMinimumSize(fitted({minimumWidth, minimumHeight}, area));
    resize(fitted({defaultWidth, defaultHeight}, area));
    // A window as large as the screen opens at its corner, not wherever the default would
    // leave part of it off the screen.
    if (area.isValid() && (width() + frameAllowanceWidth >= area.width() || height() + frameAllowanceHeight >= area.height()))
        move(area.topLeft());
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // A window coming back from being minimised is not its content being shown again.
    if (event->spontaneous()) return;
    if (!glassReported_) {
        glassReported_ = true;
        WindowGlass::report(this);
    }
    if (startup_.applyAppearance) startup_.applyAppearance();
    if (startup_.startSweeper) startup_.startSweeper();
    if (startup_.startScanIfNeeded) startup_.startScanIfNeeded();
    if (startup_.checkUpdatesIfDue) startup_.checkUpdatesIfDue();
    emit contentShown();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A re-measure in flight was for a window no longer seen; the next change starts anew.
    models_.coordinator.cancelLivePass();
    // Only the window manager's close hides to the tray; a close the program asks for
    // (Qt's own quit among them) is let through.
    if (keepsRunning_ && event->spontaneous()) {
        hide();
        event->ignore();
        return;
    }
    // Without a tray nothing would be left to reopen the window from: closing quits, and
    // the quit flow keeps the window until a move in flight has finished.
    if (!keepsRunning_ && quit_) {
        event->ignore();
        quit_();
        return;
    }
    event->accept();
}

} // namespace sorvel::ui
