#pragma once
// The palette every screen paints with. Each colour is a light/dark pair resolved when it
// is painted, against the one appearance the application shows (Theme::appearance()), so
// switching appearance only needs a repaint, never a rebuild.
#include <QColor>
#include <QObject>
#include <QPalette>

#include <optional>
#include <string>
#include <string_view>

#include "engine/Tint.h"

namespace sorvel::ui {

enum class Appearance { light, dark };

std::string rawValue(Appearance appearance);
/// "light" or "dark" exactly (case-sensitive); none for anything else.
std::optional<Appearance> appearanceFromRaw(std::string_view raw);

/// A colour with a light and a dark variant.
struct Adaptive {
    QColor light;
    QColor dark;
    /// The variant for the application's current appearance.
    QColor resolve() const;
    QColor resolve(Appearance appearance) const;
    /// Both variants with their opacity multiplied by `factor`.
    Adaptive opacity(double factor) const;
    operator QColor() const { return resolve(); }
    friend bool operator==(const Adaptive&, const Adaptive&) = default;
};

/// A category's three colours as adaptive pairs.
struct TintColours {
    Adaptive fill;
    Adaptive ink;
    Adaptive dot;
};

/// Announces appearance changes to widgets that hold colours outside paintEvent (labels
/// with palettes, style sheets).
class ThemeSignals : public QObject {
    Q_OBJECT
signals:
    void appearanceChanged();
};

namespace Theme {

Appearance appearance();
/// Sets the appearance the whole application shows: refreshes Qt's own palette and
/// repaints every window. Works without a QApplication too (tests of pure rules).
void setAppearance(Appearance appearance);
/// Dark when the platform palette's window colour has lightness below 128.
Appearance systemDefault();
ThemeSignals& notifier();

Adaptive adaptive(double r, double g, double b, double lr, double lg, double lb);
Adaptive adaptive(const Colour& colour);
TintColours tint(const Tint& tint);

const Adaptive& window();
const Adaptive& card();
const Adaptive& cardHover();
const Adaptive& inset();
const Adaptive& hairline();
const Adaptive& primaryText();
const Adaptive& secondaryText();
const Adaptive& tertiaryText();
const Adaptive& accent();
const Adaptive& accentInk();
const Adaptive& accentWash();
const Adaptive& warning();
const Adaptive& warningWash();
const Adaptive& glassFill();
const Adaptive& glassStroke();
const Adaptive& washTop();
const Adaptive& washBottom();
const Adaptive& raised();
/// The grey of the capacity bar's "Other" segment: the same in both appearances.
const Adaptive& otherGrey();

/// How faint every disabled control is drawn, in each painted kind alike.
inline constexpr double disabledOpacity = 0.5;

/// Qt's own palette (scroll bars, menus, dialogs, selectable labels) for an appearance.
/// Disabled texts carry no etched highlight: on a dark menu it reads as a ghost.
QPalette palette(Appearance appearance);

} // namespace Theme
} // namespace sorvel::ui
