#pragma once
// Box layouts without margins, and emptying one, as the tool screens build and rebuild
// their blocks.
#include <QBoxLayout>
#include <QWidget>

namespace sorvel::ui::Layouts {

QHBoxLayout* row(int spacing, QWidget* parent = nullptr);
QVBoxLayout* column(int spacing, QWidget* parent = nullptr);
/// A widget holding `layout` with no margins.
QWidget* wrap(QLayout* layout, QWidget* parent = nullptr);
/// Takes every item out of the layout and deletes its widgets later.
void clear(QLayout* layout);

} // namespace sorvel::ui::Layouts
