#include "ui/shell/ToolWindows.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include <algorithm>

#include "models/DuplicatesModel.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageFactory.h"
#include "ui/services/FolderDialog.h"
#include "ui/tools/SweepSettingsView.h"

#if SORVEL_X11
#include <xcb/xcb.h>

#include <cstdlib>
#endif

namespace sorvel::ui::ToolWindows {

namespace {

// Qt gives every window a colormap of its own. Screen grabs that honour colormaps (xwd,
// import) read a window lying wholly inside another window with the same colormap from the
// lower one, which the X server returns black where it is covered: the settings window,
// placed or moved over the main window, came out black. On the screen's own visual the
// screen's colormap holds the same colours, and such grabs read the window from the screen.
void useScreenColormap(QWidget* window) {
#if SORVEL_X11
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c) return;
    const auto id = xcb_window_t(window->winId());
    auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr);
    auto* geometry = xcb_get_geometry_reply(c, xcb_get_geometry(c, id), nullptr);
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); attributes && geometry && it.rem; xcb_screen_next(&it))
        if (it.data->root == geometry->root && it.data->root_visual == attributes->visual)
            xcb_change_window_attributes(c, id, XCB_CW_COLORMAP, &it.data->default_colormap);
    std::free(attributes);
    std::free(geometry);
    xcb_flush(c);
#else
    (void)window;
#endif
}

QWidget* visibleMain() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "main" && w->isVisible()) return w;
    return nullptr;
}

} // namespace

QPoint framePosition(QSize frame, QPoint centre, QRect available) {
    QRect placed(QPoint(), frame);
    placed.moveCenter(centre);
    if (!available.isValid()) return placed.topLeft();
    const int x = std::clamp(placed.x(), available.left(), std::max(available.left(), available.right() + 1 - frame.width()));
    const int y = std::clamp(placed.y(), available.top(), std::max(available.top(), available.bottom() + 1 - frame.height()));
    return {x, y};
}

QWidget* openSettings(const AppModels& models) {
    QWidget* window = SweepSettingsView::findWindow();
    if (!window) {
        window = PageFactory::settingsWindow(models, nullptr);
        window->setAttribute(Qt::WA_DeleteOnClose);
        // Closable from the keyboard too, also where no window manager draws a close button;
        // Escape as in any dialog (an open list or folder dialog takes its own Escape first).
        for (auto* close : {new QShortcut(QKeySequence::Close, window), new QShortcut(Qt::Key_Escape, window)})
            QObject::connect(close, &QShortcut::activated, window, &QWidget::close);
        // It opens over the main window (or mid-screen without one), its whole frame inside the
        // available area, shrunk to it where the screen is smaller (620 high at twice the scale
        // on 1200 pixels). Before it is shown the frame is guessed from the main window's, or
        // from the room the main window leaves for one.
        const QWidget* main = visibleMain();
        const QScreen* screen = main ? main->screen() : QGuiApplication::screenAt(QCursor::pos());
        if (!screen) screen = QGuiApplication::primaryScreen();
        const QRect area = screen ? screen->availableGeometry() : QRect();
        const QSize fits = MainWindow::fitted(window->size(), area);
        if (fits != window->size()) window->setFixedSize(fits);
        const int side = MainWindow::frameAllowanceWidth / 2;
        QMargins frame(side, MainWindow::frameAllowanceHeight - side, side, side);
        if (main && main->frameGeometry() != main->geometry()) {
            const QRect outer = main->frameGeometry(), inner = main->geometry();
            frame = {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                     outer.bottom() - inner.bottom()};
        }
        const QPoint centre = main ? main->frameGeometry().center() : area.center();
        window->move(framePosition(window->size().grownBy(frame), centre, area));
        useScreenColormap(window);
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

FolderDialog::Request folderRequest(const DuplicatesModel::FolderRequest& request) {
    return {QString::fromStdString(request.title), QString::fromStdString(request.message),
            QString::fromStdString(request.prompt), QString::fromStdString(request.startDirectory)};
}

void installFolderChooser(const AppModels& models, QWidget& window) {
    models.duplicates.setFolderChooser([&window](const DuplicatesModel::FolderRequest& request) -> std::optional<std::string> {
        return FolderDialog::choose(&window, folderRequest(request));
    });
}

} // namespace sorvel::ui::ToolWindows
