#pragma once
// A rounded placeholder bar that pulses while animations are on.
#include <QWidget>

class QVariantAnimation;

namespace sorvel::ui {

class PlaceholderBar : public QWidget {
    Q_OBJECT
public:
    PlaceholderBar(int height, double radius, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    double radius_;
    double opacity_ = 1;
    QVariantAnimation* animation_;
};

} // namespace sorvel::ui
