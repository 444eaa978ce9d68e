#pragma once
// The long-lived models the application owns for the whole process, handed to each
// screen that needs them (screens take what they use in their constructors; nothing is
// global), plus the desktop services.
#include <functional>

namespace sorvel {
class ScanCoordinator;
class SweepScheduler;
class AppsModel;
class DuplicatesModel;
class HistoryModel;
class UpdateChecker;
} // namespace sorvel

namespace sorvel::ui {

class AppearanceSetting;
class DesktopServices;

struct AppModels {
    ScanCoordinator& coordinator;
    AppearanceSetting& appearance;
    SweepScheduler& sweeper;
    AppsModel& apps;
    DuplicatesModel& duplicates;
    HistoryModel& history;
    UpdateChecker& updates;
    DesktopServices& desktop;
    /// Shows (and raises) the main window again, e.g. from the tray panel.
    std::function<void()> showMainWindow = {};
    /// Quits Sorvel: at once, or once the moves in flight have finished.
    std::function<void()> quit = {};
};

} // namespace sorvel::ui
