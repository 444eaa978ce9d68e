#include "ui/kit/Theme.h"

#include <QApplication>
#include <QWidget>

namespace sorvel::ui {

namespace {

Appearance current = Appearance::light;

QColor srgb(double r, double g, double b, double a = 1.0) { return QColor::fromRgbF(float(r), float(g), float(b), float(a)); }

Adaptive pair(double r, double g, double b, double dr, double dg, double db) {
    return {srgb(r, g, b), srgb(dr, dg, db)};
}
Adaptive pair4(double r, double g, double b, double a, double dr, double dg, double db, double da) {
    return {srgb(r, g, b, a), srgb(dr, dg, db, da)};
}

QColor fromHex(uint32_t rgb) { return QColor::fromRgb((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff); }

} // namespace

std::string rawValue(Appearance appearance) { return appearance == Appearance::dark ? "dark" : "light"; }

std::optional<Appearance> appearanceFromRaw(std::string_view raw) {
    if (raw == "light") return Appearance::light;
    if (raw == "dark") return Appearance::dark;
    return std::nullopt;
}

QColor Adaptive::resolve() const { return resolve(current); }
QColor Adaptive::resolve(Appearance appearance) const { return appearance == Appearance::dark ? dark : light; }

Adaptive Adaptive::opacity(double factor) const {
    Adaptive out = *this;
    out.light.setAlphaF(float(light.alphaF() * factor));
    out.dark.setAlphaF(float(dark.alphaF() * factor));
    return out;
}

namespace Theme {

Appearance appearance() { return current; }

ThemeSignals& notifier() {
    static ThemeSignals* instance = new ThemeSignals;
    return *instance;
}

// Thin scroll bars without arrows, in the palette's greys.
QString scrollBarStyle(Appearance a) {
    const QColor handle = tertiaryText().resolve(a);
    const QString h = QStringLiteral("rgba(%1,%2,%3,%4)").arg(handle.red()).arg(handle.green()).arg(handle.blue()).arg(0.55);
    return QStringLiteral(
               "QScrollBar:vertical { background: transparent; width: 10px; margin: 2px 2px 2px 0; }"
               "QScrollBar:horizontal { background: transparent; height: 10px; margin: 0 2px 2px 2px; }"
               "QScrollBar::handle { background: %1; border-radius: 3px; min-height: 28px; min-width: 28px; }"
               "QScrollBar::handle:vertical { margin: 0 1px; } QScrollBar::handle:horizontal { margin: 1px 0; }"
               "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; background: none; }"
               "QScrollBar::add-page, QScrollBar::sub-page { background: none; }")
        .arg(h);
}

void setAppearance(Appearance appearance) {
    current = appearance;
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QApplication::setPalette(palette(appearance));
        app->setStyleSheet(scrollBarStyle(appearance));
        for (QWidget* w : QApplication::topLevelWidgets()) w->update();
    }
    emit notifier().appearanceChanged();
}

Appearance systemDefault() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return Appearance::light;
    // The palette Qt started with, before any of ours replaced it.
    static const QColor startWindow = QGuiApplication::palette().color(QPalette::Window);
    return startWindow.lightness() < 128 ? Appearance::dark : Appearance::light;
}

Adaptive adaptive(double r, double g, double b, double lr, double lg, double lb) { return pair(r, g, b, lr, lg, lb); }
Adaptive adaptive(const Colour& colour) { return {fromHex(colour.light), fromHex(colour.dark)}; }
TintColours tint(const Tint& t) { return {adaptive(t.fill), adaptive(t.ink), adaptive(t.dot)}; }

#define SORVEL_THEME_COLOUR(name, ...)                                                                       \
    const Adaptive& name() {                                                                                 \
        static const Adaptive c = __VA_ARGS__;                                                               \
        return c;                                                                                            \
    }

SORVEL_THEME_COLOUR(window, pair(1, 1, 1, 0.055, 0.059, 0.07))
SORVEL_THEME_COLOUR(card, pair(1, 1, 1, 0.086, 0.09, 0.105))
SORVEL_THEME_COLOUR(cardHover, pair(0.98, 0.98, 0.984, 0.113, 0.118, 0.137))
SORVEL_THEME_COLOUR(inset, pair(0.965, 0.966, 0.972, 0.075, 0.079, 0.094))
SORVEL_THEME_COLOUR(hairline, pair4(0.898, 0.902, 0.914, 1, 1, 1, 1, 0.1))
SORVEL_THEME_COLOUR(primaryText, pair(0.086, 0.094, 0.114, 0.937, 0.945, 0.96))
SORVEL_THEME_COLOUR(secondaryText, pair(0.42, 0.447, 0.502, 0.62, 0.65, 0.7))
SORVEL_THEME_COLOUR(tertiaryText, pair(0.612, 0.639, 0.686, 0.435, 0.463, 0.51))
SORVEL_THEME_COLOUR(accent, pair(0.176, 0.729, 0.459, 0.243, 0.8, 0.522))
SORVEL_THEME_COLOUR(accentInk, pair(0.086, 0.545, 0.325, 0.451, 0.878, 0.663))
SORVEL_THEME_COLOUR(accentWash, pair(0.867, 0.965, 0.906, 0.086, 0.22, 0.161))
SORVEL_THEME_COLOUR(warning, pair(0.851, 0.573, 0.114, 0.949, 0.729, 0.31))
SORVEL_THEME_COLOUR(warningWash, pair(0.996, 0.953, 0.867, 0.235, 0.169, 0.055))
SORVEL_THEME_COLOUR(glassFill, pair4(1, 1, 1, 0.42, 1, 1, 1, 0.07))
SORVEL_THEME_COLOUR(glassStroke, pair4(1, 1, 1, 0.7, 1, 1, 1, 0.12))
SORVEL_THEME_COLOUR(washTop, pair4(0.902, 0.894, 0.961, 0.3, 0.11, 0.102, 0.18, 0.42))
SORVEL_THEME_COLOUR(washBottom, pair4(0.949, 0.945, 0.984, 0.22, 0.043, 0.043, 0.078, 0.55))
SORVEL_THEME_COLOUR(raised, pair(1, 1, 1, 0.145, 0.153, 0.176))
SORVEL_THEME_COLOUR(otherGrey, pair(0.792, 0.808, 0.831, 0.792, 0.808, 0.831))

#undef SORVEL_THEME_COLOUR

QPalette palette(Appearance a) {
    QPalette p;
    const auto set = [&](QPalette::ColorRole role, const Adaptive& c) { p.setColor(role, c.resolve(a)); };
    set(QPalette::Window, window());
    set(QPalette::Base, card());
    set(QPalette::AlternateBase, inset());
    set(QPalette::Button, raised());
    set(QPalette::WindowText, primaryText());
    set(QPalette::Text, primaryText());
    set(QPalette::ButtonText, primaryText());
    set(QPalette::ToolTipBase, raised());
    set(QPalette::ToolTipText, primaryText());
    set(QPalette::PlaceholderText, tertiaryText());
    set(QPalette::Highlight, accent());
    set(QPalette::Mid, hairline());
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Disabled, QPalette::WindowText, tertiaryText().resolve(a));
    p.setColor(QPalette::Disabled, QPalette::Text, tertiaryText().resolve(a));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, tertiaryText().resolve(a));
    p.setColor(QPalette::Disabled, QPalette::Light, Qt::transparent);
    p.setColor(QPalette::Disabled, QPalette::Midlight, Qt::transparent);
    return p;
}

} // namespace Theme
} // namespace sorvel::ui
