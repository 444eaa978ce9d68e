#include "ui/tools/Layouts.h"

namespace sorvel::ui::Layouts {

QHBoxLayout* row(int spacing, QWidget* parent) {
    auto* l = new QHBoxLayout(parent);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(spacing);
    return l;
}

QVBoxLayout* column(int spacing, QWidget* parent) {
    auto* l = new QVBoxLayout(parent);
    l->setContentsMargins(0, 0, 0, 0);
    l->setSpacing(spacing);
    return l;
}

QWidget* wrap(QLayout* layout, QWidget* parent) {
    auto* w = new QWidget(parent);
    w->setLayout(layout);
    return w;
}

void clear(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            // Out of the tree at once (lookups see only the new widgets), deleted once the
            // event that may have come from it is over.
            w->hide();
            w->setParent(nullptr);
            w->deleteLater();
        } else if (QLayout* inner = item->layout()) {
            clear(inner);
            delete inner;
            continue; // the inner layout was its own item
        }
        delete item;
    }
}

} // namespace sorvel::ui::Layouts
