#pragma once
// What a screen keeps when it rebuilds its contents from its model: the scroll positions of
// the areas it lies in (and is) and the control with the focus, found again in the new tree
// by its class, name, accessible name and tooltip. A control that comes back disabled
// ("Sweep now" while the sweep runs) leaves the focus parked on the screen, never on a
// control the user did not go to, and takes it back in a later rebuild once enabled again.
#include <QPointer>
#include <QString>
#include <QWidget>

#include <utility>
#include <vector>

class QAbstractScrollArea;

namespace sorvel::ui {

class RebuildPlace {
public:
    /// Before `screen` clears its contents; parks a focus held inside it on the screen.
    explicit RebuildPlace(QWidget* screen);
    /// Once the new contents are in; at the end of the scope when not called before.
    void restore();
    ~RebuildPlace() { restore(); }
    RebuildPlace(const RebuildPlace&) = delete;
    RebuildPlace& operator=(const RebuildPlace&) = delete;
    /// Whether the focus was inside the screen as it was taken.
    bool hadFocus() const { return hadFocus_; }

private:
    void scrollBack();

    QPointer<QWidget> screen_;
    std::vector<std::pair<QPointer<QAbstractScrollArea>, int>> scrolls_;
    bool hadFocus_ = false;
    bool restored_ = false;
    QString like_; // what tells the focused control apart
};

} // namespace sorvel::ui
