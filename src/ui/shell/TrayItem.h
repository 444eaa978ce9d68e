#pragma once
// The tray item ("Sorvel", the wind symbol) where the desktop has a system tray: a click
// shows the panel as a frameless window near it that closes when it loses the focus. Without a tray, the panel opens as a
// normal window from the application menu instead.
#include <QObject>
#include <QPointer>

#include "ui/services/AppModels.h"

class QScrollArea;
class QSystemTrayIcon;
class QWidget;

namespace sorvel::ui {

class TrayItem : public QObject {
    Q_OBJECT
public:
    explicit TrayItem(const AppModels& models, QObject* parent = nullptr);
    ~TrayItem() override;

    /// The panel's title where it opens as a window (no tray).
    static constexpr const char* windowTitle = "Sorvel Sweep Panel";

    /// Shows the panel: by the tray icon (frameless, gone once another window is active),
    /// or a window when `asWindow`; the accessibility bus finds it either way.
    void showPanel(bool asWindow);
    /// The glyph in the tray's ink: the tray sits on the desktop's panel, so it follows the
    /// desktop's own light or dark theme, not the appearance chosen inside Sorvel.
    static QIcon trayIcon();
    static QIcon trayIcon(bool darkTray);
    /// The open panel, if any.
    QWidget* panel() const { return panel_; }
    /// The panel's content, whose buttons lead to the settings and main windows.
    static QWidget* panelContent(const AppModels& models, QWidget* parent);

    /// The panel's whole frame for content of `content` size: below `anchor` (above it when
    /// there is no room below), inside `area`, at most as tall as `area`; the content
    /// scrolls inside a shorter frame.
    static QRect panelFrame(QSize content, QRect anchor, QRect area);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fitPanel();

    AppModels models_;
    QSystemTrayIcon* icon_;
    QPointer<QWidget> panel_;
    QPointer<QWidget> content_;
    QScrollArea* scroll_ = nullptr;
    bool asWindow_ = false;
};

} // namespace sorvel::ui
