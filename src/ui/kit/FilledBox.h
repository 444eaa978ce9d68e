#pragma once
// A plain rounded surface in one colour for other widgets to sit on: a fixed corner radius,
// or none given for a capsule (half the height).
#include <QWidget>

#include <optional>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class FilledBox : public QWidget {
    Q_OBJECT
public:
    explicit FilledBox(Adaptive colour, std::optional<double> radius = std::nullopt, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Adaptive colour_;
    std::optional<double> radius_;
};

} // namespace sorvel::ui
