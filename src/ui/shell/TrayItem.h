#pragma once
// The tray item ("Sorvel", the wind symbol) where the desktop has a system tray: a click
// shows the panel as a frameless popup near it. Without a tray, the panel opens as a
// normal window from the application menu instead.
#include <QObject>
#include <QPointer>

#include "ui/services/AppModels.h"

class QSystemTrayIcon;
class QWidget;

namespace sorvel::ui {

class TrayItem : public QObject {
    Q_OBJECT
public:
    explicit TrayItem(const AppModels& models, QObject* parent = nullptr);
    ~TrayItem() override;

    /// Shows the panel: a popup by the tray icon, or a window when `asWindow`.
    void showPanel(bool asWindow);
    static QIcon trayIcon();

private:
    AppModels models_;
    QSystemTrayIcon* icon_;
    QPointer<QWidget> panel_;
};

} // namespace sorvel::ui
