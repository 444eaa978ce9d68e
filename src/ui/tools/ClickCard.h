#pragma once
// A card whose whole rectangle takes the click.
#include "ui/kit/Card.h"

namespace sorvel::ui {

class ClickCard : public Card {
    Q_OBJECT
public:
    explicit ClickCard(double padding, std::optional<Adaptive> fill = std::nullopt, QWidget* parent = nullptr);
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    /// Space and Return click the card; Up and Down move to the card before or after.
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace sorvel::ui
