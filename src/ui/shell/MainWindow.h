#pragma once
// The main window: sidebar (244 wide) | hairline | header, hairline, scrolling detail
// area; an opaque Theme.window background with the wash gradient over it; the menu bar.
// Smaller than its content's minimum, the window scrolls that content.
// Each time its content is shown it runs the start-up sequence, in order: apply the
// appearance, start the sweep scheduler, start a scan if needed, check for updates if due.
// Every step guards itself, so showing the window again never starts a second scan.
#include <QMainWindow>

#include <functional>

#include "ui/services/AppModels.h"

namespace sorvel::ui {

class MainMenu;
class PageHost;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    /// The four start-up steps; the defaults call the models. Tests record the order.
    struct Startup {
        std::function<void()> applyAppearance;
        std::function<void()> startSweeper;
        std::function<void()> startScanIfNeeded;
        std::function<void()> checkUpdatesIfDue;
        static Startup standard(const AppModels& models);
    };

    static constexpr int minimumWidth = 1340;
    static constexpr int minimumHeight = 880;
    static constexpr int defaultWidth = 1440;
    static constexpr int defaultHeight = 980;

    /// Room kept for the window manager's frame when the screen is smaller than the window.
    static constexpr int frameAllowanceWidth = 16;
    static constexpr int frameAllowanceHeight = 48;

    /// `wanted` made to fit `available` (a screen's available area) with the frame's room.
    static QSize fitted(QSize wanted, QRect available);

    explicit MainWindow(const AppModels& models, QWidget* parent = nullptr);
    MainWindow(const AppModels& models, Startup startup, QWidget* parent = nullptr);

    MainMenu& menu() const { return *menu_; }
    PageHost& pageHost() const { return *host_; }
    QWidget* sidebar() const { return sidebar_; }
    QWidget* header() const { return header_; }
    /// Whether a close from the window manager hides the window (a tray keeps the process)
    /// or quits.
    void setKeepsRunningWhenClosed(bool keeps) { keepsRunning_ = keeps; }
    /// How closing the window quits (the quit flow waits for moves in flight); without it
    /// the close is simply accepted.
    void setQuitRequest(std::function<void()> quit) { quit_ = std::move(quit); }

signals:
    void contentShown();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void fitToScreen();

    AppModels models_;
    Startup startup_;
    MainMenu* menu_;
    PageHost* host_;
    QWidget* sidebar_ = nullptr;
    QWidget* header_ = nullptr;
    bool keepsRunning_ = false;
    std::function<void()> quit_;
    bool glassReported_ = false;
};

} // namespace sorvel::ui
