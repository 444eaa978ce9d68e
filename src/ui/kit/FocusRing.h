#pragma once
// Keyboard access for the painted controls. attach() makes a control take focus (Tab and
// click, Qt::StrongFocus), draws a 2-px ring in Theme.accent outside its shape, 1 px clear
// of it, while it has focus from the keyboard (Tab, Backtab, a shortcut, or a key pressed
// on it; a click hides it), and makes a button act on Return and Enter as it does on Space. In a window
// holding such controls, Tab and Backtab walk every focusable widget in reading order: each
// container's children row by row, left to right, depth first.
#include <QWidget>

#include <functional>

namespace sorvel::ui {

/// A control's shape in its own coordinates (the whole widget when empty) and its corner
/// radius; a negative radius makes a capsule.
struct FocusShape {
    std::function<QRectF(const QWidget&)> rect;
    double radius = 6;
};

class FocusRing : public QWidget {
    Q_OBJECT
public:
    using Shape = FocusShape;
    static constexpr double width = 2;
    /// Between the shape and the ring, so a ring around an accent fill still reads.
    static constexpr double gap = 1;

    static void attach(QWidget* control, Shape shape = {});
    /// The ring around `control` while it shows, else null.
    static FocusRing* around(const QWidget* control);
    /// Focusable widgets of `root` in reading order.
    static QWidgetList readingOrder(QWidget* root);
    /// Moves the focus to the widget of `from`'s class `step` places away in its window's
    /// reading order (the arrow keys of a list of rows); false at either end.
    static bool moveAmongLikes(QWidget* from, int step);
    /// Repaints the ring of `control` after its shape moved inside it (a list's current row).
    static void reshape(const QWidget* control);
    /// The ring's outline in the control's coordinates (the centre line of its stroke).
    QRectF outline() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    FocusRing(QWidget* control, Shape shape);
    void follow();
    friend class FocusKeeper;
    QWidget* control_;
    Shape shape_;
};

} // namespace sorvel::ui
