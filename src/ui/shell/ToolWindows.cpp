#include "ui/shell/ToolWindows.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include "models/DuplicatesModel.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageFactory.h"
#include "ui/tools/SweepSettingsView.h"

namespace sorvel::ui::ToolWindows {

QWidget* openSettings(const AppModels& models) {
    QWidget* window = SweepSettingsView::findWindow();
    if (!window) {
        window = PageFactory::settingsWindow(models, nullptr);
        window->setAttribute(Qt::WA_DeleteOnClose);
        // Closable from the keyboard too, also where no window manager draws a close button.
        auto* close = new QShortcut(QKeySequence::Close, window);
        QObject::connect(close, &QShortcut::activated, window, &QWidget::close);
        // The menu's Quit shortcut acts only while the main window shows; with it hidden to
        // the tray, Ctrl+Q here must still quit.
        if (models.quit) {
            auto* quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), window);
            QObject::connect(quit, &QShortcut::activated, window, [quitting = models.quit] { quitting(); });
        }
        // On a screen smaller than the window (620 high at twice the scale on 1200 pixels) it
        // shrinks to the available area, with room for the window manager's frame, as the main
        // window does. Where it goes is left to the window manager, which keeps a window that
        // fits inside the screen: placed by the program, it showed black under openbox.
        const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (screen) {
            const QSize fits = MainWindow::fitted(window->size(), screen->availableGeometry());
            if (fits != window->size()) window->setFixedSize(fits);
        }
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

QWidget* settingsWindow() { return SweepSettingsView::findWindow(); }

void openMain(const AppModels& models) {
    if (models.showMainWindow) {
        models.showMainWindow();
        return;
    }
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() != "main") continue;
        w->showNormal();
        w->raise();
        w->activateWindow();
        return;
    }
}

void installFolderChooser(const AppModels& models, QWidget& window) {
    models.duplicates.setFolderChooser([&window](const DuplicatesModel::FolderRequest& request) -> std::optional<std::string> {
        QFileDialog dialog(&window, QString::fromStdString(request.message), QString::fromStdString(request.startDirectory));
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(request.prompt));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
        return dialog.selectedFiles().front().toStdString();
    });
}

} // namespace sorvel::ui::ToolWindows
