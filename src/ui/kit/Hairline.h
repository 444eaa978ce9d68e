#pragma once
// A 1-px divider in Theme.hairline, horizontal or vertical.
#include <QWidget>

namespace sorvel::ui {

class Hairline : public QWidget {
    Q_OBJECT
public:
    explicit Hairline(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace sorvel::ui
