#pragma once
// A rounded rectangle behind its children: a fill (another while hovered, when asked) and
// a border drawn inside the edge. With only a parent it is the plain window-coloured
// ground of the settings window and the tray panel.
#include <QFrame>

#include <functional>
#include <optional>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class Surface : public QFrame {
    Q_OBJECT
public:
    Surface(double radius, Adaptive fill, std::optional<Adaptive> border, double borderWidth = 1,
            QWidget* parent = nullptr);
    /// Square corners in Theme.window, no border.
    explicit Surface(QWidget* parent = nullptr);
    void setFill(const Adaptive& fill);
    /// Fill while the pointer is over the surface; `onHover` hears every change.
    void setHoverFill(std::optional<Adaptive> fill, std::function<void(bool)> onHover = nullptr);
    bool hovering() const { return hovering_; }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    double radius_;
    Adaptive fill_;
    std::optional<Adaptive> border_;
    double borderWidth_;
    std::optional<Adaptive> hoverFill_;
    std::function<void(bool)> onHover_;
    bool hovering_ = false;
};

} // namespace sorvel::ui
