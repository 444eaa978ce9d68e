#pragma once
// What a screen reader finds on the accessibility bus for the painted widgets: each reads as
// it looks. A painted text is a label named by its text; a clickable area is a button named
// after the texts it holds; a segmented picker is a tab list whose tabs press; a widget
// described here (a sidebar row, a figure) has its role, its name, its figure as value and a
// press action that does what a click does; a painted list has one child per row, made only
// when the bus asks for it, so a long list costs nothing until it is read. Buttons, switches
// and tick boxes are Qt buttons already (their text, or the accessible name a screen gives them).
#include <QAccessible>
#include <QRect>

#include <functional>
#include <optional>

class QWidget;

namespace sorvel::ui::AccessibleControls {

/// Registers the interfaces with Qt once; safe to call from every constructor.
void install();
/// Gives a painted widget of its own kind (a sidebar row, a painted list) a role.
void setRole(QWidget* widget, QAccessible::Role role);

/// How one painted thing reads. An empty name reads the widget's accessible name; an empty
/// value or press gives none.
struct Reading {
    QAccessible::Role role = QAccessible::StaticText;
    std::function<QString()> name;
    std::function<QString()> value;
    std::function<void()> press;
};
/// What may change of a described thing. `checked`, where given, makes it a thing that ticks
/// while it says yes or no (a press then ticks it); `pressable`, where given, says when a
/// press acts (else whenever the widget is enabled).
struct States {
    std::function<std::optional<bool>()> checked;
    std::function<bool()> pressable;
};
void describe(QWidget* widget, Reading reading, States states = {});

/// The rows of a painted list, read through the list's widget.
struct Rows {
    QAccessible::Role role = QAccessible::ListItem;
    std::function<int()> count;
    std::function<QString(int)> name;
    std::function<QString(int)> value; // may be empty
    std::function<QRect(int)> rect;    // in the list's own coordinates
    std::function<void(int)> press;    // may be empty
    std::function<int()> current;      // the row the keyboard is on, or -1; may be empty
};
/// `list` reads as `reading` says (a tab list's value: its chosen tab), its rows as `rows`.
void describeRows(QWidget* list, Reading reading, Rows rows);

/// Tells the bus the keyboard moved to `row` of a described list.
void rowFocused(QWidget* list, int row);
/// Tells the bus what `widget` reads as changed (its name, value or tick).
void changed(QWidget* widget);

} // namespace sorvel::ui::AccessibleControls
