#include "ui/shell/PlaceholderPage.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/Text.h"

namespace sorvel::ui {

PlaceholderPage::PlaceholderPage(const QString& title, const QString& detail, QWidget* parent) : Card(22, std::nullopt, parent) {
    setObjectName("placeholder");
    content()->setSpacing(6);
    content()->addWidget(new Text(title, Fonts::system(17, Fonts::Weight::semibold), Theme::primaryText(), this));
    auto* d = new Text(detail, Fonts::system(12.5), Theme::secondaryText(), this);
    d->setWrapping(true);
    content()->addWidget(d);
}

} // namespace sorvel::ui
