#pragma once
// The windows beside the main one: the settings window (one, titled "Sorvel Settings")
// behind "Settings…", and the sweep panel, a frameless popup under the tray icon or,
// where the desktop has no tray, a normal window opened from the application menu.
#include <QObject>
#include <QPointer>

#include "ui/shell/AppModels.h"

class QSystemTrayIcon;

namespace sorvel::ui {

class MainWindow;

namespace ToolWindows {

/// Shows the settings window, making it when there is none, and brings it forward.
QWidget* openSettings(const AppModels& models);
/// Shows the main window (the top-level widget named "main") and brings it forward.
void openMain();

/// The menu-bar panel's way to the settings window: open it, then a moment later bring
/// forward whichever window carries the title "Sorvel Settings".
void openSettingsFromPanel(const AppModels& models);

/// The sweep panel and its tray icon.
class Panel : public QObject {
    Q_OBJECT
public:
    /// With `useTray` false the panel is a normal window (`toggle()` shows it).
    Panel(const AppModels& models, bool useTray, QObject* parent = nullptr);
    ~Panel() override;

    QWidget* window() const { return window_; }
    QSystemTrayIcon* tray() const { return tray_; }
    /// Shows the panel (under the tray icon when there is one) or hides it.
    void toggle();

private:
    void place();

    AppModels models_;
    QPointer<QWidget> window_;
    QSystemTrayIcon* tray_ = nullptr;
};

/// Wires "Settings…", the panel and the duplicates folder chooser into the application.
Panel* install(const AppModels& models, MainWindow& window, bool useTray);

} // namespace ToolWindows
} // namespace sorvel::ui
