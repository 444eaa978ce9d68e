#pragma once
// A painted tick box. Its side and corner radius vary by screen, so both are parameters.
// Ticked: Theme.accent fill with a white check. Unticked: Theme.raised fill with a
// Theme.hairline-strength border (tertiaryText at 0.6). `mixed` shows a dash (some of a
// group ticked). Checkable QAbstractButton: toggled(bool), setChecked().
#include <QAbstractButton>

namespace sorvel::ui {

class CheckBox : public QAbstractButton {
    Q_OBJECT
public:
    explicit CheckBox(double side = 16, double radius = 4.5, QWidget* parent = nullptr);

    void setMixed(bool mixed);
    QSize sizeHint() const override;

    /// The box painted into `rect` (for painted rows).
    static void paint(QPainter& painter, const QRectF& rect, double radius, bool checked, bool mixed, bool enabled);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QRectF boxRect() const;
    double side_;
    double radius_;
    bool mixed_ = false;
};

} // namespace sorvel::ui
