#pragma once
// A filled dot that can breathe: opacity 1.0 to 0.3 and back, 0.75 s each way, ease in
// and out, for as long as it is shown with pulsing on. Still at full strength when
// animations are off.
#include <QVariantAnimation>
#include <QWidget>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class PulseDot : public QWidget {
    Q_OBJECT
public:
    PulseDot(double diameter, Adaptive colour, bool pulsing, QWidget* parent = nullptr);
    void setPulsing(bool pulsing);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    void sync();
    double diameter_;
    Adaptive colour_;
    bool pulsing_;
    double opacity_ = 1.0;
    QVariantAnimation* animation_;
};

} // namespace sorvel::ui
