#pragma once
// The window's menu bar: "Sorvel" (Check for Updates…, Settings…, Quit) and "View"
// (Back, Forward, Enclosing Folder, Rescan, Live Updates). One QAction owns each
// shortcut; buttons elsewhere (the header's Rescan) trigger these actions rather than
// declaring the shortcut again, which would make both dead in Qt. Enablement follows the
// coordinator whenever it publishes.
#include <QAction>
#include <QObject>

#include <functional>

class QMenuBar;

namespace sorvel {
class ScanCoordinator;
class UpdateChecker;
} // namespace sorvel

namespace sorvel::ui {

class MainMenu : public QObject {
    Q_OBJECT
public:
    MainMenu(ScanCoordinator& coordinator, UpdateChecker& updates, QObject* parent = nullptr);

    void install(QMenuBar* bar);

    QAction* checkForUpdates() const { return checkForUpdates_; }
    QAction* settings() const { return settings_; }
    QAction* quit() const { return quit_; }
    QAction* back() const { return back_; }
    QAction* forward() const { return forward_; }
    QAction* enclosingFolder() const { return up_; }
    QAction* rescan() const { return rescan_; }
    QAction* liveUpdates() const { return live_; }
    /// Shown in the application menu only where there is no tray to open the panel from.
    QAction* showPanel() const { return panel_; }

    static constexpr const char* liveUpdatesHelp =
        "Watch the scanned folders and re-measure whatever changes, so deleting something updates these "
        "numbers without a rescan.";

private:
    void refresh();

    ScanCoordinator& coordinator_;
    UpdateChecker& updates_;
    QAction* checkForUpdates_;
    QAction* settings_;
    QAction* panel_;
    QAction* quit_;
    QAction* back_;
    QAction* forward_;
    QAction* up_;
    QAction* rescan_;
    QAction* live_;
};

} // namespace sorvel::ui
