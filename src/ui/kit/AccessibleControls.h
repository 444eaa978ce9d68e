#pragma once
// What a screen reader hears from the painted controls that are not plain buttons: a
// clickable area is a button named after the texts it holds; a segmented picker is a tab
// list whose value is the chosen option. Buttons, switches and tick boxes are Qt buttons
// already (their text, or the accessible name a screen gives them).
#include <QAccessible>

class QWidget;

namespace sorvel::ui::AccessibleControls {

/// Registers the interfaces with Qt once; safe to call from every constructor.
void install();
/// Gives a painted widget of its own kind (a sidebar row, a painted list) a role.
void setRole(QWidget* widget, QAccessible::Role role);

} // namespace sorvel::ui::AccessibleControls
