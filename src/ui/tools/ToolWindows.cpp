#include "ui/tools/ToolWindows.h"

#include <QApplication>
#include <QFileDialog>
#include <QPainter>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "models/DuplicatesModel.h"
#include "ui/kit/Symbols.h"
#include "ui/kit/Theme.h"
#include "ui/shell/MainMenu.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageFactory.h"
#include "ui/tools/SweepSettingsView.h"

namespace sorvel::ui::ToolWindows {

QWidget* openSettings(const AppModels& models) {
    QWidget* window = SweepSettingsView::findWindow();
    if (!window) {
        window = PageFactory::settingsWindow(models, nullptr);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void openSettingsFromPanel(const AppModels& models) {
    openSettings(models);
    QTimer::singleShot(150, qApp, [] {
        if (QWidget* window = SweepSettingsView::findWindow()) {
            window->raise();
            window->activateWindow();
        }
    });
}

void openMain() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() != "main") continue;
        w->showNormal();
        w->raise();
        w->activateWindow();
        return;
    }
}

namespace {

QIcon windIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = Theme::appearance() == Appearance::dark ? QColor(235, 240, 238) : QColor(40, 48, 46);
    Symbols::paint(p, QRectF(4, 4, 56, 56), "wind", ink);
    return QIcon(pixmap);
}

} // namespace

Panel::Panel(const AppModels& models, bool useTray, QObject* parent) : QObject(parent), models_(models) {
    auto* window = new QWidget(nullptr, useTray ? Qt::Popup | Qt::FramelessWindowHint : Qt::Window);
    window->setObjectName("sweepPanel");
    window->setWindowTitle("Sorvel");
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(PageFactory::trayPanel(models_, window));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    window_ = window;
    if (useTray) {
        tray_ = new QSystemTrayIcon(windIcon(), this);
        tray_->setToolTip("Sorvel");
        connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) toggle();
        });
        tray_->show();
    }
}

Panel::~Panel() { delete window_; }

void Panel::toggle() {
    if (!window_) return;
    if (window_->isVisible()) {
        window_->hide();
        return;
    }
    window_->adjustSize();
    if (tray_) place();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void Panel::place() {
    // Under the icon when the panel fits below it, else above; inside the screen.
    QRect icon = tray_->geometry();
    if (!icon.isValid()) icon = QRect(QCursor::pos(), QSize(1, 1));
    QScreen* screen = QGuiApplication::screenAt(icon.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    const QSize size = window_->sizeHint();
    int x = icon.center().x() - size.width() / 2;
    int y = icon.bottom() + 4;
    if (y + size.height() > area.bottom()) y = icon.top() - 4 - size.height();
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() - size.width()));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() - size.height()));
    window_->move(x, y);
}

Panel* install(const AppModels& models, MainWindow& window, bool useTray) {
    QObject::connect(window.menu().settings(), &QAction::triggered, &window, [models] { openSettings(models); });
    models.duplicates.setFolderChooser([&window](const DuplicatesModel::FolderRequest& request) -> std::optional<std::string> {
        QFileDialog dialog(&window, QString::fromStdString(request.message), QString::fromStdString(request.startDirectory));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(request.prompt));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        return dialog.selectedFiles().front().toStdString();
    });
    auto* panel = new Panel(models, useTray, &window);
    if (!useTray) {
        // Without a tray the panel opens from the application menu.
        window.menu().showPanel()->setVisible(true);
        QObject::connect(window.menu().showPanel(), &QAction::triggered, panel, &Panel::toggle);
    }
    return panel;
}

} // namespace sorvel::ui::ToolWindows
