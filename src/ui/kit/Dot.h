#pragma once
// A filled 6-px dot in one colour, resolved for the current appearance when painted.
#include <QWidget>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class Dot : public QWidget {
    Q_OBJECT
public:
    explicit Dot(Adaptive colour, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Adaptive colour_;
};

} // namespace sorvel::ui
