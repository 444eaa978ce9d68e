#pragma once
// A plain button whose whole rectangle takes the click and whose look is its children (the
// heads of collapsible cards, rows that open). It paints nothing itself unless a fill is
// set: a rounded rectangle, with a hairline inside its edge when bordered.
#include <QAbstractButton>
#include <QHBoxLayout>

#include <optional>

#include "ui/kit/Theme.h"

namespace sorvel::ui {

class ClickArea : public QAbstractButton {
    Q_OBJECT
public:
    explicit ClickArea(QWidget* parent = nullptr);
    /// A row for the children, made on first use (callers may set their own layout instead).
    QHBoxLayout* row();
    void setFill(std::optional<Adaptive> fill, double radius = 0, bool bordered = false);

protected:
    void paintEvent(QPaintEvent*) override;
    /// Up and Down move to the area before or after in reading order (rows of a list).
    void keyPressEvent(QKeyEvent*) override;

private:
    std::optional<Adaptive> fill_;
    double radius_ = 0;
    bool bordered_ = false;
};

} // namespace sorvel::ui
