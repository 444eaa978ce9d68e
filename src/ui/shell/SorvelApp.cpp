#include "ui/shell/SorvelApp.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QPointer>
#include <QSystemTrayIcon>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "models/AppsModel.h"
#include "models/BackgroundWork.h"
#include "models/DesktopNotifications.h"
#include "models/DuplicatesModel.h"
#include "models/HistoryModel.h"
#include "models/MoverLinks.h"
#include "models/ScanCoordinator.h"
#include "models/SettingsSaver.h"
#include "models/SweepScheduler.h"
#include "models/UpdateChecker.h"
#include "platform/UserDefaults.h"
#include "removal/FolderChecks.h"
#include "removal/RemovalRun.h"
#include "ui/kit/AccessibleControls.h"
#include "ui/kit/AppearanceSetting.h"
#include "ui/services/DesktopServices.h"
#include "ui/shell/AppIcon.h"
#include "ui/shell/MainMenu.h"
#include "ui/shell/MainWindow.h"
#include "ui/shell/PageFactory.h"
#include "ui/shell/QuitFlow.h"
#include "ui/shell/QuitShortcut.h"
#include "ui/shell/SingleInstance.h"
#include "ui/shell/ToolWindows.h"
#include "ui/shell/TrayItem.h"

namespace sorvel::ui::SorvelApp {

namespace {
bool set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

// What quitting waits for: every move to the Trash in the process (it outlives the screen
// that started it; a sweep's counts from its start), and a restore that moves items back out.
QuitFlow::MovesInFlight movesInFlight(const AppModels& m) {
    return [&m] { return RemovalRun::movesInFlight() + (m.history.isRestoring() ? 1 : 0); };
}
} // namespace

void linkModels(const AppModels& m) {
    SweepScheduler* sweeper = &m.sweeper;
    QObject::connect(&m.coordinator, &ScanCoordinator::trashChanged, sweeper, &SweepScheduler::refreshFindings);
    QObject::connect(&m.apps, &AppsModel::trashChanged, sweeper, &SweepScheduler::refreshFindings);
    QObject::connect(&m.duplicates, &DuplicatesModel::trashChanged, sweeper, &SweepScheduler::refreshFindings);
    QObject::connect(&m.history, &HistoryModel::trashChanged, sweeper, &SweepScheduler::refreshFindings);
    linkMovers(m.coordinator, m.apps, m.duplicates, m.sweeper, m.history);
}

const char* noDisplayMessage() {
    return "sorvel: no display to open the window on (DISPLAY is not set); see sorvel --help for the command-line reports";
}

bool hasDisplay() { return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM"); }

int main(int argc, char** argv) {
    if (!hasDisplay()) {
        std::fprintf(stderr, "%s\n", noDisplayMessage());
        return 2;
    }
    QApplication app(argc, argv);
    AccessibleControls::install(); // before any widget is read on the bus
    QApplication::setApplicationName("Sorvel");
    // No display name: Qt would append " — Sorvel" to every window title.
    QApplication::setOrganizationName("Sorvel");

    // One Sorvel per session: a second start hands over to the first and ends here, before
    // it has made any model (no scan, no sweep, no tidy).
    SingleInstance instance(DesktopNotifications::sessionBus());
    if (instance.role() != SingleInstance::Role::first) {
        std::fprintf(stderr, "%s\n", instance.message().c_str());
        return 0;
    }

    // The seven long-lived models, for the whole process.
    ScanCoordinator coordinator;
    AppearanceSetting appearance(UserDefaults::standard());
    SweepScheduler sweeper;
    AppsModel apps;
    DuplicatesModel duplicates;
    HistoryModel history;
    UpdateChecker updates;
    const std::unique_ptr<DesktopServices> desktop = DesktopServices::system();
    MainWindow* mainWindow = nullptr;
    AppModels models{coordinator, appearance, sweeper, apps, duplicates, history, updates, *desktop};
    linkModels(models);
    models.showMainWindow = [&mainWindow] {
        if (!mainWindow) return;
        mainWindow->show();
        mainWindow->raise();
        mainWindow->activateWindow();
    };
    QObject::connect(&instance, &SingleInstance::activated, [&models] { models.showMainWindow(); });

    // Quitting waits for moves in flight, then disarms the schedule and closes every
    // window (the settings window too), so nothing runs on unseen.
    QuitFlow quitFlow(movesInFlight(models), [&] {
        sweeper.stop();
        delete ToolWindows::settingsWindow();
    });
    models.quit = [&quitFlow] { quitFlow.request(); };
    // A put back is not waited out: what it has not put back yet stays in the Trash, listed.
    QObject::connect(&quitFlow, &QuitFlow::waitingChanged, &models.history, [&] {
        if (quitFlow.isWaiting()) models.history.stopRestoring();
    });
    MainWindow window(models);
    mainWindow = &window;
    window.setWindowIcon(AppIcon::icon());
    QApplication::setWindowIcon(AppIcon::icon());
    {
        // Notices carry the application's icon.
        const QImage image = AppIcon::icon().pixmap(64, 64).toImage().convertToFormat(QImage::Format_RGBA8888);
        QByteArray rgba;
        for (int y = 0; y < image.height(); ++y)
            rgba.append(reinterpret_cast<const char*>(image.constScanLine(y)), qsizetype(image.width()) * 4);
        DesktopNotifications::setImage({image.width(), image.height(), rgba});
    }

    window.setQuitRequest(models.quit);

    // Closing the window keeps the process only where a tray item can bring it back.
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    window.setKeepsRunningWhenClosed(tray);
    QApplication::setQuitOnLastWindowClosed(false);
    std::unique_ptr<TrayItem> trayItem;
    if (tray) trayItem = std::make_unique<TrayItem>(models);
    window.menu().showPanel()->setVisible(!tray);
    QObject::connect(window.menu().showPanel(), &QAction::triggered, [&] {
        if (!trayItem) trayItem = std::make_unique<TrayItem>(models);
        trayItem->showPanel(true);
    });

    // One settings window, found by its title "Sorvel Settings" (the panel looks for it too).
    QObject::connect(window.menu().settings(), &QAction::triggered, [&] { ToolWindows::openSettings(models); });
    QObject::connect(window.menu().quit(), &QAction::triggered, &quitFlow, &QuitFlow::request);
    // Ctrl+Q from every window: the panel, the settings window, a sheet, a notice.
    QuitShortcut quitShortcut(window.menu().quit());
    ToolWindows::installFolderChooser(models, window);

    window.show();
    const int status = QApplication::exec();
    delete ToolWindows::settingsWindow();
    return finish(status);
}

int finish(int status, const EndBounds& bounds) {
    // A move started after the quit flow let the loop end still completes and is recorded;
    // so does a sweep or a move from the tray panel, which hold their moves from their start.
    RemovalRun::waitForMoves(bounds.moves);
    // Settings asked for just before quitting are on disk before the process ends.
    Models::waitForSettings();
    // A folder check held by a hung disk cannot be stopped, nor waited for, and a scan still
    // under way would hand its result to an application already gone: past a short wait
    // the process ends here, before an ordinary exit tears down state they may wake into.
    const bool checksEnded = FolderChecks::waitForAll(bounds.folderChecks);
    if (!Models::waitForBackgroundWork(bounds.backgroundWork) || !checksEnded) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

} // namespace sorvel::ui::SorvelApp
