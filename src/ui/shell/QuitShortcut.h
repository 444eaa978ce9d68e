#pragma once
// One Quit for the whole application. The menu's Quit action owns Ctrl+Q; Qt lets an
// application shortcut act only through a visible widget that holds the action and that no
// modal window shadows, so the menu alone went deaf with the main window hidden or under a
// sheet, and a second shortcut on another window made the key ambiguous. Every window of
// Sorvel is given the same action as it shows: one shortcut, acting from any window.
#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

namespace sorvel::ui {

class QuitShortcut : public QObject {
    Q_OBJECT
public:
    /// Watches the application's windows from now on and gives each `quit`.
    explicit QuitShortcut(QAction* quit, QObject* parent = nullptr);
    ~QuitShortcut() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void attach(QWidget* window);

    QPointer<QAction> quit_;
};

} // namespace sorvel::ui
