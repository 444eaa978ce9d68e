#pragma once
// A small indeterminate progress marker: a painted arc that turns while animations are on
// and sits still (at a fixed angle) when they are off. Side in pixels.
#include <QTimer>
#include <QWidget>

namespace sorvel::ui {

class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(double side = 16, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    double side_;
    int angle_ = 90;
    QTimer timer_;
};

} // namespace sorvel::ui
