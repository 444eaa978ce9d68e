#pragma once
// The colours a screen tone paints in.
#include "ui/kit/Theme.h"
#include "ui/screens/ScreenText.h"

namespace sorvel::ui::ToneColours {

/// The ink of a tone (text, symbols).
Adaptive ink(Tone tone);
/// The wash a chip of that tone sits on.
Adaptive wash(Tone tone);

} // namespace sorvel::ui::ToneColours
