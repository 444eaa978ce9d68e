#include "ui/shell/SorvelApp.h"

#include <QApplication>
#include <QSystemTrayIcon>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "models/AppsModel.h"
#include "models/DuplicatesModel.h"
#include "models/HistoryModel.h"
#include "models/ScanCoordinator.h"
#include "models/SweepScheduler.h"
#include "models/UpdateChecker.h"
#include "platform/UserDefaults.h"
#include "ui/kit/AppearanceSetting.h"
#include "ui/shell/DesktopServices.h"
#include "ui/shell/MainWindow.h"

namespace sorvel::ui::SorvelApp {

namespace {
bool set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}
} // namespace

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
    QApplication::setApplicationName("Sorvel");
    QApplication::setApplicationDisplayName("Sorvel");
    QApplication::setOrganizationName("Sorvel");

    // The seven long-lived models, for the whole process.
    ScanCoordinator coordinator;
    AppearanceSetting appearance(UserDefaults::standard());
    SweepScheduler sweeper;
    AppsModel apps;
    DuplicatesModel duplicates;
    HistoryModel history;
    UpdateChecker updates;
    const std::unique_ptr<DesktopServices> desktop = DesktopServices::system();
    const AppModels models{coordinator, appearance, sweeper, apps, duplicates, history, updates, *desktop};

    MainWindow window(models);
    const bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    window.setKeepsRunningWhenClosed(tray);
    QApplication::setQuitOnLastWindowClosed(!tray);
    window.show();
    return QApplication::exec();
}

} // namespace sorvel::ui::SorvelApp
