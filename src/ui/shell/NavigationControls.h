#pragma once
// Back, forward and the "Up to …" button of the header. Back and forward trigger the
// menu's actions (which own the shortcuts) and follow their enablement; the up button
// shows only while there is somewhere to go up to.
#include <QAbstractButton>
#include <QSize>
#include <QWidget>

class QAction;

namespace sorvel {
class ScanCoordinator;
}

namespace sorvel::ui {

class MainMenu;

/// A header navigation button: its label over a radius-7 background that shows
/// Theme.inset only while held and enabled.
class NavigationButton : public QAbstractButton {
    Q_OBJECT
public:
    NavigationButton(std::string symbol, QWidget* parent = nullptr);
    void setLabel(const QString& label);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    std::string symbol_;
    QString label_;
};

class NavigationControls : public QWidget {
    Q_OBJECT
public:
    /// The controls ask for the same room on every page, whether the up button shows or
    /// not: back, forward and an up button of at most `kUpWidth` (its name elides, and in
    /// a narrow header only its chevron remains). So what follows them in the header never
    /// moves sideways from page to page.
    static constexpr int kUpWidth = 124;
    static constexpr int kWidth = 30 + 2 + 30 + 2 + kUpWidth;
    static constexpr int kMinimumWidth = 30 + 2 + 30 + 2 + 30;
    QSize sizeHint() const override { return {kWidth, 28}; }
    QSize minimumSizeHint() const override { return {kMinimumWidth, 28}; }

    NavigationControls(ScanCoordinator& coordinator, MainMenu& menu, QWidget* parent = nullptr);
    NavigationButton* back() const { return back_; }
    NavigationButton* forward() const { return forward_; }
    NavigationButton* up() const { return up_; }

private:
    void refresh();
    ScanCoordinator& coordinator_;
    NavigationButton* back_;
    NavigationButton* forward_;
    NavigationButton* up_;
};

} // namespace sorvel::ui
