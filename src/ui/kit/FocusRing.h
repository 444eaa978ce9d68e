#pragma once
// Keyboard access for the painted controls. attach() makes a control take focus (Tab and
// click, Qt::StrongFocus), draws a 2-px ring in Theme.accent outside its shape, 1 px clear
// of it (inside the shape on a side where no ancestor leaves room outside), while it has
// focus from the keyboard and the keyboard was used last (a mouse press since hides it), and
// makes a button act on Return and Enter as it does on Space. In a window holding such
// controls, Tab and Backtab walk every focusable widget in reading order: each container's
// children row by row, left to right, depth first. A widget hidden while it holds the focus
// hands it to the container it leaves rather than to the next widget in Qt's own chain.
#include <QWidget>

class QKeyEvent;

#include <functional>

namespace sorvel::ui {

/// A control's shape in its own coordinates (the whole widget when empty) and its corner
/// radius; a negative radius makes a capsule.
struct FocusShape {
    std::function<QRectF(const QWidget&)> rect;
    double radius = 6;
};

/// What tells the focused control apart in a rebuilt tree: its class and names.
struct FocusLike {
    QByteArray className;
    QString objectName;
    QString accessibleName;
    QString text;
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
    /// The keys of a clickable row or card: Space, Return and Enter call `activate`, Up and
    /// Down move among its likes. False for any other key.
    static bool activateOrMove(QWidget* control, const QKeyEvent* event, const std::function<void()>& activate);
    /// Whether Return and Enter press `button` as Space does (the default), or pass on to
    /// its window (a button whose action the window keeps from Return).
    static void setReturnPresses(QWidget* button, bool presses);
    /// Moves the ring of `control` after its shape moved inside it (a list's current row).
    static void reshape(const QWidget* control);
    /// Before `leaving` is hidden or rebuilt: if it holds the focus, parks the focus on its
    /// nearest focusable ancestor (or nowhere) and describes the focused control in `like`.
    static bool hold(QWidget* leaving, FocusLike* like = nullptr);
    /// Once `scope` is laid out, gives a parked focus to its control that is `like` the one
    /// that had it, else to its first control; a focus the user moved meanwhile stays. With
    /// `scroll` false the scrolling areas around it stay where they are (a page just opened
    /// shows its top).
    static void settle(QWidget* scope, FocusLike like = {}, bool scroll = true);
    /// The ring's outline in its own coordinates (the centre line of its stroke).
    QRectF outline() const { return outline_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    FocusRing(QWidget* control, Shape shape);
    void follow();
    /// Fits the ring to its control; false when it moved to another host instead.
    bool place();
    static void settleIn(QWidget* scope, FocusLike like, int tries, bool scroll);
    friend class FocusKeeper;
    QWidget* control_;
    Shape shape_;
    QRectF outline_;
    double radius_ = 0;
};

} // namespace sorvel::ui
