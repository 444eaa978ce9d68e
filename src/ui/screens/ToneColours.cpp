#include "ui/screens/ToneColours.h"

namespace sorvel::ui::ToneColours {

Adaptive ink(Tone tone) {
    switch (tone) {
    case Tone::accent: return Theme::accent();
    case Tone::accentInk: return Theme::accentInk();
    case Tone::warning: return Theme::warning();
    case Tone::rose: return Theme::tint(Tint::rose()).ink;
    case Tone::blue: return Theme::tint(Tint::blue()).ink;
    case Tone::tertiary: return Theme::tertiaryText();
    case Tone::secondary: return Theme::secondaryText();
    case Tone::primary: return Theme::primaryText();
    }
    return Theme::secondaryText();
}

Adaptive wash(Tone tone) {
    switch (tone) {
    case Tone::accent:
    case Tone::accentInk: return Theme::accentWash();
    case Tone::warning: return Theme::warningWash();
    case Tone::rose: return Theme::tint(Tint::rose()).fill;
    case Tone::blue: return Theme::tint(Tint::blue()).fill;
    default: return Theme::inset();
    }
}

} // namespace sorvel::ui::ToneColours
