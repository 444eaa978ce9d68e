#pragma once
// A card naming a page that is not built yet, so the page switch works end to end.
#include <QString>

#include "ui/kit/Card.h"

namespace sorvel::ui {

class PlaceholderPage : public Card {
    Q_OBJECT
public:
    PlaceholderPage(const QString& title, const QString& detail, QWidget* parent = nullptr);
};

} // namespace sorvel::ui
